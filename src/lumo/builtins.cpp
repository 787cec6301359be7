// The elementary built-ins, the output functions, and the table that
// names every built-in.
#include "lumo/builtins.h"

#include <cmath>
#include <complex>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "data/format.h"
#include "data/missing.h"
#include "lumo/builtin_args.h"
#include "lumo/builtins_date.h"
#include "lumo/builtins_dist.h"
#include "lumo/builtins_external.h"
#include "lumo/builtins_file.h"
#include "lumo/builtins_helpers.h"
#include "lumo/builtins_host.h"
#include "lumo/builtins_host2.h"
#include "lumo/builtins_linalg.h"
#include "lumo/builtins_math.h"
#include "lumo/builtins_matrix.h"
#include "lumo/builtins_output.h"
#include "lumo/builtins_random.h"
#include "lumo/builtins_series.h"
#include "lumo/builtins_session.h"
#include "lumo/builtins_string.h"
#include "lumo/builtins_text.h"
#include "lumo/builtins_token.h"
#include "lumo/builtins_trace.h"
#include "lumo/builtins_view.h"
#include "lumo/machine_state.h"
#include "lumo/value.h"
#include "lumo/vm.h"

namespace nuvra::lumo {

namespace {

using data::is_missing;
using data::kMissing;
using cplx = std::complex<double>;

// Argument k (0-based) of n.
ValueRecord* Arg(Machine& m, int n, int k) { return m.Top(n - 1 - k); }

// Pops the n arguments and pushes r (a new record).
void Return(Machine& m, int n, ValueRecord* r) {
  if (!r) return m.RaiseAllocation();
  if (n == 0) {
    m.PushNew(r);
    return;
  }
  m.ReplaceTop(n, r);
}

bool RealScalarArg(Machine& m, ValueRecord* v, double* out) {
  if (!m.CheckMatrix(v) || !m.CheckReal(v) || !m.CheckScalar(v)) return false;
  *out = reals(v)[0];
  return true;
}

// Applies f to every element of a real argument, or g to a complex one.
template <class F, class G>
void Map(Machine& m, int n, F f, G g) {
  ValueRecord* x = Arg(m, n, 0);
  if (!m.CheckMatrix(x) || !m.CheckNumeric(x)) return;
  int64_t count = element_count(x);
  if (x->eltype == kReal) {
    ValueRecord* r = m.values().NewValue("", kReal, x->rows, x->cols);
    if (!r) return m.RaiseAllocation();
    for (int64_t k = 0; k < count; ++k) {
      double d = reals(x)[k];
      double v = is_missing(d) ? kMissing : f(d);
      reals(r)[k] = std::isfinite(v) && !is_missing(v) ? v : kMissing;
    }
    return Return(m, n, r);
  }
  ValueRecord* r = m.values().NewValue("", kComplex, x->rows, x->cols);
  if (!r) return m.RaiseAllocation();
  for (int64_t k = 0; k < count; ++k) {
    cplx z(reals(x)[2 * k], reals(x)[2 * k + 1]);
    cplx v = (is_missing(z.real()) || is_missing(z.imag())) ? cplx(kMissing, kMissing) : g(z);
    bool bad = !std::isfinite(v.real()) || !std::isfinite(v.imag());
    reals(r)[2 * k] = bad ? kMissing : v.real();
    reals(r)[2 * k + 1] = bad ? kMissing : v.imag();
  }
  Return(m, n, r);
}

void BiAbs(Machine& m, int n) {
  ValueRecord* x = Arg(m, n, 0);
  if (!m.CheckMatrix(x) || !m.CheckNumeric(x)) return;
  ValueRecord* r = m.values().NewValue("", kReal, x->rows, x->cols);
  if (!r) return m.RaiseAllocation();
  for (int64_t k = 0; k < element_count(x); ++k) {
    if (x->eltype == kReal) {
      double d = reals(x)[k];
      reals(r)[k] = is_missing(d) ? d : std::fabs(d);
    } else {
      double re = reals(x)[2 * k], im = reals(x)[2 * k + 1];
      reals(r)[k] = is_missing(re) || is_missing(im) ? kMissing : std::hypot(re, im);
    }
  }
  Return(m, n, r);
}

void BiExp(Machine& m, int n) {
  Map(m, n, [](double d) { return std::exp(d); }, [](cplx z) { return std::exp(z); });
}
void BiLog(Machine& m, int n) {
  Map(m, n, [](double d) { return d > 0 ? std::log(d) : kMissing; }, [](cplx z) { return std::log(z); });
}
void BiSqrt(Machine& m, int n) {
  Map(m, n, [](double d) { return d >= 0 ? std::sqrt(d) : kMissing; }, [](cplx z) { return std::sqrt(z); });
}
void BiFloor(Machine& m, int n) {
  if (!m.CheckReal(Arg(m, n, 0))) return;
  Map(m, n, [](double d) { return std::floor(d); }, [](cplx z) { return z; });
}
void BiCeil(Machine& m, int n) {
  if (!m.CheckReal(Arg(m, n, 0))) return;
  Map(m, n, [](double d) { return std::ceil(d); }, [](cplx z) { return z; });
}
void BiTrunc(Machine& m, int n) {
  if (!m.CheckReal(Arg(m, n, 0))) return;
  Map(m, n, [](double d) { return std::trunc(d); }, [](cplx z) { return z; });
}

void Dimension(Machine& m, int n, int which) {
  ValueRecord* x = Arg(m, n, 0);
  if (!m.CheckMatrix(x)) return;
  double d = which == 0 ? x->rows : which == 1 ? x->cols : double(element_count(x));
  if (which == 2 && !(x->rows == 1 || x->cols == 1) && element_count(x) != 0) d = double(element_count(x));
  Return(m, n, m.values().NewScalar(d));
}
void BiRows(Machine& m, int n) { Dimension(m, n, 0); }
void BiCols(Machine& m, int n) { Dimension(m, n, 1); }
void BiLength(Machine& m, int n) { Dimension(m, n, 2); }

bool Size(Machine& m, ValueRecord* v, int32_t* out) {
  double d;
  if (!RealScalarArg(m, v, &d)) return false;
  if (is_missing(d) || d < 0 || d > INT32_MAX) {
    m.RaiseError(3300, Machine::MessageFor(3300));
    return false;
  }
  *out = int32_t(d);
  return true;
}

void BiI(Machine& m, int n) {
  int32_t r, c;
  if (!Size(m, Arg(m, n, 0), &r)) return;
  c = r;
  if (n == 2 && !Size(m, Arg(m, n, 1), &c)) return;
  ValueRecord* v = m.values().NewValue("", kReal, r, c);
  if (!v) return m.RaiseAllocation();
  for (int32_t i = 0; i < r; ++i)
    for (int32_t j = 0; j < c; ++j) reals(v)[int64_t(i) * c + j] = i == j;
  Return(m, n, v);
}

// J(r, c, x): x repeated r times down and c times across.
void BiJ(Machine& m, int n) {
  int32_t r, c;
  if (!Size(m, Arg(m, n, 0), &r) || !Size(m, Arg(m, n, 1), &c)) return;
  ValueRecord* x = Arg(m, n, 2);
  if (!m.CheckMatrix(x)) return;
  int64_t rows = int64_t(r) * x->rows, cols = int64_t(c) * x->cols;
  if (rows > INT32_MAX || cols > INT32_MAX) return m.RaiseError(3900, Machine::MessageFor(3900));
  ValueRecord* v = m.values().NewValue("", x->eltype == kUnknown ? int(kReal) : int(x->eltype), int32_t(rows), int32_t(cols));
  if (!v) return m.RaiseAllocation();
  m.PushNew(v);
  if (m.status()) return;
  for (int64_t i = 0; i < rows; ++i)
    for (int64_t j = 0; j < cols; ++j) {
      int64_t to = i * cols + j, from = (i % x->rows) * x->cols + (j % x->cols);
      switch (x->eltype) {
        case kReal: reals(v)[to] = reals(x)[from]; break;
        case kComplex:
          reals(v)[2 * to] = reals(x)[2 * from];
          reals(v)[2 * to + 1] = reals(x)[2 * from + 1];
          break;
        case kString: {
          StringRef s = string_of(slots(x)[from]);
          bool ok;
          slots(v)[to] = m.values().NewString(std::string_view(s.bytes, s.length), &ok);
          if (!ok) return m.RaiseAllocation();
          break;
        }
        default: m.values().SetPointer(v, to, static_cast<ValueRecord*>(slots(x)[from]));
      }
    }
  ++v->refcount;
  m.Pop();
  m.ReplaceTop(n, v);
  --v->refcount;
}

// J2(r, c, x): an r x c matrix every element of which is the scalar x.
// Unlike J(), x must be 1 x 1, so the size asked for is the size made.
void BiJ2(Machine& m, int n) {
  if (!m.CheckMatrix(Arg(m, n, 2)) || !m.CheckScalar(Arg(m, n, 2))) return;
  BiJ(m, n);
}

void BiStrlen(Machine& m, int n) {
  ValueRecord* x = Arg(m, n, 0);
  if (!m.CheckMatrix(x) || !m.CheckString(x)) return;
  ValueRecord* r = m.values().NewValue("", kReal, x->rows, x->cols);
  if (!r) return m.RaiseAllocation();
  for (int64_t k = 0; k < element_count(x); ++k) reals(r)[k] = string_of(slots(x)[k]).length;
  Return(m, n, r);
}

// tokens(s [, parse]): the words of s, split at blanks; each character
// of parse other than a blank also splits and is itself a token.
void BiTokens(Machine& m, int n) {
  ValueRecord* x = Arg(m, n, 0);
  if (!m.CheckMatrix(x) || !m.CheckString(x) || !m.CheckScalar(x)) return;
  std::string parse = " ";
  if (n == 2) {
    ValueRecord* p = Arg(m, n, 1);
    if (!m.CheckMatrix(p) || !m.CheckString(p) || !m.CheckScalar(p)) return;
    StringRef pr = string_of(slots(p)[0]);
    parse.assign(pr.bytes, pr.length);
  }
  StringRef sr = string_of(slots(x)[0]);
  std::string_view text(sr.bytes, sr.length);
  std::vector<std::string_view> words;
  size_t start = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    bool end = i == text.size();
    char c = end ? ' ' : text[i];
    if (!end && parse.find(c) == std::string::npos) continue;
    if (i > start) words.push_back(text.substr(start, i - start));
    if (!end && c != ' ') words.push_back(text.substr(i, 1));
    start = i + 1;
  }
  ValueRecord* r = m.values().NewValue("", kString, 1, int32_t(words.size()));
  if (!r) return m.RaiseAllocation();
  for (size_t k = 0; k < words.size(); ++k) {
    bool ok;
    slots(r)[k] = m.values().NewString(words[k], &ok);
    if (!ok) {
      m.values().Free(r);
      return m.RaiseAllocation();
    }
  }
  Return(m, n, r);
}

void BiEltype(Machine& m, int n) {
  ValueRecord* x = Arg(m, n, 0);
  if (!m.CheckMatrix(x)) return;
  BiReturnString(m, n, eltype_name(x->eltype));
}

void Is(Machine& m, int n, int eltype) {
  ValueRecord* x = Arg(m, n, 0);
  if (!m.CheckMatrix(x)) return;
  Return(m, n, m.values().NewScalar(x->eltype == eltype));
}
void BiIsReal(Machine& m, int n) { Is(m, n, kReal); }
void BiIsString(Machine& m, int n) { Is(m, n, kString); }
void BiIsPointer(Machine& m, int n) { Is(m, n, kPointer); }

void BiExit(Machine& m, int n) {
  double rc = 0;
  if (n == 1 && !RealScalarArg(m, Arg(m, n, 0), &rc)) return;
  if (rc != 0 && !is_missing(rc)) m.set_first_error(int32_t(rc));
  m.set_status(kStatusSilentStop);
}

// error(rc) and _error(rc [, message]): stop with the code.
void BiError(Machine& m, int n) {
  double rc;
  if (!RealScalarArg(m, Arg(m, n, 0), &rc)) return;
  if (is_missing(rc) || rc < 1) rc = 3498;
  std::string msg = Machine::MessageFor(int32_t(rc));
  if (n == 2) {
    ValueRecord* s = Arg(m, n, 1);
    if (!m.CheckString(s) || !m.CheckScalar(s)) return;
    StringRef r = string_of(slots(s)[0]);
    msg.assign(r.bytes, r.length);
  }
  m.builtin = nullptr;
  m.RaiseError(int32_t(rc), msg);
}

// The % directives of the system's formats, and the escapes \n, \t, \\.
bool FormatText(Machine& m, int n, std::string* out) {
  ValueRecord* f = Arg(m, n, 0);
  if (!m.CheckMatrix(f) || !m.CheckString(f) || !m.CheckScalar(f)) return false;
  StringRef fr = string_of(slots(f)[0]);
  std::string_view fmt(fr.bytes, fr.length);
  int next = 1;
  char buf[data::kRenderBufferSize];
  for (size_t i = 0; i < fmt.size(); ++i) {
    char c = fmt[i];
    if (c == '\\' && i + 1 < fmt.size()) {
      char e = fmt[++i];
      *out += e == 'n' ? '\n' : e == 't' ? '\t' : e;
      continue;
    }
    if (c != '%') {
      *out += c;
      continue;
    }
    if (i + 1 < fmt.size() && fmt[i + 1] == '%') {
      *out += '%';
      ++i;
      continue;
    }
    size_t e = i + 1;
    while (e < fmt.size() && std::strchr("-~0123456789.,", fmt[e])) ++e;
    while (e < fmt.size() && std::strchr("fgesc", fmt[e])) {
      ++e;
      if (fmt[e - 1] != 'c') break;
    }
    if (e < fmt.size() && fmt[e] == 'c') ++e;
    std::string spec(fmt.substr(i, e - i));
    i = e - 1;
    if (next >= n) {
      m.RaiseError(3001, Machine::MessageFor(3001));
      return false;
    }
    ValueRecord* a = Arg(m, n, next++);
    if (!m.CheckMatrix(a) || !m.CheckScalar(a)) return false;
    data::Format pf;
    bool is_string = !spec.empty() && spec.back() == 's';
    if (is_string) {
      if (!m.CheckString(a)) return false;
      StringRef s = string_of(slots(a)[0]);
      std::string_view text(s.bytes, s.length);
      if (spec == "%s") *out += text;
      else if (data::parse_format(spec, &pf, true) && data::is_string_format(pf)) {
        size_t need = data::render_string(pf, text, nullptr, 0);
        std::string tmp(need + 1, '\0');
        data::render_string(pf, text, tmp.data(), tmp.size());
        tmp.resize(need);
        *out += tmp;
      } else {
        m.RaiseError(3302, Machine::MessageFor(3302));
        return false;
      }
      continue;
    }
    if (!m.CheckReal(a)) return false;
    double d = reals(a)[0];
    if (data::parse_format(spec, &pf) && data::is_numeric_format(pf)) {
      data::render_number(pf, d, buf, sizeof buf);
      *out += buf;
    } else if (spec == "%f" || spec == "%g" || spec == "%e") {
      if (is_missing(d)) *out += data::format_number("%9.0g", d).substr(8);
      else {
        std::snprintf(buf, sizeof buf, spec.c_str(), d);
        *out += buf;
      }
    } else {
      m.RaiseError(3302, Machine::MessageFor(3302));
      return false;
    }
  }
  return true;
}

void Print(Machine& m, int n, Style style) {
  std::string text;
  if (!FormatText(m, n, &text)) return;
  m.host().Print(style, text);
  Return(m, n, m.values().NewValue("", kReal, 0, 0));
}
// printf() writes in the style displayas() chose last.
void BiPrintf(Machine& m, int n) { Print(m, n, m.state().style); }
void BiErrprintf(Machine& m, int n) { Print(m, n, Style::Error); }
void BiSprintf(Machine& m, int n) {
  std::string text;
  if (!FormatText(m, n, &text)) return;
  BiReturnString(m, n, text);
}

// Helpers of commands and facilities the system does not have: known to
// the compiler (so a user function cannot take the name), failing when
// called.
void BiUnallocated(Machine& m, int) { m.RaiseError(3996, Machine::MessageFor(3996)); }

constexpr BuiltinInfo kTable[] = {
#define LUMO_BUILTIN(name, code, el, org, lo, hi, handler) {#name, code, el, org, lo, hi, handler},
#include "lumo/builtin_table.def"
#undef LUMO_BUILTIN
};

}  // namespace

