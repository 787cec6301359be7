// The scalar and the matrix expression languages read the same text the
// same way where they overlap: random expressions over numbers (decimal,
// hexadecimal, missing), the operators both know, brackets and the
// functions both reach give the same double, bit for bit, through the
// scalar compiler and evaluator and through the matrix evaluator on 1x1
// values, or fail with the same code. The cases after that are where the
// two languages must differ.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "data/expr/parse.h"
#include "expr_fixture.h"
#include "stats/matexpr.h"

namespace nuvra::testing {
namespace {

class LanguagesTest : public ExprTest {
 protected:
  void SetUp() override { ASSERT_EQ(ip.dataset.set_obs(1), 0); }

  struct Outcome {
    rc_t rc = 0;
    double value = 0;
  };
  Outcome scalar(const std::string& text) {
    Outcome o;
    o.rc = compile(text, expr::Want::kNumeric);
    if (o.rc == 0) {
      expr::EvalContext cx;
      expr::bind(ip, prog, &cx);
      o.value = expr::eval_number(cx, 1);
    }
    return o;
  }
  Outcome matrix(const std::string& text) {
    Outcome o;
    side.text.clear();
    stats::Matrix m;
    o.rc = stats::eval_matrix(ip, text, &m);
    ip.out.flush();
    printed = side.text;
    if (o.rc == 0) {
      EXPECT_EQ(m.rows, 1) << text;
      EXPECT_EQ(m.cols, 1) << text;
      if (m.v.size() == 1) o.value = m.v[0];
    }
    return o;
  }
};

// Random expressions from a fixed seed, so that a failure repeats. The
// missing values .a to .z stay out: negating one gives `.` in a scalar
// expression and keeps the code in a matrix, a difference of the two
// evaluators rather than of how the text is read.
class Generator {
 public:
  explicit Generator(unsigned seed) : rng_(seed) {}

  std::string expression(int depth) {
    int pick = depth <= 0 ? 0 : below(10);
    if (pick <= 2) return number();
    if (pick <= 5) return binary(depth);
    if (pick == 6) return unary(depth);
    if (pick == 7) return "(" + expression(depth - 1) + ")";
    return function(depth);
  }

  // Drops or repeats one character, for text that may not parse.
  std::string mangle(std::string t) {
    if (t.empty()) return t;
    std::size_t at = below(static_cast<int>(t.size()));
    if (below(2) == 0) {
      t.erase(at, 1);
    } else {
      t.insert(at, 1, t[at]);
    }
    return t;
  }

 private:
  int below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }

  std::string number() {
    static const char* const kNumbers[] = {
        "0",     "1",      "2",     "3",       "10",      "0.5",      ".25",     "1.5",    "123.456",
        "1e3",   "1e-3",   "2.5e+2", "2.5D-1", "4d2",     "1E-300",   "1e300",   "1.8X+1", "1.8x-1",
        "1X-3",  "a.bX+2", "1.0X+0", "FFX+1",  ".",       "99e307",   "0.1",    "3.14159",
        "7",     "1e20",   "5e-324", "8.0x-3", "1.00000000000000002", "0.30000000000000004"};
    std::string n = kNumbers[below(sizeof kNumbers / sizeof kNumbers[0])];
    // A hexadecimal number cannot start with a letter; put a 0 first.
    if (n[0] >= 'a' && n[0] <= 'f') n = "0" + n;
    if (n[0] >= 'A' && n[0] <= 'F') n = "0" + n;
    return n;
  }

  std::string binary(int depth) {
    static const char* const kOps[] = {"|", "&", "==", ">=", "<=", "<", ">", "!=", "~=", "+", "-", "*", "/", "^"};
    std::string out = expression(depth - 1);
    int terms = 1 + below(3);
    for (int k = 0; k < terms; ++k) {
      out += blank();
      out += kOps[below(sizeof kOps / sizeof kOps[0])];
      out += blank();
      out += expression(depth - 1);
    }
    return out;
  }

  std::string unary(int depth) {
    static const char* const kPrefix[] = {"-", "+", "!", "~"};
    return std::string(kPrefix[below(4)]) + expression(depth - 1);
  }

