// Cross-product accumulation: the totals carry what plain double addition
// would drop across blocks, and the weighted sums match hand-worked values.
#include <gtest/gtest.h>

#include <vector>

#include "stats/crossprod.h"

namespace nuvra::stats {
namespace {

TEST(CrossProducts, CompensatedAcrossBlocks) {
  // 1e16, then 100000 blocks holding a single 1: a plain running sum stays
  // at 1e16 (doubles there are 2 apart, and 1e16 + 1 rounds back to even),
  // while the exact total 1e16 + 100000 is representable.
  CrossProducts cp(1);
  const double big = 1e16, one = 1;
  cp.add_block(&big, nullptr, 1);
  for (int b = 0; b < 100000; ++b) cp.add_block(&one, nullptr, 1);
  EXPECT_EQ(cp.sum(0), 1e16 + 100000);
  EXPECT_EQ(cp.weight_sum(), 100001);
  double plain = big;
  for (int b = 0; b < 100000; ++b) plain += one;
  EXPECT_EQ(plain, 1e16);  // the fixture does defeat a plain sum
}

TEST(CrossProducts, WeightedSums) {
  // Rows (x, 1) = (1,1), (2,1), (3,1) with weights 2, 1, 3:
  // sum w x^2 = 2 + 4 + 27 = 33, sum w x = 2 + 2 + 9 = 13, sum w = 6.
  const double x[] = {1, 1, 2, 1, 3, 1};
  const double w[] = {2, 1, 3};
  CrossProducts cp(2);
  cp.add_block(x, w, 2);
  cp.add_block(x + 4, w + 2, 1);
  EXPECT_EQ(cp.at(0, 0), 33);
  EXPECT_EQ(cp.at(0, 1), 13);
  EXPECT_EQ(cp.at(1, 0), 13);
  EXPECT_EQ(cp.at(1, 1), 6);
  EXPECT_EQ(cp.sum(0), 13);
  EXPECT_EQ(cp.weight_sum(), 6);
}

}  // namespace
}  // namespace nuvra::stats