std::span<const BuiltinInfo> BuiltinTable() { return kTable; }

const BuiltinInfo* FindBuiltin(std::string_view name) {
  for (const BuiltinInfo& b : kTable)
    if (name == b.name) return &b;
  return nullptr;
}


namespace {
constexpr int32_t kMaxCode = int32_t(sizeof kTable / sizeof kTable[0]);
// The first row of each code, by code: the machine looks a built-in up on
// every call.
struct ByCode {
  const BuiltinInfo* row[kMaxCode + 1] = {};
  bool views[kMaxCode + 1] = {};
  ByCode() {
    for (const BuiltinInfo& b : kTable)
      if (b.code >= 1 && b.code <= kMaxCode && !row[b.code]) {
        row[b.code] = &b;
        views[b.code] = b.handler == BiNvView || b.handler == BiNvSview || b.handler == BiIsview ||
                        b.handler == BiLumoRepresentation || b.handler == BiColsum || b.handler == BiQuadcolsum ||
                        IsHostBuiltin(b.name);
      }
  }
};
const ByCode kByCode;
}  // namespace

bool BuiltinTakesViews(int32_t code) { return code >= 1 && code <= kMaxCode && kByCode.views[code]; }

const BuiltinInfo* BuiltinByCode(int32_t code) { return code >= 1 && code <= kMaxCode ? kByCode.row[code] : nullptr; }

}  // namespace nuvra::lumo
