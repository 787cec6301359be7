// Whole-text wildcard matching, as strmatch(), macro dir patterns and
// variable-list patterns use it.
#include <string>

#include <gtest/gtest.h>

#include "base/wildcard.h"

namespace nuvra::base {
namespace {

TEST(WildcardMatch, StarsAndQuestionMarks) {
  EXPECT_TRUE(wildcard_match("income", "inc*"));
  EXPECT_TRUE(wildcard_match("income", "*come"));
  EXPECT_TRUE(wildcard_match("income", "i?c?m?"));
  EXPECT_TRUE(wildcard_match("", "*"));
  EXPECT_TRUE(wildcard_match("", ""));
  EXPECT_TRUE(wildcard_match("abc", "**a*c**"));
  EXPECT_FALSE(wildcard_match("income", "inc"));   // the whole text must match
  EXPECT_FALSE(wildcard_match("income", "?income"));
  EXPECT_FALSE(wildcard_match("", "?"));
  EXPECT_FALSE(wildcard_match("abc", ""));
}

TEST(WildcardMatch, BacksUpToTheLastStar) {
  // The first "b" after the star is a false start; the match resumes past it.
  EXPECT_TRUE(wildcard_match("abxbc", "a*bc"));
  EXPECT_TRUE(wildcard_match("mississippi", "m*iss*ppi"));
  EXPECT_FALSE(wildcard_match("mississippi", "m*iss*x"));
  EXPECT_TRUE(wildcard_match("aaab", "*a*ab"));
  // A long run that cannot match still ends (at most |s| x |pattern| steps).
  std::string s(2000, 'a');
  EXPECT_FALSE(wildcard_match(s, "*a*a*a*a*b"));
}

TEST(WildcardMatch, TildeIsAStarOnlyWhenAsked) {
  EXPECT_TRUE(wildcard_match("price", "pr~", true));
  EXPECT_TRUE(wildcard_match("price", "~ic~", true));
  EXPECT_FALSE(wildcard_match("price", "pr~"));
  EXPECT_TRUE(wildcard_match("pr~", "pr~"));
  // A star in the text is matched by a star of the pattern, not taken literally.
  EXPECT_TRUE(wildcard_match("a*", "a?"));
  EXPECT_TRUE(wildcard_match("a*b", "a*"));
}

}  // namespace
}  // namespace nuvra::base
