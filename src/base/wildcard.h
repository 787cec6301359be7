// Matching a whole text against a pattern of wildcards: `?` stands for
// one character and `*` for any run of characters, empty too.  Variable
// lists also take `~` as a star.
#pragma once
#include <cstddef>
#include <string_view>

namespace nuvra::base {

// Greedy, with one point to back up to (the last star), so every star only
// ever moves forward and the work is at most |s| x |pattern|.
constexpr bool wildcard_match(std::string_view s, std::string_view pattern, bool tilde_is_star = false) {
  auto is_star = [tilde_is_star](char c) { return c == '*' || (tilde_is_star && c == '~'); };
  std::size_t i = 0, j = 0, star = std::string_view::npos, mark = 0;
  while (i < s.size()) {
    if (j < pattern.size() && (pattern[j] == '?' || (pattern[j] == s[i] && !is_star(pattern[j])))) {
      ++i;
      ++j;
    } else if (j < pattern.size() && is_star(pattern[j])) {
      star = j++;
      mark = i;
    } else if (star != std::string_view::npos) {
      j = star + 1;
      i = ++mark;
    } else {
      return false;
    }
  }
  while (j < pattern.size() && is_star(pattern[j])) ++j;
  return j == pattern.size();
}

}  // namespace nuvra::base
