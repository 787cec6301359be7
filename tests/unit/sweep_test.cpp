// The sweep inverse on crafted blocks whose inverses are worked out by hand
// in the comments: the drop rule, the tolerances, the pivot order, the
// block offset and stride, and the trace and Break hooks.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "stats/sweep.h"

namespace nuvra::stats {
namespace {

struct Block {
  int stride;
  std::vector<double> a;
  explicit Block(int s, double fill = 0) : stride(s), a(static_cast<size_t>(s) * s, fill) {}
  double& operator()(int i, int j) { return a[static_cast<size_t>(i) * stride + j]; }
};

Block square(int k, std::initializer_list<double> rows) {
  Block b(k);
  int idx = 0;
  for (double x : rows) {
    b(idx / k, idx % k) = x;
    ++idx;
  }
  return b;
}

rc_t sweep(Block& b, int k, std::vector<std::uint8_t>* st, SweepOptions opt = {}, const int* order = nullptr,
           int held = -1, int o = 0) {
  return sweep_invert(b.a.data(), b.stride, o, k, order, held, st, opt);
}

TEST(Sweep, OneByOne) {
  Block b = square(1, {4});
  std::vector<std::uint8_t> st;
  ASSERT_EQ(sweep(b, 1, &st), 0);
  EXPECT_EQ(b(0, 0), 0.25);
  EXPECT_EQ(st, std::vector<std::uint8_t>{kSwept});
}

TEST(Sweep, DuplicatedColumnIsDropped) {
  // [[4,4],[4,4]]: after the first pivot the second diagonal is 4 - 4*4/4 = 0.
  Block b = square(2, {4, 4, 4, 4});
  std::vector<std::uint8_t> st;
  ASSERT_EQ(sweep(b, 2, &st), 0);
  EXPECT_EQ(st, (std::vector<std::uint8_t>{kSwept, kDropped}));
  EXPECT_EQ(b(0, 0), 0.25);
  EXPECT_EQ(b(0, 1), 0);
  EXPECT_EQ(b(1, 0), 0);
  EXPECT_EQ(b(1, 1), 0);
}

TEST(Sweep, DuplicateAmongOthersLeavesInverseOfTheRest) {
  // X'X of x1 = (1,2,3), x2 = x1, x3 = (1,0,1).  The kept block
  // [[14,4],[4,2]] has determinant 12 and inverse [[2,-4],[-4,14]]/12.
  Block b = square(3, {14, 14, 4, 14, 14, 4, 4, 4, 2});
  std::vector<std::uint8_t> st;
  ASSERT_EQ(sweep(b, 3, &st), 0);
  EXPECT_EQ(st, (std::vector<std::uint8_t>{kSwept, kDropped, kSwept}));
  EXPECT_NEAR(b(0, 0), 2.0 / 12, 1e-15);
  EXPECT_NEAR(b(0, 2), -4.0 / 12, 1e-15);
  EXPECT_NEAR(b(2, 0), -4.0 / 12, 1e-15);
  EXPECT_NEAR(b(2, 2), 14.0 / 12, 1e-15);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(b(1, i), 0);
    EXPECT_EQ(b(i, 1), 0);
  }
}

TEST(Sweep, NegativeTinyDiagonalIsDropped) {
  Block one = square(1, {-1e-30});
  std::vector<std::uint8_t> st;
  ASSERT_EQ(sweep(one, 1, &st), 0);
  EXPECT_EQ(st[0], kDropped);
  EXPECT_EQ(one(0, 0), 0);

  Block two = square(2, {-1e-30, 0, 0, 3});
  ASSERT_EQ(sweep(two, 2, &st), 0);
  EXPECT_EQ(st, (std::vector<std::uint8_t>{kDropped, kSwept}));
  EXPECT_EQ(two(0, 0), 0);
  EXPECT_EQ(two(1, 1), 1.0 / 3);
}

TEST(Sweep, RelativeToleranceFromInitialDiagonal) {
  // [[1,1],[1,1+1e-12]] in index order: the second diagonal falls to about
  // 1e-12 of its initial value, below 1e-9 of it, so pivot 2 is dropped.
  SweepOptions index_order;
  index_order.select_pivots = false;
  std::vector<std::uint8_t> st;
  Block b = square(2, {1, 1, 1, 1 + 1e-12});
  ASSERT_EQ(sweep(b, 2, &st, index_order), 0);
  EXPECT_EQ(st, (std::vector<std::uint8_t>{kSwept, kDropped}));
  EXPECT_EQ(b(0, 0), 1);
  EXPECT_EQ(b(1, 1), 0);

  // With selection the larger diagonal (pivot 2) goes first and pivot 1
  // is the one that falls below its tolerance.
  Block c = square(2, {1, 1, 1, 1 + 1e-12});
  ASSERT_EQ(sweep(c, 2, &st), 0);
  EXPECT_EQ(st, (std::vector<std::uint8_t>{kDropped, kSwept}));
  EXPECT_EQ(c(0, 0), 0);
  EXPECT_NEAR(c(1, 1), 1 / (1 + 1e-12), 1e-16);

  // 1e-8 relative stays above the tolerance: the exact inverse of
  // [[1,1],[1,1+e]] is [[1+e,-1],[-1,1]]/e.
  const double e = 1e-8;
  Block d = square(2, {1, 1, 1, 1 + e});
  ASSERT_EQ(sweep(d, 2, &st, index_order), 0);
  EXPECT_EQ(st, (std::vector<std::uint8_t>{kSwept, kSwept}));
  EXPECT_NEAR(d(0, 0) / ((1 + e) / e), 1, 1e-7);
  EXPECT_NEAR(d(0, 1) / (-1 / e), 1, 1e-7);
  EXPECT_NEAR(d(1, 1) / (1 / e), 1, 1e-7);
}

TEST(Sweep, FullInverseWhateverTheOrder) {
  // [[4,2,0],[2,3,1],[0,1,2]] has determinant 12 and adjugate
  // [[5,-4,2],[-4,8,-4],[2,-4,8]].
  const double want[3][3] = {{5, -4, 2}, {-4, 8, -4}, {2, -4, 8}};
  const int order[] = {2, -1};
  for (int variant = 0; variant < 4; ++variant) {
    Block b = square(3, {4, 2, 0, 2, 3, 1, 0, 1, 2});
    SweepOptions opt;
    opt.select_pivots = variant != 1;
    std::vector<std::uint8_t> st;
    ASSERT_EQ(sweep(b, 3, &st, opt, variant == 2 ? order : nullptr, variant == 3 ? 0 : -1), 0);
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) EXPECT_NEAR(b(i, j), want[i][j] / 12, 1e-15) << variant << " " << i << j;
  }
}

