// String built-ins, element by element; bytes, not characters, as
// everywhere else in the system's strings.
#include "lumo/builtins_string.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <string>
#include <string_view>

#include "data/format.h"
#include "data/missing.h"
#include "lumo/builtin_args.h"

namespace nuvra::lumo {

namespace {

std::string_view Text(const ValueRecord* v, int64_t k) {
  StringRef s = string_of(slots(v)[k]);
  return {s.bytes, s.length};
}

// A new string matrix of x's shape whose elements are f(element).
template <class F>
void MapStrings(Machine& m, int n, F f) {
  ValueRecord* x = BiArg(m, n, 0);
  if (!m.CheckMatrix(x) || !m.CheckString(x)) return;
  ValueRecord* r = m.values().NewValue("", kString, x->rows, x->cols);
  if (!r) return m.RaiseAllocation();
  for (int64_t k = 0; k < element_count(x); ++k) {
    bool ok;
    slots(r)[k] = m.values().NewString(f(Text(x, k)), &ok);
    if (!ok) {
      m.values().Free(r);
      return m.RaiseAllocation();
    }
  }
  BiReturn(m, n, r);
}

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = char(std::tolower(static_cast<unsigned char>(c)));
  return out;
}
std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = char(std::toupper(static_cast<unsigned char>(c)));
  return out;
}
std::string_view LTrim(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  return s;
}
std::string_view RTrim(std::string_view s) {
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

// A real scalar argument that is a whole number (or missing when allowed).
bool WholeArg(Machine& m, int n, int k, bool missing_ok, double* out) {
  if (!BiRealScalar(m, BiArg(m, n, k), out)) return false;
  if (data::is_missing(*out)) return missing_ok || BiFail(m, 3300);
  if (*out != std::floor(*out)) return BiFail(m, 3300);
  return true;
}

}  // namespace

void BiStrlower(Machine& m, int n) { MapStrings(m, n, Lower); }
void BiStrupper(Machine& m, int n) { MapStrings(m, n, Upper); }
void BiStrltrim(Machine& m, int n) { MapStrings(m, n, [](std::string_view s) { return std::string(LTrim(s)); }); }
void BiStrrtrim(Machine& m, int n) { MapStrings(m, n, [](std::string_view s) { return std::string(RTrim(s)); }); }
void BiStrtrim(Machine& m, int n) {
  MapStrings(m, n, [](std::string_view s) { return std::string(RTrim(LTrim(s))); });
}
// stritrim(s): runs of blanks inside s become one blank.
void BiStritrim(Machine& m, int n) {
  MapStrings(m, n, [](std::string_view s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i)
      if (!(s[i] == ' ' && i > 0 && s[i - 1] == ' ')) out += s[i];
    return out;
  });
}
void BiStrreverse(Machine& m, int n) {
  MapStrings(m, n, [](std::string_view s) { return std::string(s.rbegin(), s.rend()); });
}

// substr(s, b [, l]): l bytes (missing or absent: the rest) from byte b,
// counted from 1, or from the end when b is negative.
void BiSubstr(Machine& m, int n) {
  double b, l = data::kMissing;
  if (!WholeArg(m, n, 1, false, &b) || (n == 3 && !WholeArg(m, n, 2, true, &l))) return;
  if (!data::is_missing(l) && l < 0) return (void)BiFail(m, 3300);
  MapStrings(m, n, [&](std::string_view s) {
    double start = b < 0 ? double(s.size()) + b : b - 1;
    if (b == 0 || start < 0 || start >= double(s.size())) return std::string();
    size_t len = data::is_missing(l) ? s.size() : size_t(std::min(l, double(s.size())));
    return std::string(s.substr(size_t(start), len));
  });
}

// strpos(s, t): where t first occurs in s, counted from 1; 0 when it does
// not.  s may be a matrix; t a scalar or a matrix of s's shape.
void BiStrpos(Machine& m, int n) {
  ValueRecord *s = BiArg(m, n, 0), *t = BiArg(m, n, 1);
  if (!m.CheckMatrix(s) || !m.CheckString(s) || !m.CheckMatrix(t) || !m.CheckString(t)) return;
  bool one = element_count(t) == 1;
  if (!one && (t->rows != s->rows || t->cols != s->cols)) return (void)BiFail(m, 3200);
  ValueRecord* r = m.values().NewValue("", kReal, s->rows, s->cols);
  if (!r) return m.RaiseAllocation();
  for (int64_t k = 0; k < element_count(s); ++k) {
    size_t at = Text(s, k).find(Text(t, one ? 0 : k));
    reals(r)[k] = at == std::string_view::npos ? 0 : double(at + 1);
  }
  BiReturn(m, n, r);
}

// strofreal(x [, fmt]): each number in the format (default %9.0g),
// without the blanks the format pads it with.
void BiStrofreal(Machine& m, int n) {
  ValueRecord* x = BiArg(m, n, 0);
  if (!m.CheckMatrix(x) || !m.CheckReal(x)) return;
  std::string fmt = "%9.0g";
  if (n == 2) {
    ValueRecord* f = BiArg(m, n, 1);
    if (!m.CheckMatrix(f) || !m.CheckString(f) || !m.CheckScalar(f)) return;
    fmt = std::string(Text(f, 0));
    data::Format pf;
    if (!data::parse_format(fmt, &pf) || !data::is_numeric_format(pf)) return (void)BiFail(m, 3302);
  }
  ValueRecord* r = m.values().NewValue("", kString, x->rows, x->cols);
  if (!r) return m.RaiseAllocation();
  for (int64_t k = 0; k < element_count(x); ++k) {
    std::string text(RTrim(LTrim(data::format_number(fmt, reals(x)[k]))));
    bool ok;
    slots(r)[k] = m.values().NewString(text, &ok);
    if (!ok) {
      m.values().Free(r);
      return m.RaiseAllocation();
    }
  }
  BiReturn(m, n, r);
}

}  // namespace nuvra::lumo
