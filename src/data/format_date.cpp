// Date and time display formats: %t followed by a unit letter (c C d w m q
// h y g) and optional detail codes, and the older %d form with its
// one-letter codes.
//
// Detail codes of the %t forms (longest match wins):
//   CC cc  century             YY yy  year within the century
//   JJJ jjj  day of the year   NN nn  month number
//   Mon mon  Month month  month names (Jan, jan, January, january)
//   DD dd  day of the month
//   DAYNAME Dayname dayname Day day Da da  day names (DAYNAME is Sunday
//          padded to the longest name)
//   h  half  q  quarter  WW ww  week
//   HH hH  hour 0-23   Hh hh  hour 1-12   MM mm  minute   SS ss  second
//   .s .ss .sss  tenths to thousandths of a second (also with ,)
//   am a.m. AM A.M.  am or pm in that style (pm p.m. PM P.M. alike)
//   . , : - / \ ' literal   _ blank   !c the character c   + nothing
// Upper-case numeric codes keep leading zeros; lower-case ones drop them.
//
// Codes of the %d form:
//   c C century   y Y year within century   m mon  M Month
//   n N month number   d D day   j J day of year   h half  q quarter
//   w W week, and the same literals as above
// (lower case without leading zeros, upper case with them).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "data/format.h"
#include "data/format_sink.h"
#include "data/functions/dates.h"
#include "data/missing.h"