  std::string function(int depth) {
    struct F {
      const char* name;
      int least, most;
    };
    static const F kFunctions[] = {
        {"abs", 1, 1},     {"sqrt", 1, 1},    {"exp", 1, 1},   {"ln", 1, 1},      {"floor", 1, 1},
        {"ceil", 1, 1},    {"int", 1, 1},     {"sign", 1, 1},  {"float", 1, 1},   {"sin", 1, 1},
        {"cos", 1, 1},     {"atan", 1, 1},    {"trunc", 1, 1}, {"logit", 1, 1},   {"lnfactorial", 1, 1},
        {"round", 1, 2},   {"min", 2, 4},     {"max", 2, 4},   {"mod", 2, 2},     {"atan2", 2, 2},
        {"reldif", 2, 2},  {"comb", 2, 2},    {"cond", 3, 4},  {"inrange", 3, 3}, {"inlist", 2, 4},
    };
    const F& f = kFunctions[below(sizeof kFunctions / sizeof kFunctions[0])];
    int n = f.least + below(f.most - f.least + 1);
    std::string out = std::string(f.name) + "(";
    for (int k = 0; k < n; ++k) {
      if (k) out += ",";
      out += blank() + expression(depth - 1) + blank();
    }
    return out + ")";
  }

  std::string blank() { return below(4) == 0 ? " " : ""; }

