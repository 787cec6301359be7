// The data area: layout, repartition, observations, slot order, columns.
#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <vector>

#include "data/dataset.h"

using namespace nuvra::data;

namespace {

// Fills variable j with a value that names its variable and observation.
double tag(int j, std::int64_t i) { return j * 1000.0 + static_cast<double>(i); }

void fill(Dataset& ds, int j) {
  for (std::int64_t i = 1; i <= ds.nobs(); ++i) ds.store(j, i, tag(j, i));
}

void expect_tags(const Dataset& ds) {
  for (int j = 1; j <= ds.nvar(); ++j)
    for (std::int64_t i = 1; i <= ds.nobs(); ++i)
      ASSERT_EQ(ds.fetch(j, i), tag(j, i)) << "var " << j << " obs " << i;
}

}  // namespace

TEST(DataArea, LayoutFollowsTheSetMemory) {
  Dataset ds(1016);  // (1016 - 16) / (4 + 8) = 83 records of the initial width 4
  EXPECT_EQ(ds.allotted_width(), 4u);
  EXPECT_EQ(ds.n_curmax(), 83);
  ASSERT_EQ(ds.set_obs(83), 0);
  EXPECT_EQ(ds.set_obs(84), 901);
  EXPECT_EQ(ds.nobs(), 83);
  // Slot table at the block start; records at the first 16-byte boundary
  // after the two tables of 83 entries (664 bytes -> 672).
  auto* block = reinterpret_cast<char*>(ds.slot_table());
  EXPECT_EQ(reinterpret_cast<char*>(ds.scratch_table()) - block, 4 * 83);
  int j = 0;
  Dataset ds2(1016);
  ASSERT_EQ(ds2.set_obs(2), 0);
  ASSERT_EQ(ds2.add_variable("b", kByte, &j), 0);
  EXPECT_EQ(ds2.value_ptr(j, 1) - reinterpret_cast<char*>(ds2.slot_table()),
            static_cast<std::ptrdiff_t>((8 * ds2.n_curmax() + 15) / 16 * 16));
  EXPECT_EQ(ds2.value_ptr(j, 2) - ds2.value_ptr(j, 1), static_cast<std::ptrdiff_t>(ds2.allotted_width()));
}

TEST(DataArea, RepartitionGrowsGenerouslyThenExactlyAndFailsCleanly) {
  // 10 observations; the records can be at most (1080 / 10) - 8 = 100 wide.
  Dataset ds(1096);
  ASSERT_EQ(ds.set_obs(10), 0);
  EXPECT_EQ(ds.n_curmax(), 90);
  // First double: need 6 (width 10 > 8), headroom 96, take 48: w = 52.
  int j = 0;
  ASSERT_EQ(ds.add_variable("v1", kDouble, &j), 0);
  fill(ds, j);
  EXPECT_EQ(ds.allotted_width(), 52u);
  EXPECT_EQ(ds.n_curmax(), 18);  // 1080 / 60
  // Widths then go 52 -> 76 (7th: need 6, headroom 48) -> 88 (10th: need
  // 6, headroom 24) -> 94 (11th: need 2, headroom 12) -> 98 (12th: need 4
  // exceeds half the headroom of 6).
  const std::uint32_t expect_w[] = {52, 52, 52, 52, 52, 76, 76, 76, 88, 94, 98};
  for (int k = 2; k <= 12; ++k) {
    ASSERT_EQ(ds.add_variable("v" + std::to_string(k), kDouble, &j), 0) << k;
    fill(ds, j);
    EXPECT_EQ(ds.allotted_width(), expect_w[k - 2]) << k;
  }
  expect_tags(ds);
  EXPECT_EQ(ds.used_width(), 96u);
  // 13th: width 106 would hold only 9 observations: 902, nothing changes.
  std::uint64_t before = ds.checksum();
  EXPECT_EQ(ds.add_variable("v13", kDouble), 902);
  EXPECT_EQ(ds.checksum(), before);
  EXPECT_EQ(ds.allotted_width(), 98u);
  EXPECT_EQ(ds.nvar(), 12);
  // A byte still fits without repartition (97 < 98).
  ASSERT_EQ(ds.add_variable("small", kByte, &j), 0);
  EXPECT_EQ(ds.allotted_width(), 98u);
  // No observation more fits at width 98, nor at any width that holds the
  // variables: 901, unchanged.
  before = ds.checksum();
  EXPECT_EQ(ds.set_obs(11), 901);
  EXPECT_EQ(ds.checksum(), before);
  EXPECT_EQ(ds.nobs(), 10);
}

TEST(DataArea, WidthBeyondTwelveTimesMaxvarIs1010) {
  Dataset ds;
  ASSERT_EQ(ds.set_maxvar(2048), 0);
  EXPECT_EQ(ds.max_width(), 24576u);
  ASSERT_EQ(ds.set_obs(3), 0);
  for (int k = 1; k <= 100; ++k) ASSERT_EQ(ds.add_variable("s" + std::to_string(k), 244), 0);
  EXPECT_EQ(ds.used_width(), 24400u);
  EXPECT_EQ(ds.allotted_width(), 24402u);  // exact growth each time: 24401 made even
  std::uint64_t before = ds.checksum();
  EXPECT_EQ(ds.add_variable("s101", 244), 1010);
  EXPECT_EQ(ds.checksum(), before);
  EXPECT_EQ(ds.allotted_width(), 24402u);
  EXPECT_EQ(ds.add_variable("b", kByte), 0);
}

