// Weighted cross-product accumulation over observations, for `matrix
// accum`, `matrix vecaccum` and `_rmcoll`.  Observations arrive in blocks;
// each block is summed in plain doubles and then added to the running
// totals with a compensated (Neumaier) addition, so that long passes lose
// no more than a block's worth of rounding.  This is the one place that
// forms X'X sums, so a shared compensated-sum routine can replace the
// addition here without touching the callers.  The addition is the
// observation passes' own compensated_add.
#pragma once
#include <vector>

namespace nuvra::stats {

class CrossProducts {
 public:
  // p columns; the totals start at zero.
  explicit CrossProducts(int p);
  int size() const { return p_; }
  // Adds n observations: x holds them observation-major (x[i*p + j]), w
  // their weights (null: 1 each).
  void add_block(const double* x, const double* w, int n);
  // Folds in the totals of another accumulator of the same size, as one
  // parallel chunk's partial sums are combined after a pass.
  void merge(const CrossProducts& o);
  // The sum of w·x_i·x_j (compensated).
  double at(int i, int j) const;
  // Sums of w·x_j and of w.
  double sum(int j) const { return lin_[j] + lin_err_[j]; }
  double weight_sum() const { return w_ + w_err_; }

 private:
  static void add(double* s, double* err, double v);
  int p_;
  std::vector<double> xx_, xx_err_, lin_, lin_err_, block_xx_, block_lin_;
  std::vector<double> pad_, wx_;  // a block's rows padded to fours, and w·x
  double w_ = 0, w_err_ = 0;
};

}  // namespace nuvra::stats
