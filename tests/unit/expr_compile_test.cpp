// The expression compiler: precedence and associativity, the rules that
// make + and - binary, numbers, names, errors with their codes and
// messages, the code limit, the emitted codes, function resolution and
// time-series operators.
#include <cmath>

#include "data/expr/functions.h"
#include "expr_fixture.h"

namespace nuvra {
namespace {

using testing::ExprTest;
using testing::is_dot;

TEST_F(ExprTest, PrecedenceAndLeftAssociativity) {
  EXPECT_EQ(num("2-3-4"), -5);
  EXPECT_EQ(num("8/4/2"), 1);
  EXPECT_EQ(num("2^3^2"), 64);
  EXPECT_EQ(num("-2^2"), -4);
  EXPECT_EQ(num("2^-1"), 0.5);
  EXPECT_EQ(num("2*-3-1"), -7);
  EXPECT_EQ(num("2--1"), 3);
  EXPECT_EQ(num("2+-1"), 1);
  EXPECT_EQ(num("-2+5"), 3);  // (-2)+5: binary operators are tried first
  EXPECT_EQ(num("1+2*3^2"), 19);
  EXPECT_EQ(num("(1+2)*3"), 9);
  EXPECT_EQ(num("[1+2]*3"), 9);
  EXPECT_EQ(num("1 < 2 == 1"), 1);  // == is below <
  EXPECT_EQ(num("!0 + 1"), 2);      // + is tried before the unary !
  EXPECT_EQ(num("!-1"), 0);
  EXPECT_EQ(num("1 | 0 & 0"), 1);   // & binds tighter than |
  EXPECT_EQ(num("2 * 3"), 6);       // blanks between tokens are dropped
}

TEST_F(ExprTest, NumbersAndExponentSigns) {
  EXPECT_DOUBLE_EQ(num("1e-5+1"), 1.00001);
  EXPECT_EQ(num("2.5D+3"), 2500);
  EXPECT_EQ(num("2.5d-1"), 0.25);
  EXPECT_EQ(num("1E2-1"), 99);
  EXPECT_EQ(num(".5"), 0.5);
  EXPECT_EQ(num("5."), 5);
  // Hexadecimal notation: mantissa and exponent in base 16.
  EXPECT_EQ(num("1.8X+001"), 3);
  EXPECT_EQ(num("1.0x-1"), 0.5);
  EXPECT_EQ(num("1.8X+1+1"), 4);
  EXPECT_TRUE(is_dot(num(".")));
  EXPECT_EQ(data::missing_code(num(".c")), 3);
  EXPECT_EQ(compile("1.2.3"), 198);
  EXPECT_EQ(compile("1e"), 198);
  EXPECT_EQ(compile(".ab"), 198);
}

TEST_F(ExprTest, AVariableNamedEMakesASubtraction) {
  add("e", data::kDouble, {10});
  add("x1e", data::kDouble, {100});
  EXPECT_EQ(num("e-5"), 5);
  EXPECT_EQ(num("2*e-5"), 15);
  EXPECT_EQ(num("x1e-5"), 95);  // the digit run belongs to a name
  EXPECT_DOUBLE_EQ(num("1e-5"), 0.00001);
}

TEST_F(ExprTest, StringsAndTheirTyping) {
  EXPECT_EQ(str("\"ab\" + \"cd\""), "abcd");
  EXPECT_EQ(str("`\"say \"hi\"\"'"), "say \"hi\"");
  EXPECT_EQ(num("\"a\" < \"b\""), 1);
  EXPECT_EQ(num("\"b\" >= \"b\""), 1);
  EXPECT_EQ(num("\"a\" ~= \"a\""), 0);
  EXPECT_EQ(compile("\"a\" + 1"), 109);
  EXPECT_EQ(printed, "type mismatch\n");
  EXPECT_EQ(compile("1 + \"a\""), 109);
  EXPECT_EQ(compile("\"a\" - \"b\""), 109);
  EXPECT_EQ(compile("-\"a\""), 109);
  EXPECT_EQ(compile("\"a\" & \"b\""), 109);
  EXPECT_EQ(compile("\"a\"", expr::Want::kNumeric), 109);
  EXPECT_EQ(compile("1", expr::Want::kString), 109);
}

TEST_F(ExprTest, UnbalancedTextIs132WithItsMessage) {
  EXPECT_EQ(compile("(1+2"), 132);
  EXPECT_EQ(printed, "too few ')' or ']'\n");
  EXPECT_EQ(compile("1+2)"), 132);
  EXPECT_EQ(printed, "too many ')' or ']'\n");
  EXPECT_EQ(compile("x[1"), 132);
  EXPECT_EQ(compile("\"abc"), 132);
  EXPECT_EQ(printed, "too few quotes\n");
  EXPECT_EQ(compile("`\"abc\""), 132);
}

TEST_F(ExprTest, SyntaxErrorsAre198) {
  for (const char* t : {"", "1+", "*2", "2*", "1 2", "a b", "()", "1=2", "f(1)(2)", "_n[1]", "x[1]y", "==1", "2#3"})
    EXPECT_EQ(compile(t), 198) << t;
  EXPECT_EQ(printed, "invalid syntax\n");
}

TEST_F(ExprTest, NamesAndSystemNames) {
  add("weight", data::kDouble, {3, 4});
  EXPECT_EQ(num("weight"), 3);
  EXPECT_EQ(num("wei + 1"), 4);  // abbreviations are found
  EXPECT_EQ(compile("nosuch"), 111);
  EXPECT_EQ(printed, "variable nosuch not found\n");
  EXPECT_EQ(num("_N"), 2);
  EXPECT_EQ(num("_n"), 1);
  EXPECT_EQ(num("_cons"), 1);
  EXPECT_DOUBLE_EQ(num("_pi"), 3.14159265358979323846);
  ip.captured_rc = 601;
  EXPECT_EQ(num("_rc"), 601);
  EXPECT_EQ(compile("_b[weight]"), 301);
  EXPECT_EQ(compile("_coef[weight]"), 301);
  EXPECT_EQ(compile("_se[weight]"), 301);
  ip.e_results.scalars["N"] = 10;
  EXPECT_EQ(compile("_b[weight]"), 111);
  EXPECT_EQ(printed, "[weight] not found\n");
}

TEST_F(ExprTest, SavedResultsAndScalars) {
  ip.r_results.scalars["N"] = 12;
  ip.r_results.macros["cmd"] = "summarize";
  EXPECT_EQ(num("r(N)/4"), 3);
  EXPECT_EQ(str("r(cmd)"), "summarize");
  EXPECT_TRUE(is_dot(num("r(nosuch)")));
  EXPECT_EQ(num("e(sample)"), 0);  // no estimation sample marked
  ip.scalars["s1"] = ScalarValue{false, 2.5, ""};
  ip.scalars["t"] = ScalarValue{true, 0, "txt"};
  EXPECT_EQ(num("s1*2"), 5);
  EXPECT_EQ(str("t + \"!\""), "txt!");
  add("s1x", data::kDouble, {7});
  EXPECT_EQ(num("s1"), 7);           // a variable's abbreviation comes first
  EXPECT_EQ(num("scalar(s1)"), 2.5);  // unless the scalar is asked for
  EXPECT_EQ(compile("scalar(nosuch)"), 111);
  EXPECT_EQ(printed, "scalar nosuch not found\n");
}

// The code limit counts 16-bit units: a constant is 2 (code and pool
// index), a binary operator 1, a unary operator 1.
TEST_F(ExprTest, TheCodeAreaHolds2400Units) {
  std::string sum = "1";
  for (int k = 0; k < 799; ++k) sum += "+1";  // 800 constants, 799 additions: 2399 units
  EXPECT_EQ(compile("!(" + sum + ")"), 0);
  EXPECT_EQ(prog.code.size(), 2400u);
  EXPECT_EQ(num("!(" + sum + ")"), 0);
  EXPECT_EQ(compile("-!(" + sum + ")"), 130);
  EXPECT_EQ(printed, "expression too long\n");
  // Nesting too deep to fit is the same failure, not a crash.
  EXPECT_EQ(compile(std::string(5000, '-') + "1"), 130);
}

TEST_F(ExprTest, EmittedCodes) {
  add("x", data::kDouble, {1});
  add("y", data::kDouble, {2});
  add_str("s", 3, {"abc"});
  using V = std::vector<std::uint16_t>;
  ASSERT_EQ(compile("x+y"), 0);
  EXPECT_EQ(prog.code, (V{expr::PUSHV, 0, expr::PUSHV, 1, 9}));
  ASSERT_EQ(compile("x|y&x"), 0);
  EXPECT_EQ(prog.code, (V{expr::PUSHV, 0, expr::PUSHV, 1, expr::PUSHV, 0, 2, 1}));
  struct Case {
    const char* text;
    std::uint16_t last;
  };
  for (Case c : {Case{"x==y", 3}, Case{"x!=y", 4}, Case{"x~=y", 4}, Case{"x>=y", 5}, Case{"x<=y", 6},
                 Case{"x<y", 7}, Case{"x>y", 8}, Case{"x-y", 10}, Case{"x*y", 11}, Case{"x^y", 12},
                 Case{"x/y", 13}, Case{"!x", 18}, Case{"-x", 54}, Case{"abs(x)", 19}, Case{"log(x)", 55},
                 Case{"ln(x)", 55}, Case{"int(x)", 72}, Case{"trunc(x)", 72}, Case{"s+s", 23}, Case{"s==s", 38},
                 Case{"s>=s", 39}, Case{"s<=s", 40}, Case{"s<s", 41}, Case{"s>s", 42}, Case{"s!=s", 43},
                 Case{"length(s)", 24}, Case{"strlen(s)", 24}, Case{"strpos(s,s)", 27}, Case{"index(s,s)", 27},
                 Case{"lower(s)", 30}, Case{"strlower(s)", 30}, Case{"char(65)", 205}}) {
    ASSERT_EQ(compile(c.text), 0) << c.text << printed;
    EXPECT_EQ(prog.code.back(), c.last) << c.text;
  }
  ASSERT_EQ(compile("x[1]"), 0);
  EXPECT_EQ(prog.code, (V{expr::PUSHC, 0, 75, 0}));
  ASSERT_EQ(compile("s[1]"), 0);
  EXPECT_EQ(prog.code, (V{expr::PUSHC, 0, 36, 0}));
  ASSERT_EQ(compile("_n+_N+_cons+_rc"), 0);
  EXPECT_EQ(prog.code, (V{76, 77, 9, 84, 9, 85, 9}));
  // Variable arity: the count follows the code.
  ASSERT_EQ(compile("max(1,2,3)"), 0);
  EXPECT_EQ(prog.code.size(), 8u);
  EXPECT_EQ(prog.code[6], 87);
  EXPECT_EQ(prog.code[7], 3);
  ASSERT_EQ(compile("round(x)"), 0);
  EXPECT_EQ(prog.code, (V{expr::PUSHV, 0, 89, 1}));
}

TEST_F(ExprTest, FunctionResolutionOrderAndChecks) {
  EXPECT_EQ(num("max(1,.,3)"), 3);
  EXPECT_EQ(num("round(2.5)"), 3);
  EXPECT_EQ(compile("round(1,2,3)"), 198);
  EXPECT_EQ(compile("abs(1,2)"), 198);
  EXPECT_EQ(compile("abs()"), 198);
  EXPECT_EQ(compile("max(1)"), 198);
  EXPECT_EQ(compile("abs(\"a\")"), 109);
  EXPECT_EQ(compile("length(1)"), 109);
  EXPECT_EQ(compile("absolute(1)"), 133);
  EXPECT_EQ(printed, "Unknown function absolute()\n");
  EXPECT_EQ(compile("ABS(1)"), 133);  // never abbreviated, case counts
  EXPECT_EQ(compile("trace(1,2)"), 198);
  EXPECT_EQ(compile("trace(A)"), 111);  // no matrix A
  // Old names exist only for old programs.
  EXPECT_EQ(compile("invt(10, .95)"), 133);
  ip.version = 600;
  EXPECT_EQ(compile("invt(10, .95)"), 0);
  EXPECT_EQ(compile("invchi(10)"), 198);
  ip.version = 700;
  EXPECT_EQ(compile("invchi(10, .5)"), 133);
}

TEST_F(ExprTest, EveryRegisteredNameResolves) {
  ASSERT_EQ(expr::fixed_count(), 232u);
  const expr::FixedFunction* t = expr::fixed_table();
  int ready = 0;
  for (size_t k = 0; k < expr::fixed_count(); ++k) {
    std::string call = std::string(t[k].name) + "(";
    for (int a = 0; a < t[k].nargs; ++a) call += std::string(a ? "," : "") + (t[k].arg_kind == 1 ? "\"a\"" : "1");
    call += ")";
    rc_t rc = compile(call);
    EXPECT_EQ(rc, t[k].ready ? 0 : 199) << call << printed;
    if (!t[k].ready) {
      EXPECT_EQ(printed, "function " + std::string(t[k].name) + "() not yet available\n");
    }
    ready += t[k].ready;
  }
  EXPECT_GT(ready, 40);
  // Synonyms share their code.
  for (auto [a, b] : {std::pair{"log", "ln"}, {"trunc", "int"}, {"normal", "normprob"}, {"Ftail", "fprob"},
                      {"length", "strlen"}, {"lower", "strlower"}, {"strpos", "index"}, {"regexm", "regex"},
                      {"uniform", "runiform"}, {"trim", "strtrim"}, {"reverse", "strreverse"}})
    EXPECT_EQ(expr::find_fixed(a)->op, expr::find_fixed(b)->op) << a;
  EXPECT_EQ(expr::find_fixed("hypergeometricp")->op, 356);
  EXPECT_EQ(expr::find_fixed("_Ftail_old")->op, 80);
  EXPECT_NE(expr::find_fixed("_Ftail_old")->op, expr::find_fixed("Ftail")->op);
  EXPECT_EQ(expr::find_fixed("mdyhms")->nargs, 6);
  // The dedicated names: each resolves (never 133) with a legal count.
  const expr::DedicatedFunction* d = expr::dedicated_table();
  for (size_t k = 0; k < expr::dedicated_count(); ++k) {
    std::string call = std::string(d[k].name) + "(";
    for (int a = 0; a < d[k].least; ++a) call += a ? ",1" : "1";
    call += ")";
    rc_t rc = compile(call);
    EXPECT_NE(rc, 133) << call;
    if (!d[k].ready) {
      EXPECT_EQ(rc, 199) << call << printed;
    }
  }
  EXPECT_EQ(compile("cond(1)"), 198);
  EXPECT_EQ(compile("substr(\"a\",1)"), 198);
}

TEST_F(ExprTest, DedicatedRules) {
  EXPECT_EQ(num("maxbyte()"), 100);
  EXPECT_EQ(num("minbyte()"), -127);
  EXPECT_EQ(num("maxint()"), 32740);
  EXPECT_EQ(num("minint()"), -32767);
  EXPECT_EQ(num("maxlong()"), 2147483620.0);
  EXPECT_EQ(num("minlong()"), -2147483647.0);
  EXPECT_EQ(num("epsdouble()"), std::ldexp(1.0, -52));
  EXPECT_EQ(num("epsfloat()"), std::ldexp(1.0, -23));
  EXPECT_FALSE(data::is_missing(num("maxdouble()")));
  EXPECT_TRUE(data::is_missing(num("maxdouble()*2")));
  EXPECT_EQ(num("maxfloat()"), 0x1.fffffep+126);
  EXPECT_EQ(num("byteorder()"), 2);  // the build machines store the low byte first
  ip.version = 820;
  EXPECT_DOUBLE_EQ(num("_caller()"), 8.2);
  EXPECT_EQ(compile("missing(1, missing(2))"), 198);
  EXPECT_EQ(printed, "missing() may not be nested within missing()\n");
  EXPECT_EQ(compile("sum(1)+sum(1)+sum(1)+sum(1)+sum(1)"), 0);
  EXPECT_EQ(prog.nsums, 5);
  EXPECT_FALSE(prog.once);
  EXPECT_EQ(compile("sum(1)+sum(1)+sum(1)+sum(1)+sum(1)+sum(1)"), 130);
  EXPECT_EQ(printed, "Too many SUMs\n");
  EXPECT_EQ(compile("cond(1, \"a\", 2)"), 109);
  EXPECT_EQ(compile("inlist(1, \"a\")"), 109);
  EXPECT_EQ(compile("substr(1, 1, 1)"), 109);
  // Changing functions clear the evaluate-once flag even before their
  // algorithm exists; constants keep it.
  EXPECT_EQ(compile("1+2"), 0);
  EXPECT_TRUE(prog.once);
  EXPECT_FALSE(prog.reads_obs);
}

TEST_F(ExprTest, TimeSeriesOperators) {
  std::string c;
  ASSERT_EQ(expr::ts_canonical(ip, "L2D3S4S1", &c), 0);
  EXPECT_EQ(c, "L2D3S1S4");
  ASSERT_EQ(expr::ts_canonical(ip, "LD", &c), 0);
  EXPECT_EQ(c, "L1D1");
  ASSERT_EQ(expr::ts_canonical(ip, "f2l", &c), 0);  // either case; net lead 1
  EXPECT_EQ(c, "F1");
  ASSERT_EQ(expr::ts_canonical(ip, "D10D10", &c), 0);
  EXPECT_EQ(c, "D20");
  side.text.clear();
  EXPECT_EQ(expr::ts_canonical(ip, "D21", &c), 198);
  EXPECT_EQ(expr::ts_canonical(ip, "D10D11", &c), 198);
  EXPECT_EQ(expr::ts_canonical(ip, "S1S2S3S4S5S6S7S8", &c), 0);
  EXPECT_EQ(expr::ts_canonical(ip, "S1S2S3S4S5S6S7S8S9", &c), 1000);
  EXPECT_EQ(expr::ts_canonical(ip, "X", &c), 198);
  EXPECT_EQ(expr::ts_canonical(ip, std::string(240, 'L'), &c), 1000);
  EXPECT_EQ(expr::ts_canonical(ip, "L1000000000S1000000000", &c), 1000);  // canonical form too long
  ip.out.flush();
  EXPECT_EQ(side.text,
            "operator invalid:  D20 is maximum allowed difference\n"
            "operator invalid:  D20 is maximum allowed difference\n"
            "operator too long\noperator invalid\noperator too long\noperator too long\n");

  add("gdp", data::kDouble, {1, 2});
  add_str("name", 4, {"a", "b"});
  EXPECT_EQ(compile("L.gdp"), 111);
  EXPECT_EQ(printed, "time variable not set, use tsset varname ...\n");
  EXPECT_EQ(compile("L2D.gdp + 1"), 111);
  EXPECT_EQ(compile("D21.gdp"), 198);
  EXPECT_EQ(compile("L.nosuch"), 111);
  EXPECT_EQ(printed, "variable nosuch not found\n");
  EXPECT_EQ(compile("L.name"), 109);
  EXPECT_EQ(printed, "name:  may not use time-series operators on string variables\n");
  expr::CompileOptions no_ts;
  no_ts.allow_ts = false;
  side.text.clear();
  EXPECT_EQ(expr::compile(ip, "L.gdp", expr::Want::kAny, &prog, no_ts), 101);
}

// Text that is no expression gives a code, never a crash: truncated and
// unbalanced shapes at every kind of operand.
TEST_F(ExprTest, MalformedTextGivesACode) {
  add("x", data::kDouble, {1, 2});
  for (const char* t : {"x[", "x[]", "(", ")", "[", "]", "\"", "`\"", "`\"a\"", "a\"'", "((((", "1e+", "0x",
                        "1X", ".X+1", "--", "!", "f(", "f(,)", "x[1,2]", "L.", "._", "L..x", "max(,)",
                        "substr(\"a\",,)", "_b[", "1.8X+"}) {
    rc_t rc = compile(t);
    EXPECT_NE(rc, 0) << t;
  }
}

}  // namespace
}  // namespace nuvra
