#include "interp/numlist.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/text.h"
#include "data/missing.h"
#include "interp/messages.h"

namespace nuvra {

namespace {

constexpr rc_t kInvalid = 121, kTooFew = 122, kTooMany = 123, kOrder = 124, kRange = 125,
               kNonInteger = 126, kMissingValues = 127;

// A list may be written over several lines.
constexpr bool is_blank(char c) { return base::is_line_blank(c); }

// Characters that may follow a number inside a list.
bool ends_element(std::string_view s, size_t i) {
  return i >= s.size() || is_blank(s[i]) || std::strchr(",/()[]:", s[i]) != nullptr;
}

size_t skip_blanks(std::string_view s, size_t i) {
  while (i < s.size() && is_blank(s[i])) ++i;
  return i;
}

// One number at s[i]: an optional sign, digits with at most one decimal
// point, an optional exponent; or, when `allow_missing`, "." or ".a" to
// ".z".  Advances i past it.
bool read_number(std::string_view s, size_t& i, bool allow_missing, double* v) {
  size_t start = i, j = i;
  if (j < s.size() && s[j] == '.' && allow_missing) {
    size_t k = j + 1;
    if (k < s.size() && s[k] >= 'a' && s[k] <= 'z' && ends_element(s, k + 1)) {
      *v = data::missing_value(s[k] - 'a' + 1);
      i = k + 1;
      return true;
    }
    if (ends_element(s, k)) {
      *v = data::kMissing;
      i = k;
      return true;
    }
  }
  j = base::decimal_literal_end(s, j);
  if (j == std::string_view::npos || !ends_element(s, j)) return false;
  std::string text(s.substr(start, j - start));
  double d = std::strtod(text.c_str(), nullptr);
  if (!std::isfinite(d) || data::is_missing(d)) return false;
  *v = d;
  i = j;
  return true;
}

// A computed element rounded to 15 significant digits, so that 0(.1)1
// yields .3 rather than the nearest sum of binary tenths.
double tidy(double v) {
  if (v == std::trunc(v)) return v;
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.15g", v);
  return std::strtod(buf, nullptr);
}

// Appends a + k*d for k = first_k .. while within b.  Returns 0, kInvalid
// (a step of zero or pointing away from b) or kTooMany.
rc_t append_range(double a, double d, double b, int first_k, int max, std::vector<double>* out) {
  if (d == 0 || data::is_missing(a) || data::is_missing(b) || data::is_missing(d)) return kInvalid;
  double q = (b - a) / d;
  if (q < -1e-9) return kInvalid;
  double n = std::floor(q + 1e-9 * std::max(1.0, std::fabs(q)));
  if (n + 1 - first_k + static_cast<double>(out->size()) > max) return kTooMany;
  long long last = static_cast<long long>(n);
  for (long long k = first_k; k <= last; ++k) {
    double v = tidy(a + static_cast<double>(k) * d);
    // The end value as typed, not as accumulated, when the steps land on it.
    if (k == last && std::fabs(v - b) <= 1e-9 * std::max(1.0, std::fabs(b))) v = b;
    out->push_back(v);
  }
  return 0;
}

rc_t parse_elements(std::string_view s, int max, std::vector<double>* out, bool* saw_missing) {
  int singles_in_row = 0;  // plain numbers just read, for the "to" form
  size_t i = 0;
  while (true) {
    while (i < s.size() && (is_blank(s[i]) || s[i] == ',')) ++i;
    if (i >= s.size()) break;
    bool to_word = s.substr(i, 2) == "to" && ends_element(s, i + 2);
    if (to_word || s[i] == ':') {
      // "#1 #t to #2": the step is #t - #1, and #t must lie on the way.
      if (singles_in_row < 2) return kInvalid;
      i = skip_blanks(s, i + (to_word ? 2 : 1));
      double b;
      if (!read_number(s, i, false, &b)) return kInvalid;
      double t = out->back();
      out->pop_back();
      double a = out->back();
      double d = t - a;
      if (d == 0 || data::is_missing(a) || data::is_missing(t) || (b - t) / d < -1e-9) return kInvalid;
      if (rc_t rc = append_range(a, d, b, 1, max, out)) return rc;
      singles_in_row = 0;
      continue;
    }
    double a;
    if (!read_number(s, i, true, &a)) return kInvalid;
    size_t j = skip_blanks(s, i);
    if (j < s.size() && s[j] == '/') {
      i = skip_blanks(s, j + 1);
      double b;
      if (data::is_missing(a) || !read_number(s, i, false, &b)) return kInvalid;
      if (rc_t rc = append_range(a, b >= a ? 1 : -1, b, 0, max, out)) return rc;
      singles_in_row = 0;
    } else if (j < s.size() && (s[j] == '(' || s[j] == '[')) {
      char close = s[j] == '(' ? ')' : ']';
      i = skip_blanks(s, j + 1);
      double d, b;
      if (data::is_missing(a) || !read_number(s, i, false, &d)) return kInvalid;
      i = skip_blanks(s, i);
      if (i >= s.size() || s[i] != close) return kInvalid;
      i = skip_blanks(s, i + 1);
      if (!read_number(s, i, false, &b)) return kInvalid;
      if (rc_t rc = append_range(a, d, b, 0, max, out)) return rc;
      singles_in_row = 0;
    } else {
      if (static_cast<int>(out->size()) >= max) return kTooMany;
      if (data::is_missing(a)) *saw_missing = true;
      out->push_back(a);
      // A missing value cannot start the "to" form, so it breaks the run.
      singles_in_row = data::is_missing(a) ? 0 : singles_in_row + 1;
    }
  }
  return 0;
}

bool outside(const NumlistOptions& o, double v) {
  if (o.low.set && (o.low.strict ? !(v > o.low.value) : !(v >= o.low.value))) return true;
  if (o.high.set && (o.high.strict ? !(v < o.high.value) : !(v <= o.high.value))) return true;
  return false;
}

rc_t check(const NumlistOptions& o, const std::vector<double>& v, bool saw_missing) {
  if (saw_missing && !o.missing_ok) return kMissingValues;
  for (double x : v)
    if (!data::is_missing(x) && o.integer && x != std::floor(x)) return kNonInteger;
  for (double x : v)
    if (!data::is_missing(x) && outside(o, x)) return kRange;
  if (static_cast<int>(v.size()) < o.min) return kTooFew;
  if (static_cast<int>(v.size()) > o.max) return kTooMany;
  for (size_t k = 1; k < v.size(); ++k) {
    if (o.ascending && !(v[k - 1] < v[k])) return kOrder;
    if (o.descending && !(v[k - 1] > v[k])) return kOrder;
  }
  return 0;
}

}  // namespace

rc_t read_numlist(Interp& ip, std::string_view text, const NumlistOptions& opts, std::vector<double>* out) {
  out->clear();
  bool saw_missing = false;
  int cap = std::max(opts.max, 0);
  rc_t rc = parse_elements(text, cap, out, &saw_missing);
  if (rc == 0) rc = check(opts, *out, saw_missing);
  if (rc == 0) {
    if (opts.sort) std::sort(out->begin(), out->end());
    return 0;
  }
  out->clear();
  return rc_message(ip, rc);
}

bool parse_numlist_range(std::string_view s, NumlistOptions* opts) {
  NumlistBound low, high;
  size_t i = 0;
  int count = 0;
  while (true) {
    i = skip_blanks(s, i);
    if (i >= s.size()) break;
    if (s[i] != '>' && s[i] != '<') return false;
    bool greater = s[i] == '>';
    bool strict = !(i + 1 < s.size() && s[i + 1] == '=');
    i = skip_blanks(s, i + (strict ? 1 : 2));
    double v;
    if (!read_number(s, i, false, &v)) return false;
    NumlistBound& b = greater ? low : high;
    if (b.set) return false;
    b = {true, strict, v};
    ++count;
  }
  if (count == 0) return false;
  opts->low = low;
  opts->high = high;
  return true;
}

std::string format_numlist(const std::vector<double>& values) {
  std::string out;
  char buf[40];
  for (double v : values) {
    if (!out.empty()) out += ' ';
    int code = data::missing_code(v);
    if (code == 0) {
      out += '.';
      continue;
    }
    if (code > 0) {
      out += '.';
      out += static_cast<char>('a' + code - 1);
      continue;
    }
    if (v == std::trunc(v) && std::fabs(v) < 1e15) {
      std::snprintf(buf, sizeof buf, "%.0f", v == 0 ? 0.0 : v);  // no "-0"
      out += buf;
      continue;
    }
    std::snprintf(buf, sizeof buf, "%.15g", v);
    std::string_view t(buf);
    // ".5" and "-.5" as the language writes them.
    if (t.starts_with("0.")) t.remove_prefix(1);
    if (t.starts_with("-0.")) {
      out += '-';
      t.remove_prefix(2);
    }
    out += t;
  }
  return out;
}

}  // namespace nuvra
