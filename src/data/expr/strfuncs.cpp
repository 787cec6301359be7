#include "data/expr/strfuncs.h"

#include <cmath>
#include <cstdlib>

#include "base/wildcard.h"
#include "data/expr/expr.h"
#include "data/format.h"
#include "data/missing.h"

namespace nuvra::expr {
namespace {

bool blank(char c) { return c == ' '; }
bool letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
char lower_of(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }
char upper_of(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

// Bounds of the words of s: pairs of [begin, end).
template <class F>
void each_word(std::string_view s, F f) {
  size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && blank(s[i])) ++i;
    if (i >= s.size()) break;
    size_t b = i;
    while (i < s.size() && !blank(s[i])) ++i;
    if (!f(b, i)) return;
  }
}

}  // namespace

double str_real(std::string_view s) {
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  if (s.empty()) return data::kMissing;
  if (s == ".") return data::kMissing;
  if (s.size() == 2 && s[0] == '.' && s[1] >= 'a' && s[1] <= 'z') return data::missing_value(s[1] - 'a' + 1);
  // Only plain decimal notation: strtod would also take hexadecimal,
  // "inf" and "nan", which are no numbers of this system.
  for (char c : s)
    if (!((c >= '0' && c <= '9') || c == '.' || c == '+' || c == '-' || c == 'e' || c == 'E')) return data::kMissing;
  std::string t(s);
  char* end = nullptr;
  double v = std::strtod(t.c_str(), &end);
  if (end != t.c_str() + t.size() || !(std::fabs(v) < data::kMissing)) return data::kMissing;
  return v;
}

int str_wordcount(std::string_view s) {
  int n = 0;
  each_word(s, [&](size_t, size_t) {
    ++n;
    return true;
  });
  return n;
}

void str_lower(std::string& s) {
  for (char& c : s) c = lower_of(c);
}
void str_upper(std::string& s) {
  for (char& c : s) c = upper_of(c);
}
void str_proper(std::string& s) {
  bool after_letter = false;
  for (char& c : s) {
    if (letter(c)) {
      c = after_letter ? lower_of(c) : upper_of(c);
      after_letter = true;
    } else {
      after_letter = false;
    }
  }
}

void str_trim(std::string& s, bool left, bool right) {
  if (right) {
    size_t e = s.size();
    while (e > 0 && blank(s[e - 1])) --e;
    s.resize(e);
  }
  if (left) {
    size_t b = 0;
    while (b < s.size() && blank(s[b])) ++b;
    s.erase(0, b);
  }
}

void str_itrim(std::string& s, std::string& scratch) {
  scratch.clear();
  for (size_t i = 0; i < s.size(); ++i) {
    if (blank(s[i]) && i > 0 && blank(s[i - 1])) continue;
    scratch.push_back(s[i]);
  }
  s.swap(scratch);
}

int str_pos(std::string_view s, std::string_view t) {
  if (t.empty()) return 0;
  size_t at = s.find(t);
  return at == std::string_view::npos ? 0 : static_cast<int>(at) + 1;
}

void str_of_real(double v, const std::string& fmt, std::string& out) {
  data::Format f;
  if (!data::parse_format(fmt, &f) || !data::is_numeric_format(f)) {
    out.assign(".");
    return;
  }
  char buf[data::kRenderBufferSize];
  size_t n = data::render_number(f, finish_value(v), buf, sizeof buf);
  out.assign(buf, n < sizeof buf ? n : sizeof buf - 1);
}

void str_substr(std::string& s, double n1, double n2) {
  double len = static_cast<double>(s.size());
  if (data::is_missing(n1) || std::isnan(n1)) {
    s.clear();
    return;
  }
  double start = std::trunc(n1);
  if (start < 0) start = len + start + 1;
  if (start < 1 || start > len) {
    s.clear();
    return;
  }
  double count = (data::is_missing(n2) || std::isnan(n2)) ? len : std::trunc(n2);
  if (count <= 0) {
    s.clear();
    return;
  }
  size_t b = static_cast<size_t>(start) - 1;
  size_t c = count >= len - static_cast<double>(b) ? s.size() - b : static_cast<size_t>(count);
  s.erase(b + c);
  s.erase(0, b);
}

void str_word(std::string& s, double n, std::string& scratch) {
  scratch.clear();
  if (!(std::fabs(n) < 2147483648.0)) {
    s.clear();
    return;
  }
  long k = static_cast<long>(std::trunc(n));
  if (k < 0) k = str_wordcount(s) + k + 1;
  if (k >= 1) {
    long i = 0;
    each_word(s, [&](size_t b, size_t e) {
      if (++i == k) {
        scratch.assign(s, b, e - b);
        return false;
      }
      return true;
    });
  }
  s.swap(scratch);
}

void str_abbrev(std::string& s, double n) {
  if (data::is_missing(n) || std::isnan(n)) return;
  double limit = std::trunc(n);
  double least = s.find('.') != std::string::npos ? 8 : 5;
  if (limit < least) limit = least;
  if (static_cast<double>(s.size()) <= limit) return;
  size_t k = static_cast<size_t>(limit);
  char last = s.back();
  s.resize(k - 2);
  s.push_back('~');
  s.push_back(last);
}

void str_subin(std::string& s, const std::string& a, const std::string& b, double n, bool whole_words,
               std::string& scratch) {
  if (a.empty()) return;
  double limit = (data::is_missing(n) || std::isnan(n)) ? 1e300 : std::trunc(n);
  if (limit <= 0) return;
  scratch.clear();
  double done = 0;
  size_t i = 0;
  while (i < s.size()) {
    size_t at = s.find(a, i);
    if (at == std::string::npos || done >= limit) break;
    bool ok = true;
    if (whole_words) {
      bool left = at == 0 || blank(s[at - 1]);
      bool right = at + a.size() == s.size() || blank(s[at + a.size()]);
      ok = left && right;
    }
    if (!ok) {
      scratch.append(s, i, at + 1 - i);
      i = at + 1;
      continue;
    }
    scratch.append(s, i, at - i);
    scratch.append(b);
    i = at + a.size();
    done += 1;
  }
  if (i < s.size()) scratch.append(s, i, std::string::npos);
  s.swap(scratch);
}

void str_plural(double n, std::string& s, const std::string* t) {
  if (n == 1 || n == -1) return;
  if (t == nullptr) {
    s.push_back('s');
    return;
  }
  if (!t->empty() && (*t)[0] == '+') {
    s.append(*t, 1, std::string::npos);
  } else if (!t->empty() && (*t)[0] == '-') {
    std::string_view suffix(t->data() + 1, t->size() - 1);
    if (s.size() >= suffix.size() && std::string_view(s).substr(s.size() - suffix.size()) == suffix)
      s.resize(s.size() - suffix.size());
  } else {
    s = *t;
  }
}

int str_indexnot(std::string_view s1, std::string_view s2) {
  bool in[256] = {};
  for (char c : s2) in[static_cast<unsigned char>(c)] = true;
  for (size_t i = 0; i < s1.size(); ++i)
    if (!in[static_cast<unsigned char>(s1[i])]) return static_cast<int>(i) + 1;
  return 0;
}

bool str_match(std::string_view s, std::string_view p) { return base::wildcard_match(s, p); }

void str_subdp(std::string& s) {
  for (char& c : s) {
    if (c == '.')
      c = ',';
    else if (c == ',')
      c = '.';
  }
}

double str_fmtwidth(std::string_view fmt) {
  data::Format f;
  if (!data::parse_format(fmt, &f, true)) return data::kMissing;
  return data::format_display_width(f);
}

}  // namespace nuvra::expr
