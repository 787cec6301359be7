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

}  // namespace nuvra::base
