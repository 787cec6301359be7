// The sort engine on a dataset: the comparison order, the one-pass check
// (nothing moved, or reversed without a shuffle), the seed's draws, ties
// reproduced by the seed and the same serially and in parallel, ranges,
// the index permutation and Break.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "data/by.h"
#include "data/sort.h"

namespace nuvra::data {
namespace {

class SortTest : public ::testing::Test {
 protected:
  // Numeric variables (double unless told) filled from the columns given.
  void make(const std::vector<std::vector<double>>& cols, int type = kDouble) {
    ds.clear();
    ASSERT_EQ(ds.set_obs(static_cast<std::int64_t>(cols[0].size())), 0);
    for (std::size_t c = 0; c < cols.size(); ++c) {
      int j = 0;
      ASSERT_EQ(ds.add_variable("v" + std::to_string(c + 1), type, &j), 0);
      for (std::size_t i = 0; i < cols[c].size(); ++i) ds.store(j, static_cast<std::int64_t>(i + 1), cols[c][i]);
    }
  }
  std::vector<double> column(int j) const {
    std::vector<double> out;
    for (std::int64_t i = 1; i <= ds.nobs(); ++i) out.push_back(ds.fetch(j, i));
    return out;
  }
  std::vector<std::uint32_t> slots() const {
    return std::vector<std::uint32_t>(ds.slot_table(), ds.slot_table() + ds.nobs());
  }
  rc_t sort(const std::vector<int>& keys, std::int64_t lo = 1, std::int64_t hi = -1, SortOutcome* how = nullptr) {
    return sort_observations(ds, keys, lo, hi < 0 ? ds.nobs() : hi, ctl, how);
  }