  std::mt19937 rng_;
};

std::uint64_t bits(double x) { return std::bit_cast<std::uint64_t>(x); }

TEST_F(LanguagesTest, GeneratedExpressionsAgreeBitForBit) {
  Generator gen(20261207);
  int compared = 0, failed_alike = 0;
  for (int k = 0; k < 4000; ++k) {
    std::string text = gen.expression(1 + k % 5);
    if (k % 5 == 4) text = gen.mangle(text);
    Outcome s = scalar(text);
    std::string scalar_printed = printed;
    Outcome m = matrix(text);
    // The codes agree; the messages may not, since a name is a variable to
    // one language and a matrix to the other.
    ASSERT_EQ(s.rc, m.rc) << text << "\nscalar: " << scalar_printed << "matrix: " << printed;
    if (s.rc != 0) {
      ++failed_alike;
      continue;
    }
    ASSERT_EQ(bits(s.value), bits(m.value)) << text << "\nscalar " << s.value << ", matrix " << m.value;
    ++compared;
  }
  // The corpus exercises both sides of the comparison.
  EXPECT_GT(compared, 2500);
  EXPECT_GT(failed_alike, 100);
}

// Values worked by hand, read the same in both languages: the hexadecimal
// exponent's sign is part of the number, not a subtraction, and a chain of
// one operator associates to the left whatever its length.
TEST_F(LanguagesTest, HandWorkedValuesInBoth) {
  struct Case {
    const char* text;
    double value;
  };
  const Case cases[] = {
      {"1.8X-1", 0.75},      // 1.5 / 2
      {"1.8x+1*2", 6},       // 3 * 2
      {"1X-3-1", -0.875},    // 1/8 - 1
      {"2-1X+1", 0},         // 2 - 2
      {"5e-1+1", 1.5},
      {"2^3^2", 64},         // (2^3)^2
      {"8/4/2", 1},
      {"2-3-4", -5},
      {"-2^2", -4},
      {"3>2==1", 1},         // == is looser than >: (3>2) == 1
      {"0==1>2", 1},         // 0 == (1>2), where (0==1) > 2 would be 0

  };
  for (const Case& c : cases) {
    Outcome s = scalar(c.text);
    Outcome m = matrix(c.text);
    EXPECT_EQ(s.rc, 0) << c.text;
    EXPECT_EQ(m.rc, 0) << c.text;
    EXPECT_EQ(s.value, c.value) << c.text;
    EXPECT_EQ(m.value, c.value) << c.text;
  }
  std::string chain = "1";
  for (int k = 0; k < 3000; ++k) chain += "+1";
  EXPECT_EQ(matrix(chain).value, 3001);
  // The scalar code area is what ends a long scalar chain.
  EXPECT_EQ(scalar(chain).rc, 130);
  // Nesting deeper than the limit is refused in both, not a crash.
  std::string deep = std::string(static_cast<std::size_t>(expr::kMaxNesting), '-') + "1";
  EXPECT_EQ(scalar(deep).rc, 130);
  EXPECT_EQ(matrix(deep).rc, 130);
  EXPECT_EQ(printed, "expression too long\n");
  std::string deep_enough = std::string(static_cast<std::size_t>(expr::kMaxNesting) - 2, '-') + "1";
  EXPECT_EQ(matrix(deep_enough).value, 1);
  EXPECT_EQ(scalar(deep_enough).value, 1);
}

TEST_F(LanguagesTest, WhereTheLanguagesDiffer) {
  // Strings are scalar only.
  EXPECT_EQ(compile("\"ab\"+\"c\""), 0);
  EXPECT_EQ(prog.type, expr::Type::kString);
  EXPECT_EQ(matrix("\"ab\"").rc, 109);
  // The compound quote is a string to the scalar language alone.
  EXPECT_EQ(compile("`\"a\"b\"'"), 0);
  EXPECT_EQ(str("`\"a\"b\"'"), "a\"b");
  EXPECT_EQ(matrix("`\"a\"'").rc, 198);
  // The matrix operators are syntax errors in scalar expressions.
  const char* const matrix_only[] = {"1,2", "1\\2", "2#3", "2'", "(1,2)*(3\\4)"};
  for (const char* t : matrix_only) {
    EXPECT_EQ(scalar(t).rc, 198) << t;
    EXPECT_EQ(printed, "invalid syntax\n") << t;
  }
  stats::Matrix m;
  ASSERT_EQ(stats::eval_matrix(ip, "1,2", &m), 0);
  EXPECT_EQ(m.rows, 1);
  ASSERT_EQ(m.cols, 2);
  EXPECT_EQ(m.v, (std::vector<double>{1, 2}));
  ASSERT_EQ(stats::eval_matrix(ip, "1\\2", &m), 0);
  EXPECT_EQ(m.rows, 2);
  EXPECT_EQ(m.cols, 1);
  EXPECT_EQ(matrix("2#3").value, 6);
  EXPECT_EQ(matrix("2'").value, 2);
  // (1,2)*(3\4) = 1*3 + 2*4
  EXPECT_EQ(matrix("(1,2)*(3\\4)").value, 11);
  // A comma inside a call's brackets separates arguments in both.
  EXPECT_EQ(scalar("max(1,2)").value, 2);
  EXPECT_EQ(matrix("max(1,2)").value, 2);
  // Subscripts: x[_n-1] reads an observation in a scalar expression; the
  // matrix language has no variables.
  add("x", data::kDouble, {5, 6});
  EXPECT_EQ(num("x[_n-1]", 2), 5);
  EXPECT_EQ(matrix("x[1,1]").rc, 111);
  EXPECT_EQ(printed, "matrix x not found\n");
  // Time-series operators are scalar only.
  EXPECT_EQ(matrix("L.x").rc, 198);
  // Mismatched bracket kinds are syntax errors in both.
  EXPECT_EQ(scalar("abs(1]").rc, 198);
  EXPECT_EQ(matrix("abs(1]").rc, 198);
  // The functions that take or give whole matrices are the matrix
  // language's alone: unknown to scalar expressions.
  for (const char* t : {"inv(4)", "invsym(4)", "syminv(4)", "J(1,1,7)", "I(1)", "diag(5)", "vecdiag(5)",
                        "cholesky(9)", "get(_b)"}) {
    EXPECT_EQ(scalar(t).rc, 133) << t;
    EXPECT_EQ(printed, std::string("Unknown function ") + std::string(t).substr(0, std::string(t).find('(')) +
                           "()\n")
        << t;
  }
  // On 1x1 matrices: 1/4, 1/4, 1/4, a 1x1 of 7, the identity, 5, 5, sqrt(9).
  EXPECT_EQ(matrix("inv(4)").value, 0.25);
  EXPECT_EQ(matrix("invsym(4)").value, 0.25);
  EXPECT_EQ(matrix("syminv(4)").value, 0.25);
  EXPECT_EQ(matrix("J(1,1,7)").value, 7);
  EXPECT_EQ(matrix("I(1)").value, 1);
  EXPECT_EQ(matrix("diag(5)").value, 5);
  EXPECT_EQ(matrix("vecdiag(5)").value, 5);
  EXPECT_EQ(matrix("cholesky(9)").value, 3);
  // Each takes a fixed count of arguments; any other count is invalid syntax.
  for (const char* t : {"inv()", "inv(1,2)", "invsym(1,2)", "sweep(4)", "J(1,1)", "J(1,1,1,1)", "I(1,1)",
                        "diag()", "vecdiag(1,1)", "cholesky(1,1)", "get()", "nullmat(A,B)", "scalar(1,2)"})
    EXPECT_EQ(matrix(t).rc, 198) << t;
}

}  // namespace
}  // namespace nuvra::testing
