// Reading dates, times and periods from text under a mask ("DMY",
// "MDYhms", "YQ", ...).
//
// The text is matched against the mask's parts in order. Anything that is
// not a letter or a digit separates parts, but parts may also run
// together ("15jan2008", "20080115"): a run of digits can be shared by
// several parts, and where the split is not clear (a day of one or two
// digits) every split is tried until one gives a valid date. Each kind of
// part occurs at most once in a mask, so the search stays small whatever
// the text.
#include <cmath>
#include <cstring>

#include "data/functions/dates.h"
#include "data/missing.h"

namespace nuvra::dates {
namespace {

constexpr double M = data::kMissing;
constexpr int kMaxParts = 16;
constexpr int kMaxSkips = 8;

struct Part {
  char what;        // D M Y h m s H Q W #
  int century = -1; // the two digits written before Y, or -1
};

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_alpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

// The mask's parts; false when the mask is not one for this unit.
bool read_mask(char unit, std::string_view mask, Part* parts, int* n) {
  const bool clock = unit == 'c' || unit == 'C';
  int count = 0, skips = 0;
  unsigned seen = 0;
  for (size_t i = 0; i < mask.size(); ++i) {
    char c = mask[i];
    if (c == ' ') continue;
    Part p;
    if (is_digit(c)) {
      if (i + 2 >= mask.size() || !is_digit(mask[i + 1]) || lower(mask[i + 2]) != 'y') return false;
      p.century = (c - '0') * 10 + (mask[i + 1] - '0');
      i += 2;
      c = 'Y';
    }
    char what = 0;
    if (c == '#') {
      if (++skips > kMaxSkips) return false;
      what = '#';
    } else if (clock) {
      // Upper-case M is the month, lower-case m the minute.
      switch (c) {
        case 'D': case 'd': what = 'D'; break;
        case 'M': what = 'M'; break;
        case 'm': what = 'm'; break;
        case 'Y': case 'y': what = 'Y'; break;
        case 'h': case 'H': what = 'h'; break;
        case 's': case 'S': what = 's'; break;
        default: return false;
      }
    } else {
      char l = lower(c);
      if (l == 'y') what = 'Y';
      else if (unit == 'd' && l == 'd') what = 'D';
      else if ((unit == 'd' || unit == 'm') && l == 'm') what = 'M';
      else if (unit == 'h' && l == 'h') what = 'H';
      else if (unit == 'q' && l == 'q') what = 'Q';
      else if (unit == 'w' && l == 'w') what = 'W';
      else return false;
    }
    if (p.century >= 0 && what != 'Y') return false;
    if (what != '#') {
      unsigned bit = 1u << (std::strchr("DMYhmsHQW", what) - "DMYhmsHQW");
      if (seen & bit) return false;
      seen |= bit;
    }
    p.what = what;
    if (count == kMaxParts) return false;
    parts[count++] = p;
  }
  auto has = [&](char w) { return (seen & (1u << (std::strchr("DMYhmsHQW", w) - "DMYhmsHQW"))) != 0; };
  bool ok = has('Y');
  switch (unit) {
    case 'd': case 'c': case 'C': ok = ok && has('D') && has('M'); break;
    case 'h': ok = ok && has('H'); break;
    case 'q': ok = ok && has('Q'); break;
    case 'm': ok = ok && has('M'); break;
    case 'w': ok = ok && has('W'); break;
    default: break;
  }
  *n = count;
  return ok;
}

// A word that starts a name of at least three letters, ignoring case.
bool names(std::string_view word, const char* name) {
  size_t len = std::strlen(name);
  if (word.size() < 3 || word.size() > len) return false;
  for (size_t i = 0; i < word.size(); ++i)
    if (lower(word[i]) != name[i]) return false;
  return true;
}

int month_of_word(std::string_view w) {
  static constexpr const char* kMonths[12] = {"january", "february", "march",     "april",   "may",      "june",
                                              "july",    "august",   "september", "october", "november", "december"};
  for (int k = 0; k < 12; ++k)
    if (names(w, kMonths[k])) return k + 1;
  return 0;
}

bool weekday_word(std::string_view w) {
  static constexpr const char* kDays[7] = {"sunday", "monday", "tuesday", "wednesday", "thursday", "friday", "saturday"};
  for (const char* d : kDays)
    if (names(w, d)) return true;
  return false;
}

struct Got {
  std::int64_t y = 0;
  int ylen = 0, century = -1;
  int month = 1, day = 1, hour = 0, minute = 0;
  bool have_hour = false;
  double sec = 0;
  int k = 1;      // the half, quarter or week
  int ampm = 0;   // 1 am, 2 pm
};

class Matcher {
 public:
  Matcher(char unit, std::string_view s, const Part* parts, int n, double topyear)
      : unit_(unit), s_(s), parts_(parts), n_(n), topyear_(topyear) {}