TEST(DataArea, SetObsGrowsWithMissingAndShrinks) {
  Dataset ds;
  int x = 0, s = 0, b = 0;
  ASSERT_EQ(ds.add_variable("x", kDouble, &x), 0);
  ASSERT_EQ(ds.add_variable("s", 4, &s), 0);
  ASSERT_EQ(ds.add_variable("b", kByte, &b), 0);
  ASSERT_EQ(ds.set_obs(3), 0);
  for (int i = 1; i <= 3; ++i) {
    EXPECT_EQ(ds.fetch(x, i), kMissing);
    EXPECT_EQ(ds.fetch(b, i), kMissing);
    EXPECT_EQ(ds.fetch_str(s, i), "");
  }
  ds.store(x, 1, 1.5);
  ds.store_str(s, 2, "abcd");
  ASSERT_EQ(ds.set_obs(1), 0);
  ASSERT_EQ(ds.set_obs(2), 0);
  EXPECT_EQ(ds.fetch(x, 1), 1.5);
  EXPECT_EQ(ds.fetch_str(s, 2), "");  // the re-added observation starts empty
  EXPECT_EQ(ds.set_obs(-1), 198);
}

TEST(DataArea, SetObsNarrowsAGenerousWidthWhenTheVariablesAllow) {
  Dataset ds(1016);
  for (const char* n : {"a", "b", "c", "d"}) ASSERT_EQ(ds.add_variable(n, kByte), 0);
  // The fourth byte reached width 4 with no observations: generous growth
  // to 4 + (992 - 4) / 2 = 498, which holds one observation.
  EXPECT_EQ(ds.allotted_width(), 498u);
  ASSERT_EQ(ds.set_obs(1), 0);
  for (int j = 1; j <= 4; ++j) ds.store(j, 1, j);
  ASSERT_EQ(ds.set_obs(2), 0);
  EXPECT_EQ(ds.allotted_width(), 492u);  // (1000 / 2) - 8
  for (int j = 1; j <= 4; ++j) EXPECT_EQ(ds.fetch(j, 1), j);
}

TEST(DataArea, RecordMovesInPlaceInEveryDirection) {
  // Each case moves 40 records of 6 bytes between two strides within one
  // buffer; the expected result is a copy made through a second buffer.
  struct Case {
    std::size_t ob, ow, nb, nw;
  };
  const Case cases[] = {
      {40, 8, 0, 10},     // displacement -40 + 2s: down, then up from record 20
      {0, 10, 40, 8},     // displacement 40 - 2s: up, then down from record 20
      {0, 8, 16, 12},     // all up
      {200, 12, 0, 8},    // all down
      {100, 8, 100, 16},  // same base, wider
  };
  for (const auto& c : cases) {
    std::vector<char> area(1200, 0), expect(1200, 0);
    for (std::size_t s = 0; s < 40; ++s)
      for (std::size_t k = 0; k < 6; ++k) area[c.ob + s * c.ow + k] = static_cast<char>(s * 7 + k + 1);
    for (std::size_t s = 0; s < 40; ++s)
      for (std::size_t k = 0; k < 6; ++k) expect[s * 6 + k] = area[c.ob + s * c.ow + k];
    detail::move_records(area.data() + c.ob, c.ow, area.data() + c.nb, c.nw, 40, 6);
    for (std::size_t s = 0; s < 40; ++s)
      ASSERT_EQ(std::memcmp(area.data() + c.nb + s * c.nw, expect.data() + s * 6, 6), 0)
          << "case ob=" << c.ob << " record " << s;
  }
}

TEST(DataArea, RepartitionAndNarrowingKeepManyObservations) {
  // Enough observations that old and new record areas overlap.
  Dataset ds(16 + 2000 * 60);
  ASSERT_EQ(ds.set_obs(1500), 0);
  int j = 0;
  for (int k = 1; k <= 5; ++k) {
    ASSERT_EQ(ds.add_variable("v" + std::to_string(k), k % 2 ? kDouble : kLong, &j), 0);
    fill(ds, j);
    expect_tags(ds);
  }
  ASSERT_EQ(ds.set_obs(1999), 0);
  ASSERT_EQ(ds.set_obs(1500), 0);
  expect_tags(ds);
}