namespace nuvra::data {
namespace {

enum class Code : uint8_t {
  kLiteral, kNothing,
  kCentury, kYear2, kDoy, kMonShort, kMonLong, kMonNum, kDay,
  kDayName, kDayNamePadded, kDay3, kDay2,
  kHalf, kQuarter, kWeek,
  kHour24, kHour12, kMinute, kSecond, kFraction, kAmPm,
};

struct Token {
  Code code = Code::kLiteral;
  char ch = 0;         // the literal character
  bool zeros = false;  // leading zeros
  int casing = 0;      // names: 0 lower, 1 capitalised, 2 upper
  int digits = 0;      // fraction digits
  char point = '.';    // fraction's decimal point
  bool dotted = false; // a.m. rather than am
};

struct Spelling {
  const char* text;
  Token tok;
};

Token tk(Code c, bool zeros = false, int casing = 0) {
  Token t;
  t.code = c;
  t.zeros = zeros;
  t.casing = casing;
  return t;
}
Token frac(int digits, char point) {
  Token t = tk(Code::kFraction);
  t.digits = digits;
  t.point = point;
  return t;
}
Token ampm(bool dotted, int casing) {
  Token t = tk(Code::kAmPm, false, casing);
  t.dotted = dotted;
  return t;
}

// The %t codes, longest first so that the first match is the longest.
const Spelling* new_codes(size_t* n) {
  static const Spelling kCodes[] = {
      {"DAYNAME", tk(Code::kDayNamePadded, false, 1)},
      {"Dayname", tk(Code::kDayName, false, 1)},
      {"dayname", tk(Code::kDayName, false, 0)},
      {"Month", tk(Code::kMonLong, false, 1)},
      {"month", tk(Code::kMonLong, false, 0)},
      {".sss", frac(3, '.')}, {",sss", frac(3, ',')},
      {"a.m.", ampm(true, 0)}, {"p.m.", ampm(true, 0)},
      {"A.M.", ampm(true, 2)}, {"P.M.", ampm(true, 2)},
      {"JJJ", tk(Code::kDoy, true)}, {"jjj", tk(Code::kDoy, false)},
      {"Mon", tk(Code::kMonShort, false, 1)}, {"mon", tk(Code::kMonShort, false, 0)},
      {"Day", tk(Code::kDay3, false, 1)}, {"day", tk(Code::kDay3, false, 0)},
      {".ss", frac(2, '.')}, {",ss", frac(2, ',')},
      {"CC", tk(Code::kCentury, true)}, {"cc", tk(Code::kCentury, false)},
      {"YY", tk(Code::kYear2, true)}, {"yy", tk(Code::kYear2, false)},
      {"NN", tk(Code::kMonNum, true)}, {"nn", tk(Code::kMonNum, false)},
      {"DD", tk(Code::kDay, true)}, {"dd", tk(Code::kDay, false)},
      {"Da", tk(Code::kDay2, false, 1)}, {"da", tk(Code::kDay2, false, 0)},
      {"WW", tk(Code::kWeek, true)}, {"ww", tk(Code::kWeek, false)},
      {"HH", tk(Code::kHour24, true)}, {"hH", tk(Code::kHour24, false)},
      {"Hh", tk(Code::kHour12, true)}, {"hh", tk(Code::kHour12, false)},
      {"MM", tk(Code::kMinute, true)}, {"mm", tk(Code::kMinute, false)},
      {"SS", tk(Code::kSecond, true)}, {"ss", tk(Code::kSecond, false)},
      {".s", frac(1, '.')}, {",s", frac(1, ',')},
      {"am", ampm(false, 0)}, {"pm", ampm(false, 0)},
      {"AM", ampm(false, 2)}, {"PM", ampm(false, 2)},
      {"h", tk(Code::kHalf)}, {"q", tk(Code::kQuarter)},
  };
  *n = std::size(kCodes);
  return kCodes;
}

const Spelling* old_codes(size_t* n) {
  static const Spelling kCodes[] = {
      {"c", tk(Code::kCentury, false)}, {"C", tk(Code::kCentury, true)},
      {"y", tk(Code::kYear2, false)},   {"Y", tk(Code::kYear2, true)},
      {"m", tk(Code::kMonShort, false, 0)}, {"M", tk(Code::kMonLong, false, 1)},
      {"n", tk(Code::kMonNum, false)},  {"N", tk(Code::kMonNum, true)},
      {"d", tk(Code::kDay, false)},     {"D", tk(Code::kDay, true)},
      {"j", tk(Code::kDoy, false)},     {"J", tk(Code::kDoy, true)},
      {"h", tk(Code::kHalf)},           {"q", tk(Code::kQuarter)},
      {"w", tk(Code::kWeek, false)},    {"W", tk(Code::kWeek, true)},
  };
  *n = std::size(kCodes);
  return kCodes;
}

// Reads the token at s[*i]; false when no code or literal starts there.
bool next_token(bool old, std::string_view s, size_t* i, Token* out) {
  const char c = s[*i];
  if (c == '!') {
    if (*i + 1 >= s.size() || s[*i + 1] < 0x20 || s[*i + 1] >= 0x7F) return false;
    *out = Token{};
    out->ch = s[*i + 1];
    *i += 2;
    return true;
  }
  size_t n = 0;
  const Spelling* codes = old ? old_codes(&n) : new_codes(&n);
  for (size_t k = 0; k < n; ++k) {
    const size_t len = std::strlen(codes[k].text);
    if (s.substr(*i, len) == codes[k].text) {
      *out = codes[k].tok;
      *i += len;
      return true;
    }
  }
  if (std::strchr(".,:-/\\'_+", c) && c != '\0') {
    *out = Token{};
    if (c == '+') out->code = Code::kNothing;
    out->ch = c == '_' ? ' ' : c;
    ++*i;
    return true;
  }
  return false;
}

const char* default_detail(char unit, bool old) {
  if (old) return "DmCY";
  switch (unit) {
    case 'c':
    case 'C': return "DDmonCCYY_HH:MM:SS";
    case 'd': return "DDmonCCYY";
    case 'w': return "CCYY!www";
    case 'm': return "CCYY!mnn";
    case 'q': return "CCYY!qq";
    case 'h': return "CCYY!hh";
    default: return "CCYY";
  }
}

constexpr const char* kMonths[12] = {"january", "february", "march",     "april",   "may",      "june",
                                     "july",    "august",   "september", "october", "november", "december"};
constexpr const char* kDays[7] = {"sunday", "monday", "tuesday", "wednesday", "thursday", "friday", "saturday"};

using Sink = FormatSink;

// A value the calendar cannot show: the number itself, as %9.0g writes it
// without its padding.
size_t render_plain(double v, char* out, size_t cap) {
  Format g;
  char buf[kRenderBufferSize];
  size_t n = std::min(render_number(g, v, buf, sizeof buf), sizeof buf - 1);
  size_t b = 0;
  while (b < n && buf[b] == ' ') ++b;
  Sink sink{out, cap};
  for (size_t i = b; i < n; ++i) sink.put(buf[i]);
  return sink.finish();
}

int code_width(const Token& t) {
  switch (t.code) {
    case Code::kLiteral: return 1;
    case Code::kNothing: return 0;
    case Code::kDoy: return 3;
    case Code::kMonShort: case Code::kDay3: return 3;
    case Code::kMonLong: case Code::kDayName: case Code::kDayNamePadded: return 9;
    case Code::kHalf: case Code::kQuarter: return 1;
    case Code::kFraction: return 1 + t.digits;
    case Code::kAmPm: return t.dotted ? 4 : 2;
    default: return 2;
  }
}

}  // namespace

bool valid_date_detail(char unit, bool old, std::string_view detail) {
  (void)unit;
  size_t i = 0;
  Token t;
  while (i < detail.size())
    if (!next_token(old, detail, &i, &t)) return false;
  return true;
}

size_t render_date(const Format& f, double v, char* out, size_t cap) {
  Sink sink{out, cap};
  if (is_missing(v) || !std::isfinite(v)) {
    const int k = missing_code(v);
    sink.put('.');
    if (k > 0) sink.put(static_cast<char>('a' + k - 1));
    return sink.finish();
  }
  dates::Civil c;
  int week = 1;
  if (f.date_unit == 'g' || !dates::civil_of(f.date_unit, v, &c, &week)) return render_plain(v, out, cap);
  std::string_view detail = f.date_detail[0] ? std::string_view(f.date_detail) : default_detail(f.date_unit, f.date_old);
  size_t i = 0;
  Token t;
  while (i < detail.size() && next_token(f.date_old, detail, &i, &t)) {
    switch (t.code) {
      case Code::kLiteral: sink.put(t.ch); break;
      case Code::kNothing: break;
      case Code::kCentury: sink.number(c.year / 100, 2, t.zeros); break;
      case Code::kYear2: sink.number(c.year % 100, 2, t.zeros); break;
      case Code::kDoy: sink.number(c.doy, 3, t.zeros); break;
      case Code::kMonShort: sink.name(kMonths[c.month - 1], 3, t.casing); break;
      case Code::kMonLong: sink.name(kMonths[c.month - 1], 9, t.casing); break;
      case Code::kMonNum: sink.number(c.month, 2, t.zeros); break;
      case Code::kDay: sink.number(c.day, 2, t.zeros); break;
      case Code::kDayName: sink.name(kDays[c.dow], 9, t.casing); break;
      case Code::kDayNamePadded: {
        size_t len = std::strlen(kDays[c.dow]);
        sink.name(kDays[c.dow], len, t.casing);
        for (; len < 9; ++len) sink.put(' ');
        break;
      }
      case Code::kDay3: sink.name(kDays[c.dow], 3, t.casing); break;
      case Code::kDay2: sink.name(kDays[c.dow], 2, t.casing); break;
      case Code::kHalf: sink.number((c.month - 1) / 6 + 1, 1, false); break;
      case Code::kQuarter: sink.number((c.month - 1) / 3 + 1, 1, false); break;
      case Code::kWeek: sink.number(week, 2, t.zeros); break;
      case Code::kHour24: sink.number(c.hour, 2, t.zeros); break;
      case Code::kHour12: sink.number(c.hour % 12 == 0 ? 12 : c.hour % 12, 2, t.zeros); break;
      case Code::kMinute: sink.number(c.minute, 2, t.zeros); break;
      case Code::kSecond: sink.number(c.msec / 1000, 2, t.zeros); break;
      case Code::kFraction: {
        // Shown digits are cut, not rounded, so 59.9996 never shows as 60.
        int ms = c.msec % 1000;
        int shown = t.digits == 1 ? ms / 100 : t.digits == 2 ? ms / 10 : ms;
        sink.put(t.point);
        sink.number(shown, t.digits, true);
        break;
      }
      case Code::kAmPm: {
        const char* word = c.hour < 12 ? (t.dotted ? "a.m." : "am") : (t.dotted ? "p.m." : "pm");
        for (const char* p = word; *p; ++p) sink.put(t.casing == 2 && *p != '.' ? static_cast<char>(*p - 32) : *p);
        break;
      }
    }
  }
  return sink.finish();
}

int format_display_width(const Format& f) {
  if (f.kind != FormatKind::kDate) return f.width;
  if (f.date_unit == 'g') return 9;
  std::string_view detail = f.date_detail[0] ? std::string_view(f.date_detail) : default_detail(f.date_unit, f.date_old);
  size_t i = 0;
  int w = 0;
  Token t;
  while (i < detail.size() && next_token(f.date_old, detail, &i, &t)) w += code_width(t);
  return w;
}

}  // namespace nuvra::data
