// Macro expansion, the scalar evaluator and the number format, through a
// real interpreter with captured output.
#include "interp/interp.h"

#include <gtest/gtest.h>

#include "interp/expand.h"
#include "interp/simple_expr.h"
#include "test_side.h"

namespace nuvra {
namespace {

class InterpTest : public ::testing::Test {
 protected:
  InterpTest() : ip(&side) {}

  std::string expand(std::string line, rc_t want_rc = 0) {
    rc_t rc = expand_macros(ip, line);
    EXPECT_EQ(rc, want_rc) << line;
    return line;
  }
  std::string run(std::string_view line) {
    side.text.clear();
    last_rc = ip.execute_line(line);
    ip.out.flush();
    return side.text;
  }
  double num(std::string_view e) {
    ExprValue v;
    size_t used = 0;
    EXPECT_EQ(eval_expression(ip, e, &v, &used), 0) << e;
    EXPECT_EQ(used, e.size()) << e;
    EXPECT_FALSE(v.is_string) << e;
    return v.num;
  }

  testing::CaptureSide side;
  Interp ip;
  rc_t last_rc = 0;
};

TEST_F(InterpTest, LocalAndGlobalReferences) {
  ip.macros.set_local("a", "alpha");
  ip.macros.set_local("n", "2");
  ip.macros.set_local("x2", "built");
  ip.macros.set_global("g", "gamma");
  ip.macros.set_global("long_global_name_1", "L");
  EXPECT_EQ(expand("di `a' $g ${g}x $gx"), "di alpha gamma gammax");
  EXPECT_EQ(expand("`x`n''"), "built");       // inner reference first
  EXPECT_EQ(expand("$ 5 $% $"), "$ 5 $% $");  // "$" before other characters stays
  EXPECT_EQ(expand("`undefined'|"), "|");
  EXPECT_EQ(expand("${long_global_name_1}"), "L");
  EXPECT_EQ(expand("$_a"), "alpha");  // locals are kept under a "_" prefix
}

TEST_F(InterpTest, BackslashEscapes) {
  ip.macros.set_global("g", "G");
  ip.macros.set_local("l", "L");
  EXPECT_EQ(expand("a\\$g b"), "a$g b");
  EXPECT_EQ(expand("\\`l'"), "`l'");
  EXPECT_EQ(expand("\\\\$g"), "\\G");           // two backslashes become one before "$"
  EXPECT_EQ(expand("c:\\\\dir"), "c:\\\\dir");  // elsewhere they stay from version 9 on
  ip.version = 800;
  EXPECT_EQ(expand("c:\\\\dir"), "c:\\dir");
}

TEST_F(InterpTest, SubstitutedTextIsScannedAgain) {
  ip.macros.set_global("a", "$b");
  ip.macros.set_global("b", "end");
  ip.macros.set_global("c", "x `l' y");
  ip.macros.set_local("l", "L");
  EXPECT_EQ(expand("$a"), "end");
  EXPECT_EQ(expand("$c"), "x L y");
  ip.macros.set_global("self", "$self");
  expand("$self", 920);
  // A chain of 20 re-expansions is allowed, 21 is not.
  for (int k = 0; k < 21; ++k)
    ip.macros.set_global("c" + std::to_string(k), "$c" + std::to_string(k + 1));
  ip.macros.set_global("c21", "done");
  expand("$c0", 920);
  EXPECT_EQ(expand("$c1"), "done");
}

TEST_F(InterpTest, MacvalIsNotScannedAgain) {
  ip.macros.set_local("inner", "`other'");
  ip.macros.set_local("other", "X");
  EXPECT_EQ(expand("`inner'"), "X");
  EXPECT_EQ(expand("`macval(inner)'"), "`other'");
}

TEST_F(InterpTest, IncrementForms) {
  ip.macros.set_local("i", "5");
  EXPECT_EQ(expand("`i++' `i'"), "5 6");
  EXPECT_EQ(expand("`++i'"), "7");
  EXPECT_EQ(expand("`--i' `i--' `i'"), "6 6 5");
  expand("`nope++'", 111);
  EXPECT_NE(side.text.find("local macro `nope' not found"), std::string::npos);
  ip.macros.set_local("s", "abc");
  expand("`s++'", 109);
}

TEST_F(InterpTest, PositionalAndExpressionReferences) {
  ip.macros.set_local("1", "a");
  ip.macros.set_local("2", "b c");
  ip.macros.set_local("4", "d");
  EXPECT_EQ(expand("[`*']"), "[a b c]");  // stops at the first missing one
  EXPECT_EQ(expand("`=2+3' `=1/4' `=\"s\"+\"t\"'"), "5 .25 st");
  EXPECT_EQ(expand("[`=1+']"), "[]");  // a failing expression gives empty text
}

TEST_F(InterpTest, NameLengthDependsOnVersion) {
  ip.macros.set_global("abcdefgh", "8");
  ip.macros.set_global("abcdefghij", "10");
  EXPECT_EQ(expand("$abcdefghij"), "10");
  ip.version = 600;
  EXPECT_EQ(expand("$abcdefghij"), "8ij");
}

TEST_F(InterpTest, ExpansionLongerThanTheLineLimitFails) {
  ip.macros.set_global("big", std::string(100000, 'x'));
  expand("$big $big", 920);
  EXPECT_EQ(expand("$big").size(), 100000u);
}

TEST_F(InterpTest, ArithmeticPrecedence) {
  EXPECT_EQ(num("-2^2"), -4);
  EXPECT_EQ(num("2^3^2"), 64);
  EXPECT_EQ(num("2+3*4"), 14);
  EXPECT_EQ(num("(2+3)*4"), 20);
  EXPECT_EQ(num("10-4-3"), 3);
  EXPECT_EQ(num("24/4/3"), 2);
  EXPECT_EQ(num("1 < 2 & 2 < 1 | 1"), 1);
  EXPECT_EQ(num("!0 + !5"), 1);
  EXPECT_EQ(num("3 == 3"), 1);
  EXPECT_EQ(num("\"b\" > \"a\""), 1);
  EXPECT_EQ(num("1e-5 * 1e5"), 1);
  EXPECT_EQ(num("2^-1"), 0.5);
  EXPECT_EQ(num("-2^-2"), -0.25);
}

TEST_F(InterpTest, MissingValues) {
  EXPECT_TRUE(is_missing(num(".")));
  EXPECT_TRUE(is_missing(num("1/0")));
  EXPECT_TRUE(is_missing(num(". + 1")));
  EXPECT_EQ(num(". > 1e300"), 1);
  EXPECT_EQ(num(".a > ."), 1);
  EXPECT_EQ(num(".z > .a"), 1);
  EXPECT_EQ(format_number_g(num(".b"), 9), ".b");
}

TEST_F(InterpTest, NumberFormat) {
  EXPECT_EQ(format_number_g(5, 9), "5");
  EXPECT_EQ(format_number_g(-5, 9), "-5");
  EXPECT_EQ(format_number_g(0.25, 9), ".25");
  EXPECT_EQ(format_number_g(-0.25, 9), "-.25");
  // Fractions keep a column for the sign, so 1/3 and -1/3 show the same digits.
  EXPECT_EQ(format_number_g(1.0 / 3, 9), ".3333333");
  EXPECT_EQ(format_number_g(-1.0 / 3, 9), "-.3333333");
  EXPECT_EQ(format_number_g(2.0 / 3, 9), ".6666667");
  EXPECT_EQ(format_number_g(123456789, 9), "123456789");
  EXPECT_EQ(format_number_g(0.1, 18), ".1");
  EXPECT_EQ(format_number_g(1.0 / 3, 18), ".3333333333333333");
  EXPECT_EQ(format_number_g(1e15, 18), "1000000000000000");
}

TEST_F(InterpTest, TypeMismatchAndUnknownNames) {
  ExprValue v;
  size_t used;
  EXPECT_EQ(eval_expression(ip, "\"a\" + 1", &v, &used), 109);
  EXPECT_EQ(eval_expression(ip, "nosuch + 1", &v, &used), 111);
  EXPECT_EQ(eval_expression(ip, "(1 + 2", &v, &used), 132);
  EXPECT_EQ(eval_expression(ip, "1 +", &v, &used), 198);
}

TEST_F(InterpTest, PrefixesRestoreTheirState) {
  EXPECT_EQ(run("quietly display 1"), "");
  EXPECT_EQ(ip.out.threshold(), 0);
  EXPECT_EQ(run("capture error 459"), "");
  EXPECT_EQ(last_rc, 0);
  EXPECT_EQ(ip.captured_rc, 459);
  EXPECT_EQ(run("capture noisily display 7"), "7\n");
  EXPECT_EQ(run("quietly error 111"), "no variables defined\n");  // errors still show
  EXPECT_EQ(last_rc, 111);
  EXPECT_EQ(run("version 8: version"), "version 8.0\n");
  EXPECT_EQ(ip.version, 1010);
  EXPECT_EQ(run("version 9.2"), "");
  EXPECT_EQ(ip.version, 920);
  EXPECT_FALSE(ip.modern_missing == false);
  EXPECT_EQ(run("version 7"), "");
  EXPECT_FALSE(ip.modern_missing);
  EXPECT_EQ(run("version 7, missing"), "");
  EXPECT_TRUE(ip.modern_missing);
  EXPECT_EQ(run("nobreak break display 1"), "1\n");
  EXPECT_TRUE(ip.break_allowed);
}

TEST_F(InterpTest, CommandSerialNumberWraps) {
  ip.serial = 2147483645u;
  run("display 1");
  EXPECT_EQ(ip.serial, 2147483646u);
  run("display 1");
  EXPECT_EQ(ip.serial, 1u);
}

TEST_F(InterpTest, MacroDefinitions) {
  run("local a \"quoted text\"");
  EXPECT_EQ(*ip.macros.local("a"), "quoted text");
  run("local b `\"say \"hi\"\"'");
  EXPECT_EQ(*ip.macros.local("b"), "say \"hi\"");
  run("local c = 1/8");
  EXPECT_EQ(*ip.macros.local("c"), ".125");
  run("local c");
  EXPECT_EQ(ip.macros.local("c"), nullptr);
  run("global _bad x");
  EXPECT_EQ(last_rc, 198);
  run("global g  spaced  text ");
  EXPECT_EQ(*ip.macros.global("g"), "spaced  text");
  run("local d \"unbalanced");
  EXPECT_EQ(last_rc, 198);
  run("local ++e");
  EXPECT_EQ(last_rc, 111);
  run("local e 1");
  run("local ++e");
  EXPECT_EQ(*ip.macros.local("e"), "2");
  run("global ++e");
  EXPECT_EQ(last_rc, 198);
}

}  // namespace
}  // namespace nuvra

namespace nuvra {
namespace {

TEST_F(InterpTest, PositionalLocalsCanBeSet) {
  run("local 0 a b");
  EXPECT_EQ(*ip.macros.local("0"), "a b");
  run("local 2 x");
  EXPECT_EQ(*ip.macros.local("2"), "x");
  run("global 2 x");
  EXPECT_EQ(last_rc, 198);  // global names still begin with a letter
}

}  // namespace
}  // namespace nuvra
