// Rendering numbers and strings under a parsed display format.
//
// Everything here works in fixed-size stack buffers and writes into the
// caller's buffer; nothing allocates (the C library's %f/%e conversions of
// the sizes used here run in its own stack space).
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "data/format.h"
#include "data/format_sink.h"
#include "data/missing.h"

namespace nuvra::data {

namespace {

constexpr size_t kBody = kRenderBufferSize;

using Sink = FormatSink;

// Thousands separators needed for an integer part of `digits` digits.
int group_count(int digits) { return digits > 3 ? (digits - 1) / 3 : 0; }

int leading_digits(const char* s, int len) {
  int i = 0;
  while (i < len && s[i] >= '0' && s[i] <= '9') ++i;
  return i;
}

// Writes sign and body padded to the format's width.  The body is a plain
// C-locale rendering of a magnitude ("1234.5", "1.235e+09"); here the
// decimal sign becomes a comma under `,`, and under `c` the leading digits
// are grouped by three with the other mark (a comma, or a period when the
// comma is the decimal sign).
size_t emit_number(const Format& f, bool neg, const char* body, int len, Sink* sink) {
  const int ip = leading_digits(body, len);
  const int groups = f.thousands ? group_count(ip) : 0;
  const size_t total = static_cast<size_t>(neg) + static_cast<size_t>(len + groups);
  const size_t pad = total < f.width ? f.width - total : 0;
  const char point = f.comma ? ',' : '.';
  const char sep = f.comma ? '.' : ',';
  if (f.align != FormatAlign::kLeft) sink->fill(' ', pad);
  if (neg) sink->put('-');
  for (int i = 0; i < len; ++i) {
    const char c = body[i];
    if (i < ip) {
      sink->put(c);
      const int left = ip - 1 - i;  // integer digits still to come
      if (groups > 0 && left > 0 && left % 3 == 0) sink->put(sep);
    } else {
      sink->put(c == '.' ? point : c);
    }
  }
  if (f.align == FormatAlign::kLeft) sink->fill(' ', pad);
  return total;
}

// Text written as is, padded to the width (missing values, hex dumps).
void emit_raw(const Format& f, const char* text, size_t len, Sink* sink) {
  const size_t pad = len < f.width ? f.width - len : 0;
  if (f.align != FormatAlign::kLeft) sink->fill(' ', pad);
  for (size_t i = 0; i < len; ++i) sink->put(text[i]);
  if (f.align == FormatAlign::kLeft) sink->fill(' ', pad);
}

// Significant digit positions in a %f rendering: digits from the first
// nonzero one to the end, trailing zeros included; 0 when it rounded to 0.
int significance(const char* s, int len) {
  int i = 0;
  while (i < len && (s[i] == '0' || s[i] == '.')) ++i;
  int count = 0;
  for (; i < len; ++i)
    if (s[i] != '.') ++count;
  return count;
}

// Decimal exponent X of a positive finite a: 10^X <= a < 10^(X+1).
int decimal_exponent(double a) {
  int x = static_cast<int>(std::floor(std::log10(a)));
  if (a < std::pow(10.0, x)) --x;
  else if (x < 308 && a >= std::pow(10.0, x + 1)) ++x;
  return x;
}

// Removes the zeros ending a fraction, then a bare point, then the zero
// before the point of a fraction below one ("0.2500" -> ".25").
int tidy_fixed(char* s, int len) {
  if (std::memchr(s, '.', static_cast<size_t>(len)) != nullptr) {
    while (len > 0 && s[len - 1] == '0') --len;
    if (len > 0 && s[len - 1] == '.') --len;
  }
  if (len > 1 && s[0] == '0' && s[1] == '.') {
    std::memmove(s, s + 1, static_cast<size_t>(len - 1));
    --len;
  }
  s[len] = '\0';
  return len;
}

// The general (%w.dg) rule.  w is the width; "-" costs one column for a
// negative value and, under `c`, every thousands separator one column.  The
// significant-digit cap S is 16 when d is 0 or, when d > 0, min(d, 17): d
// of a %w.dg format is the most significant digits shown, as the precision
// of C's %g, and 17 digits are what a double needs to be read back exactly.
//
//  1. Zero (of either sign) is "0".
//  2. A value with no fractional part whose digits (with sign and
//     separators) fit in w is written exactly, every digit, whatever d:
//     123456789 in %9.0g is "123456789", -12345678 is "-12345678".
//  3. Fixed candidate: the value rounded (C rounding of the binary value)
//     to the most decimals D >= 1 such that the digits before the point,
//     the point and D decimals fit in w - 1 columns -- one column stays
//     for the sign even when the value is positive, and a fraction below
//     one is measured without its leading zero -- and such that at most S
//     significant digit positions (digits from the first nonzero one to
//     the last decimal, trailing zeros counted) result.  Trailing zeros of
//     the fraction are then removed and the leading zero dropped: 1/3 in
//     %9.0g is ".3333333" (7 decimals, 8 columns) shown as " .3333333",
//     -1/3 is "-.3333333", 1/4 is ".25", 123.456789 is "123.4568".  When
//     no D >= 1 fits, D = 0 (the value rounded to an integer) is tried
//     against w columns less the sign, again with at most S positions.  A
//     candidate that rounds to zero does not count.
//  4. Exponential candidate: one digit, a point and m decimals, then "e",
//     the exponent's sign and two digits (three from 1e100 and below
//     1e-99): the largest m <= S - 1 whose text with the sign fits in w,
//     trailing zeros kept (m = 0 drops the point).  No column is reserved
//     for the sign: 1234567890 is "1.235e+09", 1e-10 is "1.000e-10",
//     -1e-10 is "-1.00e-10".
//  5. The fixed candidate is used when it exists and shows at least as many
//     significant digit positions as the exponential one has digits, or
//     when no exponential candidate fits; else the exponential one.  So a
//     tiny value whose fixed form would round to nothing goes exponential
//     (1e-10 above), .0001 stays ".0001" in %9.0g (4 positions against 4)
//     while .00001 becomes "1.000e-05" (3 against 4), and a value with too
//     many integer digits for w goes exponential.
//  6. When neither fits (very narrow widths), the shorter of the value
//     rounded to an integer (when that is not 0) and the exponential form
//     with m = 0 is written, overflowing the width rather than cutting it.
//
// Anchors, %9.0g: 1 "        1", 1/3 " .3333333", 2/3 " .6666667",
// -1/3 "-.3333333", 123456789 "123456789", 100000000 "100000000",
// 1234567890 "1.235e+09", 1e-10 "1.000e-10", 0 "        0".  %18.0g:
// 0.1 ".1", 1/3 ".3333333333333333" (16 digits: the cap S).  %24.17g:
// 0.1 ".10000000000000001", 1/3 ".33333333333333331".
int general_body(const Format& f, double a, bool neg, char* body) {
  const int w = f.width;
  const int d = f.decimals;
  if (a == 0) {
    body[0] = '0';
    body[1] = '\0';
    return 1;
  }
  const int x = decimal_exponent(a);
  const int sign = neg ? 1 : 0;
  const int sig_cap = d > 0 ? std::min(d, 17) : 16;
  const auto sep = [&](int digits) { return f.thousands ? group_count(digits) : 0; };

  // 2. Integers that fit (the numbered list above the function).
  if (x + 1 <= w && a == std::trunc(a)) {
    const int n = std::snprintf(body, kBody, "%.0f", a);
    if (n + sep(n) + sign <= w) return n;
  }

  // 3. The fixed candidate.
  char fixed[kBody];
  int fixed_len = 0;
  int fixed_sig = 0;
  if (x + 1 <= w) {
    const int ip = x >= 0 ? x + 1 : 0;
    int dec = w - 2 - ip - sep(ip);
    dec = std::min(dec, sig_cap - 1 - x);
    for (; dec >= 1; --dec) {
      const int n = std::snprintf(fixed, kBody, "%.*f", dec, a);
      const int sig = significance(fixed, n);
      if (sig == 0) break;  // rounds to zero: fewer decimals cannot help
      int before = leading_digits(fixed, n);
      if (before == 1 && fixed[0] == '0') before = 0;
      if (before + sep(before) + 1 + dec <= w - 1 && sig <= sig_cap) {
        fixed_len = n;
        fixed_sig = sig;
        break;
      }
    }
    if (fixed_len == 0 && dec < 1) {
      const int n = std::snprintf(fixed, kBody, "%.0f", a);
      const int sig = significance(fixed, n);
      if (sig > 0 && sig <= sig_cap && n + sep(n) + sign <= w) {
        fixed_len = n;
        fixed_sig = sig;
      }
    }
  }

  // 4. The exponential candidate.
  char expo[64];
  int expo_len = 0;
  int expo_sig = 0;
  {
    const int expd = (x >= 100 || x <= -100) ? 3 : 2;
    int m = w - sign - 4 - expd;
    m = std::min(m, sig_cap - 1);
    if (m < 0) m = 0;
    // A fixed candidate at least as precise as the widest exponential one
    // wins the choice between the two whatever that one turns out to be.
    if (fixed_len > 0 && fixed_sig >= m + 1) m = -1;
    for (; m >= 0; --m) {
      const int n = std::snprintf(expo, sizeof expo, "%.*e", m, a);
      if (n + sign <= w) {
        expo_len = n;
        expo_sig = m + 1;
        break;
      }
    }
  }

  // 5. The fixed candidate when it is at least as precise, else the
  // exponential one.
  if (fixed_len > 0 && (expo_len == 0 || fixed_sig >= expo_sig)) {
    std::memcpy(body, fixed, static_cast<size_t>(fixed_len) + 1);
    return tidy_fixed(body, fixed_len);
  }
  if (expo_len > 0) {
    std::memcpy(body, expo, static_cast<size_t>(expo_len) + 1);
    return expo_len;
  }

  // 6. Nothing fits: the shorter of the integer and the bare exponential.
  const int e0 = std::snprintf(expo, sizeof expo, "%.0e", a);
  if (x < 20) {
    const int n = std::snprintf(fixed, kBody, "%.0f", a);
    if (significance(fixed, n) > 0 && n + sep(n) <= e0) {
      std::memcpy(body, fixed, static_cast<size_t>(n) + 1);
      return n;
    }
  }
  std::memcpy(body, expo, static_cast<size_t>(e0) + 1);
  return e0;
}

const char kHexDigits[] = "0123456789abcdef";

// %21x: sign, the leading bit, 13 hexadecimal digits of the fraction, "X",
// the sign of the exponent and three hexadecimal digits of the unbiased
// exponent.  Zero and subnormals have leading digit 0 and exponent -3ff.
void hex_double(double v, char* s) {
  const uint64_t bits = std::bit_cast<uint64_t>(v);
  const int field = static_cast<int>((bits >> 52) & 0x7FF);
  const uint64_t frac = bits & 0xFFFFFFFFFFFFFULL;
  s[0] = (bits >> 63) ? '-' : '+';
  s[1] = field == 0 ? '0' : '1';
  s[2] = '.';
  for (int i = 0; i < 13; ++i) s[3 + i] = kHexDigits[(frac >> (48 - 4 * i)) & 0xF];
  s[16] = 'X';
  int e = field == 0 ? -1023 : field - 1023;
  s[17] = e < 0 ? '-' : '+';
  if (e < 0) e = -e;
  s[18] = kHexDigits[(e >> 8) & 0xF];
  s[19] = kHexDigits[(e >> 4) & 0xF];
  s[20] = kHexDigits[e & 0xF];
}

// The 32 bits a float variable would hold for v: rounded to single
// precision below 2^127, 0 below 2^-127, missing values mapped onto the
// float missing values (the exponent field 0x7FE rewritten to 0x47E before
// narrowing carries .a .. .z onto their 0x800 steps), and anything else
// (overflow, infinity, NaN) the float `.`.
uint32_t float_bits(double v) {
  const uint64_t bits = std::bit_cast<uint64_t>(v);
  const int e = static_cast<int>((bits >> 52) & 0x7FF) - 1023;
  if (e < -127) return 0;
  if (e < 127) return std::bit_cast<uint32_t>(static_cast<float>(v));
  if (e == 1023) {
    const uint64_t moved = (bits & ~(0x7FFULL << 52)) | (0x47EULL << 52);
    return std::bit_cast<uint32_t>(static_cast<float>(std::bit_cast<double>(moved)));
  }
  return 0x7F000000u;
}

void hex_bytes(uint64_t bits, int nbytes, bool big, char* s) {
  for (int i = 0; i < nbytes; ++i) {
    const int byte_index = big ? nbytes - 1 - i : i;  // counted from the low byte
    const unsigned byte = static_cast<unsigned>((bits >> (8 * byte_index)) & 0xFF);
    s[2 * i] = kHexDigits[byte >> 4];
    s[2 * i + 1] = kHexDigits[byte & 0xF];
  }
}

}  // namespace

size_t render_number(const Format& fmt, double v, char* out, size_t cap) {
  Sink sink{out, cap};
  char text[kBody];

  switch (fmt.kind) {
    case FormatKind::kHexDouble:
      hex_double(v, text);
      emit_raw(fmt, text, 21, &sink);
      return sink.finish();
    case FormatKind::kHexBits64:
      hex_bytes(std::bit_cast<uint64_t>(v), 8, fmt.big_endian, text);
      emit_raw(fmt, text, 16, &sink);
      return sink.finish();
    case FormatKind::kHexBits32:
      hex_bytes(float_bits(v), 4, fmt.big_endian, text);
      emit_raw(fmt, text, 8, &sink);
      return sink.finish();
    case FormatKind::kDate:
      return render_date(fmt, v, out, cap);
    default:
      break;
  }

  Format f = fmt;
  if (f.kind == FormatKind::kString) {
    f = Format{};  // %9.0g
  }

  // Missing values, and the infinities and NaNs arithmetic might leave,
  // show as missing.
  if (is_missing(v) || !std::isfinite(v)) {
    const int k = missing_code(v);  // -1 for -infinity: written "."
    text[0] = '.';
    size_t n = 1;
    if (k > 0) text[n++] = static_cast<char>('a' + k - 1);
    emit_raw(f, text, n, &sink);
    return sink.finish();
  }

  const bool neg = v < 0;
  const double a = std::fabs(v);
  int len = 0;
  switch (f.kind) {
    case FormatKind::kFixed:
      len = std::snprintf(text, kBody, "%.*f", static_cast<int>(f.decimals), a);
      break;
    case FormatKind::kExponential:
      len = std::snprintf(text, kBody, "%.*e", static_cast<int>(f.decimals), a);
      break;
    default:
      len = general_body(f, a, neg, text);
      break;
  }
  emit_number(f, neg, text, len, &sink);
  return sink.finish();
}

std::string render_string(const Format& f, std::string_view s) {
  std::string text(render_string(f, s, nullptr, 0) + 1, '\0');
  text.resize(render_string(f, s, text.data(), text.size()));
  return text;
}

size_t render_string(const Format& f, std::string_view s, char* out, size_t cap) {
  Sink sink{out, cap};
  const size_t pad = s.size() < f.width ? f.width - s.size() : 0;
  size_t before = 0;
  if (f.align == FormatAlign::kRight) before = pad;
  else if (f.align == FormatAlign::kCentre) before = pad / 2;
  sink.fill(' ', before);
  for (char c : s) sink.put(c);
  sink.fill(' ', pad - before);
  return sink.finish();
}

namespace {

std::string format_text(std::string_view fmt, double value, bool shown) {
  Format f;
  if (!parse_format(fmt, &f) || !is_numeric_format(f)) return {};
  char buf[kRenderBufferSize];
  const size_t n = shown ? render_shown(f, value, buf, sizeof buf) : render_number(f, value, buf, sizeof buf);
  return std::string(buf, std::min(n, sizeof buf - 1));
}

}  // namespace

std::string format_number(std::string_view fmt, double value) { return format_text(fmt, value, false); }

namespace {
bool g_decimal_comma = false;
}  // namespace

void set_decimal_comma(bool on) { g_decimal_comma = on; }
bool decimal_comma() { return g_decimal_comma; }

Format shown_format(const Format& f) {
  Format shown = f;
  if (g_decimal_comma &&
      (f.kind == FormatKind::kGeneral || f.kind == FormatKind::kFixed || f.kind == FormatKind::kExponential))
    shown.comma = true;
  return shown;
}

size_t render_shown(const Format& f, double value, char* out, size_t cap) {
  return render_number(g_decimal_comma ? shown_format(f) : f, value, out, cap);
}

std::string format_shown(std::string_view fmt, double value) { return format_text(fmt, value, true); }

std::string format_string(std::string_view fmt, std::string_view text) {
  Format f;
  if (!parse_format(fmt, &f, true) || !is_string_format(f)) return {};
  std::string s(std::max(text.size(), static_cast<size_t>(f.width)) + 1, '\0');
  const size_t n = render_string(f, text, s.data(), s.size());
  s.resize(n);
  return s;
}

}  // namespace nuvra::data
