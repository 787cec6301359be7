// The radix ordering against the shuffle and quicksort: on keys of every
// storage type, with every missing value, negative numbers, strings with
// bytes above 127 and shared 8-byte prefixes, several keys and `stable`'s
// observation-number key, both must leave the same observations in the same
// places and the sort seed at the same value, serially and on two threads.
// Keys with ties must still come out in the quicksort's seeded order.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "data/sort.h"

namespace nuvra::data {
namespace {

// A small generator of our own, so that the data do not depend on a library.
struct Lcg {
  std::uint64_t x;
  std::uint64_t next() {
    x = x * 6364136223846793005ULL + 1442695040888963407ULL;
    return x >> 17;
  }
  double unit() { return static_cast<double>(next() % 1000003) / 1000003.0; }
};

class RadixTest : public ::testing::Test {
 protected:
  // Each test builds the same data twice through fill(ds): once sorted with
  // radix allowed, once with the quicksort only.
  // distinct: whether the keys are all distinct, so that the radix
  // ordering must have been the one used.
  template <class Fill>
  void compare(Fill fill, const std::vector<int>& keys, int threads, bool distinct) {
    SCOPED_TRACE("threads " + std::to_string(threads) + ", " + std::to_string(keys.size()) + " keys");
    Dataset a{std::size_t{256} << 20}, b{std::size_t{256} << 20};
    fill(a);
    fill(b);
    ASSERT_EQ(a.checksum(), b.checksum());
    std::uint32_t seed_a = 4242, seed_b = 4242;
    SortControl ca{threads, &seed_a, nullptr, nullptr, true};
    SortControl cb{threads, &seed_b, nullptr, nullptr, false};
    SortOutcome how_a, how_b;
    ASSERT_EQ(sort_observations(a, keys, 1, a.nobs(), ca, &how_a), 0);
    ASSERT_EQ(sort_observations(b, keys, 1, b.nobs(), cb, &how_b), 0);
    EXPECT_EQ(how_a, distinct ? SortOutcome::kRadix : SortOutcome::kSorted);
    EXPECT_EQ(how_b, SortOutcome::kSorted);
    EXPECT_TRUE(is_ordered(a, keys, 1, a.nobs()));
    EXPECT_EQ(a.checksum(), b.checksum()) << "radix and quicksort orders differ";
    EXPECT_EQ(seed_a, seed_b) << "the seed did not move as the shuffle moves it";
  }
};

constexpr std::int64_t kN = 20000;

// Distinct doubles: negatives, huge and tiny magnitudes, and each of the 27
// missing values once, plus a tag.
void distinct_doubles(Dataset& ds) {
  ds.clear();
  ASSERT_EQ(ds.set_obs(kN), 0);
  int x = 0, tag = 0;
  ASSERT_EQ(ds.add_variable("x", kDouble, &x), 0);
  ASSERT_EQ(ds.add_variable("tag", kLong, &tag), 0);
  Lcg g{99};
  for (std::int64_t i = 1; i <= kN; ++i) {
    // (4p + 1) 2^e with p distinct: distinct values, since the odd part and
    // the power of two are each fixed by the value; the sign at random.
    const double p = static_cast<double>((i * 7919) % 100003);
    const int e = static_cast<int>(g.next() % 121) - 60;
    double v = std::ldexp(4 * p + 1, e) * (g.next() % 2 ? -1 : 1);
    if (i <= 27) v = missing_value(static_cast<int>(i - 1));
    if (i == 28) v = -1e300;
    if (i == 29) v = std::nextafter(kMissing, 0.0);  // the largest non-missing double
    ds.store(x, i, v);
    ds.store(tag, i, static_cast<double>(i));
  }
}

TEST_F(RadixTest, DistinctDoublesWithEveryMissingValue) {
  for (int threads : {1, 2}) compare(distinct_doubles, {1}, threads, true);
  // Check the order by hand on the missing values: they end the data, `.`
  // first and `.z` last.
  Dataset ds{std::size_t{256} << 20};
  distinct_doubles(ds);
  std::uint32_t seed = 1;
  SortControl c{1, &seed, nullptr, nullptr, true};
  ASSERT_EQ(sort_observations(ds, {1}, 1, ds.nobs(), c), 0);
  for (int m = 0; m < 27; ++m) EXPECT_EQ(ds.fetch(1, kN - 26 + m), missing_value(m)) << m;
  EXPECT_EQ(ds.fetch(1, 1), -1e300);
}

// Each integer and float storage type with distinct keys, missing values
// included.
template <int Type>
void distinct_of_type(Dataset& ds) {
  ds.clear();
  const std::int64_t n = Type == kByte ? 100 + 27 : kN;
  ASSERT_EQ(ds.set_obs(n), 0);
  int x = 0, tag = 0;
  ASSERT_EQ(ds.add_variable("x", Type, &x), 0);
  ASSERT_EQ(ds.add_variable("tag", kLong, &tag), 0);
  std::vector<double> v;
  for (std::int64_t i = 0; i < n - 27; ++i) v.push_back(static_cast<double>(i - (n - 27) / 2) * (Type == kFloat ? 0.5 : 1));
  for (int m = 0; m < 27; ++m) v.push_back(missing_value(m));
  Lcg g{7};
  for (std::size_t i = v.size(); i > 1; --i) std::swap(v[i - 1], v[g.next() % i]);
  for (std::int64_t i = 1; i <= n; ++i) {
    ds.store(x, i, v[static_cast<std::size_t>(i - 1)]);
    ds.store(tag, i, static_cast<double>(i));
  }
}

TEST_F(RadixTest, DistinctKeysOfEveryNumericType) {
  for (int threads : {1, 2}) {
    compare(distinct_of_type<kByte>, {1}, threads, true);
    compare(distinct_of_type<kInt>, {1}, threads, true);
    compare(distinct_of_type<kLong>, {1}, threads, true);
    compare(distinct_of_type<kFloat>, {1}, threads, true);
  }
}

// Strings of width 12 with bytes above 127, many sharing their first 8
// bytes so that only the tail tells them apart, and a few shorter than 8.
void distinct_strings(Dataset& ds) {
  ds.clear();
  ASSERT_EQ(ds.set_obs(kN), 0);
  int s = 0, tag = 0;
  ASSERT_EQ(ds.add_variable("s", 12, &s), 0);
  ASSERT_EQ(ds.add_variable("tag", kLong, &tag), 0);
  Lcg g{3};
  for (std::int64_t i = 1; i <= kN; ++i) {
    std::string v;
    int prefix = static_cast<int>(g.next() % 4);  // four common prefixes
    v = std::string(prefix == 0 ? "\xe9t\xe9" : prefix == 1 ? "ab" : prefix == 2 ? "\xff\xfe" : "Zz");
    while (v.size() < 8) v += static_cast<char>(prefix == 3 ? 'a' : 0x80 + prefix);
    // The tail is the observation number in base 200 from byte 30: distinct.
    std::int64_t k = i;
    for (int d = 0; d < 3; ++d, k /= 200) v += static_cast<char>(30 + k % 200);
    if (i % 1000 == 0) v = std::string(1 + i / 1000 % 7, static_cast<char>(0xc0 + i / 1000));  // short ones
    ds.store_str(s, i, v);
    ds.store(tag, i, static_cast<double>(i));
  }
}

// Strings of at most 8 bytes: the cached key is the whole key.
void distinct_short_strings(Dataset& ds) {
  ds.clear();
  ASSERT_EQ(ds.set_obs(kN), 0);
  int s = 0, tag = 0;
  ASSERT_EQ(ds.add_variable("s", 6, &s), 0);
  ASSERT_EQ(ds.add_variable("tag", kLong, &tag), 0);
  for (std::int64_t i = 1; i <= kN; ++i) {
    std::int64_t k = (i * 7919) % 65521;  // distinct for i < 65521
    std::string v;
    v += static_cast<char>(0x80 + k % 120);
    v += static_cast<char>(1 + k / 120 % 250);
    if (k % 3) v += static_cast<char>(0xf0 + k % 15);
    v += static_cast<char>(1 + k / 30000);
    ds.store_str(s, i, v);
    ds.store(tag, i, static_cast<double>(i));
  }
}

TEST_F(RadixTest, DistinctStringsWithHighBytesAndSharedPrefixes) {
  for (int threads : {1, 2}) {
    compare(distinct_strings, {1}, threads, true);
    compare(distinct_short_strings, {1}, threads, true);
  }
}

// A group key with ties and a second key that makes every pair distinct;
// then the group key alone (ties), and stable's observation-number key.
void groups_and_ids(Dataset& ds) {
  ds.clear();
  ASSERT_EQ(ds.set_obs(kN), 0);
  int g = 0, id = 0, x = 0;
  ASSERT_EQ(ds.add_variable("g", kInt, &g), 0);
  ASSERT_EQ(ds.add_variable("id", kDouble, &id), 0);
  ASSERT_EQ(ds.add_variable("x", kFloat, &x), 0);
  Lcg r{11};
  for (std::int64_t i = 1; i <= kN; ++i) {
    std::uint64_t u = r.next();
    ds.store(g, i, u % 50 == 0 ? missing_value(static_cast<int>(u / 50 % 27)) : static_cast<double>(u % 37));
    ds.store(id, i, static_cast<double>((i * 7919) % 100003));
    ds.store(x, i, static_cast<double>(u % 5));
  }
}

void with_stable_key(Dataset& ds) {
  groups_and_ids(ds);
  int o = 0;
  ASSERT_EQ(ds.add_reserved_variable(kLong, &o), 0);
  for (std::int64_t i = 1; i <= ds.nobs(); ++i) ds.store(o, i, static_cast<double>(i));
}

TEST_F(RadixTest, SeveralKeysStableKeyAndTies) {
  for (int threads : {1, 2}) {
    compare(groups_and_ids, {1, 2}, threads, true);  // distinct pairs
    compare(groups_and_ids, {1, 3, 2}, threads, true);
    compare(groups_and_ids, {1}, threads, false);      // ties: the seeded quicksort order
    compare(groups_and_ids, {1, 3}, threads, false);   // ties over two keys
    compare(with_stable_key, {1, 4}, threads, true);   // stable
    compare(with_stable_key, {3, 1, 4}, threads, true);
  }
}

TEST_F(RadixTest, StableKeepsThePreviousOrderOfTies) {
  // Checked against the definition: within each group, the previous
  // observation numbers ascend.
  Dataset ds{std::size_t{256} << 20};
  with_stable_key(ds);
  std::uint32_t seed = 5;
  SortControl c{2, &seed, nullptr, nullptr, true};
  ASSERT_EQ(sort_observations(ds, {1, 4}, 1, ds.nobs(), c), 0);
  for (std::int64_t i = 1; i < ds.nobs(); ++i) {
    double g0 = ds.fetch(1, i), g1 = ds.fetch(1, i + 1);
    ASSERT_TRUE(g0 < g1 || (g0 == g1 && ds.fetch(4, i) < ds.fetch(4, i + 1))) << i;
  }
}

TEST_F(RadixTest, NegativeZeroTiesWithZero) {
  // -0 and 0 are equal keys: a tie, so the order is the seeded quicksort's.
  auto fill = [](Dataset& ds) {
    ds.clear();
    ASSERT_EQ(ds.set_obs(kN), 0);
    int x = 0, tag = 0;
    ASSERT_EQ(ds.add_variable("x", kDouble, &x), 0);
    ASSERT_EQ(ds.add_variable("tag", kLong, &tag), 0);
    for (std::int64_t i = 1; i <= kN; ++i) {
      ds.store(x, i, i == 77 ? -0.0 : i == kN - 3 ? 0.0 : static_cast<double>((i * 7919) % 100003) + 0.5);
      ds.store(tag, i, static_cast<double>(i));
    }
  };
  compare(fill, {1}, 1, false);
}

}  // namespace
}  // namespace nuvra::data