TEST(DataArea, SlotOrderAndColumns) {
  Dataset ds;
  int x = 0, s = 0;
  ASSERT_EQ(ds.add_variable("x", kDouble, &x), 0);
  ASSERT_EQ(ds.add_variable("s", 3, &s), 0);
  ASSERT_EQ(ds.set_obs(5), 0);
  for (int i = 1; i <= 5; ++i) {
    ds.store(x, i, i * 10);
    ds.store_str(s, i, std::string(1, static_cast<char>('a' + i - 1)));
  }
  EXPECT_TRUE(ds.in_slot_order());
  // Observation i now reads slot perm[i-1]: cycles (0 2 1) and (3 4).
  const std::uint32_t perm[] = {2, 0, 1, 4, 3};
  std::memcpy(ds.slot_table(), perm, sizeof perm);
  EXPECT_FALSE(ds.in_slot_order());
  const double expect_x[] = {30, 10, 20, 50, 40};
  const char* expect_s[] = {"c", "a", "b", "e", "d"};
  Column c = ds.column(x);
  for (int i = 1; i <= 5; ++i) {
    EXPECT_EQ(ds.fetch(x, i), expect_x[i - 1]);
    EXPECT_EQ(c.fetch(i - 1), expect_x[i - 1]);
    EXPECT_EQ(c.raw<double>(i - 1), expect_x[i - 1]);
    EXPECT_EQ(ds.fetch_str(s, i), expect_s[i - 1]);
  }
  std::uint64_t before = ds.checksum();
  ASSERT_EQ(ds.put_in_slot_order(), 0);
  EXPECT_TRUE(ds.in_slot_order());
  EXPECT_EQ(ds.checksum(), before);  // same observations, same order
  c = ds.column(x);
  for (int r = 0; r < 5; ++r) {
    double v;
    std::memcpy(&v, c.base + r * c.stride, 8);
    EXPECT_EQ(v, expect_x[r]);
  }
  // Whole-record copies go through the slot index too.
  std::vector<char> rec(ds.used_width());
  ds.fetch_record(1, rec.data());
  ds.store_record(5, rec.data());
  EXPECT_EQ(ds.fetch(x, 5), 30);
  EXPECT_EQ(ds.fetch_str(s, 5), "c");
}

TEST(DataArea, DroppingObservations) {
  Dataset ds;
  int x = 0;
  ASSERT_EQ(ds.add_variable("x", kInt, &x), 0);
  ASSERT_EQ(ds.set_obs(6), 0);
  for (int i = 1; i <= 6; ++i) ds.store(x, i, i);
  const std::uint32_t perm[] = {5, 4, 3, 2, 1, 0};  // reversed
  std::memcpy(ds.slot_table(), perm, sizeof perm);
  ASSERT_EQ(ds.drop_observations(2, 3), 0);  // drops 5 and 4
  ASSERT_EQ(ds.nobs(), 4);
  const double left[] = {6, 3, 2, 1};
  for (int i = 1; i <= 4; ++i) EXPECT_EQ(ds.fetch(x, i), left[i - 1]);
  ASSERT_EQ(ds.keep_observations({1, 0, 1, 0}), 0);
  ASSERT_EQ(ds.nobs(), 2);
  EXPECT_EQ(ds.fetch(x, 1), 6);
  EXPECT_EQ(ds.fetch(x, 2), 2);
  ASSERT_EQ(ds.set_obs(3), 0);  // the freed slots are reused cleanly
  EXPECT_EQ(ds.fetch(x, 3), kMissing);
  EXPECT_EQ(ds.drop_observations(3, 4), 198);
  EXPECT_EQ(ds.keep_observations({1}), 198);
}

TEST(DataArea, SetMemoryRefusesWhatTheSystemCannotGive) {
  // A petabyte is beyond any machine's memory and beyond the address
  // space; the size stays what it was, with data or without.
  const std::size_t huge = std::size_t{1} << 50;
  Dataset empty(1 << 20);
  EXPECT_EQ(empty.set_memory(huge), 950);
  EXPECT_EQ(empty.memory(), std::size_t{1} << 20);
  Dataset ds(1 << 20);
  int x = 0;
  ASSERT_EQ(ds.add_variable("x", kDouble, &x), 0);
  ASSERT_EQ(ds.set_obs(10), 0);
  fill(ds, x);
  std::uint64_t before = ds.checksum();
  EXPECT_EQ(ds.set_memory(huge), 950);
  EXPECT_EQ(ds.memory(), std::size_t{1} << 20);
  EXPECT_EQ(ds.checksum(), before);
}

TEST(DataArea, SetMemoryMovesTheData) {
  Dataset ds(1 << 20);
  int x = 0;
  ASSERT_EQ(ds.add_variable("x", kDouble, &x), 0);
  ASSERT_EQ(ds.set_obs(100), 0);
  fill(ds, x);
  std::uint64_t before = ds.checksum();
  std::uint32_t w = ds.allotted_width();
  EXPECT_EQ(ds.set_memory(16 + 99 * (w + 8)), 901);  // 99 observations would fit
  EXPECT_EQ(ds.checksum(), before);
  ASSERT_EQ(ds.set_memory(16 + 100 * (w + 8)), 0);
  EXPECT_EQ(ds.n_curmax(), 100);
  EXPECT_EQ(ds.checksum(), before);
  MemoryInfo m = ds.memory_info();
  EXPECT_EQ(m.nobs, 100);
  EXPECT_EQ(m.data_bytes, 800u);
  EXPECT_EQ(m.pointer_bytes, 800u);
}
