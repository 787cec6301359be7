// The scanner under the token parsers, on hand-split texts: white space,
// quotes (compound ones nesting, unclosed ones running to the end),
// parsing strings (the longest first), and the number and hex forms
// with their switches on and off.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lumo/tokenizer.h"

namespace {

using nuvra::lumo::NextToken;
using nuvra::lumo::TokenRules;
using nuvra::lumo::ValidQuotes;

const std::string kCompound = "`\"\"'";

TokenRules Defaults() {
  TokenRules r;
  r.wchars = " ";
  r.qchars = {"\"\"", kCompound};
  return r;
}

// Every token of text, in order, up to the first "".
std::vector<std::string> Split(const TokenRules& r, const std::string& text) {
  std::vector<std::string> out;
  size_t at = 0, next;
  for (int guard = 0; guard < 100; ++guard) {
    std::string t(NextToken(r, text, at, &next));
    EXPECT_GE(next, at);
    at = next;
    if (t.empty()) {
      EXPECT_EQ(next, text.size());
      return out;
    }
    out.push_back(t);
  }
  ADD_FAILURE() << "no end to " << text;
  return out;
}

using V = std::vector<std::string>;

TEST(LumoTokenizer, WhiteSpaceSeparatesAndIsSkipped) {
  TokenRules r = Defaults();
  EXPECT_EQ(Split(r, "a b  c"), (V{"a", "b", "c"}));
  EXPECT_EQ(Split(r, "   "), V{});
  EXPECT_EQ(Split(r, ""), V{});
  // A tab is white space only when asked for.
  EXPECT_EQ(Split(r, "a\tb"), (V{"a\tb"}));
  r.wchars = " \t";
  EXPECT_EQ(Split(r, "a\tb "), (V{"a", "b"}));
  // The offset after a token is just past it; what follows is skipped by
  // the next call.
  size_t next;
  EXPECT_EQ(NextToken(r, "ab  cd", 0, &next), "ab");
  EXPECT_EQ(next, 2u);
  EXPECT_EQ(NextToken(r, "ab  cd", 2, &next), "cd");
  EXPECT_EQ(next, 6u);
  EXPECT_EQ(NextToken(r, "ab  cd", 6, &next), "");
  EXPECT_EQ(next, 6u);
  EXPECT_EQ(NextToken(r, "ab cd  ", 5, &next), "");
  EXPECT_EQ(next, 7u);
}

TEST(LumoTokenizer, QuotedTokensKeepTheirQuotesAndCompoundOnesNest) {
  TokenRules r = Defaults();
  EXPECT_EQ(Split(r, "x \"a b\" y"), (V{"x", "\"a b\"", "y"}));
  // `"a `"b"' c"' d: the inner compound quote does not close the outer.
  EXPECT_EQ(Split(r, "`\"a `\"b\"' c\"' d"), (V{"`\"a `\"b\"' c\"'", "d"}));
  // A simple quote inside a compound one is just a byte.
  EXPECT_EQ(Split(r, "`\"say \"hi\"\"' z"), (V{"`\"say \"hi\"\"'", "z"}));
  // Simple quotes do not nest: the second " closes.
  EXPECT_EQ(Split(r, "\"a\"\"b\""), (V{"\"a\"", "\"b\""}));
  // An ordinary token ends where a quote opens.
  EXPECT_EQ(Split(r, "ab\"c d\"e"), (V{"ab", "\"c d\"", "e"}));
  // Unclosed: the rest of the text.
  EXPECT_EQ(Split(r, "a \"b c"), (V{"a", "\"b c"}));
  EXPECT_EQ(Split(r, "`\"a `\"b\"' c"), (V{"`\"a `\"b\"' c"}));
  // No quote pairs: a quote is an ordinary byte.
  r.qchars.clear();
  EXPECT_EQ(Split(r, "\"a b\""), (V{"\"a", "b\""}));
  // A pair of two-byte halves that are the same does not nest either.
  r.qchars = {"<<<<"};
  EXPECT_EQ(Split(r, "<<a <<b"), (V{"<<a <<", "b"}));
}

TEST(LumoTokenizer, ParsingStringsAreTokensOfTheirOwnLongestFirst) {
  TokenRules r = Defaults();
  r.pchars = {",", "=", "=="};
  EXPECT_EQ(Split(r, "a==b,c=d"), (V{"a", "==", "b", ",", "c", "=", "d"}));
  EXPECT_EQ(Split(r, ",,= ="), (V{",", ",", "=", "="}));
  EXPECT_EQ(Split(r, "==="), (V{"==", "="}));
  // A quote still opens inside what would be parsed.
  EXPECT_EQ(Split(r, "a=\"b,c\""), (V{"a", "=", "\"b,c\""}));
}

TEST(LumoTokenizer, NumbersAreOneTokenOnlyWhenAllowed) {
  TokenRules r = Defaults();
  r.pchars = {"+", "-"};
  EXPECT_EQ(Split(r, "1.5e+3-2"), (V{"1.5e", "+", "3", "-", "2"}));
  r.allownum = true;
  EXPECT_EQ(Split(r, "1.5e+3-2"), (V{"1.5e+3", "-2"}));
  r.pchars.clear();
  // A point needs a digit on one side; an exponent needs digits.
  EXPECT_EQ(Split(r, ".5 -.25e-2 3. 4e 1e5x"), (V{".5", "-.25e-2", "3.", "4", "e", "1e5", "x"}));
  EXPECT_EQ(Split(r, "- . +x"), (V{"-", ".", "+x"}));
  // A number is looked for only where a token starts.
  EXPECT_EQ(Split(r, "x1.5 2"), (V{"x1.5", "2"}));
  // The hex form is not a number: its digits end at the X.
  EXPECT_EQ(Split(r, "+1.8000000000000X+001"), (V{"+1.8000000000000", "X+001"}));
}

TEST(LumoTokenizer, HexNumbersAreOneTokenOnlyWhenAllowed) {
  TokenRules r = Defaults();
  r.allowhex = true;
  EXPECT_EQ(Split(r, "+1.8000000000000X+001 0x1f -1.0X-3ff"), (V{"+1.8000000000000X+001", "0x1f", "-1.0X-3ff"}));
  // It must start with a decimal digit and have hex digits after the X.
  EXPECT_EQ(Split(r, "abcXdef 1X 1x+"), (V{"abcXdef", "1X", "1x+"}));
  // Without allownum a decimal number is read as ordinary bytes.
  r.pchars = {"-"};
  EXPECT_EQ(Split(r, "1.5-2"), (V{"1.5", "-", "2"}));
  r.allownum = true;
  EXPECT_EQ(Split(r, "1.5-2 2x10"), (V{"1.5", "-2", "2x10"}));
}

TEST(LumoTokenizer, QuotePairsMustHaveTwoEqualHalves) {
  EXPECT_TRUE(ValidQuotes({"\"\"", kCompound}));
  EXPECT_TRUE(ValidQuotes({}));
  EXPECT_FALSE(ValidQuotes({"\""}));
  EXPECT_FALSE(ValidQuotes({"\"\"", ""}));
  EXPECT_FALSE(ValidQuotes({"abc"}));
}

}  // namespace
