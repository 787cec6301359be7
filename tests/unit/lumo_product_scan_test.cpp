// The scans around a library matrix product: a missing operand element
// anywhere (first, last, an odd tail, across a block boundary) sends the
// product down the element-by-element path, whose rows or columns through
// it are missing; an overflow in the result becomes missing wherever it
// lies, and a large finite result stays a number.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "data/missing.h"
#include "lumo/missing_scan.h"
#include "lumo/value.h"
#include "lumo_test_host.h"

namespace {

using namespace nuvra::lumo;
using nuvra::data::is_missing;

std::vector<double> Reals(LumoFixture& f, const char* name) {
  ValueRecord* v = f.session.values().FindGlobal(name);
  if (!v || v->eltype != kReal) return {};
  return std::vector<double>(reals(v), reals(v) + element_count(v));
}

TEST(LumoProductScan, AMissingOperandElementAnywhereIsSeen) {
  // n x n ones times n x n twos: every element is 2n, except the row of a
  // missing element of A or the column of one of B, which are missing.
  struct Case {
    int n, row, col;
    bool in_a;
  };
  for (Case k : {Case{21, 1, 1, true}, Case{21, 21, 21, true}, Case{21, 21, 21, false}, Case{30, 18, 3, true},
                 Case{30, 18, 2, false}, Case{30, 30, 29, false}}) {
    SCOPED_TRACE(std::to_string(k.n) + " " + std::to_string(k.row) + " " + std::to_string(k.col));
    LumoFixture f;
    std::string n = std::to_string(k.n), at = std::to_string(k.row) + ", " + std::to_string(k.col);
    ASSERT_EQ(f.Run("A = J(" + n + ", " + n + ", 1); B = J(" + n + ", " + n + ", 2); " + (k.in_a ? "A" : "B") + "[" +
                    at + "] = .; C = A * B"),
              0);
    std::vector<double> c = Reals(f, "C");
    ASSERT_EQ(c.size(), size_t(k.n * k.n));
    for (int i = 0; i < k.n; ++i)
      for (int j = 0; j < k.n; ++j) {
        double w = c[size_t(i * k.n + j)];
        bool through = k.in_a ? i == k.row - 1 : j == k.col - 1;
        if (through) EXPECT_TRUE(is_missing(w)) << i << " " << j;
        else EXPECT_EQ(w, 2.0 * k.n) << i << " " << j;
      }
  }
}

TEST(LumoProductScan, OverflowBecomesMissingWhereverItLies) {
  // A is zero but for a few entries; B is the identity scaled by 1e200,
  // so C = 1e200 A: 1e200 * 1e200 overflows to plus or minus infinity,
  // -1e108 * 1e200 = -1e308 is finite (below the missing values) and stays.
  LumoFixture f;
  ASSERT_EQ(f.Run("A = J(21, 21, 0); A[1,1] = 1e200; A[21,21] = -1e200; A[11,4] = -1e108; A[13,13] = 3;"
                  "B = I(21) * 1e200; C = A * B"),
            0);
  std::vector<double> c = Reals(f, "C");
  ASSERT_EQ(c.size(), 441u);
  for (int e = 0; e < 441; ++e) {
    int i = e / 21, j = e % 21;
    if ((i == 0 && j == 0) || (i == 20 && j == 20)) EXPECT_TRUE(is_missing(c[size_t(e)])) << e;
    else if (i == 10 && j == 3) EXPECT_EQ(c[size_t(e)], -1e108 * 1e200);
    else if (i == 12 && j == 12) EXPECT_EQ(c[size_t(e)], 3.0 * 1e200);
    else EXPECT_EQ(c[size_t(e)], 0) << e;
  }
}

TEST(LumoProductScan, AnyMissingLooksAtEveryElement) {
  // Every length up to past two blocks, a missing value (or a NaN, which
  // counts as missing) at each place in turn; minus infinity and the
  // largest negative number are not missing.
  for (int64_t n = 0; n <= 1030; n += (n < 20 ? 1 : 97)) {
    std::vector<double> x(size_t(n), 1.5);
    EXPECT_FALSE(AnyMissing(x.data(), n)) << n;
    for (int64_t p = 0; p < n; ++p) {
      x[size_t(p)] = (p % 2) ? nuvra::data::missing_value(26) : std::numeric_limits<double>::quiet_NaN();
      EXPECT_TRUE(AnyMissing(x.data(), n)) << n << " " << p;
      x[size_t(p)] = p % 2 ? -HUGE_VAL : -std::numeric_limits<double>::max();
      EXPECT_FALSE(AnyMissing(x.data(), n)) << n << " " << p;
      x[size_t(p)] = 1.5;
    }
  }
}

}  // namespace