TEST(Sweep, BlockInsideALargerArray) {
  // The 2x2 block [[2,1],[1,1]] (inverse [[1,-1],[-1,2]]) at offset 1 of a
  // stride-4 array; nothing outside the block changes.
  Block b(4, 7.0);
  b(1, 1) = 2, b(1, 2) = 1, b(2, 1) = 1, b(2, 2) = 1;
  std::vector<std::uint8_t> st;
  ASSERT_EQ(sweep(b, 2, &st, {}, nullptr, -1, 1), 0);
  EXPECT_NEAR(b(1, 1), 1, 1e-15);
  EXPECT_NEAR(b(1, 2), -1, 1e-15);
  EXPECT_NEAR(b(2, 1), -1, 1e-15);
  EXPECT_NEAR(b(2, 2), 2, 1e-15);
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) {
      if (i == 0 || j == 0 || i == 3 || j == 3) {
        EXPECT_EQ(b(i, j), 7.0);
      }
    }
}

TEST(Sweep, PivotOrderSeenThroughTheTrace) {
  // diag(1,5,3): largest first gives 2,3,1; holding pivot 2 back gives
  // 3,1,2; listing pivot 1 first gives 1,2,3.
  auto run = [](const int* order, int held) {
    Block b = square(3, {1, 0, 0, 0, 5, 0, 0, 0, 3});
    std::string trace;
    SweepOptions opt;
    opt.trace = [&](std::string_view l) { trace += l; };
    std::vector<std::uint8_t> st;
    EXPECT_EQ(sweep(b, 3, &st, opt, order, held), 0);
    return trace;
  };
  EXPECT_EQ(run(nullptr, -1),
            "* 2  5.00000e+00  5.00000e-09\n* 3  3.00000e+00  3.00000e-09\n* 1  1.00000e+00  1.00000e-09\n");
  EXPECT_EQ(run(nullptr, 1),
            "* 3  3.00000e+00  3.00000e-09\n* 1  1.00000e+00  1.00000e-09\n* 2  5.00000e+00  5.00000e-09\n");
  const int first[] = {0, -1};
  EXPECT_EQ(run(first, -1),
            "* 1  1.00000e+00  1.00000e-09\n* 2  5.00000e+00  5.00000e-09\n* 3  3.00000e+00  3.00000e-09\n");
  // Zero diagonal: the tolerance is 1e-9 itself; a tiny one gets the floor.
  Block z = square(2, {0, 0, 0, 1e-15});
  std::string trace;
  SweepOptions opt;
  opt.trace = [&](std::string_view l) { trace += l; };
  std::vector<std::uint8_t> st;
  ASSERT_EQ(sweep(z, 2, &st, opt), 0);
  EXPECT_EQ(trace, "* 2  1.00000e-15  1.00000e-19\n* 1  0.00000e+00  1.00000e-09\n");
  EXPECT_EQ(st, (std::vector<std::uint8_t>{kDropped, kSwept}));
}

