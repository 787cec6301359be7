// The interpreter's cache of compiled once-per-command expressions: what it
// may keep, and that what it keeps evaluates as a fresh compile would.
#include "interp/expr_cache.h"

#include <gtest/gtest.h>

#include "interp/interp.h"
#include "interp/simple_expr.h"
#include "test_side.h"

namespace nuvra {
namespace {

TEST(IntegerLiteral, ReadsPlainWholeNumbersOnly) {
  double v = -1;
  EXPECT_TRUE(ExpressionCache::integer_literal("0", &v));
  EXPECT_EQ(v, 0.0);
  EXPECT_TRUE(ExpressionCache::integer_literal("42", &v));
  EXPECT_EQ(v, 42.0);
  EXPECT_TRUE(ExpressionCache::integer_literal("-17", &v));
  EXPECT_EQ(v, -17.0);
  EXPECT_TRUE(ExpressionCache::integer_literal("999999999999999", &v));
  EXPECT_EQ(v, 999999999999999.0);
  // Left to the compiler: more digits than a double holds exactly in every
  // case, leading zeros, negative zero, and anything that is not digits.
  for (const char* t : {"1000000000000000", "007", "-0", "", "-", "1.5", "1e3", "5 ", " 5", "+5",
                        "--5", "0x10", "."})
    EXPECT_FALSE(ExpressionCache::integer_literal(t, &v)) << t;
}

class CacheTest : public ::testing::Test {
 protected:
  CacheTest() : ip(&side) {}
  double num(std::string_view e) {
    ExprValue v;
    size_t used = 0;
    EXPECT_EQ(eval_expression(ip, e, &v, &used), 0) << e;
    EXPECT_FALSE(v.is_string) << e;
    return v.num;
  }
  bool kept(std::string_view e) const {
    return ip.expr_cache.find(e, ip.version, ip.modern_missing) != nullptr;
  }
  testing::CaptureSide side;
  Interp ip;
};

TEST_F(CacheTest, KeepsOnlyTextsThatMeanTheSameWhateverTheSession) {
  EXPECT_EQ(num("2^10 + 1"), 1025.0);
  EXPECT_TRUE(kept("2^10 + 1"));
  EXPECT_EQ(num("2^10 + 1"), 1025.0);  // from the cache, same value

  ASSERT_EQ(ip.execute_line("set obs 2"), 0);
  ASSERT_EQ(ip.execute_line("generate v = 3"), 0);
  EXPECT_EQ(num("v * 2"), 6.0);
  EXPECT_FALSE(kept("v * 2"));

  ASSERT_EQ(ip.execute_line("scalar sc = 4"), 0);
  EXPECT_EQ(num("sc + 1"), 5.0);
  EXPECT_FALSE(kept("sc + 1"));
  ASSERT_EQ(ip.execute_line("scalar sc = 9"), 0);
  EXPECT_EQ(num("sc + 1"), 10.0);

  // _rc is read when the program runs, so a kept program sees each new code.
  EXPECT_EQ(num("_rc + 1"), 1.0);
  ASSERT_EQ(ip.execute_line("capture error 7"), 0);
  EXPECT_EQ(num("_rc + 1"), 8.0);
}

TEST_F(CacheTest, VersionIsPartOfTheKey) {
  EXPECT_EQ(num(".a == .b"), 0.0);
  EXPECT_TRUE(kept(".a == .b"));
  ASSERT_EQ(ip.execute_line("version 7"), 0);
  EXPECT_FALSE(kept(".a == .b"));
  EXPECT_EQ(num(".a == .b"), 1.0);
}

TEST_F(CacheTest, ManyTextsReplaceOldEntriesWithoutMixingThemUp) {
  for (int round = 0; round < 2; ++round)
    for (int k = 0; k < 40; ++k) {
      std::string e = std::to_string(k) + " * 3 + 1";
      EXPECT_EQ(num(e), k * 3.0 + 1.0) << e;
    }
}

}  // namespace
}  // namespace nuvra
