// Small text helpers shared by every layer. Three notions of white space
// are in use and each has its own name:
//   blank       space and tab, what separates words on a command line;
//   line blank  blank plus carriage return and line feed, for text read
//               from files and lists that may span lines;
//   ASCII space line blank plus vertical tab and form feed.
#pragma once
#include <cstddef>
#include <string_view>

namespace nuvra::base {

constexpr bool is_blank(char c) { return c == ' ' || c == '\t'; }
constexpr bool is_line_blank(char c) { return is_blank(c) || c == '\n' || c == '\r'; }
constexpr bool is_ascii_space(char c) { return is_line_blank(c) || c == '\v' || c == '\f'; }

// The first position at or after i that is not a blank (s.size() if none).
constexpr std::size_t skip_blanks(std::string_view s, std::size_t i) {
  while (i < s.size() && is_blank(s[i])) ++i;
  return i;
}

// s read as a count written in decimal digits only, at most max_digits of
// them; false for anything else (a sign, a fraction, a blank, nothing).
template <class Int>
constexpr bool parse_digits(std::string_view s, std::size_t max_digits, Int* out) {
  if (s.empty() || s.size() > max_digits) return false;
  Int v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  *out = v;
  return true;
}

// s without leading and trailing blanks.
constexpr std::string_view trim_blanks(std::string_view s) {
  while (!s.empty() && is_blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && is_blank(s.back())) s.remove_suffix(1);
  return s;
}

// s without leading and trailing line blanks.
constexpr std::string_view trim_line_blanks(std::string_view s) {
  while (!s.empty() && is_line_blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && is_line_blank(s.back())) s.remove_suffix(1);
  return s;
}

// One past the "'" that closes the compound-quoted string opened by the
// "`\"" at `open`, nested pairs counted; npos when it never closes.
constexpr std::size_t compound_quote_end(std::string_view s, std::size_t open) {
  int depth = 0;
  for (std::size_t j = open; j + 1 < s.size(); ++j) {
    if (s[j] == '`' && s[j + 1] == '"') {
      ++depth;
      ++j;
    } else if (s[j] == '"' && s[j + 1] == '\'') {
      if (--depth == 0) return j + 2;
      ++j;
    }
  }
  return std::string_view::npos;
}

// One past the decimal literal at s[i]: an optional sign, digits with at
// most one decimal point (at least one digit in all), and an optional
// exponent of e or E, an optional sign and at least one digit.  npos when
// there is no such literal at i.  Text such as "inf", "0x10" or "1e" is not
// a literal here, which is why numbers are scanned by hand rather than by
// strtod alone.
constexpr std::size_t decimal_literal_end(std::string_view s, std::size_t i) {
  auto digit = [&s](std::size_t k) { return k < s.size() && s[k] >= '0' && s[k] <= '9'; };
  std::size_t j = i;
  if (j < s.size() && (s[j] == '-' || s[j] == '+')) ++j;
  std::size_t digits = 0;
  while (digit(j)) ++j, ++digits;
  if (j < s.size() && s[j] == '.') {
    ++j;
    while (digit(j)) ++j, ++digits;
  }
  if (digits == 0) return std::string_view::npos;
  if (j < s.size() && (s[j] == 'e' || s[j] == 'E')) {
    ++j;
    if (j < s.size() && (s[j] == '-' || s[j] == '+')) ++j;
    if (!digit(j)) return std::string_view::npos;
    while (digit(j)) ++j;
  }
  return j;
}

}  // namespace nuvra::base
