// The evaluator: missing values, comparisons, logic, subscripts and the
// group window, the elementary functions, and the agreement of block and
// one-at-a-time evaluation.
#include <bit>
#include <cmath>
#include <random>

#include "expr_fixture.h"

namespace nuvra {
namespace {

using testing::ExprTest;
using testing::is_dot;
const double M = data::kMissing;

TEST_F(ExprTest, MissingValuesPropagateAndOrderAboveNumbers) {
  EXPECT_EQ(num(". > 1e300"), 1);
  EXPECT_EQ(num(".a == .b"), 0);
  EXPECT_EQ(num(".a < .b"), 1);
  EXPECT_EQ(num(". < .a"), 1);
  EXPECT_EQ(num(".z > .y"), 1);
  EXPECT_TRUE(is_dot(num("1/0")));
  EXPECT_TRUE(is_dot(num("0/0")));
  EXPECT_TRUE(is_dot(num(". + 1")));
  EXPECT_TRUE(is_dot(num(".a + 1")));  // arithmetic gives `.`, not `.a`
  EXPECT_TRUE(is_dot(num("-.b")));
  EXPECT_EQ(data::missing_code(num(".b")), 2);
  EXPECT_TRUE(is_dot(num("1e300*1e300")));
  EXPECT_TRUE(is_dot(num("(-8)^(1/3)")));
  EXPECT_TRUE(is_dot(num("exp(1000)")));
  EXPECT_EQ(num("1/0 == ."), 1);     // infinities compare as `.`
  EXPECT_EQ(num("-1/0 > 5"), 1);     // division by 0 is `.`, never -infinity
  EXPECT_EQ(num("log(0) > 1e300"), 1);
}

TEST_F(ExprTest, BelowVersion8AllMissingValuesAreEqual) {
  ip.modern_missing = false;
  EXPECT_EQ(num(".a == .b"), 1);
  EXPECT_EQ(num(".a < .b"), 0);
  EXPECT_EQ(num(". > 1e300"), 1);
  ip.modern_missing = true;
  EXPECT_EQ(num(".a == .b"), 0);
}

TEST_F(ExprTest, LogicTreatsMissingAsTrue) {
  EXPECT_EQ(num(". & 1"), 1);
  EXPECT_EQ(num("0 | ."), 1);
  EXPECT_EQ(num("!."), 0);
  EXPECT_EQ(num("!0"), 1);
  EXPECT_EQ(num("~5"), 0);
  EXPECT_EQ(num("2 & 3"), 1);  // results are 1 or 0
  EXPECT_EQ(num("0 & ."), 0);
}

TEST_F(ExprTest, SubscriptsStayInsideTheGroup) {
  add("x", data::kDouble, {10, 20, 30, 40, 50, 60});
  EXPECT_EQ(num("x[2]"), 20);
  EXPECT_EQ(num("x[2.9]"), 20);  // truncated toward zero
  EXPECT_EQ(num("x[_N]"), 60);
  EXPECT_TRUE(is_dot(num("x[0]")));
  EXPECT_TRUE(is_dot(num("x[_N+1]")));
  EXPECT_TRUE(is_dot(num("x[.]")));
  EXPECT_TRUE(is_dot(num("x[-1]")));
  EXPECT_TRUE(is_dot(num("x[1e10]")));
  EXPECT_TRUE(is_dot(num("x[_n-1]", 1)));
  EXPECT_EQ(num("x[_n-1]", 3), 20);
  EXPECT_EQ(num("x", 4), 40);

  // A group 4..6 inside observations 1..6, as by-groups set it.
  ASSERT_EQ(compile("x[_n-1]"), 0);
  expr::EvalContext cx;
  expr::bind(ip, prog, &cx);
  expr::set_window(&cx, 1, 6, 4, 6);
  EXPECT_TRUE(is_dot(expr::eval_number(cx, 4)));  // never reaches into 1..3
  EXPECT_EQ(expr::eval_number(cx, 5), 40);
  ASSERT_EQ(compile("_n*100 + _N*10 + (_n==1)"), 0);
  expr::bind(ip, prog, &cx);
  expr::set_window(&cx, 1, 6, 4, 6);
  EXPECT_EQ(expr::eval_number(cx, 4), 131);
  EXPECT_EQ(expr::eval_number(cx, 6), 330);
  ASSERT_EQ(compile("x[_N]"), 0);
  expr::bind(ip, prog, &cx);
  expr::set_window(&cx, 1, 6, 4, 6);
  EXPECT_EQ(expr::eval_number(cx, 4), 60);
  expr::set_window(&cx, 1, 6, 1, 3);
  EXPECT_EQ(expr::eval_number(cx, 1), 30);
}

TEST_F(ExprTest, VariablesOfEveryTypeAndTheConstantContext) {
  add("b", data::kByte, {-127, 100, M});
  add("i", data::kInt, {32740, data::missing_value(3), 0});
  add("l", data::kLong, {-2147483647.0, 7, 8});
  add("f", data::kFloat, {0.1, 0, 0});
  add_str("s", 5, {"hello", "", "a"});
  EXPECT_EQ(num("b + i", 1), 32613);
  EXPECT_TRUE(is_dot(num("b", 3)));
  EXPECT_EQ(data::missing_code(num("i", 2)), 3);
  EXPECT_EQ(num("l", 1), -2147483647.0);
  EXPECT_EQ(num("f", 1), static_cast<double>(0.1f));
  EXPECT_EQ(str("s + \"!\"", 1), "hello!");
  EXPECT_EQ(str("s[3]", 1), "a");
  EXPECT_EQ(str("s[4]", 1), "");
  // With no observations a variable reads as missing or "".
  ip.dataset.set_obs(0);
  EXPECT_TRUE(is_dot(num("b")));
  EXPECT_EQ(str("s"), "");
}

TEST_F(ExprTest, ElementaryNumericFunctions) {
  EXPECT_EQ(num("abs(-2.5)"), 2.5);
  EXPECT_EQ(num("exp(0)"), 1);
  EXPECT_DOUBLE_EQ(num("ln(exp(2))"), 2);
  EXPECT_DOUBLE_EQ(num("log10(1000)"), 3);
  EXPECT_TRUE(is_dot(num("log(0)")));
  EXPECT_TRUE(is_dot(num("log(-1)")));
  EXPECT_EQ(num("sqrt(16)"), 4);
  EXPECT_TRUE(is_dot(num("sqrt(-1)")));
  EXPECT_EQ(num("trunc(-2.7)"), -2);
  EXPECT_EQ(num("int(2.7)"), 2);
  EXPECT_EQ(num("floor(-2.5)"), -3);
  EXPECT_EQ(num("ceil(-2.5)"), -2);
  EXPECT_EQ(num("round(2.5)"), 3);
  EXPECT_EQ(num("round(-2.5)"), -2);
  EXPECT_EQ(num("round(-5.2)"), -5);
  EXPECT_DOUBLE_EQ(num("round(1.2345, .01)"), 1.23);
  EXPECT_EQ(num("round(28, 5)"), 30);
  EXPECT_EQ(num("round(5.3, 0)"), 5.3);
  EXPECT_EQ(num("mod(7, 3)"), 1);
  EXPECT_EQ(num("mod(-7, 3)"), 2);
  EXPECT_TRUE(is_dot(num("mod(7, 0)")));
  EXPECT_EQ(num("min(3, ., 1)"), 1);
  EXPECT_TRUE(is_dot(num("max(., .a)")));
  EXPECT_EQ(num("sign(-3) + 10*sign(0) + 100*sign(4)"), 99);
  EXPECT_TRUE(is_dot(num("sign(.)")));
  EXPECT_EQ(num("float(0.1)"), static_cast<double>(0.1f));
  EXPECT_TRUE(is_dot(num("float(1e300)")));
  EXPECT_DOUBLE_EQ(num("sin(_pi/2) + cos(0) + tan(_pi/4)"), 3);
  EXPECT_DOUBLE_EQ(num("asin(1)"), std::asin(1.0));
  EXPECT_DOUBLE_EQ(num("acos(0)*2"), std::acos(-1.0));
  EXPECT_TRUE(is_dot(num("asin(2)")));
  EXPECT_DOUBLE_EQ(num("atan(1)*4"), std::acos(-1.0));
  EXPECT_DOUBLE_EQ(num("atan2(1, 1)"), std::atan(1.0));
  EXPECT_DOUBLE_EQ(num("tanh(atanh(0.5))"), 0.5);
  EXPECT_TRUE(is_dot(num("atanh(1)")));
  EXPECT_EQ(num("reldif(3, 1)"), 1);
  EXPECT_EQ(num("reldif(.a, .a)"), 0);
  EXPECT_TRUE(is_dot(num("reldif(.a, .b)")));
  EXPECT_TRUE(is_dot(num("reldif(1, .)")));
  EXPECT_EQ(num("recode(2, 1, 3, 5)"), 3);
  EXPECT_EQ(num("recode(9, 1, 3, 5)"), 5);
  EXPECT_EQ(num("irecode(2, 1, 3, 5)"), 1);
  EXPECT_EQ(num("irecode(0, 1, 3)"), 0);
  EXPECT_EQ(num("irecode(9, 1, 3)"), 2);
  EXPECT_TRUE(is_dot(num("irecode(2, 3, 1)")));
}

TEST_F(ExprTest, ConditionsListsAndRanges) {
  EXPECT_EQ(num("cond(1, 2, 3)"), 2);
  EXPECT_EQ(num("cond(0, 2, 3)"), 3);
  EXPECT_EQ(num("cond(., 2, 3)"), 2);  // missing is true
  EXPECT_EQ(num("cond(., 2, 3, 4)"), 4);
  EXPECT_EQ(str("cond(0, \"a\", \"b\")"), "b");
  EXPECT_EQ(str("cond(.a, \"a\", \"b\", \"c\")"), "c");
  EXPECT_EQ(num("missing(1, .)"), 1);
  EXPECT_EQ(num("missing(.a)"), 1);
  EXPECT_EQ(num("missing(1, \"x\")"), 0);
  EXPECT_EQ(num("missing(1, \"\")"), 1);
  EXPECT_EQ(num("inlist(2, 1, 2, 3)"), 1);
  EXPECT_EQ(num("inlist(4, 1, 2, 3)"), 0);
  EXPECT_EQ(num("inlist(.a, .a)"), 1);
  EXPECT_EQ(num("inlist(\"b\", \"a\", \"c\")"), 0);
  EXPECT_EQ(num("inlist(\"c\", \"a\", \"c\")"), 1);
  EXPECT_EQ(num("inrange(2, 1, 3)"), 1);
  EXPECT_EQ(num("inrange(., 1, .)"), 0);
  EXPECT_EQ(num("inrange(5, ., 10)"), 1);
  EXPECT_EQ(num("inrange(5, 6, .)"), 0);
  EXPECT_EQ(num("inrange(5, ., .)"), 1);
  EXPECT_EQ(num("inrange(\"b\", \"a\", \"c\")"), 1);
}

TEST_F(ExprTest, RunningSumRestartsWithTheWindow) {
  add("x", data::kDouble, {1, 2, M, 4});
  ASSERT_EQ(compile("sum(x)"), 0);
  expr::EvalContext cx;
  expr::bind(ip, prog, &cx);
  EXPECT_FALSE(expr::block_ok(prog));
  std::vector<double> got;
  for (int i = 1; i <= 4; ++i) got.push_back(expr::eval_number(cx, i));
  EXPECT_EQ(got, (std::vector<double>{1, 3, 3, 7}));  // missing adds nothing
  expr::set_window(&cx, 1, 4, 3, 4);
  EXPECT_EQ(expr::eval_number(cx, 3), 0);
  EXPECT_EQ(expr::eval_number(cx, 4), 4);
}

TEST_F(ExprTest, StringFunctions) {
  EXPECT_EQ(num("length(\"abc\")"), 3);
  EXPECT_EQ(str("substr(\"abcdef\", 2, 3)"), "bcd");
  EXPECT_EQ(str("substr(\"abcdef\", -3, 2)"), "de");
  EXPECT_EQ(str("substr(\"abcdef\", 2, .)"), "bcdef");
  EXPECT_EQ(str("substr(\"abcdef\", 0, 2)"), "");
  EXPECT_EQ(str("substr(\"abcdef\", 7, 1)"), "");
  EXPECT_EQ(str("substr(\"abcdef\", 5, 10)"), "ef");
  EXPECT_EQ(str("proper(\"mR. joHn a. sMitH\")"), "Mr. John A. Smith");
  EXPECT_EQ(str("upper(\"ab1\") + strlower(\"CD\")"), "AB1cd");
  EXPECT_EQ(str("trim(\"  a b  \") + \"|\""), "a b|");
  EXPECT_EQ(str("ltrim(\"  a \") + \"|\""), "a |");
  EXPECT_EQ(str("rtrim(\"  a \") + \"|\""), "  a|");
  EXPECT_EQ(str("itrim(\" a   b  c\")"), " a b c");
  EXPECT_EQ(num("strpos(\"this\", \"is\")"), 3);
  EXPECT_EQ(num("index(\"abc\", \"z\")"), 0);
  EXPECT_EQ(str("string(4)"), "4");
  EXPECT_EQ(str("string(1/4)"), ".25");
  EXPECT_EQ(str("string(123456789012)"), "1.235e+11");
  EXPECT_EQ(str("string(3.14159, \"%5.2f\")"), " 3.14");
  EXPECT_EQ(str("string(1, \"%5s\")"), ".");
  EXPECT_EQ(str("strofreal(.a)"), ".a");
  EXPECT_EQ(num("real(\"12.5\")"), 12.5);
  EXPECT_EQ(num("real(\" -3 \")"), -3);
  EXPECT_TRUE(is_dot(num("real(\"abc\")")));
  EXPECT_TRUE(is_dot(num("real(\"inf\")")));
  EXPECT_EQ(data::missing_code(num("real(\".a\")")), 1);
  EXPECT_EQ(str("word(\"a bb  c\", 2)"), "bb");
  EXPECT_EQ(str("word(\"a bb c\", -1)"), "c");
  EXPECT_EQ(str("word(\"a b\", 3)"), "");
  EXPECT_EQ(num("wordcount(\" a  b c \")"), 3);
  EXPECT_EQ(str("subinstr(\"a.b.c\", \".\", \"\", .)"), "abc");
  EXPECT_EQ(str("subinstr(\"a.b.c\", \".\", \"-\", 1)"), "a-b.c");
  EXPECT_EQ(str("subinword(\"a ab a\", \"a\", \"X\", .)"), "X ab X");
  EXPECT_EQ(str("reverse(\"abc\")"), "cba");
  EXPECT_EQ(str("char(65) + char(0) + char(300)"), "A");
  EXPECT_EQ(str("plural(1, \"dog\")"), "dog");
  EXPECT_EQ(str("plural(-2, \"dog\")"), "dogs");
  EXPECT_EQ(str("plural(2, \"box\", \"+es\")"), "boxes");
  EXPECT_EQ(str("plural(2, \"bottle\", \"-e\")"), "bottl");
  EXPECT_EQ(str("plural(2, \"mouse\", \"mice\")"), "mice");
  EXPECT_EQ(str("abbrev(\"displacement\", 8)"), "displa~t");
  EXPECT_EQ(str("abbrev(\"abcdefghij\", 2)"), "abc~j");  // at least 5
  EXPECT_EQ(str("abbrev(\"abc\", 2)"), "abc");
  EXPECT_EQ(str("abbrev(\"L.abcdefghij\", 3)"), "L.abcd~j");  // at least 8 with a period
}

// Block evaluation must give what one observation at a time gives, for
// every type, missing values included.
TEST_F(ExprTest, BlocksAndSingleObservationsAgree) {
  const int n = 1000;
  std::mt19937 gen(12345);
  std::uniform_real_distribution<double> u(-3, 3);
  std::vector<double> x(n), y(n), b(n), l(n);
  for (int i = 0; i < n; ++i) {
    x[i] = i % 17 == 0 ? M : u(gen);
    y[i] = i % 23 == 0 ? data::missing_value(i % 3) : u(gen);
    b[i] = i % 11 == 0 ? M : static_cast<int>(u(gen) * 30);
    l[i] = static_cast<int>(u(gen) * 1e6);
  }
  add("x", data::kDouble, x);
  add("y", data::kFloat, y);
  add("b", data::kByte, b);
  add("l", data::kLong, l);
  for (const char* e : {"2*x + 1", "x*y - x/y", "x^2 > y", "max(x, y, .)", "cond(x > y, x, y)", "round(x, 0.5)",
                        "mod(l, 7) + b", "x[_n-1] + y[_N-_n+1]", "inrange(x, -1, 1)", "missing(x, y)",
                        "inlist(b, 1, 2, 3)", "sqrt(x) + log(y)", "_n*_N", "!(x < y) | b == .", "y == .a",
                        "abs(b)^0.5 - int(x)", "l[b]", "recode(x, -1, 0, 1)", "exp(x*300)"}) {
    ASSERT_EQ(compile(e), 0) << e << printed;
    ASSERT_TRUE(expr::block_ok(prog)) << e;
    expr::EvalContext one, many;
    expr::bind(ip, prog, &one);
    expr::bind(ip, prog, &many);
    double out[expr::kBlock];
    for (int first = 1; first <= n; first += expr::kBlock) {
      int m = std::min(expr::kBlock, n - first + 1);
      expr::eval_block(many, first, m, out);
      for (int k = 0; k < m; ++k) {
        double single = expr::eval_number(one, first + k);
        ASSERT_EQ(std::bit_cast<std::uint64_t>(single), std::bit_cast<std::uint64_t>(out[k]))
            << e << " at " << first + k;
      }
    }
  }
  // What may not run in blocks.
  add_str("s", 3, {"a"});
  for (const char* e : {"sum(x)", "length(s)", "s == \"a\""}) {
    ASSERT_EQ(compile(e), 0) << e;
    EXPECT_FALSE(expr::block_ok(prog)) << e;
  }
  ASSERT_EQ(compile("x[_n-1] + 1"), 0);
  EXPECT_TRUE(expr::block_ok(prog, 0));
  EXPECT_FALSE(expr::block_ok(prog, ip.dataset.find_exact("x")));  // reads what it replaces
  EXPECT_TRUE(expr::block_ok(prog, ip.dataset.find_exact("y")));
}

}  // namespace
}  // namespace nuvra
