// opcount(): the machine's count of instructions executed.  Straight-line
// code must count exactly the instructions its disassembly lists between
// two calls; a loop must add the same number per turn whether the
// machine runs it through its scalar shortcuts or one instruction at a
// time (a complex local keeps it off them); and opcount(c) returns the
// count and then sets it.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "lumo/value.h"
#include "lumo_test_host.h"

namespace {

using namespace nuvra::lumo;

double Scalar(LumoFixture& f, const char* name) {
  ValueRecord* v = f.session.values().FindGlobal(name);
  if (!v || v->eltype != kReal || v->rows != 1 || v->cols != 1) return -12345;
  return reals(v)[0];
}

// The instruction lines of a listing (the first line is its header).
std::vector<std::string> Instructions(const std::string& listing) {
  std::vector<std::string> out;
  std::istringstream in(listing);
  std::string line;
  std::getline(in, line);
  while (std::getline(in, line))
    if (line.find("realpool") == std::string::npos && line.find("stringpool") == std::string::npos) out.push_back(line);
  return out;
}

// In straight-line code, the instructions after the first call of
// opcount() up to and including the second.
int ListedBetweenCalls(const std::string& listing) {
  std::vector<std::string> ins = Instructions(listing);
  int first = -1, second = -1;
  for (int k = 0; k < int(ins.size()); ++k)
    if (ins[k].find("(opcount)") != std::string::npos) (first < 0 ? first : second) = k;
  EXPECT_GE(first, 0) << listing;
  EXPECT_GT(second, first) << listing;
  return second - first;
}

TEST(LumoOpcount, StraightLineCodeCountsWhatTheListingHolds) {
  LumoFixture f;
  // Each body runs top to bottom: no jump, no call between the two
  // opcount() calls.  They cover the shortcuts for a local and a
  // constant, an operator stored straight into a local, a scalar run, a
  // matrix temporary and a built-in.
  const char* bodies[] = {
      "a = opcount(); b = opcount(); return(b - a)",
      "a = opcount(); x = 2; y = x + 3; b = opcount(); return(b - a)",
      "a = opcount(); x = 2; y = 3; z = x * y; b = opcount(); return(b - a)",
      "a = opcount(); x = 2; y = (x * 0.5 + 1) / 3 - x; b = opcount(); return(b - a)",
      "a = opcount(); m = (1, 2 \\ 3, 4); s = sum(m :* 2); b = opcount(); return(b - a)",
      "a = opcount(); s = \"ab\" + \"cd\"; n = strlen(s); b = opcount(); return(b - a)",
  };
  int k = 0;
  for (const char* body : bodies) {
    std::string name = "s" + std::to_string(k++);
    ASSERT_EQ(f.Run("function " + name + "() { real scalar a, b, x, y, z, n; real matrix m; " + body + " }"), 0) << body;
    int listed = ListedBetweenCalls(f.session.DisassembleFunction(name));
    ASSERT_EQ(f.Run("r = " + name + "()"), 0) << body;
    EXPECT_EQ(Scalar(f, "r"), listed) << body << "\n" << f.session.DisassembleFunction(name);
  }
}

// A counted loop's cost in instructions for n turns: the difference of
// two runs is linear in the difference of their turns.
double Cost(LumoFixture& f, const std::string& fn, int n) {
  std::string call = "c = " + fn + "(" + std::to_string(n) + ")";
  EXPECT_EQ(f.Run(call), 0) << call << f.host.errors;
  return Scalar(f, "c");
}

TEST(LumoOpcount, LoopsCountTheSamePerTurnWithOrWithoutShortcuts) {
  LumoFixture f;
  // Each function returns the instructions its loop took.  In the real
  // versions the loop is run whole by the scalar shortcuts; a complex t
  // or x makes every body instruction run one by one.
  ASSERT_EQ(f.Run("function sumr(real scalar n) { real scalar i, t, a; t = 0; a = opcount()\n"
                  " for (i = 1; i <= n; i++) t = t + i\n return(opcount() - a) }"),
            0);
  ASSERT_EQ(f.Run("function sumc(real scalar n) { real scalar i, a; complex scalar t; t = 0i; a = opcount()\n"
                  " for (i = 1; i <= n; i++) t = t + i\n return(opcount() - a) }"),
            0);
  ASSERT_EQ(f.Run("function updr(real scalar n) { real scalar i, x, a; x = 0; a = opcount()\n"
                  " for (i = 1; i <= n; i++) x = x*0.5 + i\n return(opcount() - a) }"),
            0);
  ASSERT_EQ(f.Run("function updc(real scalar n) { real scalar i, a; complex scalar x; x = 0i; a = opcount()\n"
                  " for (i = 1; i <= n; i++) x = x*0.5 + i\n return(opcount() - a) }"),
            0);
  ASSERT_EQ(f.Run("function wh(real scalar n) { real scalar i, c, a; i = 0; c = 0; a = opcount()\n"
                  " while (i != n) { i++; c++ }\n return(opcount() - a) }"),
            0);
  // Per turn, from the listings: for t = t + i, the body (local t, local
  // i, add, storepop t, jump) 5, the step (local i, pop, inc i, jump) 4,
  // the test (local i, local n, le, jumpiffalse) 4 and the jump back to
  // the body 1: 14.  For x = x*0.5 + i the body has two more (real,
  // mul): 16.
  const double sumr = Cost(f, "sumr", 1000) - Cost(f, "sumr", 10);
  const double sumc = Cost(f, "sumc", 1000) - Cost(f, "sumc", 10);
  EXPECT_EQ(sumr, 990 * 14.0) << f.session.DisassembleFunction("sumr");
  EXPECT_EQ(sumc, sumr);
  const double updr = Cost(f, "updr", 1000) - Cost(f, "updr", 10);
  EXPECT_EQ(updr, 990 * 16.0) << f.session.DisassembleFunction("updr");
  EXPECT_EQ(Cost(f, "updc", 1000) - Cost(f, "updc", 10), updr);
  // The same loops with no turn at all, and one turn, cost the same in
  // both forms.
  EXPECT_EQ(Cost(f, "sumr", 0), Cost(f, "sumc", 0));
  EXPECT_EQ(Cost(f, "sumr", 1), Cost(f, "sumc", 1));
  EXPECT_EQ(Cost(f, "updr", 1), Cost(f, "updc", 1));
  EXPECT_EQ(Cost(f, "sumr", 1) - Cost(f, "sumr", 0), 14);
  // while (i != n) { i++; c++ }: the test (local i, local n, ne,
  // jumpiffalse) 4, each ++ statement (local, pop, inc) 3, the jump back 1.
  EXPECT_EQ(Cost(f, "wh", 500) - Cost(f, "wh", 100), 400 * 11.0) << f.session.DisassembleFunction("wh");
}

TEST(LumoOpcount, SettingReturnsTheCountAndRestartsIt) {
  LumoFixture f;
  ASSERT_EQ(f.Run("function two() { real scalar a, b; a = opcount(0); b = opcount(); return(b) }"), 0);
  ASSERT_EQ(f.Run("r = two()"), 0);
  // After opcount(0), everything up to and including the second call.
  EXPECT_EQ(Scalar(f, "r"), ListedBetweenCalls(f.session.DisassembleFunction("two")));
  ASSERT_EQ(f.Run("function from(c) { real scalar a, b; a = opcount(c); b = opcount(); return((a, b)) }"), 0);
  ASSERT_EQ(f.Run("v = from(1e15)"), 0);
  ValueRecord* v = f.session.values().FindGlobal("v");
  ASSERT_TRUE(v && v->cols == 2);
  EXPECT_GT(reals(v)[0], 0);  // the session's count so far
  EXPECT_EQ(reals(v)[1], 1e15 + ListedBetweenCalls(f.session.DisassembleFunction("from")));
  // Refused: negative, fractional, missing, too large for a double to
  // count in ones, not real, not a scalar.
  const char* bad[][2] = {{"opcount(-1)", "3300"}, {"opcount(0.5)", "3300"}, {"opcount(.)", "3300"},
                          {"opcount(2^53 + 2)", "3300"}, {"opcount(\"1\")", "3253"}, {"opcount((1, 2))", "3204"}};
  for (auto& b : bad) EXPECT_EQ(std::to_string(f.Run(std::string("x = ") + b[0])), b[1]) << b[0];
}

}  // namespace
