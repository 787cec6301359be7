// The summary passes: a first pass for the count, the weights, the sum and
// the extremes, the mean from the compensated sums, and a second pass for
// the squared deviations from that mean. Each pass runs in parallel chunks
// with one accumulator slot per chunk, combined in chunk order.
#include "stats/summarize.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <new>
#include <utility>
#include <vector>

#include "data/missing.h"
#include "interp/parse.h"
#include "stats/parallel.h"

namespace nuvra::stats {

using data::kMissing;

double finite_or_missing(double v) {
  if (std::isnan(v) || std::isinf(v) || v >= kMissing || v <= -kMissing) return kMissing;
  return v;
}

double variance_from(double ss, double sum_w, std::int64_t n, int weight_type) {
  if (n <= 1) return kMissing;
  double v;
  if (weight_type == kAweight) {
    v = (ss / sum_w) * static_cast<double>(n) / static_cast<double>(n - 1);
  } else {
    double d = sum_w - 1;
    if (d == 0) return kMissing;
    v = ss / d;
  }
  return finite_or_missing(v);
}

namespace {

// Reads the value at a sample position: the storage type is a template
// argument so that the fetch compiles to one load and compare, and the
// sample form (a run or an array) another.
template <int Type, bool Contiguous>
struct Reader {
  data::Column col;
  const Sample* s;
  double operator()(std::int64_t pos) const {
    std::int64_t r = Contiguous ? s->first - 1 + pos : s->obs[pos] - 1;
    return data::fetch_value(Type, col.at(r));
  }
};

// Calls f with the reader that fits the column's type and the sample.
template <class F>
void with_reader(const ColumnInput& in, F&& f) {
  const Sample* s = in.sample;
  auto pick = [&]<int Type>() {
    if (s->contiguous)
      f(Reader<Type, true>{in.col, s});
    else
      f(Reader<Type, false>{in.col, s});
  };
  switch (in.col.type) {
    case data::kByte: pick.template operator()<data::kByte>(); break;
    case data::kInt: pick.template operator()<data::kInt>(); break;
    case data::kLong: pick.template operator()<data::kLong>(); break;
    case data::kFloat: pick.template operator()<data::kFloat>(); break;
    default: pick.template operator()<data::kDouble>(); break;
  }
}

// One chunk's share of the first pass. Padded so that two threads never
// write the same cache line.
struct alignas(64) FirstSlot {
  std::int64_t n = 0;
  CompensatedSum w, wx;
  double min = DBL_MAX;
  double max = -DBL_MAX;
};

struct alignas(64) SecondSlot {
  CompensatedSum ss;
  CompensatedSum dev;  // sum of w (x - mean): what the rounding of the mean left
};

// The sum of squared deviations about the exact mean: the mean the second
// pass used is rounded, which adds W d^2 for its error d; the deviations
// themselves sum to -W d, so subtracting their square over W takes it out.
double corrected_ss(double ss, double dev, double sum_w) {
  double v = ss - dev * dev / sum_w;
  return v > 0 ? v : 0;
}

template <bool Weighted, class Read>
void first_pass_piece(const Read& read, const double* wts, std::int64_t b, std::int64_t e, FirstSlot& slot) {
  FirstSlot a = slot;
  for (std::int64_t pos = b; pos < e; ++pos) {
    double x = read(pos);
    if (!(x < kMissing)) continue;
    if constexpr (Weighted) {
      double w = wts[pos];
      if (w == 0 || !(w < kMissing)) continue;
      a.w.add(w);
      a.wx.add(w * x);
    } else {
      a.wx.add(x);
    }
    if (x < a.min) a.min = x;
    if (x > a.max) a.max = x;
    ++a.n;
  }
  slot = a;
}

template <bool Weighted, class Read>
void second_pass_piece(const Read& read, const double* wts, double mean, std::int64_t b, std::int64_t e,
                       SecondSlot& slot) {
  CompensatedSum ss = slot.ss, dev = slot.dev;
  for (std::int64_t pos = b; pos < e; ++pos) {
    double x = read(pos);
    if (!(x < kMissing)) continue;
    double d = x - mean;
    if constexpr (Weighted) {
      double w = wts[pos];
      if (w == 0 || !(w < kMissing)) continue;
      ss.add(w * d * d);
      dev.add(w * d);
    } else {
      ss.add(d * d);
      dev.add(d);
    }
  }
  slot.ss = ss;
  slot.dev = dev;
}

}  // namespace

rc_t summarize_column(const ColumnInput& in, bool mean_only, int processors, const std::function<bool()>& poll,
                      Summary* out) {
  const std::int64_t n = in.sample->size();
  const PassPlan plan = plan_pass(processors, n);
  const bool weighted = in.weights != nullptr;
  std::vector<FirstSlot> first(static_cast<size_t>(plan.threads));
  std::vector<SecondSlot> second(static_cast<size_t>(plan.threads));
  std::int64_t shared_n = 0;
  bool done = true;

  with_reader(in, [&](const auto& read) {
    auto finish = [&](int k) {
#pragma omp critical(nuvra_pass_count)
      shared_n += first[k].n;
    };
    if (weighted)
      done = run_pass(plan, processors, n, poll,
                      [&](int k, std::int64_t b, std::int64_t e) { first_pass_piece<true>(read, in.weights, b, e, first[k]); },
                      finish);
    else
      done = run_pass(plan, processors, n, poll,
                      [&](int k, std::int64_t b, std::int64_t e) { first_pass_piece<false>(read, nullptr, b, e, first[k]); },
                      finish);
  });
  if (!done) return 1;

  CompensatedSum sum_w, sum_wx;
  double min = DBL_MAX, max = -DBL_MAX;
  for (const FirstSlot& s : first) {
    sum_w.merge(s.w);
    sum_wx.merge(s.wx);
    min = std::min(min, s.min);
    max = std::max(max, s.max);
  }
  double total_w = weighted ? sum_w.value() : static_cast<double>(shared_n);
  double mean = sum_wx.value() / total_w;

  Summary r;
  r.n = shared_n;
  r.sum_w = total_w;
  r.sum = finite_or_missing(sum_wx.value());
  r.var = r.sd = kMissing;
  if (shared_n == 0) {
    r.mean = r.min = r.max = kMissing;
    *out = r;
    return 0;
  }
  r.mean = finite_or_missing(mean);
  r.min = min;
  r.max = max;
  if (mean_only) {
    *out = r;
    return 0;
  }

  with_reader(in, [&](const auto& read) {
    auto nothing = [](int) {};
    if (weighted)
      done = run_pass(plan, processors, n, poll,
                      [&](int k, std::int64_t b, std::int64_t e) {
                        second_pass_piece<true>(read, in.weights, mean, b, e, second[k]);
                      },
                      nothing);
    else
      done = run_pass(plan, processors, n, poll,
                      [&](int k, std::int64_t b, std::int64_t e) {
                        second_pass_piece<false>(read, nullptr, mean, b, e, second[k]);
                      },
                      nothing);
  });
  if (!done) return 1;
  CompensatedSum ss, dev;
  for (const SecondSlot& s : second) {
    ss.merge(s.ss);
    dev.merge(s.dev);
  }
  r.var = variance_from(corrected_ss(ss.value(), dev.value(), total_w), total_w, shared_n,
                        weighted ? in.weight_type : kWeightNone);
  r.sd = r.var < kMissing ? std::sqrt(r.var) : kMissing;
  *out = r;
  return 0;
}

// ---- percentiles ---------------------------------------------------------

double percentile_unweighted(const double* sorted, std::int64_t n, double p) {
  if (n <= 0) return kMissing;
  double np = static_cast<double>(n) * p;
  double P = np / 100.0;
  double R = std::floor(P + 0.5);
  if (std::fabs(100.0 * R - np) / (std::fabs(np) + 1) < 1e-15) {
    std::int64_t r = static_cast<std::int64_t>(R);
    // R = 0 (p near 0) and R = n (p = 100) have no neighbour beyond the end.
    if (r < 1) return sorted[0];
    if (r >= n) return sorted[n - 1];
    return (sorted[r - 1] + sorted[r]) / 2;
  }
  std::int64_t k = static_cast<std::int64_t>(std::floor(P)) + 1;
  k = std::clamp<std::int64_t>(k, 1, n);
  return sorted[k - 1];
}

double percentile_weighted(const double* sorted, const double* w, std::int64_t n, double total_w, double p) {
  if (n <= 0) return kMissing;
  const double target = p * total_w;
  const double tol = 1e-7 * 100.0 * total_w;
  CompensatedSum run;
  for (std::int64_t i = 0; i < n; ++i) {
    run.add(w[i]);
    double reached = 100.0 * run.value();
    if (std::fabs(reached - target) <= tol) return i + 1 < n ? (sorted[i] + sorted[i + 1]) / 2 : sorted[i];
    if (reached > target) return sorted[i];
  }
  return sorted[n - 1];
}

// ---- the detailed form ----------------------------------------------------

rc_t summarize_detail(const ColumnInput& in, const std::function<bool()>& poll, DetailSummary* out) {
  const std::int64_t size = in.sample->size();
  const bool weighted = in.weights != nullptr;
  // The used observations as (value, weight), ordered by value below.
  std::vector<double> xs;
  std::vector<std::pair<double, double>> xw;
  CompensatedSum sum_w, sum_wx;
  std::int64_t n = 0;
  bool broke = false;
  try {
    with_reader(in, [&](const auto& read) {
      for (std::int64_t pos = 0; pos < size; ++pos) {
        if ((pos % kPollInterval) == kPollInterval - 1 && poll && poll()) {
          broke = true;
          return;
        }
        double x = read(pos);
        if (!(x < kMissing)) continue;
        if (weighted) {
          double w = in.weights[pos];
          if (w == 0 || !(w < kMissing)) continue;
          sum_w.add(w);
          sum_wx.add(w * x);
          xw.emplace_back(x, w);
        } else {
          sum_wx.add(x);
          xs.push_back(x);
        }
        ++n;
      }
    });
  } catch (const std::bad_alloc&) {
    return 909;
  }
  if (broke) return 1;

  DetailSummary r;
  r.n = n;
  r.sum_w = weighted ? sum_w.value() : static_cast<double>(n);
  r.sum = finite_or_missing(sum_wx.value());
  if (n == 0) {
    r.mean = r.var = r.sd = r.min = r.max = r.skewness = r.kurtosis = kMissing;
    std::fill(std::begin(r.pct), std::end(r.pct), kMissing);
    std::fill(std::begin(r.smallest), std::end(r.smallest), kMissing);
    std::fill(std::begin(r.largest), std::end(r.largest), kMissing);
    *out = r;
    return 0;
  }
  const double mean = sum_wx.value() / r.sum_w;
  r.mean = finite_or_missing(mean);

  std::vector<double> ws;
  if (weighted) {
    std::sort(xw.begin(), xw.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    try {
      xs.resize(static_cast<size_t>(n));
      ws.resize(static_cast<size_t>(n));
    } catch (const std::bad_alloc&) {
      return 909;
    }
    for (std::int64_t i = 0; i < n; ++i) {
      xs[i] = xw[i].first;
      ws[i] = xw[i].second;
    }
    std::vector<std::pair<double, double>>().swap(xw);
  } else {
    std::sort(xs.begin(), xs.end());
  }
  r.min = xs.front();
  r.max = xs.back();
  for (int k = 0; k < 4; ++k) {
    r.smallest[k] = k < n ? xs[k] : kMissing;
    r.largest[k] = k < n ? xs[n - 1 - k] : kMissing;
  }
  for (int k = 0; k < kPercentileCount; ++k)
    r.pct[k] = weighted ? percentile_weighted(xs.data(), ws.data(), n, r.sum_w, kPercentiles[k])
                        : percentile_unweighted(xs.data(), n, kPercentiles[k]);

  CompensatedSum m1, m2, m3, m4;
  for (std::int64_t i = 0; i < n; ++i) {
    double d = xs[i] - mean;
    double w = weighted ? ws[i] : 1.0;
    double d2 = d * d;
    m1.add(w * d);
    m2.add(w * d2);
    m3.add(w * d2 * d);
    m4.add(w * d2 * d2);
  }
  const double ss = corrected_ss(m2.value(), m1.value(), r.sum_w);
  r.var = variance_from(ss, r.sum_w, n, weighted ? in.weight_type : kWeightNone);
  r.sd = r.var < kMissing ? std::sqrt(r.var) : kMissing;
  // The moment ratios use the moments about the mean divided by the total
  // weight: skewness m3 / m2^1.5, kurtosis m4 / m2^2.
  double mm2 = ss / r.sum_w, mm3 = m3.value() / r.sum_w, mm4 = m4.value() / r.sum_w;
  r.skewness = finite_or_missing(mm3 / std::pow(mm2, 1.5));
  r.kurtosis = finite_or_missing(mm4 / (mm2 * mm2));
  *out = r;
  return 0;
}

}  // namespace nuvra::stats
