// Cross-product accumulation: the totals carry what plain double addition
// would drop across blocks, and the weighted sums match hand-worked values.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "stats/crossprod.h"
#include "stats/parallel.h"

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

// Every sum of a block must be the in-order sum over its observations,
// whatever the number of columns (and so whatever padding the block needs),
// so that fits do not change with the width of the model. The reference is
// the plain loop: each product added into its total observation by
// observation, the block's totals then added with compensation.
TEST(CrossProducts, BlockSumsAreInOrderSumsForEveryWidth) {
  std::uint64_t state = 0x9E3779B97F4A7C15ull;
  auto next = [&] {
    state ^= state << 13, state ^= state >> 7, state ^= state << 17;
    // values of very different sizes, so that the order of addition shows
    return (static_cast<double>(state >> 11) / 9007199254740992.0 - 0.3) * std::ldexp(1.0, static_cast<int>(state % 40) - 20);
  };
  for (int p = 1; p <= 19; ++p) {
    for (int weighted = 0; weighted < 2; ++weighted) {
      const int n = 37 + p;
      std::vector<double> x(static_cast<size_t>(n) * p), w(static_cast<size_t>(n));
      for (double& v : x) v = next();
      for (double& v : w) v = std::fabs(next()) + 0.5;
      const double* wp = weighted ? w.data() : nullptr;
      CrossProducts cp(p);
      cp.add_block(x.data(), wp, n / 2);
      cp.add_block(x.data() + static_cast<size_t>(n / 2) * p, wp ? wp + n / 2 : nullptr, n - n / 2);
      // the reference, block by block
      std::vector<double> tot(static_cast<size_t>(p) * p, 0.0), err(tot.size(), 0.0);
      for (int half = 0; half < 2; ++half) {
        const int from = half ? n / 2 : 0, to = half ? n : n / 2;
        std::vector<double> blk(tot.size(), 0.0);
        for (int r = from; r < to; ++r)
          for (int i = 0; i < p; ++i) {
            double wi = (wp ? wp[r] : 1.0) * x[static_cast<size_t>(r) * p + i];
            for (int j = i; j < p; ++j) blk[static_cast<size_t>(i) * p + j] += wi * x[static_cast<size_t>(r) * p + j];
          }
        for (size_t k = 0; k < blk.size(); ++k) compensated_add(tot[k], err[k], blk[k]);
      }
      for (int i = 0; i < p; ++i)
        for (int j = i; j < p; ++j) {
          size_t k = static_cast<size_t>(i) * p + j;
          ASSERT_EQ(cp.at(i, j), tot[k] + err[k]) << "p=" << p << " weighted=" << weighted << " (" << i << "," << j << ")";
          ASSERT_EQ(cp.at(j, i), cp.at(i, j));
        }
    }
  }
}

}  // namespace
}  // namespace nuvra::stats
