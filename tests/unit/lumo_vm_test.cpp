// Lumo virtual machine: calls and returns, tracebacks, the colon
// operators' broadcast cases, subscripts, arithmetic on missing values
// and Break.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "data/missing.h"
#include "lumo/value.h"
#include "lumo_test_host.h"

namespace {

using namespace nuvra::lumo;

// One traceback line as the machine prints it.
std::string Line(const char* name, int code, const char* message) {
  char buf[256];
  if (code) std::snprintf(buf, sizeof buf, "%24s: %5d  %s\n", name, code, message);
  else std::snprintf(buf, sizeof buf, "%24s:     -  %s\n", name, message);
  return buf;
}

std::vector<double> Reals(LumoFixture& f, const char* name, int* rows, int* cols) {
  ValueRecord* v = f.session.values().FindGlobal(name);
  if (!v || v->eltype != kReal) return {};
  *rows = v->rows;
  *cols = v->cols;
  return std::vector<double>(reals(v), reals(v) + element_count(v));
}

TEST(LumoVm, WrongArgumentCount) {
  LumoFixture f;
  ASSERT_EQ(f.Run("function g(a, b) { return(a + b) }"), 0);
  EXPECT_EQ(f.Run("g(1)"), 3001);
  EXPECT_EQ(f.host.errors, Line("g()", 3001, "expected 2 arguments but received 1") + Line("<istmt>", 0, "function returned error"));
  f.host.errors.clear();
  EXPECT_EQ(f.Run("g(1, 2, 3)"), 3001);
  EXPECT_EQ(f.host.errors, Line("g()", 3001, "expected 2 arguments but received 3") + Line("<istmt>", 0, "function returned error"));
}

TEST(LumoVm, RecursionEndsInStackOverflow) {
  LumoFixture f;
  ASSERT_EQ(f.Run("function r(n) { return(r(n + 1)) }"), 0);
  ASSERT_EQ(f.Run("g = 7"), 0);
  EXPECT_EQ(f.Run("r(1)"), 3998);
  const std::string& e = f.host.errors;
  EXPECT_EQ(e.substr(0, e.find('\n') + 1), Line("r()", 3998, "stack overflow"));
  size_t lines = 0;
  for (char c : e) lines += c == '\n';
  EXPECT_GT(lines, 10000u);  // one line per activation
  std::string last = Line("<istmt>", 0, "function returned error");
  EXPECT_EQ(e.substr(e.size() - last.size()), last);
  // Everything unwound: the machine runs on and the global survives.
  EXPECT_EQ(f.session.machine().depth(), 0);
  EXPECT_EQ(f.session.values().record_count(), 1u);
  f.host.output.clear();
  EXPECT_EQ(f.Run("g"), 0);
  EXPECT_EQ(f.host.output, "  7\n");
}

TEST(LumoVm, ReturningALocalMovesItAndAnArgumentIsTheCallersRecord) {
  LumoFixture f;
  // g keeps the address of the local; the record the call hands back is
  // that same record, renamed as a temporary of the caller, not a copy.
  ASSERT_EQ(f.Run("function mk() { external pointer scalar g; real matrix x; x = (1, 2); g = &x; return(x) }"), 0);
  ASSERT_EQ(f.Run("g = NULL; p2 = &(mk()); p2 == g; rows(*g), cols(*g)"), 0);
  EXPECT_EQ(f.host.output.substr(0, 4), "  1\n") << f.host.output;
  EXPECT_NE(f.host.output.find("1  2"), std::string::npos) << f.host.output;
  f.host.output.clear();
  ASSERT_EQ(f.Run("function id(a) { return(a) }"), 0);
  ASSERT_EQ(f.Run("w = 5; p = &id(w); p == &w"), 0);
  EXPECT_EQ(f.host.output, "  1\n");
  // Assigning to an argument changes the caller's variable.
  ASSERT_EQ(f.Run("function setit(a) { a = 42 }"), 0);
  f.host.output.clear();
  ASSERT_EQ(f.Run("setit(w); w"), 0);
  EXPECT_EQ(f.host.output, "  42\n");
}

TEST(LumoVm, ErrorInABuiltinPrintsTwoLinesAndOnePerCaller) {
  LumoFixture f;
  ASSERT_EQ(f.Run("function h(x) { return(sqrt(x)) }"), 0);
  ASSERT_EQ(f.Run("function k(x) { return(h(x)) }"), 0);
  EXPECT_EQ(f.Run("k(\"a\")"), 3251);
  EXPECT_EQ(f.host.errors, Line("sqrt()", 3251, "<tmp>[1,1] found where real or complex required") +
                               Line("h()", 0, "function returned error") + Line("k()", 0, "function returned error") +
                               Line("<istmt>", 0, "function returned error"));
}

TEST(LumoVm, PostfixIncrementOfAStringLocal) {
  LumoFixture f;
  ASSERT_EQ(f.Run("function s() { string scalar t; t = \"a\"; t++; return(t) }"), 0);
  EXPECT_EQ(f.Run("s()"), 3253);
  EXPECT_EQ(f.host.errors, Line("s()", 3253, "nonreal found where real required") + Line("<istmt>", 0, "function returned error"));
}

TEST(LumoVm, ColonOperatorsBroadcastInTheirSevenCases) {
  struct Case {
    const char* text;
    int rows, cols;
    std::vector<double> expect;
  };
  const Case kCases[] = {
      {"r = (1,2) :+ (10,20)", 1, 2, {11, 22}},                        // same shape
      {"r = 1 :- (1,2\\3,4)", 2, 2, {0, -1, -2, -3}},                 // scalar left
      {"r = (1,2\\3,4) :* 10", 2, 2, {10, 20, 30, 40}},               // scalar right
      {"r = (1,2\\3,4) :+ (10,20)", 2, 2, {11, 22, 13, 24}},          // row right
      {"r = (1,2\\3,4) :/ (1\\2)", 2, 2, {1, 2, 1.5, 2}},             // column right
      {"r = (10,20) :- (1,2\\3,4)", 2, 2, {9, 18, 7, 16}},            // row left
      {"r = (10\\20) :^ (1,2\\3,4)", 2, 2, {10, 100, 8000, 160000}},  // column left
  };
  for (const Case& c : kCases) {
    LumoFixture f;
    ASSERT_EQ(f.Run(c.text), 0) << c.text << f.host.errors;
    int rows = -1, cols = -1;
    EXPECT_EQ(Reals(f, "r", &rows, &cols), c.expect) << c.text;
    EXPECT_EQ(rows, c.rows) << c.text;
    EXPECT_EQ(cols, c.cols) << c.text;
  }
  const char* kNonconformable[] = {"(1,2,3) :+ (1,2)", "(1,2\\3,4) :* (1,2,3)", "(1\\2\\3) :+ (1\\2)", "(1,2) :< (1\\2\\3)"};
  for (const char* text : kNonconformable) {
    LumoFixture f;
    EXPECT_EQ(f.Run(text), 3200) << text;
    EXPECT_EQ(f.host.errors, Line("<istmt>", 3200, "conformability error")) << text;
  }
}

TEST(LumoVm, SubscriptsOutOfRange) {
  LumoFixture f;
  ASSERT_EQ(f.Run("x = (1,2,3); m = (1,2\\3,4)"), 0);
  for (const char* text : {"x[4]", "x[0]", "x[(1,5)]", "m[3,1]", "m[1,0]", "x[|1\\4|]", "x[.]"}) {
    f.host.errors.clear();
    EXPECT_EQ(f.Run(text), 3301) << text;
    EXPECT_EQ(f.host.errors, Line("<istmt>", 3301, "subscript invalid")) << text;
  }
  ASSERT_EQ(f.Run("a = m[2,.]; b = m[(2,1),2]; c = x[(3,1)]; d = x[|2\\3|]; m[1,2] = 9; e = m"), 0);
  int r, c;
  EXPECT_EQ(Reals(f, "a", &r, &c), (std::vector<double>{3, 4}));
  EXPECT_EQ(Reals(f, "b", &r, &c), (std::vector<double>{4, 2}));
  EXPECT_EQ(r, 2);
  EXPECT_EQ(Reals(f, "c", &r, &c), (std::vector<double>{3, 1}));
  EXPECT_EQ(Reals(f, "d", &r, &c), (std::vector<double>{2, 3}));
  EXPECT_EQ(Reals(f, "e", &r, &c), (std::vector<double>{1, 9, 3, 4}));
}

TEST(LumoVm, ArithmeticOnMissingAndOverflow) {
  LumoFixture f;
  ASSERT_EQ(f.Run("a = . + 1; b = 1e300 * 1e300; c = 1/0; d = .a * 0; e = (1,.)*(2\\3); g = 2^10"), 0);
  int r, c;
  double miss = nuvra::data::kMissing;
  EXPECT_EQ(Reals(f, "a", &r, &c), (std::vector<double>{miss}));
  EXPECT_EQ(Reals(f, "b", &r, &c), (std::vector<double>{miss}));
  EXPECT_EQ(Reals(f, "c", &r, &c), (std::vector<double>{miss}));
  EXPECT_EQ(Reals(f, "d", &r, &c), (std::vector<double>{miss}));
  EXPECT_EQ(Reals(f, "e", &r, &c), (std::vector<double>{miss}));
  EXPECT_EQ(Reals(f, "g", &r, &c), (std::vector<double>{1024}));
  // The same rules element by element.
  ASSERT_EQ(f.Run("h = (1,.,3) :+ (1,2,.a); k = (1e300,1) :* (1e300,2); l = (5,6) - (.,1)"), 0);
  EXPECT_EQ(Reals(f, "h", &r, &c), (std::vector<double>{2, miss, miss}));
  EXPECT_EQ(Reals(f, "k", &r, &c), (std::vector<double>{miss, 2}));
  EXPECT_EQ(Reals(f, "l", &r, &c), (std::vector<double>{miss, 5}));
  // Missing values order above every number.
  f.host.output.clear();
  ASSERT_EQ(f.Run(". > 1e300, .a > ., \"ab\" < \"b\", \"ab\" < \"a\""), 0);
  EXPECT_NE(f.host.output.find("1  1  1  0"), std::string::npos) << f.host.output;
}

TEST(LumoVm, ElementwiseGivesTheScalarOperatorsNumbers) {
  LumoFixture f;
  // Large negative results are numbers, as for scalars; -infinity, NaN
  // and anything at or above the missing values (from about 8.99e307 up)
  // are missing.  Seven elements, so that some fall outside whole vectors
  // of elements.
  ASSERT_EQ(f.Run("a = (-8e307, 1, ., 8e307, 2, .b, 8e307) :- (8e307, 1, 1, -8e307, .a, 0, -1e307)"), 0);
  ASSERT_EQ(f.Run("b = (-8e307, 3, 1e300, 0, ., 4, 5) :* (10, 2, -1e300, ., 0, 0.5, -1)"), 0);
  ASSERT_EQ(f.Run("c = (-8e307, 1, 2) + (-8e307, ., 3); d = -8e307 - 8e307"), 0);
  int r, c;
  double miss = nuvra::data::kMissing;
  const double big = -8e307 - 8e307;
  EXPECT_EQ(Reals(f, "a", &r, &c), (std::vector<double>{big, 0, miss, miss, miss, miss, miss}));
  EXPECT_EQ(Reals(f, "b", &r, &c), (std::vector<double>{miss, 6, miss, miss, miss, 2, -5}));
  EXPECT_EQ(Reals(f, "c", &r, &c), (std::vector<double>{big, miss, 5}));
  EXPECT_EQ(Reals(f, "d", &r, &c), (std::vector<double>{big}));
}

TEST(LumoVm, MatrixProductMatchesHandComputation) {
  LumoFixture f;
  // Small (loops) and large enough for the library routine: the large
  // one is I(n) * J(n, n, 2), whose every element is 2, and a product
  // whose elements are known sums.
  ASSERT_EQ(f.Run("p = (1,2\\3,4) * (5,6\\7,8)"), 0);
  int r, c;
  EXPECT_EQ(Reals(f, "p", &r, &c), (std::vector<double>{19, 22, 43, 50}));
  ASSERT_EQ(f.Run("q = I(40) * J(40, 40, 2); s = sum(q)"), 0);
  EXPECT_EQ(Reals(f, "s", &r, &c), (std::vector<double>{3200}));
  ASSERT_EQ(f.Run("t = J(1, 50, 1) * (1::50)"), 0);
  EXPECT_EQ(Reals(f, "t", &r, &c), (std::vector<double>{1275}));
  ASSERT_EQ(f.Run("u = (1::40) * (1..40); v = sum(u)"), 0);
  EXPECT_EQ(Reals(f, "v", &r, &c), (std::vector<double>{820.0 * 820.0}));
  EXPECT_EQ(f.Run("(1,2) * (1,2)"), 3200);
}

TEST(LumoVm, BreakStopsALoop) {
  LumoFixture f;
  f.host.break_after = 1000;
  EXPECT_EQ(f.Run("while (1) { }"), 1);
  EXPECT_EQ(f.host.errors, "");
  EXPECT_EQ(f.session.machine().depth(), 0);
}

TEST(LumoVm, ExitStopsSilently) {
  LumoFixture f;
  ASSERT_EQ(f.Run("function quit() { exit(); return(1) }"), 0);
  EXPECT_EQ(f.Run("quit(); 5"), 0);
  EXPECT_EQ(f.host.output, "");
  EXPECT_EQ(f.host.errors, "");
}

TEST(LumoVm, LoopInAFunction) {
  LumoFixture f;
  ASSERT_EQ(f.Run("function fsum(real scalar n) {\n real scalar i, s\n s = 0\n for (i = 1; i <= n; i++) s = s + i\n return(s)\n}"), 0);
  ASSERT_EQ(f.Run("fsum(100000)"), 0);
  EXPECT_EQ(f.host.output, "  5000050000\n");
}

}  // namespace
