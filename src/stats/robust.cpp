#include "stats/robust.h"

#include <algorithm>
#include <atomic>
#include <string>
#include <utility>

#include "stats/parallel.h"

namespace nuvra::stats {

rc_t robust_meat(data::Dataset& ds, int processors, const std::function<bool()>& poll, const Fit& f,
                 const std::vector<int>& xv, const std::vector<double>& ccode, const std::vector<int>& kept,
                 const std::vector<double>& b, const std::vector<double>& ainv, int yvar, Vce vce, bool fweighted,
                 std::vector<double>* meat, double* groups) {
  const int q = static_cast<int>(kept.size());
  const std::int64_t n = f.count;
  const int nx = static_cast<int>(xv.size());
  // y and the kept columns other than the constant, read together.
  std::vector<char> is_cons(static_cast<size_t>(q), 0);
  std::vector<int> rv{yvar};
  for (int c = 0; c < q; ++c) {
    if (kept[c] < nx)
      rv.push_back(xv[kept[c]]);
    else
      is_cons[c] = 1;
  }
  const RowReader reader(ds, rv);
  // Fills x with the regressors of row r and returns the residual; tmp
  // holds rv.size() values.
  auto residual = [&](std::int64_t r, double* x, double* tmp) {
    reader.read(r, tmp);
    double fit = 0;
    for (int c = 0, m = 1; c < q; ++c) {
      x[c] = is_cons[c] ? 1.0 : tmp[m++];
      fit += b[c] * x[c];
    }
    return tmp[0] - fit;
  };
  const size_t qq = static_cast<size_t>(q) * q;
  const SegmentPlan plan = plan_segments(processors, n, 8192, 256);
  std::vector<std::vector<double>> part(static_cast<size_t>(plan.segments), std::vector<double>(qq, 0.0));

  if (vce == Vce::kCluster) {
    // Positions ordered by cluster key (ties in position order).  A
    // segment starts at the first observation of the cluster that holds
    // its nominal start, so each cluster's score sum is formed whole in
    // one segment, and the cut does not depend on the thread count.
    std::vector<std::pair<double, std::int64_t>> key(static_cast<size_t>(n));
    for (std::int64_t pos = 0; pos < n; ++pos) key[static_cast<size_t>(pos)] = {ccode[static_cast<size_t>(pos)], pos};
    std::sort(key.begin(), key.end());
    std::vector<std::int64_t> start(static_cast<size_t>(plan.segments) + 1, n);
    if (plan.segments > 0) start[0] = 0;
    for (std::int64_t k = 1; k < plan.segments; ++k) {
      std::int64_t s = std::max(start[k - 1], k * plan.length);
      while (s < n && s > 0 && key[static_cast<size_t>(s)].first == key[static_cast<size_t>(s - 1)].first) ++s;
      start[k] = std::min(s, n);
    }
    std::vector<double> part_groups(static_cast<size_t>(plan.segments), 0.0);
    std::atomic<bool> stop{false};
    auto run_segment = [&](std::int64_t k, int tid) {
      std::vector<double> x(static_cast<size_t>(q)), u(static_cast<size_t>(q), 0.0), tmp(rv.size());
      double* m = part[static_cast<size_t>(k)].data();
      for (std::int64_t s = start[k]; s < start[k + 1]; ++s) {
        if ((s & (kPollInterval - 1)) == 0) {
          if (tid == 0 && poll && poll()) stop.store(true, std::memory_order_relaxed);
          if (stop.load(std::memory_order_relaxed)) return;
        }
        if (s + kPrefetchRows < start[k + 1])
          reader.prefetch(f.row(key[static_cast<size_t>(s + kPrefetchRows)].second));
        std::int64_t pos = key[static_cast<size_t>(s)].second;
        double e = residual(f.row(pos), x.data(), tmp.data());
        double w = f.w.empty() ? 1.0 : f.w[static_cast<size_t>(pos)];
        for (int c = 0; c < q; ++c) u[c] += w * e * x[c];
        if (s + 1 == n || key[static_cast<size_t>(s + 1)].first != key[static_cast<size_t>(s)].first) {
          for (int i = 0; i < q; ++i)
            for (int j = i; j < q; ++j) m[static_cast<size_t>(i) * q + j] += u[i] * u[j];
          std::fill(u.begin(), u.end(), 0.0);
          part_groups[static_cast<size_t>(k)] += 1;
        }
      }
    };
    share_segments(plan, processors, stop, run_segment);
    if (stop.load()) return 1;
    double g = 0;
    for (double pg : part_groups) g += pg;
    *groups = g;
  } else {
    const bool leverage = vce == Vce::kHc2 || vce == Vce::kHc3;
    bool done = run_segments(
        plan, processors, n, poll,
        [&](std::int64_t k, std::int64_t from, std::int64_t to) {
          std::vector<double> x(static_cast<size_t>(q)), tmp(rv.size());
          double* m = part[static_cast<size_t>(k)].data();
          for (std::int64_t pos = from; pos < to; ++pos) {
            if (pos + kPrefetchRows < to) reader.prefetch(f.row(pos + kPrefetchRows));
            double e = residual(f.row(pos), x.data(), tmp.data());
            double w = f.w.empty() ? 1.0 : f.w[static_cast<size_t>(pos)];
            // Frequency weights count repeated observations: each copy adds e^2.
            double s = fweighted ? w * e * e : w * w * e * e;
            if (leverage) {
              double h = 0;
              for (int i = 0; i < q; ++i) {
                double t = 0;
                for (int j = 0; j < q; ++j) t += ainv[static_cast<size_t>(i) * q + j] * x[j];
                h += x[i] * t;
              }
              // Each of a frequency weight's copies has the leverage of one
              // observation; an analytic or sampling weight scales it.
              if (!fweighted) h *= w;
              double d = 1 - h;
              s = d > 0 ? (vce == Vce::kHc2 ? s / d : s / (d * d)) : 0;
            }
            for (int i = 0; i < q; ++i) {
              double sx = s * x[i];
              double* mi = m + static_cast<size_t>(i) * q;
              for (int j = i; j < q; ++j) mi[j] += sx * x[j];
            }
          }
        });
    if (!done) return 1;
  }
  meat->assign(qq, 0.0);
  for (const std::vector<double>& pt : part)
    for (size_t i = 0; i < qq; ++i) (*meat)[i] += pt[i];
  for (int i = 0; i < q; ++i)
    for (int j = 0; j < i; ++j) (*meat)[static_cast<size_t>(i) * q + j] = (*meat)[static_cast<size_t>(j) * q + i];
  return 0;
}

void cluster_keys(data::Dataset& ds, const Fit& f, int clustvar, std::vector<double>* out) {
  const std::int64_t n = f.count;
  out->assign(static_cast<size_t>(n), 0.0);
  if (!ds.is_string(clustvar)) {
    const data::Column c = ds.column(clustvar);
    for (std::int64_t pos = 0; pos < n; ++pos) (*out)[static_cast<size_t>(pos)] = value_of(c, f.row(pos));
    return;
  }
  std::vector<std::pair<std::string, std::int64_t>> text(static_cast<size_t>(n));
  for (std::int64_t pos = 0; pos < n; ++pos) text[static_cast<size_t>(pos)] = {ds.fetch_str(clustvar, f.row(pos) + 1), pos};
  std::sort(text.begin(), text.end());
  double rank = 0;
  for (std::int64_t i = 0; i < n; ++i) {
    if (i > 0 && text[static_cast<size_t>(i)].first != text[static_cast<size_t>(i - 1)].first) ++rank;
    (*out)[static_cast<size_t>(text[static_cast<size_t>(i)].second)] = rank;
  }
}

}  // namespace nuvra::stats
