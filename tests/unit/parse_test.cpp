// The standard command-line parse, the option lookups and the expression
// gatherer.
#include <gtest/gtest.h>

#include "interp/interp.h"
#include "interp/parse.h"
#include "test_side.h"

namespace nuvra {
namespace {

class ParseTest : public ::testing::Test {
 protected:
  ParseTest() : ip(&side) {}

  // Parses `rest` as the text after a command word.
  rc_t parse(std::string_view rest, const ParseSettings& st) {
    ip.cmdbuf = "cmd " + std::string(rest);
    ip.reader.attach(&ip.cmdbuf, 3);
    side.text.clear();
    rc_t rc = standard_parse(ip, st, &cl);
    ip.out.flush();
    return rc;
  }
  std::string leftover_message() {
    side.text.clear();
    last_rc = cl.leftover(ip);
    ip.out.flush();
    return side.text;
  }

  testing::CaptureSide side;
  Interp ip;
  CommandLine cl;
  rc_t last_rc = 0;
  ParseSettings summarize_like = [] {
    ParseSettings s;
    s.varlist = true;
    s.allow_if = true;
    s.allow_in = true;
    s.weights = kAweight | kFweight | kIweight;
    return s;
  }();
};

TEST_F(ParseTest, FlagsAndTheirNegations) {
  ASSERT_EQ(parse("x, d", summarize_like), 0);
  EXPECT_EQ(cl.varlist_text, "x");
  EXPECT_EQ(cl.flag("detail", 1, 0), 1);
  EXPECT_EQ(leftover_message(), "");
  EXPECT_EQ(last_rc, 0);

  ASSERT_EQ(parse("y x, noc", summarize_like), 0);
  EXPECT_EQ(cl.flag("constant", 1, 1), 0);
  EXPECT_EQ(cl.leftover(ip), 0);

  ASSERT_EQ(parse("y x, no", summarize_like), 0);
  EXPECT_EQ(cl.flag("constant", 1, 1), 1);  // too short to be "no" + constant
  EXPECT_EQ(leftover_message(), "option no not allowed\n");
  EXPECT_EQ(last_rc, 198);

  ASSERT_EQ(parse("x, de(1)", summarize_like), 0);
  EXPECT_EQ(cl.flag("detail", 1, 0), 0);
  EXPECT_EQ(leftover_message(), "option de() incorrectly specified\n");

  ASSERT_EQ(parse("x, d d", summarize_like), 0);
  EXPECT_EQ(cl.flag("detail", 1, 0), 1);
  EXPECT_EQ(cl.last_found, 1);
  EXPECT_EQ(leftover_message(), "option d not allowed\n");
}

TEST_F(ParseTest, ValueOptions) {
  ASSERT_EQ(parse("x, level(2.5) iter(7) big(3e10) name(\"a b\" c) at(1,2, 3)", summarize_like), 0);
  EXPECT_EQ(cl.integer("iterate", 4, -1), 7);
  EXPECT_EQ(cl.integer("level", 1, 95), 95);  // not a whole number
  EXPECT_EQ(cl.integer("big", 3, 0), 0);      // beyond a 32-bit integer
  std::string name;
  EXPECT_TRUE(cl.string("name", 2, &name, 100, 5));
  EXPECT_EQ(name, "a b c");
  double at[3];
  EXPECT_EQ(cl.number_list("at", 2, at, 3), 3);
  EXPECT_EQ(at[2], 3);
  EXPECT_EQ(leftover_message(), "option level() incorrectly specified\n");

  ASSERT_EQ(parse("x, name(one two three)", summarize_like), 0);
  EXPECT_FALSE(cl.string("name", 2, &name, 100, 2));  // too many words
  EXPECT_EQ(name, "");
  ASSERT_EQ(parse("x, name(abcdef)", summarize_like), 0);
  EXPECT_FALSE(cl.string("name", 2, &name, 6, 1));  // would reach the length limit
  EXPECT_EQ(leftover_message(), "option name() incorrectly specified\n");
}

TEST_F(ParseTest, WeightClauses) {
  ASSERT_EQ(parse("x [fw=pop]", summarize_like), 0);
  EXPECT_EQ(cl.weight_type, kFweight);
  EXPECT_EQ(cl.weight_text, "pop");
  ASSERT_EQ(parse("x [weight = a*b] if y > 2", summarize_like), 0);
  EXPECT_EQ(cl.weight_type, kAweight);
  EXPECT_EQ(cl.weight_text, "a*b");
  EXPECT_EQ(cl.if_text, "y > 2");
  ASSERT_EQ(parse("x [freq=n]", summarize_like), 0);
  EXPECT_EQ(cl.weight_type, kFweight);
  ASSERT_EQ(parse("x []", summarize_like), 0);
  EXPECT_FALSE(cl.has_weight);

  EXPECT_EQ(parse("x [pw=w]", summarize_like), 101);
  EXPECT_EQ(side.text, "pweight not allowed\n");
  EXPECT_EQ(parse("x [zz=w]", summarize_like), 198);
  EXPECT_EQ(side.text, "zz unknown weight type\n");
  EXPECT_EQ(parse("x [aw=w] [fw=v]", summarize_like), 198);
  EXPECT_EQ(side.text, "too many weights\n");
  EXPECT_EQ(parse("x [aw w]", summarize_like), 198);
  ParseSettings none;
  none.varlist = true;
  EXPECT_EQ(parse("x [aw=w]", none), 101);
  EXPECT_EQ(side.text, "weights not allowed\n");
}

TEST_F(ParseTest, QualifiersAndRequirements) {
  ParseSettings st;
  EXPECT_EQ(parse("if x", st), 101);
  EXPECT_EQ(side.text, "if not allowed\n");
  EXPECT_EQ(parse("in 1", st), 101);
  EXPECT_EQ(side.text, "in range not allowed\n");
  st.allow_options = false;
  EXPECT_EQ(parse(", d", st), 101);
  EXPECT_EQ(side.text, "options not allowed\n");
  EXPECT_EQ(parse("=x", st), 101);
  EXPECT_EQ(side.text, "=exp not allowed\n");
  EXPECT_EQ(parse("if x if y", summarize_like), 198);
  EXPECT_EQ(parse("x junk(", summarize_like), 0);  // all varlist text
  EXPECT_EQ(cl.varlist_text, "x junk(");

  ParseSettings req;
  req.allow_in = true;
  req.require_in = true;
  EXPECT_EQ(parse("", req), 100);
  EXPECT_EQ(side.text, "in range required\n");
  req.require_in = false;
  req.varlist = true;
  req.require_varlist_or_in = true;
  EXPECT_EQ(parse("", req), 100);
  EXPECT_EQ(side.text, "varlist or in range required\n");

  ip.by_active = true;
  EXPECT_EQ(parse("x in 1", summarize_like), 190);
  EXPECT_EQ(side.text, "'in' may not be combined with 'by'\n");
}

TEST_F(ParseTest, InRanges) {
  int64_t f = 0, l = 0;
  EXPECT_EQ(read_in_range(ip, "3", 10, &f, &l), 0);
  EXPECT_EQ(f, 3);
  EXPECT_EQ(l, 3);
  EXPECT_EQ(read_in_range(ip, "2/5", 10, &f, &l), 0);
  EXPECT_EQ(l, 5);
  EXPECT_EQ(read_in_range(ip, "-3/l", 10, &f, &l), 0);
  EXPECT_EQ(f, 8);
  EXPECT_EQ(l, 10);
  EXPECT_EQ(read_in_range(ip, "f/-1", 10, &f, &l), 0);
  EXPECT_EQ(f, 1);
  EXPECT_EQ(l, 10);
  EXPECT_EQ(read_in_range(ip, "0/3", 10, &f, &l), 198);
  EXPECT_EQ(read_in_range(ip, "5/11", 10, &f, &l), 198);
  EXPECT_EQ(read_in_range(ip, "6/5", 10, &f, &l), 198);
  EXPECT_EQ(read_in_range(ip, "2.5", 10, &f, &l), 198);
  EXPECT_EQ(read_in_range(ip, "-11", 10, &f, &l), 198);
}

TEST_F(ParseTest, GatheringStopsWhereOperatorsStopLinking) {
  auto gathered = [&](std::string_view text) {
    size_t end = 0;
    EXPECT_EQ(gather_expression(ip, text, &end), 0) << text;
    return std::string(text.substr(0, end));
  };
  EXPECT_EQ(gathered("x > 3 in 1/5"), "x > 3");
  EXPECT_EQ(gathered("1e-5+1 , d"), "1e-5+1");
  EXPECT_EQ(gathered("e - 5 using f"), "e - 5");
  EXPECT_EQ(gathered("abs(x) + y[_n-1] == 2 z"), "abs(x) + y[_n-1] == 2");
  EXPECT_EQ(gathered("\"a b\" + `\"c \"d\"\"' w"), "\"a b\" + `\"c \"d\"\"'");
  EXPECT_EQ(gathered("!x & -y"), "!x & -y");
  EXPECT_EQ(gathered("a ~= b"), "a ~= b");
  size_t end;
  EXPECT_EQ(gather_expression(ip, "(x + 1", &end), 132);
  EXPECT_EQ(gather_expression(ip, "x + 1)", &end), 132);
  EXPECT_EQ(gather_expression(ip, "\"abc", &end), 132);
  EXPECT_EQ(side.text.find("too few quotes") != std::string::npos, true);
}

}  // namespace
}  // namespace nuvra