  Dataset ds{std::size_t{256} << 20};
  std::uint32_t seed = 1001;
  SortControl ctl{1, &seed, nullptr, nullptr};
};

const double kDot = kMissing;
const double kA = missing_value(1);
const double kZ = missing_value(26);

TEST_F(SortTest, OrderedDataMovesNothingAndIsRecorded) {
  // Observations ascending while their records lie in reverse slots: the
  // slot table must come out of the sort exactly as it went in.
  make({{5, 4, 4, 2, 1}});
  std::uint32_t* s = ds.slot_table();
  std::reverse(s, s + ds.nobs());
  ASSERT_EQ(column(1), (std::vector<double>{1, 2, 4, 4, 5}));
  std::vector<std::uint32_t> before = slots();
  SortOutcome how;
  ASSERT_EQ(sort({1}, 1, -1, &how), 0);
  EXPECT_EQ(how, SortOutcome::kInOrder);
  EXPECT_EQ(slots(), before);
  EXPECT_EQ(seed, 1001u);
  ASSERT_EQ(ds.sort_list().size(), 1u);
  EXPECT_EQ(ds.sort_list()[0], 1);
}

TEST_F(SortTest, DescendingDataIsReversedWithoutShuffling) {
  make({{9, 7, 7, 3, -1}, {1, 2, 3, 4, 5}});
  SortOutcome how;
  ASSERT_EQ(sort({1}, 1, -1, &how), 0);
  EXPECT_EQ(how, SortOutcome::kReversed);
  EXPECT_EQ(column(1), (std::vector<double>{-1, 3, 7, 7, 9}));
  // Reversal turns the tie round: 7 of observation 3 now comes first.
  EXPECT_EQ(column(2), (std::vector<double>{5, 4, 3, 2, 1}));
  EXPECT_EQ(seed, 1001u);  // no draws were made
  EXPECT_TRUE(ds.in_slot_order());
}

TEST_F(SortTest, ShuffleDrawsTwicePerObservation) {
  // Five observations out of order: five swaps, ten draws of
  // s <- s * 68969 AND 0x7FFFFFFF from 1001. Reference from python:
  //   s=1001
  //   for k in range(10): s=(s*68969)&0x7FFFFFFF
  //   print(s)  -> 1801488313
  make({{3, 1, 2, 5, 4}});
  ASSERT_EQ(sort({1}), 0);
  EXPECT_EQ(column(1), (std::vector<double>{1, 2, 3, 4, 5}));
  EXPECT_EQ(seed, 1801488313u);
}

TEST_F(SortTest, MissingValuesFollowNumbersInTheirOrder) {
  make({{kZ, 3, kDot, -1e300, kA, 2.5, -0.0, 1e300}});
  ASSERT_EQ(sort({1}), 0);
  std::vector<double> got = column(1);
  std::vector<double> want = {-1e300, 0, 2.5, 3, 1e300, kDot, kA, kZ};
  ASSERT_EQ(got.size(), want.size());
  for (std::size_t i = 0; i < want.size(); ++i) EXPECT_EQ(std::memcmp(&got[i], &want[i], 8) == 0 || got[i] == want[i], true) << i;
  // Integer storage types encode missing values differently but order alike.
  make({{kZ, 100, kDot, -127, kA}}, kByte);
  ASSERT_EQ(sort({1}), 0);
  got = column(1);
  EXPECT_EQ(got[0], -127);
  EXPECT_EQ(got[1], 100);
  EXPECT_TRUE(got[2] == kDot && got[3] == kA && got[4] == kZ);
}

TEST_F(SortTest, StringsCompareAsUnsignedBytesPrefixFirst) {
  ds.clear();
  const std::vector<std::string> in = {"b", "abcdefghZ", "", "\xff", "abcdefgh", "B", "abcdefghA", "ab", "a"};
  ASSERT_EQ(ds.set_obs(static_cast<std::int64_t>(in.size())), 0);
  int j = 0;
  ASSERT_EQ(ds.add_variable("s", 12, &j), 0);
  for (std::size_t i = 0; i < in.size(); ++i) ds.store_str(j, static_cast<std::int64_t>(i + 1), in[i]);
  ASSERT_EQ(sort({j}), 0);
  std::vector<std::string> got;
  for (std::int64_t i = 1; i <= ds.nobs(); ++i) got.push_back(ds.fetch_str(j, i));
  EXPECT_EQ(got, (std::vector<std::string>{"", "B", "a", "ab", "abcdefgh", "abcdefghA", "abcdefghZ", "b", "\xff"}));
}

TEST_F(SortTest, SeveralKeysDecideInTurn) {
  make({{2, 1, 2, 1, 2}, {kDot, 5, -3, 5, 4}, {1, 2, 3, 4, 5}});
  ASSERT_EQ(sort({1, 2}), 0);
  EXPECT_EQ(column(1), (std::vector<double>{1, 1, 2, 2, 2}));
  std::vector<double> second = column(2);
  EXPECT_EQ(second[2], -3);
  EXPECT_EQ(second[3], 4);
  EXPECT_EQ(second[4], kDot);
  EXPECT_EQ(ds.sort_list().size(), 2u);
}

// Keys with many ties (i mod 97) and a tag holding the original number.
void make_ties(Dataset& ds, std::int64_t n) {
  ds.clear();
  ASSERT_EQ(ds.set_obs(n), 0);
  int k = 0, t = 0;
  ASSERT_EQ(ds.add_variable("k", kInt, &k), 0);
  ASSERT_EQ(ds.add_variable("t", kLong, &t), 0);
  std::uint64_t x = 12345;
  for (std::int64_t i = 1; i <= n; ++i) {
    x = x * 6364136223846793005ULL + 1442695040888963407ULL;
    ds.store(k, i, static_cast<double>((x >> 33) % 97));
    ds.store(t, i, static_cast<double>(i));
  }
}

TEST_F(SortTest, TiesFollowTheSeedSeriallyAndInParallel) {
  const std::int64_t n = 1000000;
  std::vector<double> orders[3];
  std::uint32_t seeds_after[3];
  const int threads[3] = {1, 2, 4};
  for (int run = 0; run < 3; ++run) {
    make_ties(ds, n);
    seed = 1001;
    ctl.threads = threads[run];
    ASSERT_EQ(sort({1}), 0);
    ASSERT_TRUE(is_ordered(ds, {1}, 1, n));
    orders[run] = column(2);
    seeds_after[run] = seed;
  }
  EXPECT_EQ(orders[0], orders[1]);
  EXPECT_EQ(orders[0], orders[2]);
  EXPECT_EQ(seeds_after[0], seeds_after[1]);
  // The result is a permutation of the tags.
  std::vector<double> sorted = orders[0];
  std::sort(sorted.begin(), sorted.end());
  for (std::int64_t i = 0; i < n; ++i) ASSERT_EQ(sorted[static_cast<std::size_t>(i)], static_cast<double>(i + 1));
  // Another seed orders the ties differently.
  make_ties(ds, n);
  seed = 7;
  ctl.threads = 1;
  ASSERT_EQ(sort({1}), 0);
  EXPECT_NE(column(2), orders[0]);
}

TEST_F(SortTest, RangesLeaveTheRestAndClearTheRecordWhenMoved) {
  make({{9, 8, 4, 3, 6, 5, 2, 1}});
  ASSERT_EQ(sort({1}, 3, 6), 0);
  EXPECT_EQ(column(1), (std::vector<double>{9, 8, 3, 4, 5, 6, 2, 1}));
  EXPECT_TRUE(ds.sort_list().empty());
  // A range already in order keeps whatever record there is.
  ds.set_sort_list({1});
  ASSERT_EQ(sort({1}, 3, 6), 0);
  EXPECT_EQ(ds.sort_list().size(), 1u);
  // Empty and one-observation data.
  make({{4}});
  EXPECT_EQ(sort({1}), 0);
  ds.clear();
  EXPECT_EQ(sort_observations(ds, {}, 1, 0, ctl), 0);
}

TEST_F(SortTest, IndexPermutesOrRefusesLeavingDataAlone) {
  make({{10, 20, 30, 40}});
  EXPECT_EQ(apply_order_index(ds, {2, 2, 1, 4}), 459);
  EXPECT_EQ(apply_order_index(ds, {0, 1, 2, 3}), 459);
  EXPECT_EQ(apply_order_index(ds, {1, 2, 3}), 459);
  EXPECT_EQ(column(1), (std::vector<double>{10, 20, 30, 40}));
  // Observation i goes to position index[i]: 10 -> 3, 20 -> 1, ...
  ASSERT_EQ(apply_order_index(ds, {3, 1, 4, 2}), 0);
  EXPECT_EQ(column(1), (std::vector<double>{20, 40, 10, 30}));
}

// Data for the Break tests: a key of the given kind and a tag holding
// each observation's number.
enum class KeyKind { kDistinct, kTies, kDescending };
void make_keyed(Dataset& ds, std::int64_t n, KeyKind kind) {
  make_ties(ds, n);  // k (int) and t, the tag
  for (std::int64_t i = 1; i <= n; ++i) {
    // 7919 is prime and does not divide n: i * 7919 mod n takes each value once.
    if (kind == KeyKind::kDistinct) ds.store(1, i, static_cast<double>((i * 7919) % n));
    if (kind == KeyKind::kDescending) ds.store(1, i, static_cast<double>((n - i) / 3));
  }
}

// A Break at any poll of any phase (one-pass check, keys, radix passes,
// shuffle, quicksort, copy of the records) leaves the observations, the
// sort list and the seed as they were; once the records move the sort
// finishes whatever the poll says. Each case is run with the Break at the
// first poll, the second, ... until the sort finishes before it.
TEST_F(SortTest, BreakAtAnyPollChangesNothing) {
  const std::int64_t n = 30000;
  for (KeyKind kind : {KeyKind::kDistinct, KeyKind::kTies, KeyKind::kDescending}) {
    for (int threads : {1, 2}) {
      int broken = 0;
      for (int stop_at = 1;; ++stop_at) {
        SCOPED_TRACE("kind " + std::to_string(static_cast<int>(kind)) + ", threads " + std::to_string(threads) +
                     ", Break at poll " + std::to_string(stop_at));
        make_keyed(ds, n, kind);
        std::vector<double> keys_before = column(1);
        ds.set_sort_list({2});
        seed = 1001;
        ctl.threads = threads;
        ctl.poll_interval = std::chrono::microseconds(0);
        int calls = 0;
        ctl.poll = [&calls, stop_at] { return ++calls >= stop_at; };
        rc_t rc = sort({1});
        if (rc == 1) {
          ++broken;
          ASSERT_EQ(column(1), keys_before);
          std::vector<double> tags = column(2);
          for (std::int64_t i = 0; i < n; ++i) ASSERT_EQ(tags[static_cast<std::size_t>(i)], static_cast<double>(i + 1));
          ASSERT_EQ(ds.sort_list(), (std::vector<std::uint16_t>{2}));
          ASSERT_EQ(seed, 1001u);
          continue;
        }
        ASSERT_EQ(rc, 0);
        EXPECT_TRUE(is_ordered(ds, {1}, 1, n));
        std::vector<double> tags = column(2);
        std::sort(tags.begin(), tags.end());
        for (std::int64_t i = 0; i < n; ++i) ASSERT_EQ(tags[static_cast<std::size_t>(i)], static_cast<double>(i + 1));
        EXPECT_EQ(ds.sort_list(), (std::vector<std::uint16_t>{1}));
        // In one thread the polls come at fixed points of the work, so
        // they went on to the end: more of them than the Breaks that
        // stopped the sort (those seen while the records moved).  With
        // two, the calling thread polls by the clock while the others
        // sort, and the count differs from one run to the next.
        if (threads == 1) {
          EXPECT_GE(calls, stop_at);
        }
        break;
      }
      // Every case polls several times before its records move; by the
      // clock, at least once.
      EXPECT_GE(broken, threads == 2 ? 1 : kind == KeyKind::kDescending ? 5 : 10);
    }
  }
}

TEST(SortThreads, ShareRule) {
  EXPECT_EQ(sort_threads(1, 1000000), 1);
  EXPECT_EQ(sort_threads(2, 1000000), 2);
  EXPECT_EQ(sort_threads(8, 1000000), 8);
  // n = 200: ceil(200/100 - 1) = 1 thread.
  EXPECT_EQ(sort_threads(4, 200), 1);
  // n = 201: min(ceil(1.01), ceil(13.2)) = 2, share 101.
  EXPECT_EQ(sort_threads(4, 201), 2);
  // n = 450: min(ceil(3.5), ceil(20.2)) = 4 threads, share 113.
  EXPECT_EQ(sort_threads(8, 450), 4);
}

TEST(ByGroups, RunsOfEqualNeighbours) {
  Dataset ds{std::size_t{16} << 20};
  ASSERT_EQ(ds.set_obs(6), 0);
  int g = 0;
  ASSERT_EQ(ds.add_variable("g", kDouble, &g), 0);
  const double v[] = {1, 1, 2, kDot, kDot, kA};
  for (int i = 0; i < 6; ++i) ds.store(g, i + 1, v[i]);
  EXPECT_EQ(group_starts(ds, {g}), (std::vector<std::int64_t>{1, 3, 4, 6, 7}));
  EXPECT_EQ(group_header(ds, {g}, 4), "g = .");
  // A poll that asks to stop ends the walk with no groups; one that does
  // not changes nothing.
  int polls = 0;
  EXPECT_EQ(group_starts(ds, {g}, [&polls] { return ++polls > 0; }), std::vector<std::int64_t>{});
  EXPECT_EQ(polls, 1);
  EXPECT_EQ(group_starts(ds, {g}, [] { return false; }), (std::vector<std::int64_t>{1, 3, 4, 6, 7}));
  ds.clear();
  EXPECT_EQ(group_starts(ds, {}), (std::vector<std::int64_t>{1}));
}

// Each storage type walked down its own column: zero and negative zero
// are one value, every missing value its own; strings compare bytewise
// (high bytes included); with two keys a change in either starts a group.
TEST(ByGroups, EveryStorageTypeAndSeveralKeys) {
  Dataset ds{std::size_t{16} << 20};
  ASSERT_EQ(ds.set_obs(8), 0);
  int d = 0, f = 0, b = 0, l = 0, s = 0;
  ASSERT_EQ(ds.add_variable("d", kDouble, &d), 0);
  ASSERT_EQ(ds.add_variable("f", kFloat, &f), 0);
  ASSERT_EQ(ds.add_variable("b", kByte, &b), 0);
  ASSERT_EQ(ds.add_variable("l", kLong, &l), 0);
  ASSERT_EQ(ds.add_variable("s", 3, &s), 0);
  const double dv[] = {0.0, -0.0, 1.5, 1.5, kDot, kDot, kA, kA};
  const double fv[] = {2, 2, 2, 0.1, 0.1, kDot, kDot, missing_value(2)};
  const double bv[] = {-5, -5, kDot, kA, kA, kA, 100, 100};
  const double lv[] = {7, 7, 7, 7, 7, 7, 7, 7};
  const char* sv[] = {"ab", "ab", "ab\xe9", "ab\xe9", "ab\xe8", "", "", "z"};
  for (int i = 0; i < 8; ++i) {
    ds.store(d, i + 1, dv[i]);
    ds.store(f, i + 1, fv[i]);
    ds.store(b, i + 1, bv[i]);
    ds.store(l, i + 1, lv[i]);
    ds.store_str(s, i + 1, sv[i]);
  }
  using Starts = std::vector<std::int64_t>;
  EXPECT_EQ(group_starts(ds, {d}), (Starts{1, 3, 5, 7, 9}));
  EXPECT_EQ(group_starts(ds, {f}), (Starts{1, 4, 6, 8, 9}));
  EXPECT_EQ(group_starts(ds, {b}), (Starts{1, 3, 4, 7, 9}));
  EXPECT_EQ(group_starts(ds, {l}), (Starts{1, 9}));
  EXPECT_EQ(group_starts(ds, {s}), (Starts{1, 3, 5, 6, 8, 9}));
  EXPECT_EQ(group_starts(ds, {d, f}), (Starts{1, 3, 4, 5, 6, 7, 8, 9}));
  EXPECT_EQ(group_starts(ds, {l, b}), (Starts{1, 3, 4, 7, 9}));
  EXPECT_EQ(group_starts(ds, {s, d}), (Starts{1, 3, 5, 6, 7, 8, 9}));
  // Every key's equal values are neighbours here: the search from a few
  // observations finds the same groups, and each group matches its first.
  for (const std::vector<int>& vars : std::vector<std::vector<int>>{{d}, {f}, {b}, {l}, {s}, {d, f}, {l, b}, {s, d}}) {
    const Starts want = group_starts(ds, vars);
    EXPECT_EQ(sorted_group_starts(ds, vars), want);
    for (std::size_t g = 0; g + 1 < want.size(); ++g)
      EXPECT_TRUE(rows_match(ds, vars, want[g], want[g], want[g + 1] - 1));
    // One observation past a group's end is another group.
    for (std::size_t g = 0; g + 2 < want.size(); ++g)
      EXPECT_FALSE(rows_match(ds, vars, want[g], want[g], want[g + 1]));
  }
}

// Groups of 1 to 4000 observations, over more observations than one thread
// walks alone: the walk shared among threads and the search from a few
// observations agree with groups laid out here, however many threads.
TEST(ByGroups, LongDataSharedAndSearched) {
  Dataset ds{std::size_t{64} << 20};
  const std::int64_t n = 600000;
  ASSERT_EQ(ds.set_obs(n), 0);
  int g = 0, s = 0;
  ASSERT_EQ(ds.add_variable("g", kLong, &g), 0);
  ASSERT_EQ(ds.add_variable("s", 2, &s), 0);
  std::vector<std::int64_t> want;
  std::int64_t key = 0;
  for (std::int64_t i = 1, len = 1; i <= n; i += len, len = len % 4000 + 7) {
    want.push_back(i);
    for (std::int64_t k = i; k < std::min(n + 1, i + len); ++k) ds.store(g, k, static_cast<double>(key));
    ++key;
  }
  want.push_back(n + 1);
  for (std::int64_t i = 1; i <= n; ++i) ds.store_str(s, i, "ab");
  for (int threads : {1, 2, 3, 5}) {
    EXPECT_EQ(group_starts(ds, {g}, {}, threads), want) << threads;
    EXPECT_EQ(group_starts(ds, {s, g}, {}, threads), want) << threads;
  }
  EXPECT_EQ(sorted_group_starts(ds, {g}), want);
  EXPECT_EQ(sorted_group_starts(ds, {s}), (std::vector<std::int64_t>{1, n + 1}));
  // A Break seen by the calling thread stops the shared walk too.
  EXPECT_EQ(group_starts(ds, {g}, [] { return true; }, 2), std::vector<std::int64_t>{});
}

// Data whose recorded order no longer holds (a key comes back after
// another): the search may join what the full walk keeps apart, and
// rows_match tells which of its groups are wrong. Its starts are still
// all starts of the full walk.
TEST(ByGroups, KeyThatComesBack) {
  Dataset ds{std::size_t{16} << 20};
  ASSERT_EQ(ds.set_obs(9), 0);
  int g = 0;
  ASSERT_EQ(ds.add_variable("g", kInt, &g), 0);
  const double v[] = {1, 1, 2, 1, 1, 3, 3, 3, 3};
  for (int i = 0; i < 9; ++i) ds.store(g, i + 1, v[i]);
  using Starts = std::vector<std::int64_t>;
  EXPECT_EQ(group_starts(ds, {g}), (Starts{1, 3, 4, 6, 10}));
  const Starts found = sorted_group_starts(ds, {g});
  EXPECT_EQ(found, (Starts{1, 6, 10}));
  EXPECT_FALSE(rows_match(ds, {g}, 1, 1, 5));
  EXPECT_TRUE(rows_match(ds, {g}, 1, 4, 5));
  EXPECT_TRUE(rows_match(ds, {g}, 6, 6, 9));
}

}  // namespace
}  // namespace nuvra::data