  bool run(double* out) {
    Got g;
    return go(0, 0, g, out);
  }

 private:
  size_t run_end(size_t i, bool digits) const {
    while (i < s_.size() && (digits ? is_digit(s_[i]) : is_alpha(s_[i]))) ++i;
    return i;
  }

  // Steps over separators and the words that carry no part: day names,
  // am/pm (remembered) and a lone `T` in clock text, the unit's letter in a
  // period ("2008q1").
  size_t skip(size_t i, Got& g) const {
    const bool clock = unit_ == 'c' || unit_ == 'C';
    while (i < s_.size()) {
      char c = s_[i];
      if (is_digit(c)) return i;
      if (!is_alpha(c)) {
        ++i;
        continue;
      }
      size_t e = run_end(i, false);
      std::string_view w = s_.substr(i, e - i);
      if ((unit_ == 'd' || clock) && weekday_word(w)) {
        i = e;
        continue;
      }
      if (clock) {
        if (w.size() == 2 && (lower(w[1]) == 'm') && (lower(w[0]) == 'a' || lower(w[0]) == 'p')) {
          g.ampm = lower(w[0]) == 'a' ? 1 : 2;
          i = e;
          continue;
        }
        // a.m. and p.m.
        if (w.size() == 1 && (lower(w[0]) == 'a' || lower(w[0]) == 'p') && e + 1 < s_.size() && s_[e] == '.' &&
            lower(s_[e + 1]) == 'm' && (e + 2 == s_.size() || !is_alpha(s_[e + 2]))) {
          g.ampm = lower(w[0]) == 'a' ? 1 : 2;
          i = e + 2;
          continue;
        }
        if (w.size() == 1 && (lower(w[0]) == 't' || lower(w[0]) == 'z')) {
          i = e;
          continue;
        }
      }
      if (unit_ != 'd' && !clock && unit_ != 'y' && w.size() == 1 && lower(w[0]) == unit_) {
        i = e;
        continue;
      }
      return i;
    }
    return i;
  }

  static int number(std::string_view t) {
    int v = 0;
    for (char c : t) v = v * 10 + (c - '0');
    return v;
  }

