#include "stats/crossprod.h"

#include <algorithm>
#include <cmath>
#include <cstring>

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

namespace {

// Four doubles as one value; the compiler maps it onto whatever vector
// registers the target has.
using Vec4 = double __attribute__((vector_size(32)));

// The products of the block, four left columns by four right ones at a
// time; xx receives the upper triangle (row-major, p by p).
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
__attribute__((target_clones("avx2", "default")))
#endif
void tile_sums(const double* xs, const double* wxs, int n, int p, int q, double* xx) {
  for (int bi = 0; bi < q; bi += 4) {
    for (int bj = bi; bj < q; bj += 4) {
      Vec4 a0 = {0, 0, 0, 0}, a1 = a0, a2 = a0, a3 = a0;
      const double* left = wxs + bi;
      const double* right = xs + bj;
      for (int r = 0; r < n; ++r, left += q, right += q) {
        Vec4 xj;
        std::memcpy(&xj, right, sizeof xj);
        a0 += left[0] * xj;
        a1 += left[1] * xj;
        a2 += left[2] * xj;
        a3 += left[3] * xj;
      }
      const Vec4* rows[4] = {&a0, &a1, &a2, &a3};
      for (int a = 0; a < 4 && bi + a < p; ++a)
        for (int b = 0; b < 4 && bj + b < p; ++b)
          if (bj + b >= bi + a) xx[static_cast<size_t>(bi + a) * p + bj + b] = (*rows[a])[b];
    }
  }
}

}  // namespace

// Each sum of the block runs over the observations in order, exactly as a
// loop over observations adding into p x p sums would; the sums are only
// kept in registers, four by four, instead of being read and written back
// for every observation.
void CrossProducts::add_block(const double* x, const double* w, int n) {
  const int p = p_;
  const int q = (p + 3) & ~3;  // row width padded to whole groups of four
  const size_t nq = static_cast<size_t>(n) * q;
  const double* xs = x;
  if (q != p) {
    pad_.assign(nq, 0.0);
    for (int r = 0; r < n; ++r) std::memcpy(&pad_[static_cast<size_t>(r) * q], x + static_cast<size_t>(r) * p, sizeof(double) * p);
    xs = pad_.data();
  }
  const double* wxs = xs;  // w·x, the left factor of every product
  if (w) {
    wx_.resize(nq);
    for (int r = 0; r < n; ++r)
      for (int i = 0; i < q; ++i) wx_[static_cast<size_t>(r) * q + i] = w[r] * xs[static_cast<size_t>(r) * q + i];
    wxs = wx_.data();
  }
  double bw = 0;
  for (int r = 0; r < n; ++r) bw += w ? w[r] : 1.0;
  for (int i = 0; i < p; ++i) {
    double s = 0;
    for (int r = 0; r < n; ++r) s += wxs[static_cast<size_t>(r) * q + i];
    block_lin_[i] = s;
  }
  tile_sums(xs, wxs, n, p, q, block_xx_.data());
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
