#include "graphics/serset.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <utility>

#include "data/missing.h"

namespace nuvra::graphics {

std::vector<std::int64_t> apply_missing_rule(MissingRule rule, const std::vector<std::uint8_t>& any_missing,
                                             const std::vector<std::uint8_t>& all_missing) {
  std::vector<std::int64_t> kept;
  bool previous_all_missing = false;
  for (std::size_t i = 0; i < any_missing.size(); ++i) {
    bool keep = true;
    switch (rule) {
      case MissingRule::kNothing:
        break;
      case MissingRule::kAnyMiss:
        keep = !any_missing[i];
        break;
      case MissingRule::kAllMiss:
        keep = !all_missing[i];
        break;
      case MissingRule::kDupMiss:
        // A run of all-missing observations shrinks to one: it still
        // breaks a connected line, once.
        keep = !(all_missing[i] && previous_all_missing);
        break;
    }
    if (keep) {
      kept.push_back(static_cast<std::int64_t>(i));
      previous_all_missing = all_missing[i];
    }
  }
  return kept;
}

void sort_serset(Serset* s, const std::vector<int>& keys) {
  std::vector<std::int64_t> order(static_cast<std::size_t>(s->nobs));
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](std::int64_t a, std::int64_t b) {
    for (int k : keys) {
      const SersetVar& v = s->vars[k];
      if (v.is_string) {
        int c = v.str[a].compare(v.str[b]);
        if (c != 0) return c < 0;
      } else {
        double x = v.num[a], y = v.num[b];
        if (x < y) return true;
        if (y < x) return false;
      }
    }
    return false;
  });
  for (SersetVar& v : s->vars) {
    if (v.is_string) {
      std::vector<std::string> n(order.size());
      for (std::size_t i = 0; i < order.size(); ++i) n[i] = std::move(v.str[order[i]]);
      v.str = std::move(n);
    } else {
      std::vector<double> n(order.size());
      for (std::size_t i = 0; i < order.size(); ++i) n[i] = v.num[order[i]];
      v.num = std::move(n);
    }
  }
}

Serset* SersetStore::in_use() { return in_use_ ? find(in_use_) : nullptr; }

Serset* SersetStore::find(int id) {
  for (auto& s : sets_)
    if (s->id == id) return s.get();
  return nullptr;
}

int SersetStore::add(Serset s) {
  // An identifier reset below one still held moves past the ones taken.
  while (find(next_id_)) ++next_id_;
  s.id = next_id_++;
  auto p = std::make_unique<Serset>(std::move(s));
  int id = p->id;
  auto at = std::lower_bound(sets_.begin(), sets_.end(), id,
                             [](const std::unique_ptr<Serset>& a, int v) { return a->id < v; });
  sets_.insert(at, std::move(p));
  in_use_ = id;
  return id;
}

bool SersetStore::set_in_use(int id) {
  if (!find(id)) return false;
  in_use_ = id;
  return true;
}

bool SersetStore::drop(int id) {
  for (auto it = sets_.begin(); it != sets_.end(); ++it)
    if ((*it)->id == id) {
      sets_.erase(it);
      if (in_use_ == id) in_use_ = 0;
      return true;
    }
  return false;
}

void SersetStore::clear() {
  sets_.clear();
  in_use_ = 0;
  next_id_ = 1;
}

int SersetStore::highest_id() const { return sets_.empty() ? 0 : sets_.back()->id; }

void natural_cspline(const std::vector<double>& x, const std::vector<double>& y, int per_interval,
                     std::vector<double>* ox, std::vector<double>* oy) {
  const std::size_t n = x.size();
  ox->clear();
  oy->clear();
  if (n < 2) return;
  // Second derivatives m[i] at the knots, m[0] = m[n-1] = 0, from the
  // tridiagonal system
  //   h[i-1] m[i-1] + 2 (h[i-1] + h[i]) m[i] + h[i] m[i+1]
  //     = 6 ((y[i+1] - y[i]) / h[i] - (y[i] - y[i-1]) / h[i-1]),
  // solved by elimination down the diagonal.
  std::vector<double> h(n - 1), m(n, 0.0), diag(n, 0.0), rhs(n, 0.0);
  for (std::size_t i = 0; i + 1 < n; ++i) h[i] = x[i + 1] - x[i];
  for (std::size_t i = 1; i + 1 < n; ++i) {
    diag[i] = 2 * (h[i - 1] + h[i]);
    rhs[i] = 6 * ((y[i + 1] - y[i]) / h[i] - (y[i] - y[i - 1]) / h[i - 1]);
  }
  for (std::size_t i = 2; i + 1 < n; ++i) {
    double f = h[i - 1] / diag[i - 1];
    diag[i] -= f * h[i - 1];
    rhs[i] -= f * rhs[i - 1];
  }
  for (std::size_t i = n - 2; i >= 1; --i) {
    m[i] = (rhs[i] - (i + 1 < n - 1 ? h[i] * m[i + 1] : 0.0)) / diag[i];
    if (i == 1) break;
  }
  const int k = std::max(per_interval, 1);
  for (std::size_t i = 0; i + 1 < n; ++i) {
    for (int j = 0; j < k; ++j) {
      double t = static_cast<double>(j) / k;  // position within the interval
      double a = 1 - t;
      double hi = h[i];
      double v = m[i] * a * a * a * hi * hi / 6 + m[i + 1] * t * t * t * hi * hi / 6 +
                 (y[i] - m[i] * hi * hi / 6) * a + (y[i + 1] - m[i + 1] * hi * hi / 6) * t;
      ox->push_back(x[i] + t * hi);
      oy->push_back(v);
    }
  }
  ox->push_back(x[n - 1]);
  oy->push_back(y[n - 1]);
}

namespace {

// The median of v (sorted here); on the log scale when `logs`.
double median(std::vector<double>& v, bool logs) {
  std::sort(v.begin(), v.end());
  std::size_t n = v.size();
  if (n % 2) return v[n / 2];
  double a = v[n / 2 - 1], b = v[n / 2];
  return logs ? std::exp((std::log(a) + std::log(b)) / 2) : (a + b) / 2;
}

}  // namespace

void xmedians(const std::vector<double>& x, const std::vector<double>& y, int bands, double xmin, double xmax,
              bool logx, bool logy, std::vector<double>* mx, std::vector<double>* my) {
  mx->clear();
  my->clear();
  if (bands < 1) return;
  const double lo = logx ? std::log(xmin) : xmin, hi = logx ? std::log(xmax) : xmax;
  const double width = (hi - lo) / bands;
  std::vector<std::vector<double>> bx(bands), by(bands);
  for (std::size_t i = 0; i < x.size(); ++i) {
    double xi = x[i], yi = y[i];
    if (data::is_missing(xi) || data::is_missing(yi)) continue;
    if ((logx && !(xi > 0)) || (logy && !(yi > 0))) continue;
    if (xi < xmin || xi > xmax) continue;
    double pos = logx ? std::log(xi) : xi;
    int b = width > 0 ? static_cast<int>((pos - lo) / width) : 0;
    b = std::clamp(b, 0, bands - 1);  // the top edge belongs to the last band
    bx[b].push_back(xi);
    by[b].push_back(yi);
  }
  for (int b = 0; b < bands; ++b) {
    if (bx[b].empty()) continue;
    mx->push_back(median(bx[b], logx));
    my->push_back(median(by[b], logy));
  }
}

}  // namespace nuvra::graphics
