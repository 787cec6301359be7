// String built-ins over the same kernels as the expression functions of
// those names, so that a string gives the same answer in an expression and
// in Lumo.  Regular expressions go through the data layer's POSIX matcher
// (regcomp, extended syntax, leftmost-longest): the expression functions
// use it already, and <regex>'s ECMAScript default would match a different
// substring for alternations such as "a|ab".
#include "lumo/builtins_text.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "data/expr/strfuncs.h"
#include "data/functions/regex.h"
#include "data/limits.h"
#include "data/missing.h"
#include "data/storage.h"
#include "lumo/builtin_args.h"
#include "lumo/machine_state.h"

namespace nuvra::lumo {

namespace {

using data::is_missing;
using data::kMissing;

std::string_view Text(const ValueRecord* v, int64_t k = 0) {
  StringRef s = string_of(slots(v)[k]);
  return {s.bytes, s.length};
}

// Element k of an argument that is either 1 x 1 or of the result's shape.
int64_t At(const ValueRecord* v, int64_t k) { return element_count(v) == 1 ? 0 : k; }

// The result shape of arguments each 1 x 1 or of one common shape (3200).
bool Conform(Machine& m, ValueRecord* const* args, int count, int32_t* rows, int32_t* cols) {
  *rows = 1;
  *cols = 1;
  bool shaped = false;
  for (int i = 0; i < count; ++i) {
    const ValueRecord* a = args[i];
    if (a->rows == 1 && a->cols == 1) continue;
    if (!shaped) {
      *rows = a->rows;
      *cols = a->cols;
      shaped = true;
    } else if (a->rows != *rows || a->cols != *cols) {
      return BiFail(m, 3200);
    }
  }
  return true;
}

bool StringArg(Machine& m, const ValueRecord* v) { return m.CheckMatrix(v) && m.CheckString(v); }
bool RealArg(Machine& m, const ValueRecord* v) { return m.CheckMatrix(v) && m.CheckReal(v); }
bool StringScalar(Machine& m, const ValueRecord* v, std::string* out) {
  if (!StringArg(m, v) || !m.CheckScalar(v)) return false;
  *out = std::string(Text(v));
  return true;
}

ValueRecord* NewStrings(Machine& m, int32_t rows, int32_t cols) { return m.values().NewValue("", kString, rows, cols); }

bool SetString(Machine& m, ValueRecord* r, int64_t k, std::string_view s) {
  bool ok;
  slots(r)[k] = m.values().NewString(s, &ok);
  if (!ok) {
    m.values().Free(r);
    m.RaiseAllocation();
  }
  return ok;
}

// f(elements...) -> string, over conformable string arguments.
template <class F>
void MapStrings(Machine& m, int n, int count, F f) {
  ValueRecord* args[4];
  for (int i = 0; i < count; ++i) {
    args[i] = BiArg(m, n, i);
    if (!StringArg(m, args[i])) return;
  }
  int32_t rows, cols;
  if (!Conform(m, args, count, &rows, &cols)) return;
  ValueRecord* r = NewStrings(m, rows, cols);
  if (!r) return m.RaiseAllocation();
  for (int64_t k = 0; k < element_count(r); ++k)
    if (!SetString(m, r, k, f(args, k))) return;
  BiReturn(m, n, r);
}

// f(elements...) -> real, over conformable string arguments.
template <class F>
void MapToReal(Machine& m, int n, int count, F f) {
  ValueRecord* args[4];
  for (int i = 0; i < count; ++i) {
    args[i] = BiArg(m, n, i);
    if (!StringArg(m, args[i])) return;
  }
  int32_t rows, cols;
  if (!Conform(m, args, count, &rows, &cols)) return;
  ValueRecord* r = m.values().NewValue("", kReal, rows, cols);
  if (!r) return m.RaiseAllocation();
  for (int64_t k = 0; k < element_count(r); ++k) reals(r)[k] = f(args, k);
  BiReturn(m, n, r);
}

RegexMatch& RegexState(Machine& m) {
  RegexMatch* shared = m.host().RegexState();
  return shared ? *shared : m.state().regex;
}

bool RegexFailed(Machine& m, RegexStatus st) {
  if (st == RegexStatus::kOk) return false;
  m.RaiseError(3300, st == RegexStatus::kInvalid ? "regular expression invalid" : "regular expression too complex");
  return true;
}

void Subin(Machine& m, int n, bool words) {
  double count = kMissing;
  if (n == 4) {
    ValueRecord* c = BiArg(m, n, 3);
    if (!BiRealScalar(m, c, &count)) return;
    if (!is_missing(count) && (count < 0 || count != std::floor(count))) return (void)BiFail(m, 3300);
  }
  std::string scratch;
  MapStrings(m, n, 3, [&](ValueRecord* const* a, int64_t k) {
    std::string s(Text(a[0], At(a[0], k)));
    expr::str_subin(s, std::string(Text(a[1], At(a[1], k))), std::string(Text(a[2], At(a[2], k))), count, words,
                    scratch);
    return s;
  });
}

// ---- binary buffers

// A binary format: %1b %2b %4b (signed whole numbers of the byte, int and
// long storage types, their missing codes included), %1bu %2bu %4bu
// (unsigned, no missing codes), %4z %8z (float and double), %#s (# bytes
// of text).
struct BinFormat {
  char kind = 0;  // 'b', 'u', 'z', 's'
  int width = 0;
};

bool ParseBinFormat(std::string_view f, BinFormat* out) {
  if (f.size() < 3 || f[0] != '%') return false;
  size_t i = 1;
  int w = 0;
  while (i < f.size() && f[i] >= '0' && f[i] <= '9') {
    w = w * 10 + (f[i] - '0');
    if (w > 100000) return false;
    ++i;
  }
  if (i == 1 || w == 0) return false;
  std::string_view rest = f.substr(i);
  out->width = w;
  if (rest == "s") out->kind = 's';
  else if (rest == "b" && (w == 1 || w == 2 || w == 4)) out->kind = 'b';
  else if (rest == "bu" && (w == 1 || w == 2 || w == 4)) out->kind = 'u';
  else if (rest == "z" && (w == 4 || w == 8)) out->kind = 'z';
  else return false;
  return true;
}

// Byte order codes: 1 high byte first, 2 low byte first.
constexpr int kHiLo = 1, kLoHi = 2;
int NativeOrder() { return std::endian::native == std::endian::big ? kHiLo : kLoHi; }

void PutBytes(char* dst, uint64_t bits, int width, int order) {
  for (int b = 0; b < width; ++b) {
    char byte = char((bits >> (8 * b)) & 0xff);
    dst[order == kLoHi ? b : width - 1 - b] = byte;
  }
}
uint64_t GetBytes(const char* src, int width, int order) {
  uint64_t bits = 0;
  for (int b = 0; b < width; ++b) {
    auto byte = static_cast<unsigned char>(src[order == kLoHi ? b : width - 1 - b]);
    bits |= uint64_t(byte) << (8 * b);
  }
  return bits;
}

// The storage type's missing code for . or .a - .z, or the number itself;
// false when the value does not fit the type.
bool EncodeWhole(double v, const BinFormat& f, uint64_t* bits) {
  if (f.kind == 'u') {
    if (is_missing(v) || v < 0 || v != std::floor(v) || v >= std::ldexp(1.0, 8 * f.width)) return false;
    *bits = uint64_t(v);
    return true;
  }
  int64_t lo = f.width == 1 ? data::kByteMin : f.width == 2 ? data::kIntMin : data::kLongMin;
  int64_t hi = f.width == 1 ? data::kByteMax : f.width == 2 ? data::kIntMax : data::kLongMax;
  int64_t dot = f.width == 1 ? data::kByteDot : f.width == 2 ? data::kIntDot : data::kLongDot;
  int64_t x;
  if (is_missing(v)) x = dot + data::missing_code(v);
  else if (v != std::floor(v) || v < double(lo) || v > double(hi)) return false;
  else x = int64_t(v);
  *bits = uint64_t(x);
  return true;
}

double DecodeWhole(uint64_t bits, const BinFormat& f) {
  if (f.kind == 'u') return double(bits);
  int shift = 64 - 8 * f.width;
  int64_t x = int64_t(bits << shift) >> shift;
  int64_t hi = f.width == 1 ? data::kByteMax : f.width == 2 ? data::kIntMax : data::kLongMax;
  int64_t dot = f.width == 1 ? data::kByteDot : f.width == 2 ? data::kIntDot : data::kLongDot;
  if (x > hi) return x - dot <= 26 ? data::missing_value(int(x - dot)) : kMissing;
  return double(x);
}

// The optional leading byte-order control; *first the index of the buffer.
bool ByteOrderArg(Machine& m, int n, int* order, int* first) {
  ValueRecord* c = BiArg(m, n, 0);
  *order = NativeOrder();
  *first = 0;
  if (c->kind != kKindValue || c->eltype != kReal) return true;
  double d;
  if (!BiRealScalar(m, c, &d)) return false;
  if (d != kHiLo && d != kLoHi) return BiFail(m, 3300);
  *order = int(d);
  *first = 1;
  return true;
}

bool OffsetArg(Machine& m, const ValueRecord* v, int64_t* out) {
  double d;
  if (!BiRealScalar(m, v, &d)) return false;
  if (is_missing(d) || d < 0 || d != std::floor(d)) return BiFail(m, 3300);
  *out = int64_t(d);
  return true;
}

bool BinFormatArg(Machine& m, const ValueRecord* v, BinFormat* f) {
  std::string s;
  if (!StringScalar(m, v, &s)) return false;
  if (!ParseBinFormat(s, f)) return BiFail(m, 3300);
  return true;
}

// ---- paths

std::string_view Basename(std::string_view p) {
  size_t slash = p.find_last_of('/');
  return slash == std::string_view::npos ? p : p.substr(slash + 1);
}
// The suffix of the file name (".dta"), or "".
std::string_view Suffix(std::string_view p) {
  std::string_view base = Basename(p);
  size_t dot = base.find_last_of('.');
  return dot == std::string_view::npos ? std::string_view() : base.substr(dot);
}

}  // namespace

// ascii(s): the byte codes of s.
void BiAscii(Machine& m, int n) {
  std::string s;
  if (!StringScalar(m, BiArg(m, n, 0), &s)) return;
  ValueRecord* r = m.values().NewValue("", kReal, 1, int32_t(s.size()));
  if (!r) return m.RaiseAllocation();
  for (size_t k = 0; k < s.size(); ++k) reals(r)[k] = static_cast<unsigned char>(s[k]);
  BiReturn(m, n, r);
}

// char(codes): the string of those bytes; each code a whole number from 0
// to 255.
void BiChar(Machine& m, int n) {
  ValueRecord* c = BiArg(m, n, 0);
  if (!RealArg(m, c)) return;
  if (element_count(c) > 1 && !m.CheckVector(c)) return;
  std::string s;
  for (int64_t k = 0; k < element_count(c); ++k) {
    double d = reals(c)[k];
    if (!(d >= 0 && d <= 255 && d == std::floor(d))) return (void)BiFail(m, 3300);
    s += char(int(d));
  }
  BiReturnString(m, n, s);
}

void BiIndexnot(Machine& m, int n) {
  MapToReal(m, n, 2, [](ValueRecord* const* a, int64_t k) {
    return double(expr::str_indexnot(Text(a[0], At(a[0], k)), Text(a[1], At(a[1], k))));
  });
}

void BiStrproper(Machine& m, int n) {
  MapStrings(m, n, 1, [](ValueRecord* const* a, int64_t k) {
    std::string s(Text(a[0], k));
    expr::str_proper(s);
    return s;
  });
}

// strmatch(s, pattern): 1 when the whole of s matches; * any run, ? one byte.
void BiStrmatch(Machine& m, int n) {
  MapToReal(m, n, 2, [](ValueRecord* const* a, int64_t k) {
    return double(expr::str_match(Text(a[0], At(a[0], k)), Text(a[1], At(a[1], k))));
  });
}

// regexm(s, re): 1 when re matches somewhere in s.  The subexpressions of
// the last element searched are kept for regexs().
void BiRegexm(Machine& m, int n) {
  ValueRecord* args[2] = {BiArg(m, n, 0), BiArg(m, n, 1)};
  if (!StringArg(m, args[0]) || !StringArg(m, args[1])) return;
  int32_t rows, cols;
  if (!Conform(m, args, 2, &rows, &cols)) return;
  ValueRecord* r = m.values().NewValue("", kReal, rows, cols);
  if (!r) return m.RaiseAllocation();
  RegexMatch& st = RegexState(m);
  for (int64_t k = 0; k < element_count(r); ++k) {
    bool found = false;
    if (RegexFailed(m, regex_search(st, Text(args[0], At(args[0], k)), Text(args[1], At(args[1], k)), &found))) {
      m.values().Free(r);
      return;
    }
    reals(r)[k] = found;
  }
  BiReturn(m, n, r);
}

// regexr(s, re, t): the first match of re in s replaced by t (\1 .. \9
// the subexpressions); s unchanged where re does not match.
void BiRegexr(Machine& m, int n) {
  ValueRecord* args[3] = {BiArg(m, n, 0), BiArg(m, n, 1), BiArg(m, n, 2)};
  for (ValueRecord* a : args)
    if (!StringArg(m, a)) return;
  int32_t rows, cols;
  if (!Conform(m, args, 3, &rows, &cols)) return;
  ValueRecord* r = NewStrings(m, rows, cols);
  if (!r) return m.RaiseAllocation();
  RegexMatch& st = RegexState(m);
  std::string out;
  for (int64_t k = 0; k < element_count(r); ++k) {
    RegexStatus rs = regex_replace(st, Text(args[0], At(args[0], k)), Text(args[1], At(args[1], k)),
                                   Text(args[2], At(args[2], k)), false, &out);
    if (RegexFailed(m, rs)) {
      m.values().Free(r);
      return;
    }
    if (!SetString(m, r, k, out)) return;
  }
  BiReturn(m, n, r);
}

// regexs([k]): subexpression k (0, the whole match, when omitted) of the
// last regexm() or regexr(); "" when there is none.
void BiRegexs(Machine& m, int n) {
  double k = 0;
  if (n == 1 && !BiRealScalar(m, BiArg(m, n, 0), &k)) return;
  if (is_missing(k) || k < 0 || k != std::floor(k)) return (void)BiFail(m, 3300);
  const RegexMatch& st = RegexState(m);
  std::string s;
  if (k <= double(st.groups) && k < double(st.subs.size())) s = st.subs[size_t(k)];
  BiReturnString(m, n, s);
}

// subinstr(s, old, new [, count]), subinword(...): the first count
// occurrences (all when omitted or missing) of old replaced by new.
void BiSubinstr(Machine& m, int n) { Subin(m, n, false); }
void BiSubinword(Machine& m, int n) { Subin(m, n, true); }

// _strtoreal(s, r): r receives the numbers the elements of s hold (missing
// where one holds none); the result is 0 when every element held a number
// (a blank or "." counts as the missing value it names), else the
// position of the first that did not.
void BiStrtorealInto(Machine& m, int n) {
  ValueRecord *s = BiArg(m, n, 0), *out = BiArg(m, n, 1);
  if (!StringArg(m, s) || !m.CheckMatrix(out)) return;
  if (s == out) return (void)BiFail(m, 3002);
  std::vector<double> v(size_t(element_count(s)));
  double first_bad = 0;
  for (int64_t k = 0; k < element_count(s); ++k) {
    std::string_view t = Text(s, k);
    v[size_t(k)] = expr::str_real(t);
    bool empty = t.find_first_not_of(' ') == std::string_view::npos;
    if (is_missing(v[size_t(k)]) && !empty) {
      size_t b = t.find_first_not_of(' '), e = t.find_last_not_of(' ');
      std::string_view core = t.substr(b, e - b + 1);
      bool names_missing = core == "." || (core.size() == 2 && core[0] == '.' && core[1] >= 'a' && core[1] <= 'z');
      if (!names_missing && first_bad == 0) first_bad = double(k + 1);
    }
  }
  if (rc_t rc = m.values().Reshape(out, kReal, s->rows, s->cols)) return (void)BiFail(m, rc);
  for (size_t k = 0; k < v.size(); ++k) reals(out)[k] = v[k];
  BiReturn(m, n, m.values().NewScalar(first_bad));
}

// _substr(s, t [, pos]): t written over s from byte pos (1 when omitted)
// on; s keeps its length, and the part of t that would run past its end
// is dropped.
void BiSubstrInto(Machine& m, int n) {
  ValueRecord* s = BiArg(m, n, 0);
  std::string t, text;
  if (!StringScalar(m, s, &text) || !StringScalar(m, BiArg(m, n, 1), &t)) return;
  double pos = 1;
  if (n == 3 && !BiRealScalar(m, BiArg(m, n, 2), &pos)) return;
  if (is_missing(pos) || pos < 1 || pos != std::floor(pos)) return (void)BiFail(m, 3300);
  if (pos <= double(text.size())) {
    size_t at = size_t(pos) - 1;
    text.replace(at, std::min(t.size(), text.size() - at), t.substr(0, text.size() - at));
  }
  bool ok;
  void* block = m.values().NewString(text, &ok);
  if (!ok) return m.RaiseAllocation();
  ValueRecord* tmp = NewStrings(m, 1, 1);
  if (!tmp) return m.RaiseAllocation();
  slots(tmp)[0] = block;
  ++tmp->refcount;
  rc_t rc = m.values().Copy(s, tmp, true);
  m.values().Release(tmp);
  if (rc) return (void)BiFail(m, rc);
  BiReturnVoid(m, n);
}

// fmtwidth(f): the width a format writes; missing for what is no format.
void BiFmtwidth(Machine& m, int n) {
  MapToReal(m, n, 1, [](ValueRecord* const* a, int64_t k) { return expr::str_fmtwidth(Text(a[0], k)); });
}

// byteorder(): 1 on machines that store the high byte first, 2 on those
// that store the low byte first.
void BiByteorder(Machine& m, int n) { BiReturn(m, n, m.values().NewScalar(NativeOrder())); }

// bufput([C,] B, offset, bfmt, X): the elements of X written in binary
// into the string B from byte offset (counted from 0) on, in byte order C
// (this machine's when omitted).  Everything is checked before B changes:
// the whole of what is written must lie inside B.
void BiBufput(Machine& m, int n) {
  int order, first;
  if (!ByteOrderArg(m, n, &order, &first)) return;
  if (n - first != 4) return (void)BiFail(m, 3001);
  ValueRecord* b = BiArg(m, n, first);
  std::string buf;
  int64_t offset;
  BinFormat f;
  if (!StringScalar(m, b, &buf) || !OffsetArg(m, BiArg(m, n, first + 1), &offset) ||
      !BinFormatArg(m, BiArg(m, n, first + 2), &f))
    return;
  ValueRecord* x = BiArg(m, n, first + 3);
  if (!m.CheckMatrix(x)) return;
  if (f.kind == 's' ? !m.CheckString(x) : !m.CheckReal(x)) return;
  int64_t count = element_count(x);
  if (offset + count * f.width > int64_t(buf.size())) return (void)BiFail(m, 3300);
  std::vector<uint64_t> bits(size_t(f.kind == 's' ? 0 : count));
  for (int64_t k = 0; k < count && f.kind != 's'; ++k) {
    double v = reals(x)[k];
    if (f.kind == 'z' && f.width == 8) bits[size_t(k)] = std::bit_cast<uint64_t>(v);
    else if (f.kind == 'z') {
      bool became_missing;
      float fv = data::double_to_float(v, &became_missing);
      if (became_missing) return (void)BiFail(m, 3300);
      bits[size_t(k)] = std::bit_cast<uint32_t>(fv);
    } else if (!EncodeWhole(v, f, &bits[size_t(k)])) {
      return (void)BiFail(m, 3300);
    }
  }
  for (int64_t k = 0; k < count; ++k) {
    char* dst = buf.data() + offset + k * f.width;
    if (f.kind == 's') {
      std::string_view s = Text(x, k);
      std::memset(dst, 0, size_t(f.width));
      std::memcpy(dst, s.data(), std::min(s.size(), size_t(f.width)));
    } else {
      PutBytes(dst, bits[size_t(k)], f.width, order);
    }
  }
  ValueRecord* tmp = NewStrings(m, 1, 1);
  if (!tmp) return m.RaiseAllocation();
  if (!SetString(m, tmp, 0, buf)) return;
  ++tmp->refcount;
  rc_t rc = m.values().Copy(b, tmp, true);
  m.values().Release(tmp);
  if (rc) return (void)BiFail(m, rc);
  BiReturnVoid(m, n);
}

// bufget([C,] B, offset, bfmt [, [r,] c]): the value (or r x c values, or
// a row of c) stored in binary in B from byte offset on.
void BiBufget(Machine& m, int n) {
  int order, first;
  if (!ByteOrderArg(m, n, &order, &first)) return;
  int rest = n - first;
  if (rest < 3) return (void)BiFail(m, 3001);
  std::string buf;
  int64_t offset;
  BinFormat f;
  if (!StringScalar(m, BiArg(m, n, first), &buf) || !OffsetArg(m, BiArg(m, n, first + 1), &offset) ||
      !BinFormatArg(m, BiArg(m, n, first + 2), &f))
    return;
  int64_t dims[2] = {1, 1};
  for (int k = 0; k < rest - 3; ++k) {
    int64_t d;
    if (!OffsetArg(m, BiArg(m, n, first + 3 + k), &d)) return;
    if (d > INT32_MAX) return (void)BiFail(m, 3300);
    dims[rest - 3 == 1 ? 1 : k] = d;
  }
  int64_t count = dims[0] * dims[1];
  if (offset + count * f.width > int64_t(buf.size())) return (void)BiFail(m, 3300);
  ValueRecord* r = m.values().NewValue("", f.kind == 's' ? kString : kReal, int32_t(dims[0]), int32_t(dims[1]));
  if (!r) return m.RaiseAllocation();
  for (int64_t k = 0; k < count; ++k) {
    const char* src = buf.data() + offset + k * f.width;
    if (f.kind == 's') {
      std::string_view s(src, size_t(f.width));
      size_t nul = s.find('\0');
      if (!SetString(m, r, k, s.substr(0, nul))) return;
      continue;
    }
    uint64_t bits = GetBytes(src, f.width, order);
    double v;
    if (f.kind == 'z' && f.width == 8) v = std::bit_cast<double>(bits);
    else if (f.kind == 'z') v = data::float_to_double(std::bit_cast<float>(uint32_t(bits)));
    else {
      v = DecodeWhole(bits, f);
    }
    reals(r)[k] = v;
  }
  BiReturn(m, n, r);
}

void BiBufbfmtlen(Machine& m, int n) {
  BinFormat f;
  if (!BinFormatArg(m, BiArg(m, n, 0), &f)) return;
  BiReturn(m, n, m.values().NewScalar(f.width));
}
void BiBufbfmtisnum(Machine& m, int n) {
  BinFormat f;
  if (!BinFormatArg(m, BiArg(m, n, 0), &f)) return;
  BiReturn(m, n, m.values().NewScalar(f.kind != 's'));
}

// bufsub(B, offset, len): the len bytes of B from byte offset (counted
// from 0) on; they must lie inside B.
void BiBufsub(Machine& m, int n) {
  std::string buf;
  int64_t offset, len;
  if (!StringScalar(m, BiArg(m, n, 0), &buf) || !OffsetArg(m, BiArg(m, n, 1), &offset) ||
      !OffsetArg(m, BiArg(m, n, 2), &len))
    return;
  if (offset > int64_t(buf.size()) || len > int64_t(buf.size()) - offset) return (void)BiFail(m, 3300);
  BiReturnString(m, n, std::string_view(buf).substr(size_t(offset), size_t(len)));
}

// hash1(x [, n [, byteorder]]): the one-at-a-time hash of the bytes of x,
// a string scalar or a real scalar (its 8 bytes in byteorder, this
// machine's when omitted or missing): from 0 to 2^32 - 1, or from 1 to n
// when n is given and not missing.
void BiHash1(Machine& m, int n) {
  const ValueRecord* x = BiArg(m, n, 0);
  if (!m.CheckMatrix(x) || !m.CheckScalar(x)) return;
  if (x->eltype != kReal && x->eltype != kString) return m.FoundWhere(x, "real or string", 3255);
  double range = kMissing, order = kMissing;
  if (n >= 2 && !BiRealScalar(m, BiArg(m, n, 1), &range)) return;
  if (n >= 3 && !BiRealScalar(m, BiArg(m, n, 2), &order)) return;
  if (!is_missing(range) && (range < 1 || range > 4294967296.0 || range != std::floor(range)))
    return (void)BiFail(m, 3300);
  if (!is_missing(order) && order != kHiLo && order != kLoHi) return (void)BiFail(m, 3300);
  std::string bytes;
  if (x->eltype == kString) {
    bytes = Text(x);
  } else {
    bytes.resize(8);
    PutBytes(bytes.data(), std::bit_cast<uint64_t>(reals(x)[0]), 8, is_missing(order) ? NativeOrder() : int(order));
  }
  uint32_t h = 0;
  for (unsigned char c : bytes) {
    h += c;
    h += h << 10;
    h ^= h >> 6;
  }
  h += h << 3;
  h ^= h >> 11;
  h += h << 15;
  double v = is_missing(range) ? double(h) : double(uint64_t(h) % uint64_t(range)) + 1;
  BiReturn(m, n, m.values().NewScalar(v));
}

// ---- paths

void BiPathisurl(Machine& m, int n) {
  std::string p;
  if (!StringScalar(m, BiArg(m, n, 0), &p)) return;
  size_t colon = p.find("://");
  bool url = colon != std::string::npos && colon > 0 && p.find('/') > colon;
  BiReturn(m, n, m.values().NewScalar(url));
}
void BiPathisabs(Machine& m, int n) {
  std::string p;
  if (!StringScalar(m, BiArg(m, n, 0), &p)) return;
  BiReturn(m, n, m.values().NewScalar(!p.empty() && (p[0] == '/' || p[0] == '~')));
}
void BiPathsuffix(Machine& m, int n) {
  std::string p;
  if (!StringScalar(m, BiArg(m, n, 0), &p)) return;
  BiReturnString(m, n, Suffix(p));
}
void BiPathrmsuffix(Machine& m, int n) {
  std::string p;
  if (!StringScalar(m, BiArg(m, n, 0), &p)) return;
  BiReturnString(m, n, std::string_view(p).substr(0, p.size() - Suffix(p).size()));
}
void BiPathbasename(Machine& m, int n) {
  std::string p;
  if (!StringScalar(m, BiArg(m, n, 0), &p)) return;
  BiReturnString(m, n, Basename(p));
}
// pathasciisuffix(p): 1 when p's suffix is that of a plain-text data or
// output file; pathnuvrasuffix(p): 1 when it is that of one of the
// system's own kinds of file.
namespace {
void HasSuffix(Machine& m, int n, std::initializer_list<std::string_view> suffixes) {
  std::string p;
  if (!StringScalar(m, BiArg(m, n, 0), &p)) return;
  std::string_view suffix = Suffix(p);
  bool found = false;
  for (std::string_view s : suffixes) found |= s == suffix;
  BiReturn(m, n, m.values().NewScalar(found));
}
}  // namespace
void BiPathasciisuffix(Machine& m, int n) {
  HasSuffix(m, n, {".raw", ".txt", ".csv", ".dat", ".out", ".log", ".dct", ".xml", ".html"});
}
void BiPathnuvrasuffix(Machine& m, int n) {
  HasSuffix(m, n, {".dta", ".gph", ".nmcl", ".do", ".ado", ".hlp", ".class", ".dlg", ".mo", ".mlib", ".style"});
}
// pathjoin(a, b): b under directory a, or b itself when it is absolute.
void BiPathjoin(Machine& m, int n) {
  std::string a, b;
  if (!StringScalar(m, BiArg(m, n, 0), &a) || !StringScalar(m, BiArg(m, n, 1), &b)) return;
  if (a.empty() || (!b.empty() && (b[0] == '/' || b[0] == '~'))) return BiReturnString(m, n, b);
  if (a.back() != '/') a += '/';
  BiReturnString(m, n, a + b);
}
// adosubdir(file): the subdirectory of the system's library folders that
// holds the file: its first letter, lower case, or "_" for a name that
// begins with anything else.
void BiAdosubdir(Machine& m, int n) {
  std::string p;
  if (!StringScalar(m, BiArg(m, n, 0), &p)) return;
  std::string_view base = Basename(p);
  char c = base.empty() ? '_' : base[0];
  if (c >= 'A' && c <= 'Z') c = char(c + 32);
  if (!(c >= 'a' && c <= 'z')) c = '_';
  BiReturnString(m, n, std::string(1, c));
}

}  // namespace nuvra::lumo
