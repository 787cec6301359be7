#include "stats/ddouble.h"

#include <gtest/gtest.h>

#include <cmath>

namespace nuvra::stats {
namespace {

// The low part carries what a double product or sum drops.
TEST(DoubleDouble, ProductsAndSumsKeepWhatDoublesDrop) {
  const double e = std::ldexp(1.0, -30);
  DD p = DD(1 + e) * DD(1 - e);  // 1 - 2^-60
  EXPECT_EQ(p.hi, 1.0);
  EXPECT_EQ(p.lo, -std::ldexp(1.0, -60));
  // 1e16 + 1 - 1e16 in doubles is 0 or 2; here it is 1.
  DD s = DD(1e16) + DD(1.0) - DD(1e16);
  EXPECT_EQ(s.value(), 1.0);
  DD d = two_sum(0.1, -0.1000000000000000055511151231257827);
  EXPECT_EQ(d.value(), 0.1 - 0.1000000000000000055511151231257827);
}

TEST(DoubleDouble, DivisionIsGoodToAboutThirtyDigits) {
  DD third = DD(1.0) / DD(3.0);
  DD back = third * DD(3.0) - DD(1.0);
  EXPECT_LT(std::fabs(back.value()), 1e-31);
  // 2/7 against its double rounding: the error of the double is visible
  // in the low part, and the low part is the right size.
  DD q = DD(2.0) / DD(7.0);
  EXPECT_EQ(q.hi, 2.0 / 7.0);
  EXPECT_NE(q.lo, 0.0);
  EXPECT_LT(std::fabs(q.lo), std::ldexp(1.0, -54));
}

}  // namespace
}  // namespace nuvra::stats