TEST(Sweep, BreakStopsTheSweep) {
  Block b = square(2, {2, 0, 0, 2});
  std::vector<std::uint8_t> st;
  SweepOptions opt;
  int polls = 0;
  opt.poll_break = [&] { return ++polls == 2; };
  EXPECT_EQ(sweep(b, 2, &st, opt), 1);
  EXPECT_EQ(st, (std::vector<std::uint8_t>{kSwept, kUnswept}));
}

TEST(Sweep, ThreadRule) {
  EXPECT_EQ(sweep_threads(1, 1000), 1);
  EXPECT_EQ(sweep_threads(2, 100), 2);  // chunk 50
  EXPECT_EQ(sweep_threads(2, 20), 1);   // chunk 10 is below 11
  EXPECT_EQ(sweep_threads(8, 400), 8);  // min(8, 39, 19)
  EXPECT_EQ(sweep_threads(8, 30), 2);   // min(8, 2, 5), chunk 15
  EXPECT_EQ(sweep_threads(4, 15), 1);   // ceil(0.5) = 1
}

TEST(Sweep, ParallelRowsGiveAnInverse) {
  // A diagonally dominant 80x80 matrix: A * inverse must be the identity.
  const int k = 80;
  Block a(k);
  for (int i = 0; i < k; ++i)
    for (int j = 0; j < k; ++j) a(i, j) = i == j ? 100.0 + i : 1.0 / (1 + i + j);
  Block inv = a;
  SweepOptions opt;
  opt.processors = 4;
  ASSERT_EQ(sweep_threads(4, k), 4);
  std::vector<std::uint8_t> st;
  ASSERT_EQ(sweep(inv, k, &st, opt), 0);
  double worst = 0;
  for (int i = 0; i < k; ++i)
    for (int j = 0; j < k; ++j) {
      double s = 0;
      for (int m = 0; m < k; ++m) s += a(i, m) * inv(m, j);
      worst = std::max(worst, std::abs(s - (i == j ? 1.0 : 0.0)));
    }
  EXPECT_LT(worst, 1e-14);
}

}  // namespace
}  // namespace nuvra::stats
