#include "stats/crossprod.h"

#include <algorithm>
#include <cmath>

#include "stats/parallel.h"

namespace nuvra::stats {

CrossProducts::CrossProducts(int p)
    : p_(p),
      xx_(static_cast<size_t>(p) * p),
      xx_err_(static_cast<size_t>(p) * p),
      lin_(static_cast<size_t>(p)),
      lin_err_(static_cast<size_t>(p)),
      block_xx_(static_cast<size_t>(p) * p),
      block_lin_(static_cast<size_t>(p)) {}

void CrossProducts::add(double* s, double* err, double v) { compensated_add(*s, *err, v); }

void CrossProducts::merge(const CrossProducts& o) {
  add(&w_, &w_err_, o.w_);
  w_err_ += o.w_err_;
  for (int i = 0; i < p_; ++i) {
    add(&lin_[i], &lin_err_[i], o.lin_[i]);
    lin_err_[i] += o.lin_err_[i];
    for (int j = i; j < p_; ++j) {
      size_t k = static_cast<size_t>(i) * p_ + j;
      add(&xx_[k], &xx_err_[k], o.xx_[k]);
      xx_err_[k] += o.xx_err_[k];
    }
  }
}

void CrossProducts::add_block(const double* x, const double* w, int n) {
  const int p = p_;
  std::fill(block_xx_.begin(), block_xx_.end(), 0.0);
  std::fill(block_lin_.begin(), block_lin_.end(), 0.0);
  double bw = 0;
  for (int r = 0; r < n; ++r) {
    const double* row = x + static_cast<size_t>(r) * p;
    double wr = w ? w[r] : 1.0;
    bw += wr;
    for (int i = 0; i < p; ++i) {
      double wi = wr * row[i];
      block_lin_[i] += wi;
      double* out = &block_xx_[static_cast<size_t>(i) * p];
      for (int j = i; j < p; ++j) out[j] += wi * row[j];
    }
  }
  add(&w_, &w_err_, bw);
  for (int i = 0; i < p; ++i) {
    add(&lin_[i], &lin_err_[i], block_lin_[i]);
    for (int j = i; j < p; ++j) {
      size_t k = static_cast<size_t>(i) * p + j;
      add(&xx_[k], &xx_err_[k], block_xx_[k]);
    }
  }
}

double CrossProducts::at(int i, int j) const {
  if (i > j) std::swap(i, j);
  size_t k = static_cast<size_t>(i) * p_ + j;
  return xx_[k] + xx_err_[k];
}

}  // namespace nuvra::stats
