// The small text helpers every layer shares: where a compound-quoted
// string ends, where a decimal literal ends.
#include <string_view>

#include <gtest/gtest.h>

#include "base/text.h"

namespace nuvra::base {
namespace {

constexpr auto npos = std::string_view::npos;

TEST(CompoundQuoteEnd, EndsJustPastTheClosingPair) {
  // `"abc"' : the closing "' is at 5 and 6.
  EXPECT_EQ(compound_quote_end("`\"abc\"'", 0), 7u);
  // Text after the string and text before the opening pair.
  EXPECT_EQ(compound_quote_end("x `\"a\"' y", 2), 7u);
  // The empty string `"" '.
  EXPECT_EQ(compound_quote_end("`\"\"'", 0), 4u);
}

TEST(CompoundQuoteEnd, NestedPairsAndPlainQuotesInside) {
  // `"a `"b"' c"' : the inner pair closes at 9, the outer at 13.
  std::string_view s = "`\"a `\"b\"' c\"'";
  EXPECT_EQ(compound_quote_end(s, 0), 13u);
  EXPECT_EQ(compound_quote_end(s, 4), 9u);
  // A plain double quote inside does not close it.
  EXPECT_EQ(compound_quote_end("`\"say \"hi\" now\"'", 0), 16u);
}

TEST(CompoundQuoteEnd, UnclosedIsNpos) {
  EXPECT_EQ(compound_quote_end("`\"abc", 0), npos);
  EXPECT_EQ(compound_quote_end("`\"", 0), npos);
  // The inner pair closes but the outer one never does.
  EXPECT_EQ(compound_quote_end("`\"a `\"b\"' c", 0), npos);
  // A lone " at the very end is not a closing pair.
  EXPECT_EQ(compound_quote_end("`\"abc\"", 0), npos);
}

TEST(DecimalLiteralEnd, SignsPointsAndExponents) {
  EXPECT_EQ(decimal_literal_end("12", 0), 2u);
  EXPECT_EQ(decimal_literal_end("-1.5", 0), 4u);
  EXPECT_EQ(decimal_literal_end("+.5", 0), 3u);
  EXPECT_EQ(decimal_literal_end("5.", 0), 2u);
  EXPECT_EQ(decimal_literal_end("1e5", 0), 3u);
  EXPECT_EQ(decimal_literal_end("2.5E-03", 0), 7u);
  EXPECT_EQ(decimal_literal_end("1e+2", 0), 4u);
  // The literal stops at the first character that cannot continue it.
  EXPECT_EQ(decimal_literal_end("10/20", 0), 2u);
  EXPECT_EQ(decimal_literal_end("1.2.3", 0), 3u);
  EXPECT_EQ(decimal_literal_end("0x10", 0), 1u);
  EXPECT_EQ(decimal_literal_end("7 8", 2), 3u);
}

TEST(DecimalLiteralEnd, NoDigitsOrAnEmptyExponentIsNone) {
  EXPECT_EQ(decimal_literal_end("", 0), npos);
  EXPECT_EQ(decimal_literal_end(".", 0), npos);
  EXPECT_EQ(decimal_literal_end("-", 0), npos);
  EXPECT_EQ(decimal_literal_end("-.e1", 0), npos);
  EXPECT_EQ(decimal_literal_end("inf", 0), npos);
  EXPECT_EQ(decimal_literal_end("1e", 0), npos);
  EXPECT_EQ(decimal_literal_end("1e-", 0), npos);
  EXPECT_EQ(decimal_literal_end("3E+x", 0), npos);
}

}  // namespace
}  // namespace nuvra::base
