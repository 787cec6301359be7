// Storage-type changes: promotion, recast with Break, lossy counts, the
// settling of legacy codes.
#include <gtest/gtest.h>

#include <cstring>

#include "data/dataset.h"

using namespace nuvra::data;

TEST(Promotion, TargetTypes) {
  EXPECT_EQ(Dataset::promoted_type(kByte, 2.5), kFloat);
  EXPECT_EQ(Dataset::promoted_type(kInt, 1e10), kDouble);
  EXPECT_EQ(Dataset::promoted_type(kLong, 0.5), kDouble);
  EXPECT_EQ(Dataset::promoted_type(kByte, 40000), kLong);   // byte -> int -> long
  EXPECT_EQ(Dataset::promoted_type(kByte, 101), kInt);
  EXPECT_EQ(Dataset::promoted_type(kByte, -128), kInt);
  EXPECT_EQ(Dataset::promoted_type(kByte, 100), kByte);
  EXPECT_EQ(Dataset::promoted_type(kByte, -127), kByte);
  EXPECT_EQ(Dataset::promoted_type(kInt, 32740), kInt);
  EXPECT_EQ(Dataset::promoted_type(kInt, 32741), kLong);
  EXPECT_EQ(Dataset::promoted_type(kInt, -32768), kLong);
  EXPECT_EQ(Dataset::promoted_type(kLong, 2147483620.0), kLong);
  EXPECT_EQ(Dataset::promoted_type(kLong, 2147483621.0), kDouble);
  EXPECT_EQ(Dataset::promoted_type(kByte, 2147483648.0), kDouble);  // magnitude 2^31
  EXPECT_EQ(Dataset::promoted_type(kByte, -2147483648.0), kDouble);
  EXPECT_EQ(Dataset::promoted_type(kInt, -0.5), kFloat);
  EXPECT_EQ(Dataset::promoted_type(kByte, missing_value(2)), kByte);
  EXPECT_EQ(Dataset::promoted_type(kFloat, 1e300), kFloat);
  EXPECT_EQ(Dataset::promoted_type(kFloat, 0.1), kFloat);
  EXPECT_EQ(Dataset::promoted_type(kDouble, 1), kDouble);
}

TEST(Promotion, RecastsBeforeTheValueIsStored) {
  Dataset ds;
  int b = 0, i = 0, l = 0;
  ASSERT_EQ(ds.add_variable("b", kByte, &b), 0);
  ASSERT_EQ(ds.add_variable("i", kInt, &i), 0);
  ASSERT_EQ(ds.add_variable("l", kLong, &l), 0);
  ASSERT_EQ(ds.set_obs(3), 0);
  const double bv[] = {1, missing_value(1), 100};
  for (int k = 1; k <= 3; ++k) {
    ds.store(b, k, bv[k - 1]);
    ds.store(i, k, -k * 1000);
    ds.store(l, k, k * 100000);
  }
  int nt = 0;
  ASSERT_EQ(ds.promote_for_value(b, 2.5, &nt), 0);
  EXPECT_EQ(nt, kFloat);
  EXPECT_EQ(promotion_line(ds.name(b), kByte, nt), "b was byte now float");
  ASSERT_EQ(ds.promote_for_value(i, 1e10, &nt), 0);
  EXPECT_EQ(nt, kDouble);
  EXPECT_EQ(promotion_line("i", kInt, kDouble), "i was int now double");
  ASSERT_EQ(ds.promote_for_value(l, 0.5, &nt), 0);
  EXPECT_EQ(nt, kDouble);
  ASSERT_EQ(ds.promote_for_value(l, 7, &nt), 0);  // no change needed
  EXPECT_EQ(nt, kDouble);
  EXPECT_EQ(ds.offset(i), 4u);   // float b: 4 bytes
  EXPECT_EQ(ds.offset(l), 12u);  // double i: 8 bytes
  EXPECT_EQ(ds.used_width(), 20u);
  for (int k = 1; k <= 3; ++k) {
    EXPECT_EQ(ds.fetch(b, k), bv[k - 1]);
    EXPECT_EQ(ds.fetch(i, k), -k * 1000);
    EXPECT_EQ(ds.fetch(l, k), k * 100000);
  }
  ds.store(b, 1, 2.5);
  EXPECT_EQ(ds.fetch(b, 1), 2.5);
}

TEST(Promotion, NoRoomForTheWiderTypeIs903AndChangesNothing) {
  // Ten observations in an area that holds records up to 100 bytes: twelve
  // doubles and a byte leave the width at 98 with 97 used; a float needs 4
  // more bytes and width 102 holds only 9 observations.
  Dataset ds(1096);
  ASSERT_EQ(ds.set_obs(10), 0);
  for (int k = 1; k <= 12; ++k) ASSERT_EQ(ds.add_variable("v" + std::to_string(k), kDouble), 0);
  int b = 0;
  ASSERT_EQ(ds.add_variable("b", kByte, &b), 0);
  ASSERT_EQ(ds.allotted_width(), 98u);
  for (int k = 1; k <= 10; ++k) ds.store(b, k, k);
  std::uint64_t before = ds.checksum();
  int nt = 0;
  EXPECT_EQ(ds.promote_for_value(b, 2.5, &nt), 903);
  EXPECT_EQ(nt, kByte);
  EXPECT_EQ(ds.checksum(), before);
  EXPECT_EQ(ds.recast(b, kFloat), 902);
}