  bool go(size_t i, int k, Got g, double* out) {
    i = skip(i, g);
    if (k == n_) return i == s_.size() && finish(g, out);
    const Part& p = parts_[k];
    if (i == s_.size()) {
      // Times may stop early: what is not written is zero.
      if (unit_ != 'c' && unit_ != 'C') return false;
      for (int j = k; j < n_; ++j)
        if (!std::strchr("hms", parts_[j].what)) return false;
      return finish(g, out);
    }
    const bool digit = is_digit(s_[i]);
    const size_t run = digit ? run_end(i, true) - i : 0;
    auto numeric = [&](int longest, int shortest, int lo, int hi, auto set) {
      for (int len = longest; len >= shortest; --len) {
        if (static_cast<size_t>(len) > run) continue;
        int v = number(s_.substr(i, static_cast<size_t>(len)));
        if (v < lo || v > hi) continue;
        Got h = g;
        set(h, v, len);
        if (go(i + static_cast<size_t>(len), k + 1, h, out)) return true;
      }
      return false;
    };
    switch (p.what) {
      case '#':
        return go(digit ? i + run : run_end(i, false), k + 1, g, out);
      case 'D':
        return numeric(2, 1, 1, 31, [](Got& h, int v, int) { h.day = v; });
      case 'M':
        if (!digit) {
          size_t e = run_end(i, false);
          int m = month_of_word(s_.substr(i, e - i));
          if (m == 0) return false;
          g.month = m;
          return go(e, k + 1, g, out);
        }
        return numeric(2, 1, 1, 12, [](Got& h, int v, int) { h.month = v; });
      case 'Y':
        return numeric(4, 1, 0, 9999, [&](Got& h, int v, int len) {
          h.y = v;
          h.ylen = len;
          h.century = p.century;
        });
      case 'h':
        return numeric(2, 1, 0, 24, [](Got& h, int v, int) {
          h.hour = v;
          h.have_hour = true;
        });
      case 'm':
        return numeric(2, 1, 0, 59, [](Got& h, int v, int) { h.minute = v; });
      case 's': {
        for (int len = 2; len >= 1; --len) {
          if (static_cast<size_t>(len) > run) continue;
          int v = number(s_.substr(i, static_cast<size_t>(len)));
          if (v > 60) continue;
          Got h = g;
          h.sec = v;
          size_t j = i + static_cast<size_t>(len);
          // A fraction belongs to the seconds only right after all their digits.
          if (static_cast<size_t>(len) == run && j + 1 < s_.size() && s_[j] == '.' && is_digit(s_[j + 1])) {
            double scale = 0.1;
            ++j;
            while (j < s_.size() && is_digit(s_[j])) {
              h.sec += (s_[j] - '0') * scale;
              scale /= 10;
              ++j;
            }
          }
          if (go(j, k + 1, h, out)) return true;
        }
        return false;
      }
      case 'H':
        return numeric(1, 1, 1, 2, [](Got& h, int v, int) { h.k = v; });
      case 'Q':
        return numeric(1, 1, 1, 4, [](Got& h, int v, int) { h.k = v; });
      case 'W':
        return numeric(2, 1, 1, 52, [](Got& h, int v, int) { h.k = v; });
      default:
        return false;
    }
  }

  bool finish(const Got& g, double* out) const {
    std::int64_t y = g.y;
    if (g.ylen <= 2) {
      if (g.century >= 0) {
        y += 100 * g.century;
      } else {
        double top = topyear_;
        if (!(top >= 100 && top <= 9999 && top == std::floor(top))) return false;
        std::int64_t t = static_cast<std::int64_t>(top);
        std::int64_t back = ((t - y) % 100 + 100) % 100;
        y = t - back;
      }
    }
    if (y < 100 || y > 9999) return false;
    switch (unit_) {
      case 'y': *out = static_cast<double>(y); return true;
      case 'h': *out = static_cast<double>((y - 1960) * 2 + g.k - 1); return true;
      case 'q': *out = static_cast<double>((y - 1960) * 4 + g.k - 1); return true;
      case 'w': *out = static_cast<double>((y - 1960) * 52 + g.k - 1); return true;
      case 'm': *out = static_cast<double>((y - 1960) * 12 + g.month - 1); return true;
      default: break;
    }
    if (g.day > days_in_month(y, g.month)) return false;
    const double d = static_cast<double>(day_of_ymd(y, g.month, g.day));
    if (unit_ == 'd') {
      *out = d;
      return true;
    }
    int hour = g.hour;
    if (g.ampm != 0 && g.have_hour) {
      if (hour > 12) return false;
      hour = hour % 12 + (g.ampm == 2 ? 12 : 0);
    }
    if (hour > 23) return false;
    double v = unit_ == 'C' ? Cdhms(leap_table(), d, hour, g.minute, g.sec) : dhms(d, hour, g.minute, g.sec);
    if (data::is_missing(v)) return false;
    *out = v;
    return true;
  }

  char unit_;
  std::string_view s_;
  const Part* parts_;
  int n_;
  double topyear_;
};

}  // namespace

double parse(char unit, std::string_view text, std::string_view mask, double topyear) {
  if (!std::strchr("dcCyhqmw", unit) || unit == 0) return M;
  Part parts[kMaxParts];
  int n = 0;
  if (!read_mask(unit, mask, parts, &n)) return M;
  double out = M;
  Matcher m(unit, text, parts, n, topyear);
  return m.run(&out) ? out : M;
}

}  // namespace nuvra::dates
