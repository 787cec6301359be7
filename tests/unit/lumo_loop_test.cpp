// Lumo loops of real scalars as the dispatch loop runs them without
// temporaries: a comparison of two locals joined to its conditional
// jump, an operator on two locals stored straight into a third, and ++
// and -- in place.  Each must give what the operators give one by one,
// fall back to them for any operand that is not a real scalar, leave the
// code offset right in a traced traceback, and still let Break through.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "data/missing.h"
#include "lumo/value.h"
#include "lumo_test_host.h"

namespace {

using namespace nuvra::lumo;
using Clock = std::chrono::steady_clock;

const double kMiss = nuvra::data::kMissing;

double Scalar(LumoFixture& f, const char* name) {
  ValueRecord* v = f.session.values().FindGlobal(name);
  if (!v || v->eltype != kReal || v->rows != 1 || v->cols != 1) return -12345;
  return reals(v)[0];
}

TEST(LumoLoops, EveryComparisonBranchesAsItsOperator) {
  LumoFixture f;
  // (a OP b) of two arguments, which are frame slots, decides an if.
  const char* ops[] = {"==", "!=", "<", "<=", ">", ">="};
  for (int k = 0; k < 6; ++k) {
    char def[160];
    std::snprintf(def, sizeof def, "function c%d(a, b) { real scalar r; r = 0; if (a %s b) r = 1; return(r) }", k, ops[k]);
    ASSERT_EQ(f.Run(def), 0) << def;
  }
  // Pairs: equal, less, greater, and missing values, which order above
  // every number and .a above . (so . == . but . < .a).
  struct Pair {
    const char* a;
    const char* b;
    double want[6];  // ==, !=, <, <=, >, >=
  } pairs[] = {
      {"2", "2", {1, 0, 0, 1, 0, 1}},     {"1", "2", {0, 1, 1, 1, 0, 0}},       {"3", "-3", {0, 1, 0, 0, 1, 1}},
      {".", "1e300", {0, 1, 0, 0, 1, 1}}, {"-1e300", ".", {0, 1, 1, 1, 0, 0}}, {".", ".", {1, 0, 0, 1, 0, 1}},
      {".", ".a", {0, 1, 1, 1, 0, 0}},    {".z", ".a", {0, 1, 0, 0, 1, 1}},
  };
  for (const Pair& p : pairs)
    for (int k = 0; k < 6; ++k) {
      char call[80];
      std::snprintf(call, sizeof call, "x = c%d(%s, %s)", k, p.a, p.b);
      ASSERT_EQ(f.Run(call), 0) << call;
      EXPECT_EQ(Scalar(f, "x"), p.want[k]) << call;
    }
}

TEST(LumoLoops, LoopCountsFollowTheTest) {
  LumoFixture f;
  ASSERT_EQ(f.Run("function up(real scalar n) { real scalar i, c; c = 0; for (i = 1; i <= n; i++) c++; return(c) }"), 0);
  ASSERT_EQ(f.Run("function below(real scalar n) { real scalar i, c; c = 0; for (i = 1; i < n; i++) c++; return(c) }"), 0);
  ASSERT_EQ(f.Run("function down(real scalar n) { real scalar i, c; c = 0; for (i = n; i >= 1; i--) c++; return(c) }"), 0);
  ASSERT_EQ(f.Run("function until(real scalar n) { real scalar i, c; c = 0; i = 0; while (i != n) { i++; c++ }\n return(c) }"), 0);
  ASSERT_EQ(f.Run("a = up(10); b = below(10); c = down(10); d = until(7); e = up(0); g = down(0)"), 0);
  EXPECT_EQ(Scalar(f, "a"), 10);
  EXPECT_EQ(Scalar(f, "b"), 9);
  EXPECT_EQ(Scalar(f, "c"), 10);
  EXPECT_EQ(Scalar(f, "d"), 7);
  EXPECT_EQ(Scalar(f, "e"), 0);
  EXPECT_EQ(Scalar(f, "g"), 0);
  // A missing bound is above every number: i <= . holds until i itself
  // is missing, which ++ never makes it; the loop ends on its own test.
  ASSERT_EQ(f.Run("function capped() { real scalar i, m, c; m = .; c = 0\n"
                  " for (i = 1; i <= m; i++) { c++; if (c == 5) break }\n return(c) }"),
            0);
  ASSERT_EQ(f.Run("h = capped()"), 0);
  EXPECT_EQ(Scalar(f, "h"), 5);
}

TEST(LumoLoops, IncrementInPlace) {
  LumoFixture f;
  // A missing local stays missing; 2^53 + 1 is not representable, so ++
  // leaves 2^53 as the addition itself does.
  ASSERT_EQ(f.Run("function inc(x) { real scalar y; y = x; y++; return(y) }"), 0);
  ASSERT_EQ(f.Run("a = inc(.); b = inc(.b); c = inc(-1); d = inc(9007199254740992); e = inc(2.5)"), 0);
  EXPECT_EQ(Scalar(f, "a"), kMiss);
  EXPECT_EQ(Scalar(f, "b"), nuvra::data::missing_value(2));
  EXPECT_EQ(Scalar(f, "c"), 0);
  EXPECT_EQ(Scalar(f, "d"), 9007199254740992.0);
  EXPECT_EQ(Scalar(f, "e"), 3.5);
  // Only the first element of a real matrix changes.
  ASSERT_EQ(f.Run("function incm() { real matrix m; m = (1, 2 \\ 3, 4); m++; return(m) }"), 0);
  ASSERT_EQ(f.Run("m = incm()"), 0);
  ValueRecord* m = f.session.values().FindGlobal("m");
  ASSERT_TRUE(m && m->rows == 2 && m->cols == 2);
  EXPECT_EQ(std::vector<double>(reals(m), reals(m) + 4), (std::vector<double>{2, 2, 3, 4}));
  // Non-real and empty locals fail as before: complex and string with
  // 3253, a 0 x 0 real with 3204.
  ASSERT_EQ(f.Run("function incz() { complex scalar z; z = 1 + 2i; z++; return(z) }"), 0);
  ASSERT_EQ(f.Run("function ince() { real matrix e; e++; return(e) }"), 0);
  f.host.errors.clear();
  EXPECT_EQ(f.Run("incz()"), 3253);
  EXPECT_NE(f.host.errors.find("nonreal found where real required"), std::string::npos) << f.host.errors;
  EXPECT_EQ(f.Run("ince()"), 3204);
  EXPECT_EQ(f.session.machine().depth(), 0);
}

TEST(LumoLoops, OperandsThatAreNotRealScalarsTakeTheGeneralPath) {
  LumoFixture f;
  ASSERT_EQ(f.Run("function lt(a, b) { real scalar r; r = 0; if (a < b) r = 1; return(r) }"), 0);
  ASSERT_EQ(f.Run("function add(a, b) { t = 0; t = a + b; return(t) }"), 0);
  // Strings compare bytewise and concatenate.
  ASSERT_EQ(f.Run("x = lt(\"ab\", \"b\"); y = lt(\"b\", \"ab\")"), 0);
  EXPECT_EQ(Scalar(f, "x"), 1);
  EXPECT_EQ(Scalar(f, "y"), 0);
  f.host.output.clear();
  ASSERT_EQ(f.Run("add(\"ab\", \"cd\")"), 0);
  EXPECT_EQ(f.host.output, "  abcd\n");
  // Complex: (1 + 2i) + 3 = 4 + 2i; vectors add element by element.
  ASSERT_EQ(f.Run("z = add(1 + 2i, 3); v = add((1, 2), (10, 20))"), 0);
  ValueRecord* z = f.session.values().FindGlobal("z");
  ASSERT_TRUE(z && z->eltype == kComplex && z->rows == 1 && z->cols == 1);
  EXPECT_EQ(reals(z)[0], 4);
  EXPECT_EQ(reals(z)[1], 2);
  ValueRecord* v = f.session.values().FindGlobal("v");
  ASSERT_TRUE(v && v->eltype == kReal && v->rows == 1 && v->cols == 2);
  EXPECT_EQ(reals(v)[0], 11);
  EXPECT_EQ(reals(v)[1], 22);
  // A string beside a number fails.
  EXPECT_EQ(f.Run("lt(\"a\", 1)"), 3250);
  EXPECT_EQ(f.Run("add(\"a\", 1)"), 3251);
  // A real scalar destination that is an argument is the caller's record:
  // the update reaches the caller's variable.
  ASSERT_EQ(f.Run("function into(d, a, b) { d = a * b }"), 0);
  ASSERT_EQ(f.Run("w = 0; into(w, 6, 7)"), 0);
  EXPECT_EQ(Scalar(f, "w"), 42);
  // A destination that is not a real scalar is replaced, not written into.
  ASSERT_EQ(f.Run("s = \"old\"; into(s, 2, 3)"), 0);
  EXPECT_EQ(Scalar(f, "s"), 6);
}

TEST(LumoLoops, ALoopVariableSeenThroughAPointer) {
  LumoFixture f;
  // Reads through p see every increment; a store through p moves the
  // loop on (i: 1, then 2 by *p and 3 by ++, ... body at 1, 3, 5, 7, 9).
  ASSERT_EQ(f.Run("function viap(real scalar n) { real scalar i, s, c; pointer scalar p\n"
                  " p = &i; s = 0; c = 0\n"
                  " for (i = 1; i <= n; i++) s = s + *p\n"
                  " for (i = 1; i <= n; i++) { c++; *p = *p + 1 }\n"
                  " return((s, c, i)) }"),
            0);
  ASSERT_EQ(f.Run("r = viap(10)"), 0);
  ValueRecord* r = f.session.values().FindGlobal("r");
  ASSERT_TRUE(r && r->eltype == kReal && r->cols == 3);
  EXPECT_EQ(std::vector<double>(reals(r), reals(r) + 3), (std::vector<double>{55, 5, 11}));
  // The loop variable turned into a string through the pointer: the next
  // test compares a string with a number and fails; the caller's own
  // variables are left as they were.
  ASSERT_EQ(f.Run("function tostr() { transmorphic i; pointer scalar p; p = &i\n"
                  " i = 1; while (i <= 3) *p = \"x\"\n return(i) }"),
            0);
  ASSERT_EQ(f.Run("keep = 17"), 0);
  f.host.errors.clear();
  EXPECT_EQ(f.Run("keep = tostr()"), 3250);
  EXPECT_EQ(Scalar(f, "keep"), 17);
  EXPECT_EQ(f.session.machine().depth(), 0);
}

TEST(LumoLoops, TracedErrorsGiveTheFailingInstructionsOffset) {
  LumoFixture f;
  // Offsets as the listing gives them: the inc at 14 and the count at 2.
  const char* def = "function bad() { string scalar s; s = \"a\"; s++ }";
  std::string listing = f.Listing(def);
  EXPECT_NE(listing.find("\n    2  count 0\n"), std::string::npos) << listing;
  EXPECT_NE(listing.find("\n   14  inc 0\n"), std::string::npos) << listing;
  ASSERT_EQ(f.Run(def), 0);
  f.session.machine().tracing = true;
  f.host.errors.clear();
  EXPECT_EQ(f.Run("bad()"), 3253);
  char want[200];
  std::snprintf(want, sizeof want, "%24s: %5d  %s {14}\n", "bad()", 3253, "nonreal found where real required");
  EXPECT_EQ(f.host.errors.substr(0, f.host.errors.find('\n') + 1), want) << f.host.errors;
  f.host.errors.clear();
  EXPECT_EQ(f.Run("bad(1)"), 3001);
  std::snprintf(want, sizeof want, "%24s: %5d  %s {2}\n", "bad()", 3001, "expected 0 arguments but received 1");
  EXPECT_EQ(f.host.errors.substr(0, f.host.errors.find('\n') + 1), want) << f.host.errors;
}

std::vector<double> Row(LumoFixture& f, const char* name) {
  ValueRecord* v = f.session.values().FindGlobal(name);
  if (!v || v->eltype != kReal || v->rows != 1) return {};
  return std::vector<double>(reals(v), reals(v) + v->cols);
}

TEST(LumoLoops, ForLoopsOfOneScalarStatement) {
  LumoFixture f;
  // Every operator a scalar statement may hold: the count of i in
  // {3, 4, 5} and {7} for i = 1..10 is 4; sums of 1/i in the order the
  // loop adds them; a countdown.
  ASSERT_EQ(f.Run("function ops(real scalar n) { real scalar i, c, h, s; c = 0; h = 0; s = 0\n"
                  " for (i = 1; i <= n; i++) c = c + (i >= 3 & i <= 5) + (i == 7 | 0)\n"
                  " for (i = 1; i < 5; i++) h = h + 1/i\n"
                  " for (i = n; i > 0; i--) s = s + i\n"
                  " return((c, h, s, i)) }"),
            0);
  ASSERT_EQ(f.Run("r = ops(10)"), 0);
  EXPECT_EQ(Row(f, "r"), (std::vector<double>{4, 1.0 + 1.0 / 2 + 1.0 / 3 + 1.0 / 4, 55, 0}));
  // Missing values and overflow as the operators give them: 1/0 is
  // missing and stays so; 1e300 * 1e300 overflows to missing.
  ASSERT_EQ(f.Run("function miss() { real scalar i, s, x; s = 0; x = 1\n"
                  " for (i = -1; i <= 1; i++) s = s + 1/i\n"
                  " for (i = 1; i <= 3; i++) x = x * 1e300\n"
                  " return((s, x)) }"),
            0);
  ASSERT_EQ(f.Run("r = miss()"), 0);
  EXPECT_EQ(Row(f, "r"), (std::vector<double>{kMiss, kMiss}));
  // The body may write the loop variable or the bound: i doubles in the
  // body and steps by one (1, 3, 7, 15, 31, 63, then 127); n falls by one
  // a turn while i rises (n = 5 when i reaches 6).
  ASSERT_EQ(f.Run("function moving() { real scalar i, j, n; n = 10\n"
                  " for (i = 1; i <= 100; i++) i = i * 2\n"
                  " for (j = 1; j <= n; j++) n = n - 1\n"
                  " return((i, j, n)) }"),
            0);
  ASSERT_EQ(f.Run("r = moving()"), 0);
  EXPECT_EQ(Row(f, "r"), (std::vector<double>{127, 6, 5}));
  // The loop variable is the caller's own, passed by reference, and the
  // sum is read back through a pointer to it.
  ASSERT_EQ(f.Run("function byref(i, real scalar n) { real scalar s; pointer scalar p; p = &s; s = 0\n"
                  " for (i = 1; i <= n; i++) s = s + i\n return(*p) }"),
            0);
  ASSERT_EQ(f.Run("k = 0; r = byref(k, 4)"), 0);
  EXPECT_EQ(Scalar(f, "r"), 10);
  EXPECT_EQ(Scalar(f, "k"), 5);
  // A destination that is not a real scalar leaves the statement to the
  // general path: (1, 2) * 1 * 2 * 3.
  ASSERT_EQ(f.Run("function vec() { real scalar i; real matrix v; v = (1, 2)\n"
                  " for (i = 1; i <= 3; i++) v = v * i\n return(v) }"),
            0);
  ASSERT_EQ(f.Run("r = vec()"), 0);
  EXPECT_EQ(Row(f, "r"), (std::vector<double>{6, 12}));
  // A string bound fails at the test, as the comparison does.
  ASSERT_EQ(f.Run("function strbound(n) { real scalar i, s; s = 0; for (i = 1; i <= n; i++) s = s + i; return(s) }"), 0);
  EXPECT_EQ(f.Run("strbound(\"3\")"), 3250);
  EXPECT_EQ(f.session.machine().depth(), 0);
}

// Asks for Break once a deadline has passed, and notes when it first said
// yes.
class DeadlineHost : public LumoTestHost {
 public:
  bool PollBreak() override {
    if (Clock::now() < deadline) return false;
    if (!asked) {
      asked = true;
      first_yes = Clock::now();
    }
    return true;
  }
  Clock::time_point deadline = Clock::time_point::max();
  Clock::time_point first_yes;
  bool asked = false;
};

TEST(LumoLoops, BreakStopsAFusedLoopPromptly) {
  const char* loops[] = {
      "function spin() { real scalar i, n; i = 0; n = 1; while (i < n) { } }",
      "function spin() { real scalar i, t; t = 0; for (i = 1; i >= 0; i++) t = t + i }",
      "function spin() { real scalar i, x; x = 0; for (i = 1; i >= 0; i++) x = x*0.5 + i }",
  };
  for (const char* def : loops) {
    DeadlineHost host;
    Session session(host);
    int rc = 0;
    session.Run(def, &rc);
    ASSERT_EQ(rc, 0) << def;
    host.deadline = Clock::now() + std::chrono::milliseconds(30);
    session.Run("spin()", &rc);
    Clock::time_point end = Clock::now();
    EXPECT_EQ(rc, 1) << def;
    ASSERT_TRUE(host.asked) << def;
    // From the poll's first yes, not from the deadline: what matters is
    // how soon the machine acts on it once asked.
    EXPECT_LT(std::chrono::duration<double>(end - host.first_yes).count(), 0.1) << def;
    // Jumps are counted between polls: the first yes came soon after the
    // deadline.
    EXPECT_LT(std::chrono::duration<double>(host.first_yes - host.deadline).count(), 0.1) << def;
    EXPECT_EQ(session.machine().depth(), 0);
  }
}

}  // namespace