TEST(Recast, NumbersStringsAndLoss) {
  Dataset ds;
  int x = 0, s = 0, after = 0;
  ASSERT_EQ(ds.add_variable("x", kDouble, &x), 0);
  ASSERT_EQ(ds.add_variable("s", 5, &s), 0);
  ASSERT_EQ(ds.add_variable("after", kInt, &after), 0);
  ASSERT_EQ(ds.set_obs(4), 0);
  const double xv[] = {1.9, 200, 3, kMissing};
  const char* sv[] = {"hello", "hi", "", "abcd"};
  for (int k = 1; k <= 4; ++k) {
    ds.store(x, k, xv[k - 1]);
    ds.store_str(s, k, sv[k - 1]);
    ds.store(after, k, k);
  }
  EXPECT_EQ(ds.count_lossy(x, kByte), 2);  // 1.9 -> 1 and 200 -> .
  EXPECT_EQ(ds.count_lossy(x, kFloat), 1);  // 1.9 is not a float
  EXPECT_EQ(ds.count_lossy(s, 3), 2);       // "hello", "abcd"
  EXPECT_EQ(ds.count_lossy(s, 10), 0);
  EXPECT_EQ(ds.recast(x, 3), 109);
  EXPECT_EQ(ds.recast(s, kByte), 109);
  ASSERT_EQ(ds.set_format(x, "%9.3f"), 0);
  ASSERT_EQ(ds.recast(x, kByte), 0);
  EXPECT_EQ(ds.type(x), kByte);
  EXPECT_EQ(ds.format(x), "%9.3f");  // attributes survive
  const double xb[] = {1, kMissing, 3, kMissing};
  for (int k = 1; k <= 4; ++k) EXPECT_EQ(ds.fetch(x, k), xb[k - 1]);
  ASSERT_EQ(ds.recast(s, 3), 0);
  EXPECT_EQ(ds.offset(s), 1u);
  EXPECT_EQ(ds.offset(after), 4u);
  const char* s3[] = {"hel", "hi", "", "abc"};
  for (int k = 1; k <= 4; ++k) {
    EXPECT_EQ(ds.fetch_str(s, k), s3[k - 1]);
    EXPECT_EQ(ds.fetch(after, k), k);
  }
  ASSERT_EQ(ds.recast(s, 12), 0);
  EXPECT_EQ(ds.fetch_str(s, 1), "hel");
  EXPECT_EQ(ds.recast(s, 12), 0);  // same type: nothing to do
}

TEST(Recast, BreakLeavesTheVariableAlone) {
  Dataset ds;
  int x = 0;
  ASSERT_EQ(ds.add_variable("x", kDouble, &x), 0);
  ASSERT_EQ(ds.set_obs(1000), 0);
  for (int k = 1; k <= 1000; ++k) ds.store(x, k, k + 0.5);
  std::uint64_t before = ds.checksum();
  int polls = 0;
  EXPECT_EQ(ds.recast(x, kInt, [&] { ++polls; return true; }), 1);
  EXPECT_GE(polls, 1);
  EXPECT_EQ(ds.type(x), kDouble);
  EXPECT_EQ(ds.checksum(), before);
  polls = 0;
  ASSERT_EQ(ds.recast(x, kInt, [&] { ++polls; return false; }), 0);
  EXPECT_GE(polls, 1);
  EXPECT_EQ(ds.fetch(x, 1000), 1000);
}

TEST(Legacy, SettlingOldCodes) {
  Dataset ds;
  std::vector<Variable> vars(5);
  const char* names[] = {"fits", "big", "i", "f", "d"};
  const std::uint8_t types[] = {kLegacyByte, kLegacyByte, kLegacyInt, kLegacyFloat, kLegacyDouble};
  for (int k = 0; k < 5; ++k) {
    vars[k].name = names[k];
    vars[k].type = types[k];
  }
  ASSERT_EQ(ds.install_variables(vars), 0);
  ASSERT_EQ(ds.set_obs(2), 0);
  auto raw = [&](int j, int i, const void* p) { std::memcpy(ds.value_ptr(j, i), p, type_width(ds.type(j))); };
  std::int8_t b1[] = {100, 127}, b2[] = {120, 127};
  std::int16_t i1[] = {32767, -5};
  std::uint32_t f1[] = {0x7F000000u, 0x3F800000u};   // the old missing, 1.0
  std::uint64_t d1[] = {0x7FF0000000000000ULL, 0x4000000000000000ULL};  // infinity, 2.0
  for (int i = 1; i <= 2; ++i) {
    raw(1, i, &b1[i - 1]);
    raw(2, i, &b2[i - 1]);
    raw(3, i, &i1[i - 1]);
    raw(4, i, &f1[i - 1]);
    raw(5, i, &d1[i - 1]);
  }
  ASSERT_EQ(ds.settle_legacy_variables(), 0);
  EXPECT_EQ(ds.type(1), kByte);
  EXPECT_EQ(ds.fetch(1, 1), 100);
  EXPECT_EQ(ds.fetch(1, 2), kMissing);
  EXPECT_EQ(*reinterpret_cast<const std::int8_t*>(ds.value_ptr(1, 2)), 101);
  EXPECT_EQ(ds.type(2), kInt);  // 120 is beyond the new largest byte
  EXPECT_EQ(ds.fetch(2, 1), 120);
  EXPECT_EQ(ds.fetch(2, 2), kMissing);
  EXPECT_EQ(ds.type(3), kInt);
  EXPECT_EQ(ds.fetch(3, 1), kMissing);
  EXPECT_EQ(ds.fetch(3, 2), -5);
  EXPECT_EQ(ds.type(4), kFloat);
  EXPECT_EQ(ds.fetch(4, 1), kMissing);
  EXPECT_EQ(ds.fetch(4, 2), 1.0);
  EXPECT_EQ(ds.type(5), kDouble);
  EXPECT_EQ(std::bit_cast<std::uint64_t>(ds.fetch(5, 1)), 0x7FE0000000000000ULL);
  EXPECT_EQ(ds.fetch(5, 2), 2.0);
}
