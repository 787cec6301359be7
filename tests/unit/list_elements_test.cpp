// How a macro list splits into elements: blanks separate, a double-quoted
// or compound-quoted string is one element, and what was typed stays
// beside what the quotes held.
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "interp/list_elements.h"

namespace nuvra {
namespace {

using Texts = std::vector<std::string>;

TEST(ListElements, BlanksSeparateAndQuotesGroup) {
  EXPECT_EQ(list_element_texts("a  b\tc"), (Texts{"a", "b", "c"}));
  EXPECT_EQ(list_element_texts("  \t "), Texts{});
  EXPECT_EQ(list_element_texts(""), Texts{});
  EXPECT_EQ(list_element_texts("x \"two words\" y"), (Texts{"x", "two words", "y"}));
  EXPECT_EQ(list_element_texts("\"\" z"), (Texts{"", "z"}));
  // A compound quote nests and may hold plain double quotes.
  EXPECT_EQ(list_element_texts("`\"a `\"b\"' \"c\"\"' d"), (Texts{"a `\"b\"' \"c\"", "d"}));
  // A quote in the middle of a word does not start a string.
  EXPECT_EQ(list_element_texts("ab\"c d\""), (Texts{"ab\"c", "d\""}));
}

TEST(ListElements, RawKeepsTheQuotesAndTheCursorMovesPastThem) {
  std::string_view s = " \"p q\" `\"r\"' s";
  std::size_t i = 0;
  ListElement e;
  ASSERT_TRUE(next_list_element(s, i, &e));
  EXPECT_EQ(e.raw, "\"p q\"");
  EXPECT_EQ(e.inner, "p q");
  EXPECT_TRUE(e.closed);
  EXPECT_EQ(i, 6u);
  ASSERT_TRUE(next_list_element(s, i, &e));
  EXPECT_EQ(e.raw, "`\"r\"'");
  EXPECT_EQ(e.inner, "r");
  EXPECT_EQ(i, 12u);
  ASSERT_TRUE(next_list_element(s, i, &e));
  EXPECT_EQ(e.raw, "s");
  EXPECT_FALSE(next_list_element(s, i, &e));
}

TEST(ListElements, AnUnclosedQuoteRunsToTheEnd) {
  std::vector<ListElement> d = split_list_elements("a \"b c");
  ASSERT_EQ(d.size(), 2u);
  EXPECT_EQ(d[1].inner, "b c");
  EXPECT_EQ(d[1].raw, "\"b c");
  EXPECT_FALSE(d[1].closed);
  std::vector<ListElement> c = split_list_elements("`\"b `\"c\"' d");
  ASSERT_EQ(c.size(), 1u);
  EXPECT_EQ(c[0].inner, "b `\"c\"' d");
  EXPECT_FALSE(c[0].closed);
  EXPECT_TRUE(split_list_elements("a b")[1].closed);
}

}  // namespace
}  // namespace nuvra
