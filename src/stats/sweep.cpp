// The sweep inverse.  The block is swept pivot by pivot in the form that
// leaves, after every pivot has been swept, the inverse itself: sweeping
// on p with current diagonal d sets
//   a(p,p) = 1/d,  row p: a(p,j)/d,  column p: -a(i,p)/d,
//   elsewhere a(i,j) - a(i,p) a(p,j)/d.
// Between a swept and an unswept pivot the matrix is antisymmetric, so only
// the upper triangle is stored and a read below the diagonal flips the sign
// when exactly one of the two pivots is swept.
#include "stats/sweep.h"

#include <cmath>
#include <cstdio>
#include <new>

namespace nuvra::stats {

namespace {

inline double& at(double* b, int stride, int i, int j) {
  return b[static_cast<std::size_t>(i) * static_cast<std::size_t>(stride) + static_cast<std::size_t>(j)];
}

// Chooses the pivot for step `step`; -1 when none is left.
int choose_pivot(const double* b, int stride, int k, int step, const int* order, int held_back,
                 const std::vector<std::uint8_t>& status, const SweepOptions& opt, int* order_pos) {
  if (!opt.select_pivots) return step;
  if (order) {
    while (order[*order_pos] >= 0) {
      int p = order[(*order_pos)++];
      if (p < k && status[p] == kUnswept) return p;
    }
  }
  int best = -1;
  double best_d = 0;
  for (int i = 0; i < k; ++i) {
    if (status[i] != kUnswept || i == held_back) continue;
    double d = b[static_cast<std::size_t>(i) * static_cast<std::size_t>(stride) + static_cast<std::size_t>(i)];
    if (best < 0 || d > best_d) {
      best = i;
      best_d = d;
    }
  }
  if (best < 0 && held_back >= 0 && held_back < k && status[held_back] == kUnswept) best = held_back;
  return best;
}

}  // namespace

int sweep_threads(int processors, int k) {
  int p = processors < 1 ? 1 : processors;
  int t = p;
  if (p > 2) {
    int by_size = static_cast<int>(std::ceil(k / 10.0 - 1));
    int by_root = static_cast<int>(std::ceil(std::sqrt(static_cast<double>(k)))) - 1;
    t = std::min(p, std::min(std::max(1, by_size), std::max(1, by_root)));
  }
  if (t == 1) return 1;
  int chunk = (k + t - 1) / t;
  if (chunk >= 11 && chunk > t) return t;
  return 1;
}

double sweep_element(const double* block, int stride, const std::uint8_t* status, int i, int j) {
  if (i <= j) return block[static_cast<std::size_t>(i) * static_cast<std::size_t>(stride) + static_cast<std::size_t>(j)];
  double v = block[static_cast<std::size_t>(j) * static_cast<std::size_t>(stride) + static_cast<std::size_t>(i)];
  return ((status[i] == kSwept) != (status[j] == kSwept)) ? -v : v;
}

void sweep_full(double* a, int n, int p) {
  auto el = [a, n](int i, int j) -> double& { return a[static_cast<std::size_t>(i) * static_cast<std::size_t>(n) + j]; };
  const double d = el(p, p);
  if (d == 0) {
    for (int i = 0; i < n; ++i) el(i, p) = el(p, i) = 0;
    return;
  }
  for (int i = 0; i < n; ++i) {
    if (i == p) continue;
    const double f = el(i, p) / d;
    if (f == 0) continue;
    for (int j = 0; j < n; ++j)
      if (j != p) el(i, j) -= f * el(p, j);
  }
  for (int j = 0; j < n; ++j)
    if (j != p) {
      el(p, j) /= d;
      el(j, p) = -el(j, p) / d;
    }
  el(p, p) = 1 / d;
}

rc_t sweep_invert(double* work, int stride, int o, int k, const int* order, int held_back,
                  std::vector<std::uint8_t>* status_out, const SweepOptions& opt) {
  std::vector<double> tol;
  std::vector<std::uint8_t>& status = *status_out;
  std::vector<double> colp, rowp;
  try {
    tol.resize(static_cast<std::size_t>(stride > k ? stride : k));
    status.assign(static_cast<std::size_t>(k), kUnswept);
    colp.resize(static_cast<std::size_t>(k));
    rowp.resize(static_cast<std::size_t>(k));
  } catch (const std::bad_alloc&) {
    return 909;
  }
  double* b = work + static_cast<std::size_t>(o) * static_cast<std::size_t>(stride) + static_cast<std::size_t>(o);

  for (int i = 0; i < k; ++i) {
    double& d = at(b, stride, i, i);
    if (d < 0) d = 0;
    if (d == 0) {
      tol[i] = kSweepRelTol;
    } else {
      tol[i] = kSweepRelTol * d;
      if (tol[i] < kSweepAbsFloor) tol[i] = kSweepAbsFloor;
    }
  }

  int order_pos = 0;
  const int threads = sweep_threads(opt.processors, k);
  for (int step = 0; step < k; ++step) {
    if (opt.poll_break && opt.poll_break()) return 1;
    int p = choose_pivot(b, stride, k, step, order, held_back, status, opt, &order_pos);
    if (p < 0) break;
    double d = at(b, stride, p, p);
    if (opt.trace) {
      char line[64];
      std::snprintf(line, sizeof line, "*%2d %12.5e %12.5e\n", p + 1, d, tol[p]);
      opt.trace(line);
    }
    if (!(d >= tol[p])) {
      status[p] = kDropped;
      for (int i = 0; i < p; ++i) at(b, stride, i, p) = 0;
      for (int j = p; j < k; ++j) at(b, stride, p, j) = 0;
      continue;
    }
    // Column p and row p as they stand before this step.
    for (int i = 0; i < k; ++i) {
      double c = sweep_element(b, stride, status.data(), i, p);
      colp[i] = c;
      rowp[i] = status[i] == kSwept ? -c : c;  // a(p,i) = -a(i,p) across the swept boundary
    }
    const double* cp = colp.data();
    const double* rp = rowp.data();
#pragma omp parallel for num_threads(threads) schedule(static) if (threads > 1)
    for (int i = 0; i < k; ++i) {
      if (i == p || cp[i] == 0) continue;
      double f = cp[i] / d;
      double* row = &at(b, stride, i, 0);
      // Two runs around column p keep the loop free of branches.
      const int mid = p < i ? i : p;
      for (int j = i; j < mid; ++j) row[j] -= f * rp[j];
      for (int j = (p < i ? i : p + 1); j < k; ++j) row[j] -= f * rp[j];
    }
    for (int i = 0; i < p; ++i) at(b, stride, i, p) = -at(b, stride, i, p) / d;
    for (int j = p + 1; j < k; ++j) at(b, stride, p, j) = at(b, stride, p, j) / d;
    at(b, stride, p, p) = 1 / d;
    status[p] = status[p] == kSwept ? kUnswept : kSwept;
  }

  for (int i = 0; i < k; ++i)
    for (int j = 0; j < i; ++j) at(b, stride, i, j) = at(b, stride, j, i);
  if (opt.poll_break && opt.poll_break()) return 1;
  return 0;
}

}  // namespace nuvra::stats
