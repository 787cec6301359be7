// Time-series operators: the declaration, the (panel, time) order, and the
// lag polynomial.  See tsops.h.
#include "data/expr/tsops.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "data/missing.h"

namespace nuvra::expr {

TsDecl ts_declaration(const data::Dataset& ds) {
  TsDecl d;
  const std::string* t = ds.chars().get("_dta", kTsTimeChar);
  if (!t || t->empty()) return d;
  d.tvar = ds.find_exact(*t);
  if (d.tvar == 0 || ds.is_string(d.tvar)) return d;
  if (const std::string* p = ds.chars().get("_dta", kTsPanelChar); p && !p->empty()) {
    d.pvar = ds.find_exact(*p);
    if (d.pvar == 0 || ds.is_string(d.pvar)) return d;
  }
  if (const std::string* s = ds.chars().get("_dta", kTsDeltaChar); s && !s->empty()) {
    char* end = nullptr;
    double v = std::strtod(s->c_str(), &end);
    if (end && *end == '\0' && v > 0 && v < data::kMissing) d.delta = v;
  }
  d.ok = true;
  return d;
}

namespace {

// (panel, time) with missing times after every time of their panel.
struct Key {
  double panel, time;
};
bool key_less(const Key& a, const Key& b) {
  if (a.panel != b.panel) return a.panel < b.panel;
  return a.time < b.time;
}

}  // namespace

void ts_order(const data::Dataset& ds, const TsDecl& decl, std::vector<std::int64_t>* order,
              std::vector<std::int64_t>* rank, bool* in_order, bool* repeated) {
  order->clear();
  rank->clear();
  *in_order = true;
  *repeated = false;
  const std::int64_t n = ds.nobs();
  auto key = [&](std::int64_t o) {
    return Key{decl.pvar ? ds.fetch(decl.pvar, o) : 0.0, ds.fetch(decl.tvar, o)};
  };
  // Missing values compare above every number, so plain < on the stored
  // doubles already puts missing times last within each panel.
  for (std::int64_t o = 2; o <= n; ++o) {
    Key a = key(o - 1), b = key(o);
    if (key_less(b, a)) {
      *in_order = false;
      break;
    }
    if (a.panel == b.panel && a.time == b.time && a.time < data::kMissing) *repeated = true;
  }
  if (*in_order) return;
  *repeated = false;
  std::vector<Key> keys(static_cast<size_t>(n));
  for (std::int64_t o = 1; o <= n; ++o) keys[static_cast<size_t>(o - 1)] = key(o);
  order->resize(static_cast<size_t>(n));
  for (std::int64_t o = 1; o <= n; ++o) (*order)[static_cast<size_t>(o - 1)] = o;
  std::stable_sort(order->begin(), order->end(), [&](std::int64_t a, std::int64_t b) {
    return key_less(keys[static_cast<size_t>(a - 1)], keys[static_cast<size_t>(b - 1)]);
  });
  rank->resize(static_cast<size_t>(n));
  for (std::int64_t r = 0; r < n; ++r) {
    std::int64_t o = (*order)[static_cast<size_t>(r)];
    (*rank)[static_cast<size_t>(o - 1)] = r;
    if (r > 0) {
      const Key& a = keys[static_cast<size_t>((*order)[static_cast<size_t>(r - 1)] - 1)];
      const Key& b = keys[static_cast<size_t>(o - 1)];
      if (a.panel == b.panel && a.time == b.time && a.time < data::kMissing) *repeated = true;
    }
  }
}

std::vector<double> ts_polynomial(const TsOps& ops) {
  std::vector<double> c{1.0};
  auto times = [&c](long long span) {  // c *= (1 - L^span)
    std::vector<double> r(c.size() + static_cast<size_t>(span), 0.0);
    for (size_t k = 0; k < c.size(); ++k) {
      r[k] += c[k];
      r[k + static_cast<size_t>(span)] -= c[k];
    }
    c.swap(r);
  };
  for (int d = 0; d < ops.diff; ++d) times(1);
  for (long long s : ops.seasonal) times(s);
  return c;
}

bool ts_parse_canonical(std::string_view text, TsOps* ops) {
  *ops = TsOps{};
  size_t i = 0;
  while (i < text.size()) {
    char c = text[i++];
    long long count = 0;
    size_t digits = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
      count = count * 10 + (text[i++] - '0');
      ++digits;
    }
    if (digits == 0) count = 1;
    switch (c) {
      case 'L': ops->lag += count; break;
      case 'F': ops->lag -= count; break;
      case 'D': ops->diff += static_cast<int>(count); break;
      case 'S': ops->seasonal.push_back(count); break;
      default: return false;
    }
  }
  std::sort(ops->seasonal.begin(), ops->seasonal.end());
  return true;
}

}  // namespace nuvra::expr
