// Whole-text wildcard matching, as strmatch(), macro dir patterns and
// variable-list patterns use it.
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "base/wildcard.h"

namespace nuvra::base {
namespace {

struct Case {
  std::string_view text, pattern;
  bool tilde_is_star;
  bool matches;
};

TEST(WildcardMatch, Cases) {
  const Case cases[] = {
      // Stars and question marks; the whole text must match.
      {"income", "inc*", false, true},
      {"income", "*come", false, true},
      {"income", "i?c?m?", false, true},
      {"", "*", false, true},
      {"", "", false, true},
      {"abc", "**a*c**", false, true},
      {"income", "inc", false, false},
      {"income", "?income", false, false},
      {"", "?", false, false},
      {"abc", "", false, false},
      // The first "b" after the star is a false start; the match resumes
      // past it.
      {"abxbc", "a*bc", false, true},
      {"mississippi", "m*iss*ppi", false, true},
      {"mississippi", "m*iss*x", false, false},
      {"aaab", "*a*ab", false, true},
      // A tilde is a star only when asked; a star in the text is matched by
      // the pattern, never taken as a wildcard itself.
      {"price", "pr~", true, true},
      {"price", "~ic~", true, true},
      {"price", "pr~", false, false},
      {"pr~", "pr~", false, true},
      {"a*", "a?", false, true},
      {"a*b", "a*", false, true},
  };
  for (const Case& c : cases)
    EXPECT_EQ(wildcard_match(c.text, c.pattern, c.tilde_is_star), c.matches) << c.text << " ~ " << c.pattern;
}

TEST(WildcardMatch, ALongRunThatCannotMatchEnds) {
  // Backing up only to the last star bounds the work by |s| x |pattern|.
  std::string s(2000, 'a');
  EXPECT_FALSE(wildcard_match(s, "*a*a*a*a*b"));
}

}  // namespace
}  // namespace nuvra::base
