// The number-list reader and the commands programs use to take their
// arguments apart: args, gettoken, tokenize, numlist, confirm, unabcmd.
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "data/missing.h"
#include "interp/builtins.h"
#include "interp/interp.h"
#include "interp/numlist.h"
#include "test_side.h"

namespace nuvra {

// The handlers under test (the built-in table declares them as well once
// it names them).

namespace {

class HelpersTest : public ::testing::Test {
 protected:
  HelpersTest() : ip(&side) {}

  // Runs `handler` as the built-in `name` on the command line `line`.
  rc_t call(Handler handler, const std::string& line, const std::string& name) {
    ip.cmdbuf = line;
    ip.reader.attach(&ip.cmdbuf, 0);
    ip.token = std::string(ip.reader.next());
    ip.command_name = name;
    side.text.clear();
    last_rc = handler(ip);
    ip.out.flush();
    printed = side.text;
    return last_rc;
  }
  std::string local(const std::string& name) {
    const std::string* v = ip.macros.local(name);
    return v ? *v : "<undefined>";
  }
  std::vector<double> list(std::string_view text, const NumlistOptions& o = {}, rc_t want = 0) {
    std::vector<double> v;
    side.text.clear();
    EXPECT_EQ(read_numlist(ip, text, o, &v), want) << text;
    ip.out.flush();
    printed = side.text;
    return v;
  }

