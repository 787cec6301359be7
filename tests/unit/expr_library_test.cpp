// The string, regular-expression, date and time functions as expressions
// reach them: each through the compiler and evaluator, the regular-
// expression state shared with the macro functions, and a table that gives
// every function bad arguments.
#include <cmath>

#include "data/functions/dates.h"
#include "expr_fixture.h"
#include "interp/macro_functions.h"

namespace nuvra {
namespace {

using testing::ExprTest;
using testing::is_dot;

TEST_F(ExprTest, StringLibrary) {
  EXPECT_EQ(num("indexnot(\"aabc\", \"ab\")"), 4);
  EXPECT_EQ(num("indexnot(\"abab\", \"ab\")"), 0);
  EXPECT_EQ(num("indexnot(\"\", \"ab\")"), 0);
  EXPECT_EQ(num("indexnot(\"xa\", \"\")"), 1);
  EXPECT_EQ(num("strmatch(\"hello\", \"h*o\")"), 1);
  EXPECT_EQ(num("strmatch(\"hello\", \"h?llo\")"), 1);
  EXPECT_EQ(num("strmatch(\"hello\", \"h?lo\")"), 0);
  EXPECT_EQ(num("strmatch(\"hello\", \"*l*l*\")"), 1);
  EXPECT_EQ(num("strmatch(\"hello\", \"*\")"), 1);
  EXPECT_EQ(num("strmatch(\"\", \"*\")"), 1);
  EXPECT_EQ(num("strmatch(\"\", \"?\")"), 0);
  EXPECT_EQ(num("match(\"abcabd\", \"*abd\")"), 1);  // the star has to back up
  EXPECT_EQ(num("strmatch(\"Hello\", \"hello\")"), 0);
  EXPECT_EQ(str("strsubdp(\"1,234.5\")"), "1.234,5");
  EXPECT_EQ(str("proper(\"mR. joHN o'neil 3rd\")"), "Mr. John O'Neil 3Rd");
  for (const char* bad : {"1e", "--1", "1.2.3", "+", "1 2", "0x10", "inf", "nan", "1,5", "."})
    EXPECT_TRUE(is_dot(num(std::string("real(\"") + bad + "\")"))) << bad;
  EXPECT_EQ(num("real(\" -1.5e2 \")"), -150);
  EXPECT_EQ(num("fmtwidth(\"%9.2f\")"), 9);
  EXPECT_EQ(num("fmtwidth(\"%tc\")"), 18);
  EXPECT_TRUE(is_dot(num("fmtwidth(\"%q\")")));
  EXPECT_EQ(str("string(mdy(2,29,2000), \"%td\")"), "29feb2000");
}

TEST_F(ExprTest, NumericHelpersOfTheStringTables) {
  // autocode(x, n, lo, hi): the upper bound of x's interval among n equal ones.
  EXPECT_EQ(num("autocode(0.3, 4, 0, 1)"), 0.5);
  EXPECT_EQ(num("autocode(0.5, 4, 0, 1)"), 0.5);  // a bound belongs to the interval below it
  EXPECT_EQ(num("autocode(-3, 4, 0, 1)"), 0.25);
  EXPECT_EQ(num("autocode(7, 4, 0, 1)"), 1);
  EXPECT_EQ(num("autocode(0.1, 10, 0, 1)"), 0.1);
  EXPECT_TRUE(is_dot(num("autocode(0.3, 0, 0, 1)")));
  EXPECT_TRUE(is_dot(num("autocode(0.3, 2.5, 0, 1)")));
  EXPECT_TRUE(is_dot(num("autocode(0.3, 4, 1, 0)")));
  EXPECT_EQ(num("clip(5, 1, 3)"), 3);
  EXPECT_EQ(num("clip(-5, 1, 3)"), 1);
  EXPECT_EQ(num("clip(5, 1, .)"), 5);
  EXPECT_EQ(num("clip(-5, ., 3)"), -5);
  EXPECT_TRUE(is_dot(num("clip(., 1, 3)")));
  EXPECT_TRUE(is_dot(num("clip(2, 3, 1)")));
  EXPECT_EQ(num("chop(2.0000001, 1e-6)"), 2);
  EXPECT_EQ(num("chop(2.1, 1e-6)"), 2.1);
  EXPECT_EQ(num("chop(-2.9999999, 1e-6)"), -3);
  // group(3) over 7 observations: 1 + int(3 (_n-1) / 7).
  add("x", data::kDouble, {1, 2, 3, 4, 5, 6, 7});
  const double want[7] = {1, 1, 1, 2, 2, 3, 3};
  for (int i = 1; i <= 7; ++i) EXPECT_EQ(num("group(3)", i), want[i - 1]) << i;
  EXPECT_TRUE(is_dot(num("group(-1)")));
}

TEST_F(ExprTest, RegularExpressionsShareTheirStateWithTheMacroFunctions) {
  EXPECT_EQ(num("regexm(\"key=val\", \"([a-z]+)=([a-z]+)\")"), 1);
  EXPECT_EQ(str("regexs(0)"), "key=val");
  EXPECT_EQ(str("regexs(2)"), "val");
  EXPECT_EQ(str("regexs(3)"), "");
  EXPECT_EQ(str("regexs(1.5)"), "");
  // The macro function sees the expression's match, and the other way round.
  std::string out;
  ASSERT_EQ(macro_function(ip, "regexs 1", &out), 0);
  EXPECT_EQ(out, "key");
  ASSERT_EQ(macro_function(ip, "regexm \"ab12\" \"[0-9]+\"", &out), 0);
  EXPECT_EQ(str("regexs(0)"), "12");
  // Leftmost-longest, as POSIX extended expressions match.
  EXPECT_EQ(num("regexm(\"xyz\", \"x|xy\")"), 1);
  EXPECT_EQ(str("regexs(0)"), "xy");
  EXPECT_EQ(num("regex(\"abc\", \"^b\")"), 0);
  EXPECT_EQ(str("regexs(0)"), "");
  EXPECT_EQ(str("regexr(\"a1b22c\", \"[0-9]+\", \"#\")"), "a#b22c");
  EXPECT_EQ(str("regexr(\"john smith\", \"([a-z]+) ([a-z]+)\", \"\\2, \\1\")"), "smith, john");
  EXPECT_EQ(str("regexr(\"abc\", \"z\", \"#\")"), "abc");
  // A pattern that is no expression: `.` and "" (evaluation never stops).
  EXPECT_TRUE(is_dot(num("regexm(\"a\", \"(a\")")));
  EXPECT_EQ(str("regexs(0)"), "");
  EXPECT_EQ(str("regexr(\"a\", \"[\", \"b\")"), "");
  // Over observations: the pattern is compiled once and used for each.
  add_str("s", 10, {"a1", "b", "c22"});
  EXPECT_EQ(num("regexm(s, \"[0-9]\")", 1), 1);
  EXPECT_EQ(num("regexm(s, \"[0-9]\")", 2), 0);
  EXPECT_EQ(num("regexm(s, \"[0-9]\")", 3), 1);
  EXPECT_FALSE(prog.once);
}

TEST_F(ExprTest, DatesThroughTheCompiler) {
  EXPECT_EQ(num("mdy(2,29,2000)"), 14669);
  EXPECT_EQ(num("date(\"29feb2000\", \"DMY\")"), 14669);
  EXPECT_EQ(num("daily(\"2/29/00\", \"MDY\", 2020)"), 14669);
  EXPECT_TRUE(is_dot(num("date(\"2/29/00\", \"MDY\")")));
  EXPECT_EQ(num("clock(\"29feb2000 13:14:15.5\", \"DMYhms\")"), 14669 * 86400000.0 + 47655500);
  EXPECT_EQ(num("monthly(\"2000m2\", \"YM\")"), 481);
  EXPECT_EQ(num("quarterly(\"2000q1\", \"YQ\")"), 160);
  EXPECT_EQ(num("halfyearly(\"2000h1\", \"YH\")"), 80);
  EXPECT_EQ(num("weekly(\"2000w9\", \"YW\")"), 40 * 52 + 8);
  EXPECT_EQ(num("yearly(\"2000\", \"Y\")"), 2000);
  EXPECT_EQ(num("dofm(ym(2000,2)) == mdy(2,1,2000)"), 1);
  EXPECT_EQ(num("year(dofc(clock(\"1jan2001 00:00\", \"DMYhm\") - 1))"), 2000);
  EXPECT_EQ(compile("date(1, \"DMY\")"), 109);
  EXPECT_EQ(compile("date(\"1jan2000\", \"DMY\", \"x\")"), 109);
  EXPECT_EQ(compile("date(\"1jan2000\")"), 198);
  // The date functions take whole blocks of observations at once.
  EXPECT_EQ(compile("dow(mdy(1,1,2000)) + hh(1)"), 0);
  EXPECT_TRUE(expr::block_ok(prog));
}

// Every date, time and string function of these tables with bad arguments.
struct BadCase {
  const char* name;
  std::vector<const char*> args;  // a valid call's arguments
  unsigned integer;               // bit k: argument k must be an integer
  unsigned positive;              // bit k: argument k must not be negative
  unsigned huge_ok;               // bit k: maxdouble() is a legal value
  bool string_result;
  unsigned missing_ok = 0;        // bit k: a missing argument k means "no limit"
};

TEST_F(ExprTest, EveryFunctionGivesMissingForBadArguments) {
  static const BadCase kCases[] = {
      {"mdy", {"2", "29", "2000"}, 7, 7, 0, false},
      {"day", {"100"}, 0, 0, 0, false},        {"month", {"100"}, 0, 0, 0, false},
      {"year", {"100"}, 0, 0, 0, false},       {"yofd", {"100"}, 0, 0, 0, false},
      {"dow", {"100"}, 0, 0, 0, false},        {"doy", {"100"}, 0, 0, 0, false},
      {"week", {"100"}, 0, 0, 0, false},       {"quarter", {"100"}, 0, 0, 0, false},
      {"halfyear", {"100"}, 0, 0, 0, false},
      {"dofy", {"2000"}, 0, 1, 0, false},      {"dofh", {"80"}, 0, 0, 0, false},
      {"dofq", {"160"}, 0, 0, 0, false},       {"dofm", {"481"}, 0, 0, 0, false},
      {"dofw", {"2088"}, 0, 0, 0, false},      {"dofd", {"100"}, 0, 0, 0, false},
      {"hofd", {"100"}, 0, 0, 0, false},       {"qofd", {"100"}, 0, 0, 0, false},
      {"mofd", {"100"}, 0, 0, 0, false},       {"wofd", {"100"}, 0, 0, 0, false},
      {"yw", {"2000", "9"}, 3, 3, 0, false},   {"ym", {"2000", "2"}, 3, 3, 0, false},
      {"yq", {"2000", "1"}, 3, 3, 0, false},   {"yh", {"2000", "1"}, 3, 3, 0, false},
      {"cofd", {"100"}, 0, 0, 0, false},       {"Cofd", {"100"}, 0, 0, 0, false},
      {"dofc", {"1e9"}, 0, 0, 0, false},       {"dofC", {"1e9"}, 0, 0, 0, false},
      {"Cofc", {"1e9"}, 0, 0, 0, false},       {"cofC", {"1e9"}, 0, 0, 0, false},
      {"hh", {"1e9"}, 0, 0, 0, false},         {"mm", {"1e9"}, 0, 0, 0, false},
      {"ss", {"1e9"}, 0, 0, 0, false},         {"hhC", {"1e9"}, 0, 0, 0, false},
      {"mmC", {"1e9"}, 0, 0, 0, false},        {"ssC", {"1e9"}, 0, 0, 0, false},
      {"hms", {"1", "2", "3"}, 3, 7, 0, false},
      {"Chms", {"1", "2", "3"}, 3, 7, 0, false},
      {"dhms", {"100", "1", "2", "3"}, 7, 14, 0, false},
      {"Cdhms", {"100", "1", "2", "3"}, 7, 14, 0, false},
      {"mdyhms", {"2", "29", "2000", "1", "2", "3"}, 31, 63, 0, false},
      {"Cmdyhms", {"2", "29", "2000", "1", "2", "3"}, 31, 63, 0, false},
      {"hours", {"1e6"}, 0, 0, 1, false},      {"minutes", {"1e6"}, 0, 0, 1, false},
      {"seconds", {"1e6"}, 0, 0, 1, false},    {"msofhours", {"2"}, 0, 0, 1, false},
      {"msofminutes", {"2"}, 0, 0, 1, false},  {"msofseconds", {"2"}, 0, 0, 1, false},
      {"autocode", {"0.3", "4", "0", "1"}, 2, 2, 13, false},
      {"clip", {"2", "1", "3"}, 0, 0, 7, false, 6},
      {"chop", {"2", "1e-6"}, 0, 0, 3, false},
      {"group", {"3"}, 0, 1, 1, false},
      {"regexs", {"0"}, 1, 1, 0, true},
      {"date", {"\"1jan00\"", "\"DMY\"", "2020"}, 4, 4, 0, false},
      {"clock", {"\"1jan00 1:2\"", "\"DMYhm\"", "2020"}, 4, 4, 0, false},
      {"monthly", {"\"00m1\"", "\"YM\"", "2020"}, 4, 4, 0, false},
  };
  add("x", data::kDouble, {1, 2, 3});
  const char* kMissingForms[] = {".", ".a", ".z"};
  for (const BadCase& c : kCases) {
    auto call = [&](size_t k, const char* replacement) {
      std::string t = std::string(c.name) + "(";
      for (size_t j = 0; j < c.args.size(); ++j) t += std::string(j ? "," : "") + (j == k ? replacement : c.args[j]);
      return t + ")";
    };
    auto missing = [&](const std::string& text) {
      if (c.string_result) return str(text).empty();
      double v = num(text);
      return data::is_missing(v) && !std::isnan(v);
    };
    // The valid call has a value (regexs(0) is "" until something matched).
    if (!c.string_result) {
      EXPECT_FALSE(missing(call(99, ""))) << call(99, "");
    }
    for (size_t k = 0; k < c.args.size(); ++k) {
      if (c.args[k][0] == '"') continue;
      for (const char* m : kMissingForms) {
        if ((c.missing_ok >> k) & 1)
          EXPECT_EQ(num(call(k, m)), 2) << call(k, m);
        else
          EXPECT_TRUE(missing(call(k, m))) << call(k, m);
      }
      const bool huge_ok = (c.huge_ok >> k) & 1;
      for (const char* big : {"maxdouble()", "-maxdouble()", "1e300"}) {
        std::string t = call(k, big);
        if (huge_ok) {
          // A legal value: whatever comes out is a value or `.`, never NaN.
          if (!c.string_result) {
            EXPECT_FALSE(std::isnan(num(t))) << t;
          }
        } else {
          EXPECT_TRUE(missing(t)) << t;
        }
      }
      if ((c.integer >> k) & 1) {
        EXPECT_TRUE(missing(call(k, "1.5"))) << call(k, "1.5");
      }
      if ((c.positive >> k) & 1) {
        EXPECT_TRUE(missing(call(k, "-1"))) << call(k, "-1");
      }
    }
  }
}

}  // namespace
}  // namespace nuvra
