#include "stats/moments.h"

#include <cfloat>
#include <new>

#include "data/missing.h"
#include "stats/parallel.h"

namespace nuvra::stats {

namespace {

using data::kMissing;

// One chunk's accumulators: padded apart so that chunks on different
// threads never share a cache line.
struct alignas(64) Slot {
  std::int64_t n = 0;
  CompensatedSum w;
  std::vector<CompensatedSum> sums;  // first pass: per column; second: per pair
  std::vector<CompensatedSum> dev;   // second pass: sum of w (x - mean) per column
  std::vector<double> min, max;
};

}  // namespace

rc_t cross_moments(const std::vector<data::Column>& cols, const Sample& s, const double* weights,
                   const char* skip, int processors, const std::function<bool()>& poll, Moments* out) {
  const size_t k = cols.size();
  const std::int64_t n = s.size();
  const PassPlan plan = plan_pass(processors, n);
  std::vector<Slot> slots;
  try {
    slots.resize(static_cast<size_t>(plan.threads));
    for (Slot& sl : slots) {
      sl.sums.assign(k * (k + 1) / 2 > k ? k * (k + 1) / 2 : k, CompensatedSum{});
      sl.dev.assign(k, CompensatedSum{});
      sl.min.assign(k, DBL_MAX);
      sl.max.assign(k, -DBL_MAX);
    }
  } catch (const std::bad_alloc&) {
    return 909;
  }
  // Reads the row at a position into x[]; false when it is not used.
  auto fetch_row = [&](std::int64_t pos, double* x, double* w) {
    if (skip && skip[pos]) return false;
    *w = 1.0;
    if (weights) {
      *w = weights[pos];
      if (*w == 0 || !(*w < kMissing)) return false;
    }
    std::int64_t r = s.row(pos);
    for (size_t c = 0; c < k; ++c) {
      x[c] = cols[c].fetch(r);
      if (!(x[c] < kMissing)) return false;
    }
    return true;
  };
  std::int64_t shared_n = 0;
  bool done = run_pass(
      plan, processors, n, poll,
      [&](int ch, std::int64_t b, std::int64_t e) {
        Slot& sl = slots[ch];
        std::vector<double> x(k);
        double w;
        for (std::int64_t pos = b; pos < e; ++pos) {
          if (!fetch_row(pos, x.data(), &w)) continue;
          ++sl.n;
          sl.w.add(w);
          for (size_t c = 0; c < k; ++c) {
            sl.sums[c].add(w * x[c]);
            if (x[c] < sl.min[c]) sl.min[c] = x[c];
            if (x[c] > sl.max[c]) sl.max[c] = x[c];
          }
        }
      },
      [&](int ch) {
#pragma omp critical(nuvra_pass_count)
        shared_n += slots[ch].n;
      });
  if (!done) return 1;

  Moments m;
  m.n = shared_n;
  CompensatedSum sw;
  std::vector<CompensatedSum> sx(k);
  m.min.assign(k, DBL_MAX);
  m.max.assign(k, -DBL_MAX);
  for (Slot& sl : slots) {
    sw.merge(sl.w);
    for (size_t c = 0; c < k; ++c) {
      sx[c].merge(sl.sums[c]);
      m.min[c] = std::min(m.min[c], sl.min[c]);
      m.max[c] = std::max(m.max[c], sl.max[c]);
    }
    for (CompensatedSum& cs : sl.sums) cs = CompensatedSum{};
  }
  m.sum_w = weights ? sw.value() : static_cast<double>(m.n);
  m.mean.resize(k);
  for (size_t c = 0; c < k; ++c) {
    m.mean[c] = m.n ? sx[c].value() / m.sum_w : kMissing;
    if (!m.n) m.min[c] = m.max[c] = kMissing;
  }
  m.cross.assign(k * k, 0.0);
  if (m.n == 0) {
    *out = std::move(m);
    return 0;
  }
  done = run_pass(
      plan, processors, n, poll,
      [&](int ch, std::int64_t b, std::int64_t e) {
        Slot& sl = slots[ch];
        std::vector<double> x(k);
        double w;
        for (std::int64_t pos = b; pos < e; ++pos) {
          if (!fetch_row(pos, x.data(), &w)) continue;
          for (size_t c = 0; c < k; ++c) x[c] -= m.mean[c];
          size_t q = 0;
          for (size_t i = 0; i < k; ++i)
            for (size_t j = 0; j <= i; ++j) sl.sums[q++].add(w * x[i] * x[j]);
          for (size_t c = 0; c < k; ++c) sl.dev[c].add(w * x[c]);
        }
      },
      [](int) {});
  if (!done) return 1;
  std::vector<CompensatedSum> cp(k * (k + 1) / 2), dev(k);
  for (Slot& sl : slots) {
    for (size_t q = 0; q < cp.size(); ++q) cp[q].merge(sl.sums[q]);
    for (size_t c = 0; c < k; ++c) dev[c].merge(sl.dev[c]);
  }
  // The means are rounded: the deviations from them sum to -W d_i for
  // their errors d_i, and the cross products carry W d_i d_j, taken out here.
  size_t q = 0;
  for (size_t i = 0; i < k; ++i)
    for (size_t j = 0; j <= i; ++j) {
      double v = cp[q].value() - dev[i].value() * dev[j].value() / m.sum_w;
      if (i == j && v < 0) v = 0;
      m.cross[i * k + j] = m.cross[j * k + i] = v;
      ++q;
    }
  *out = std::move(m);
  return 0;
}

}  // namespace nuvra::stats