  testing::CaptureSide side;
  Interp ip;
  rc_t last_rc = 0;
  std::string printed;
};

using V = std::vector<double>;

// ---- number lists

TEST_F(HelpersTest, NumlistForms) {
  EXPECT_EQ(list("1 2 3"), (V{1, 2, 3}));
  EXPECT_EQ(list("1/5"), (V{1, 2, 3, 4, 5}));
  EXPECT_EQ(list("5/2"), (V{5, 4, 3, 2}));
  EXPECT_EQ(list("1(2)9"), (V{1, 3, 5, 7, 9}));
  EXPECT_EQ(list("1(2)10"), (V{1, 3, 5, 7, 9}));  // the end need not be reached exactly
  EXPECT_EQ(list("10(-2)2"), (V{10, 8, 6, 4, 2}));
  EXPECT_EQ(list("1[2]5"), (V{1, 3, 5}));
  EXPECT_EQ(list("1 3 to 9"), (V{1, 3, 5, 7, 9}));
  EXPECT_EQ(list("1 3: 9"), (V{1, 3, 5, 7, 9}));
  EXPECT_EQ(list("1 3:9"), (V{1, 3, 5, 7, 9}));
  EXPECT_EQ(list("-3 -1 to 3"), (V{-3, -1, 1, 3}));
  EXPECT_EQ(list(".5(.5)2"), (V{.5, 1, 1.5, 2}));
  EXPECT_EQ(list("1/3 10 20 to 40"), (V{1, 2, 3, 10, 20, 30, 40}));
  EXPECT_EQ(list("7 1 / 2 4 (1) 5"), (V{7, 1, 2, 4, 5}));  // blanks around / and ()
  EXPECT_EQ(list("1e2 -2.5e-1 +4"), (V{100, -.25, 4}));
  EXPECT_EQ(list("1,2, 3"), (V{1, 2, 3}));
  // Tenths accumulate binary error; the elements are the decimal values.
  EXPECT_EQ(list("0(.1).3"), (V{0, .1, .2, .3}));
  EXPECT_EQ(list("0(.1)1"), (V{0, .1, .2, .3, .4, .5, .6, .7, .8, .9, 1}));
  EXPECT_EQ(list("1(.1)1.3"), (V{1, 1.1, 1.2, 1.3}));
}

TEST_F(HelpersTest, NumlistMalformedIs121) {
  for (const char* bad : {"a", "1/", "/5", "1(2", "1(2)", "1(0)5", "1(-1)5", "5(1)1", "to 5", "1 to 5",
                          "1 3 to", ": 4", "1e", "inf", "0x10", "1..2", "1 3 to 0", "2a", "./5", "1/.",
                          "1(.)5"}) {
    list(bad, {}, 121);
    EXPECT_EQ(printed, "invalid numlist\n") << bad;
  }
}

TEST_F(HelpersTest, NumlistMessages122To127) {
  NumlistOptions o;
  o.min = 3;
  EXPECT_TRUE(list("1 2", o, 122).empty());
  EXPECT_EQ(printed, "invalid numlist has too few elements\n");
  EXPECT_TRUE(list("", {}, 122).empty());  // at least one element by default

  o = {};
  o.max = 2;
  list("1/3", o, 123);
  EXPECT_EQ(printed, "invalid numlist has too many elements\n");
  list("1 2 3", o, 123);
  list("1/100000", {}, 123);  // the default limit stops a runaway range
  EXPECT_EQ(list("1 2", o), (V{1, 2}));

  o = {};
  o.ascending = true;
  list("1 3 2", o, 124);
  EXPECT_EQ(printed, "invalid numlist has elements out of order\n");
  list("1 1", o, 124);  // repeats are out of order too
  EXPECT_EQ(list("1 2 5", o), (V{1, 2, 5}));
  o = {};
  o.descending = true;
  list("3 4", o, 124);
  EXPECT_EQ(list("4/2", o), (V{4, 3, 2}));

  o = {};
  ASSERT_TRUE(parse_numlist_range(">=0 <=10", &o));
  list("5 11", o, 125);
  EXPECT_EQ(printed, "invalid numlist has elements outside of allowed range\n");
  list("-1", o, 125);
  EXPECT_EQ(list("0 10", o), (V{0, 10}));
  ASSERT_TRUE(parse_numlist_range("> 0 < 1", &o));
  list("0", o, 125);
  list("1", o, 125);
  EXPECT_EQ(list(".5", o), (V{.5}));

  o = {};
  o.integer = true;
  list(".5 1", o, 126);
  EXPECT_EQ(printed, "invalid numlist has noninteger elements\n");
  EXPECT_EQ(list("-2/0", o), (V{-2, -1, 0}));

  list("1 .", {}, 127);
  EXPECT_EQ(printed, "invalid numlist has missing values\n");
  list(".a", {}, 127);
}

TEST_F(HelpersTest, NumlistMissingValuesAndSort) {
  NumlistOptions o;
  o.missing_ok = true;
  std::vector<double> v = list(". 1 .a .z", o);
  ASSERT_EQ(v.size(), 4u);
  EXPECT_EQ(data::missing_code(v[0]), 0);
  EXPECT_EQ(v[1], 1);
  EXPECT_EQ(data::missing_code(v[2]), 1);
  EXPECT_EQ(data::missing_code(v[3]), 26);
  list("./3", o, 121);  // a range cannot start or end at a missing value
  list("1/.", o, 121);
  o.sort = true;
  v = list(". 3 1 .b 2", o);
  ASSERT_EQ(v.size(), 5u);
  EXPECT_EQ((V{v[0], v[1], v[2]}), (V{1, 2, 3}));
  EXPECT_EQ(data::missing_code(v[3]), 0);  // missing sort last, . before .b
  EXPECT_EQ(data::missing_code(v[4]), 2);
}

TEST_F(HelpersTest, NumlistRangeOptionText) {
  NumlistOptions o;
  EXPECT_FALSE(parse_numlist_range("", &o));
  EXPECT_FALSE(parse_numlist_range("0 10", &o));
  EXPECT_FALSE(parse_numlist_range(">=0 >=1", &o));
  EXPECT_FALSE(parse_numlist_range(">=x", &o));
  EXPECT_FALSE(parse_numlist_range("=5", &o));
  ASSERT_TRUE(parse_numlist_range("<=5", &o));
  EXPECT_FALSE(o.low.set);
  EXPECT_TRUE(o.high.set);
  EXPECT_FALSE(o.high.strict);
  EXPECT_EQ(o.high.value, 5);
}

TEST_F(HelpersTest, NumlistFormatting) {
  EXPECT_EQ(format_numlist({1, -2, .5, -.25, 1.5, 1e20, 0}), "1 -2 .5 -.25 1.5 1e+20 0");
  EXPECT_EQ(format_numlist({data::kMissing, data::missing_value(3)}), ". .c");
  EXPECT_EQ(format_numlist({}), "");
}

TEST_F(HelpersTest, NumlistCommand) {
  EXPECT_EQ(call(cmd_numlist, "numlist \"1/3 .5\"", "numlist"), 0);
  EXPECT_EQ(ip.r_results.macros["numlist"], "1 2 3 .5");
  EXPECT_EQ(call(cmd_numlist, "numlist 10(-5)0, sort", "numlist"), 0);
  EXPECT_EQ(ip.r_results.macros["numlist"], "0 5 10");
  EXPECT_EQ(call(cmd_numlist, "numlist `\"1 2\"', min(3)", "numlist"), 122);
  EXPECT_EQ(printed, "invalid numlist has too few elements\n");
  EXPECT_EQ(call(cmd_numlist, "numlist \"1/4\", max(3)", "numlist"), 123);
  EXPECT_EQ(call(cmd_numlist, "numlist \"2 1\", a", "numlist"), 124);
  EXPECT_EQ(call(cmd_numlist, "numlist \"1/3\", range(>=0 <=2)", "numlist"), 125);
  EXPECT_EQ(call(cmd_numlist, "numlist \"1.5\", int", "numlist"), 126);
  EXPECT_EQ(call(cmd_numlist, "numlist \". 1\"", "numlist"), 127);
  EXPECT_EQ(call(cmd_numlist, "numlist \". 1\", miss", "numlist"), 0);
  EXPECT_EQ(ip.r_results.macros["numlist"], ". 1");
  EXPECT_EQ(call(cmd_numlist, "numlist \"1\", range(0 1)", "numlist"), 198);
  EXPECT_EQ(printed, "option range() incorrectly specified\n");
  EXPECT_EQ(call(cmd_numlist, "numlist \"1\", bogus", "numlist"), 198);
  EXPECT_EQ(printed, "option bogus not allowed\n");
  EXPECT_EQ(call(cmd_numlist, "numlist \"1\", min(2.5)", "numlist"), 198);
  EXPECT_EQ(call(cmd_numlist, "numlist \"1\", ascending descending", "numlist"), 184);
  // A failing numlist leaves the last r() alone.
  EXPECT_EQ(ip.r_results.macros["numlist"], ". 1");
}

// ---- gettoken

TEST_F(HelpersTest, GettokenSplitsAtBlanksAndKeepsTheSeparator) {
  ip.macros.set_local("s", "  alpha beta  gamma");
  ASSERT_EQ(call(cmd_gettoken, "gettoken first s : s", "gettoken"), 0);
  EXPECT_EQ(local("first"), "alpha");
  EXPECT_EQ(local("s"), " beta  gamma");
  ASSERT_EQ(call(cmd_gettoken, "gettoken second : s", "gettoken"), 0);
  EXPECT_EQ(local("second"), "beta");
  EXPECT_EQ(local("s"), " beta  gamma");  // no second name: the source stays
  // The argument local 0, taken apart in place.
  ip.macros.set_local("0", "x y");
  ASSERT_EQ(call(cmd_gettoken, "gettoken 1 0 : 0", "gettoken"), 0);
  EXPECT_EQ(local("1"), "x");
  EXPECT_EQ(local("0"), " y");
  ASSERT_EQ(call(cmd_gettoken, "gettoken 0 : 0", "gettoken"), 0);
  EXPECT_EQ(local("0"), "y");
  // An empty or undefined source yields nothing for both names.
  ip.macros.set_local("rest", "old");
  ASSERT_EQ(call(cmd_gettoken, "gettoken tok rest : nothing", "gettoken"), 0);
  EXPECT_EQ(local("tok"), "<undefined>");
  EXPECT_EQ(local("rest"), "<undefined>");
}

TEST_F(HelpersTest, GettokenParseCharacters) {
  ip.macros.set_local("s", "x y,z w");
  ASSERT_EQ(call(cmd_gettoken, "gettoken a b : s, parse(\",\")", "gettoken"), 0);
  EXPECT_EQ(local("a"), "x y");
  EXPECT_EQ(local("b"), ",z w");
  ASSERT_EQ(call(cmd_gettoken, "gettoken c b : b, p(\",\")", "gettoken"), 0);
  EXPECT_EQ(local("c"), ",");  // a parse character is a token of its own
  EXPECT_EQ(local("b"), "z w");
  ip.macros.set_local("s", "var1, detail");
  ASSERT_EQ(call(cmd_gettoken, "gettoken a b : s, parse(\" ,\")", "gettoken"), 0);
  EXPECT_EQ(local("a"), "var1");
  EXPECT_EQ(local("b"), ", detail");
  ip.macros.set_local("s", "a=b");
  ASSERT_EQ(call(cmd_gettoken, "gettoken a b : s, parse(\"=\")", "gettoken"), 0);
  EXPECT_EQ(local("a"), "a");
  EXPECT_EQ(local("b"), "=b");
}

TEST_F(HelpersTest, GettokenQuotesQedMatchAndBind) {
  ip.macros.set_local("s", "\"a b\" c");
  ASSERT_EQ(call(cmd_gettoken, "gettoken t r : s, qed(q)", "gettoken"), 0);
  EXPECT_EQ(local("t"), "a b");
  EXPECT_EQ(local("r"), " c");
  EXPECT_EQ(local("q"), "1");
  ASSERT_EQ(call(cmd_gettoken, "gettoken t : s, quotes", "gettoken"), 0);
  EXPECT_EQ(local("t"), "\"a b\"");
  ASSERT_EQ(call(cmd_gettoken, "gettoken t : r, qed(q)", "gettoken"), 0);
  EXPECT_EQ(local("q"), "0");
  // Compound quotes nest and keep inner double quotes.
  ip.macros.set_local("s", "`\"x \"y\" `\"z\"'\"' w");
  ASSERT_EQ(call(cmd_gettoken, "gettoken t r : s", "gettoken"), 0);
  EXPECT_EQ(local("t"), "x \"y\" `\"z\"'");
  EXPECT_EQ(local("r"), " w");

  ip.macros.set_local("s", "(a (b) c) d");
  ASSERT_EQ(call(cmd_gettoken, "gettoken t r : s, match(m)", "gettoken"), 0);
  EXPECT_EQ(local("t"), "a (b) c");
  EXPECT_EQ(local("r"), " d");
  EXPECT_EQ(local("m"), "(");
  ip.macros.set_local("s", "[1 2]");
  ASSERT_EQ(call(cmd_gettoken, "gettoken t : s, match(m)", "gettoken"), 0);
  EXPECT_EQ(local("t"), "1 2");
  EXPECT_EQ(local("m"), "[");
  ASSERT_EQ(call(cmd_gettoken, "gettoken t : r, match(m)", "gettoken"), 0);
  EXPECT_EQ(local("t"), "d");
  EXPECT_EQ(local("m"), "<undefined>");
  ip.macros.set_local("s", "(a b");
  EXPECT_EQ(call(cmd_gettoken, "gettoken t : s, match(m)", "gettoken"), 132);
  EXPECT_EQ(local("t"), "d");  // a failure changes nothing

  ip.macros.set_local("s", "f(a b) c");
  ASSERT_EQ(call(cmd_gettoken, "gettoken t r : s", "gettoken"), 0);
  EXPECT_EQ(local("t"), "f(a");
  ASSERT_EQ(call(cmd_gettoken, "gettoken t r : s, bind", "gettoken"), 0);
  EXPECT_EQ(local("t"), "f(a b)");
  EXPECT_EQ(local("r"), " c");
}

TEST_F(HelpersTest, GettokenGlobalsAndErrors) {
  ip.macros.set_global("G", "one two");
  ASSERT_EQ(call(cmd_gettoken, "gettoken (global) H (local) rest : (global) G", "gettoken"), 0);
  ASSERT_NE(ip.macros.global("H"), nullptr);
  EXPECT_EQ(*ip.macros.global("H"), "one");
  EXPECT_EQ(local("rest"), " two");
  EXPECT_EQ(*ip.macros.global("G"), "one two");

  EXPECT_EQ(call(cmd_gettoken, "gettoken a b", "gettoken"), 198);
  EXPECT_EQ(call(cmd_gettoken, "gettoken : s", "gettoken"), 198);
  EXPECT_EQ(call(cmd_gettoken, "gettoken a b c : s", "gettoken"), 198);
  EXPECT_EQ(call(cmd_gettoken, "gettoken a :", "gettoken"), 198);
  EXPECT_EQ(call(cmd_gettoken, "gettoken a-b : s", "gettoken"), 198);
  EXPECT_EQ(printed, "a-b invalid name\n");
  EXPECT_EQ(call(cmd_gettoken, "gettoken (global) _g : s", "gettoken"), 198);
  EXPECT_EQ(call(cmd_gettoken, "gettoken (static) g : s", "gettoken"), 198);
  EXPECT_EQ(call(cmd_gettoken, "gettoken a : s, nonsense", "gettoken"), 198);
  EXPECT_EQ(printed, "option nonsense not allowed\n");
  EXPECT_EQ(call(cmd_gettoken, "gettoken a : s, qed(1-x)", "gettoken"), 198);
}

// ---- tokenize and args

TEST_F(HelpersTest, TokenizeSetsPositionalLocalsAndClearsOldOnes) {
  for (int k = 1; k <= 6; ++k) ip.macros.set_local(std::to_string(k), "old");
  ASSERT_EQ(call(cmd_tokenize, "tokenize a b \"c d\" e", "tokenize"), 0);
  EXPECT_EQ(local("1"), "a");
  EXPECT_EQ(local("2"), "b");
  EXPECT_EQ(local("3"), "c d");
  EXPECT_EQ(local("4"), "e");
  EXPECT_EQ(local("5"), "<undefined>");
  EXPECT_EQ(local("6"), "<undefined>");

  ASSERT_EQ(call(cmd_tokenize, "tokenize \"x y,z\", parse(\",\")", "tokenize"), 0);
  EXPECT_EQ(local("1"), "x y");
  EXPECT_EQ(local("2"), ",");
  EXPECT_EQ(local("3"), "z");
  EXPECT_EQ(local("4"), "<undefined>");

  ASSERT_EQ(call(cmd_tokenize, "tokenize `\"p \"q r\" s\"'", "tokenize"), 0);
  EXPECT_EQ(local("1"), "p");
  EXPECT_EQ(local("2"), "q r");
  EXPECT_EQ(local("3"), "s");

  // Two separately quoted words are not one quoted string.
  ASSERT_EQ(call(cmd_tokenize, "tokenize \"a\" \"b\"", "tokenize"), 0);
  EXPECT_EQ(local("1"), "a");
  EXPECT_EQ(local("2"), "b");
  EXPECT_EQ(local("3"), "<undefined>");

  ASSERT_EQ(call(cmd_tokenize, "tokenize", "tokenize"), 0);
  EXPECT_EQ(local("1"), "<undefined>");
  EXPECT_EQ(call(cmd_tokenize, "tokenize a, foo", "tokenize"), 198);
}

TEST_F(HelpersTest, ArgsNamesThePositionalArguments) {
  ip.macros.set_local("1", "x");
  ip.macros.set_local("2", "y z");
  ip.macros.set_local("c", "old");
  ASSERT_EQ(call(cmd_args, "args a b c", "args"), 0);
  EXPECT_EQ(local("a"), "x");
  EXPECT_EQ(local("b"), "y z");
  EXPECT_EQ(local("c"), "<undefined>");  // no third argument
  // More arguments than names is no error; the rest stay where they are.
  ip.macros.set_local("3", "w");
  ASSERT_EQ(call(cmd_args, "args only", "args"), 0);
  EXPECT_EQ(local("only"), "x");
  EXPECT_EQ(local("3"), "w");
  // A name that is itself a positional local gets the old value.
  ASSERT_EQ(call(cmd_args, "args 2 1", "args"), 0);
  EXPECT_EQ(local("2"), "x");
  EXPECT_EQ(local("1"), "y z");

  EXPECT_EQ(call(cmd_args, "args", "args"), 198);
  EXPECT_EQ(call(cmd_args, "args a b-c", "args"), 198);
  EXPECT_EQ(printed, "b-c invalid name\n");
  EXPECT_EQ(call(cmd_args, "args abcdefghijabcdefghijabcdefghijab", "args"), 198);  // 32 characters
}

// ---- confirm and unabcmd

TEST_F(HelpersTest, ConfirmTextForms) {
  EXPECT_EQ(call(cmd_confirm, "confirm existence", "confirm"), 6);
  EXPECT_EQ(printed, "");
  EXPECT_EQ(call(cmd_confirm, "confirm e \"\"", "confirm"), 6);
  EXPECT_EQ(call(cmd_confirm, "confirm existence x", "confirm"), 0);

  for (const char* ok : {"1", "-1.5", "+.5", "2e-3", "1E10", ".", ".z", " 7 "})
    EXPECT_EQ(call(cmd_confirm, std::string("confirm number ") + ok, "confirm"), 0) << ok;
  for (const char* bad : {"abc", "1e", "1.2.3", "--1", "1 2", ".5a", "0x1F", "nan"}) {
    EXPECT_EQ(call(cmd_confirm, std::string("confirm n ") + bad, "confirm"), 7) << bad;
    EXPECT_EQ(printed, "'" + std::string(bad) + "' found where number expected\n");
  }
  EXPECT_EQ(call(cmd_confirm, "confirm integer number -12", "confirm"), 0);
  EXPECT_EQ(call(cmd_confirm, "confirm int n 1e3", "confirm"), 0);
  EXPECT_EQ(call(cmd_confirm, "confirm integer number 1.5", "confirm"), 7);
  EXPECT_EQ(printed, "'1.5' found where integer expected\n");
  EXPECT_EQ(call(cmd_confirm, "confirm integer number .", "confirm"), 7);
  EXPECT_EQ(call(cmd_confirm, "confirm integer", "confirm"), 198);

  EXPECT_EQ(call(cmd_confirm, "confirm names a _b c3", "confirm"), 0);
  EXPECT_EQ(call(cmd_confirm, "confirm name a 1x", "confirm"), 7);
  EXPECT_EQ(printed, "1x invalid name\n");
  EXPECT_EQ(call(cmd_confirm, "confirm names abcdefghijabcdefghijabcdefghijabc", "confirm"), 7);  // 33
  EXPECT_EQ(call(cmd_confirm, "confirm names", "confirm"), 7);

  EXPECT_EQ(call(cmd_confirm, "confirm format %9.2f", "confirm"), 0);
  EXPECT_EQ(call(cmd_confirm, "confirm format %9.2z", "confirm"), 7);
  EXPECT_EQ(printed, "'%9.2z' found where format expected\n");
  EXPECT_EQ(call(cmd_confirm, "confirm numeric format %10.0g", "confirm"), 0);
  EXPECT_EQ(call(cmd_confirm, "confirm numeric format %9s", "confirm"), 7);
  EXPECT_EQ(printed, "'%9s' found where numeric format expected\n");
  EXPECT_EQ(call(cmd_confirm, "confirm string format %-12s", "confirm"), 0);
  EXPECT_EQ(call(cmd_confirm, "confirm str format %9.2f", "confirm"), 7);
  EXPECT_EQ(printed, "'%9.2f' found where string format expected\n");

  EXPECT_EQ(call(cmd_confirm, "confirm matrix A", "confirm"), 111);
  EXPECT_EQ(printed, "matrix A not found\n");
  EXPECT_EQ(call(cmd_confirm, "confirm scalar s", "confirm"), 111);
  EXPECT_EQ(printed, "scalar s not found\n");
  EXPECT_EQ(call(cmd_confirm, "confirm blah x", "confirm"), 198);
  EXPECT_EQ(call(cmd_confirm, "confirm", "confirm"), 198);
  EXPECT_EQ(call(cmd_confirm, "confirm new thing x", "confirm"), 198);
}

TEST_F(HelpersTest, ConfirmFiles) {
  char dir[] = "/tmp/nuvra_confirm_XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  std::string d = dir;
  std::string f = d + "/a file.txt";
  FILE* fp = std::fopen(f.c_str(), "w");
  ASSERT_NE(fp, nullptr);
  std::fclose(fp);

  EXPECT_EQ(call(cmd_confirm, "confirm file \"" + f + "\"", "confirm"), 0);
  EXPECT_EQ(call(cmd_confirm, "confirm file \"" + d + "/none\"", "confirm"), 601);
  EXPECT_EQ(printed, "file " + d + "/none not found\n");
  EXPECT_EQ(call(cmd_confirm, "confirm file " + d, "confirm"), 601);  // a directory is no file
  EXPECT_EQ(call(cmd_confirm, "confirm new file \"" + f + "\"", "confirm"), 602);
  EXPECT_EQ(printed, "file " + f + " already exists\n");
  std::string fresh = d + "/new one.txt";
  EXPECT_EQ(call(cmd_confirm, "confirm new file \"" + fresh + "\"", "confirm"), 0);
  EXPECT_NE(access(fresh.c_str(), F_OK), 0);  // the check leaves nothing behind
  EXPECT_EQ(call(cmd_confirm, "confirm new file " + d + "/no/such/dir.txt", "confirm"), 603);
  EXPECT_EQ(printed, "file " + d + "/no/such/dir.txt could not be opened\n");

  std::remove(f.c_str());
  rmdir(dir);
}

TEST_F(HelpersTest, Unabcmd) {
  EXPECT_EQ(call(cmd_unabcmd, "unabcmd g", "unabcmd"), 0);
  EXPECT_EQ(ip.r_results.macros["cmd"], "generate");  // generate comes first in the table
  EXPECT_EQ(call(cmd_unabcmd, "unabcmd tokeni", "unabcmd"), 0);
  EXPECT_EQ(ip.r_results.macros["cmd"], "tokenize");
  EXPECT_EQ(call(cmd_unabcmd, "unabcmd q", "unabcmd"), 0);
  EXPECT_EQ(ip.r_results.macros["cmd"], "query");
  Program p;
  p.name = "myprog";
  ip.programs.add(p);
  EXPECT_EQ(call(cmd_unabcmd, "unabcmd myprog", "unabcmd"), 0);
  EXPECT_EQ(ip.r_results.macros["cmd"], "myprog");
  EXPECT_EQ(call(cmd_unabcmd, "unabcmd mypr", "unabcmd"), 199);  // programs are not abbreviated
  EXPECT_EQ(printed, "unrecognized command:  mypr\n");
  EXPECT_EQ(call(cmd_unabcmd, "unabcmd gettok", "unabcmd"), 199);  // below gettoken's minimum
  EXPECT_EQ(call(cmd_unabcmd, "unabcmd", "unabcmd"), 198);
  EXPECT_EQ(call(cmd_unabcmd, "unabcmd a b", "unabcmd"), 198);
}

}  // namespace
}  // namespace nuvra
