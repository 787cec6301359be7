// Lumo compiler: listings of small statements and definitions written by
// hand from the opcode table, and the compile errors that abandon a unit.
#include <gtest/gtest.h>

#include <string>

#include "lumo_test_host.h"

namespace {

TEST(LumoCompile, SubtractionIsLeftAssociative) {
  LumoFixture f;
  EXPECT_EQ(f.Listing("a - b - c"),
            "args 0, required 0\n"
            "    2  external 0 a\n"
            "    6  external 0 b\n"
            "   10  external 0 c\n"
            "   14  local 0\n"
            "   16  local 1\n"
            "   18  sub\n"
            "   19  local 2\n"
            "   21  sub\n"
            "   22  display\n"
            "   23  pop\n"
            "   24  void\n"
            "   25  ret\n");
}

TEST(LumoCompile, AssignmentCompilesTheRightSideFirst) {
  LumoFixture f;
  // b must exist (flag 0); a is made when absent (flag 1).  The store and
  // the statement's pop are one instruction.
  EXPECT_EQ(f.Listing("a = b"),
            "args 0, required 0\n"
            "    2  external 0 b\n"
            "    6  external 1 a\n"
            "   10  local 0\n"
            "   12  storepop 1\n"
            "   14  void\n"
            "   15  ret\n");
}

TEST(LumoCompile, LeadingMinusAppliesAfterThePower) {
  LumoFixture f;
  EXPECT_EQ(f.Listing("-2:^2"),
            "args 0, required 0\n"
            "    2  real 14 (2)\n"
            "    4  real 14 (2)\n"
            "    6  colonpow\n"
            "    7  neg\n"
            "    8  display\n"
            "    9  pop\n"
            "   10  void\n"
            "   11  ret\n"
            "   12  realpool 1: 2\n");
  EXPECT_EQ(f.Listing("(-2):^2"),
            "args 0, required 0\n"
            "    2  real 13 (-2)\n"
            "    4  real 15 (2)\n"
            "    6  colonpow\n"
            "    7  display\n"
            "    8  pop\n"
            "    9  void\n"
            "   10  ret\n"
            "   11  realpool 2: -2 2\n");
  EXPECT_EQ(f.Run("-2:^2"), 0);
  EXPECT_EQ(f.host.output, "  -4\n");
  f.host.output.clear();
  EXPECT_EQ(f.Run("(-2):^2"), 0);
  EXPECT_EQ(f.host.output, "  4\n");
}

TEST(LumoCompile, TransposeTwiceAndPrefixMinus) {
  LumoFixture f;
  EXPECT_EQ(f.Listing("x' '"),
            "args 0, required 0\n"
            "    2  external 0 x\n"
            "    6  local 0\n"
            "    8  transpose\n"
            "    9  transpose\n"
            "   10  display\n"
            "   11  pop\n"
            "   12  void\n"
            "   13  ret\n");
  EXPECT_EQ(f.Listing("1 + -2"),
            "args 0, required 0\n"
            "    2  one\n"
            "    3  real 12 (-2)\n"
            "    5  add\n"
            "    6  display\n"
            "    7  pop\n"
            "    8  void\n"
            "    9  ret\n"
            "   10  realpool 1: -2\n");
}

TEST(LumoCompile, ForLoopWithBreakAndContinue) {
  LumoFixture f;
  EXPECT_EQ(f.Listing("for (i=1; i<=3; i++) { if (i==2) continue; if (i==3) break; i }"),
            "args 0, required 0\n"
            "    2  external 1 i\n"
            "    6  one\n"
            "    7  storepop 0\n"
            "    9  local 0\n"
            "   11  real 53 (3)\n"
            "   13  le\n"
            "   14  jumpiffalse 49\n"
            "   16  jump 25\n"
            "   18  local 0\n"
            "   20  pop\n"
            "   21  inc 0\n"
            "   23  jump 9\n"
            "   25  local 0\n"
            "   27  real 55 (2)\n"
            "   29  eq\n"
            "   30  jumpiffalse 34\n"
            "   32  jump 18\n"
            "   34  local 0\n"
            "   36  real 53 (3)\n"
            "   38  eq\n"
            "   39  jumpiffalse 43\n"
            "   41  jump 49\n"
            "   43  local 0\n"
            "   45  display\n"
            "   46  pop\n"
            "   47  jump 18\n"
            "   49  void\n"
            "   50  ret\n"
            "   51  realpool 2: 3 2\n");
  // Running it: 2 is skipped by continue, 3 ends the loop.
  EXPECT_EQ(f.Run("for (i=1; i<=3; i++) { if (i==2) continue; if (i==3) break; i }"), 0);
  EXPECT_EQ(f.host.output, "  1\n");
}

TEST(LumoCompile, TwoPostponedIncrementsRunAfterTheStatement) {
  LumoFixture f;
  EXPECT_EQ(f.Listing("x = a++ + b++"),
            "args 0, required 0\n"
            "    2  external 0 a\n"
            "    6  external 0 b\n"
            "   10  external 1 x\n"
            "   14  local 0\n"
            "   16  local 1\n"
            "   18  add\n"
            "   19  storepop 2\n"
            "   21  inc 0\n"
            "   23  inc 1\n"
            "   25  void\n"
            "   26  ret\n");
  ASSERT_EQ(f.Run("a = 10; b = 20; x = a++ + b++"), 0);
  ASSERT_EQ(f.Run("x, a, b"), 0);
  EXPECT_NE(f.host.output.find("30  11  21"), std::string::npos) << f.host.output;
}

TEST(LumoCompile, OptionalArgumentsGetTheirEmptyDefaults) {
  LumoFixture f;
  EXPECT_EQ(f.Listing("function opt(real scalar a, | string b, real colvector c) { return(a) }"),
            "args 3, required 1\n"
            "    2  optstringmat 2 b\n"
            "    6  optrealcol 3 c\n"
            "   10  count 3\n"
            "   12  local 0\n"
            "   14  jump 17\n"
            "   16  void\n"
            "   17  ret\n");
  EXPECT_EQ(f.host.output, "note: argument b unused\nnote: argument c unused\n");
  ASSERT_EQ(f.Run("function opt2(real scalar a, | string b, real colvector c) { return(rows(c) + cols(c) + length(b)) }"), 0);
  ASSERT_EQ(f.Run("opt2(1)"), 0);
  ASSERT_EQ(f.Run("opt2(1, \"abc\", (1\\2\\3))"), 0);
  EXPECT_NE(f.host.output.find("  1\n  5\n"), std::string::npos) << f.host.output;
}

// Each case: the text, and the message that must be printed.
struct CompileError {
  const char* text;
  const char* message;
};

TEST(LumoCompile, ErrorsAbandonTheUnit) {
  std::string many = "x = (";
  for (int k = 2; k <= 102; ++k) many += std::to_string(k) + (k < 102 ? "," : ")");
  std::string hundred = "x = (";
  for (int k = 2; k <= 101; ++k) hundred += std::to_string(k) + (k < 101 ? "," : ")");
  std::string repeated = "x = (";
  for (int k = 2; k <= 101; ++k) repeated += std::to_string(k) + "," + std::to_string(k) + (k < 101 ? "," : ")");
  const CompileError kCases[] = {
      {many.c_str(), "no room to add more double literals\n"},
      {"a++ + b++ + c++ + d++ + e++ + f++ + g++ + h++ + i++", "too many postponed ++ or --\n"},
      {"function f1() { goto toolong8\ntoolong8: return(1) }", "toolong8:  tag name too long\n"},
      {"function f2() { lab: x = 1\nlab: return(x) }", "lab:  tag multiply defined\n"},
      {"function f3() { goto nowhere }", "nowhere undefined tag\n"},
      {"x'[1]", "expression invalid\n"},
      {"real scalar f4(string scalar s) { return(s - 1) }",
       "{p}\ntype mismatch:  exp - exp:  string scalar - real scalar not allowed\n{p_end}\n"},
      {"function sqrt(x) { return(x) }", "sqrt() is built-in\n"},
      {"break", "misplaced break or continue\n"},
      {"x = \"abc", "mismatched quotes\n"},
      {"x = (1,2]", "] found where ) expected\n"},
      {"x = 1)", "too many ')'\n"},
      {"sqrt(1, 2)", "wrong number of arguments for sqrt()\n"},
      {"x = ", "nothing found where subexp expected\n"},
      {"3++", "invalid use of ++ or --\n"},
      {"x[1,2,3]", "invalid [ ] list subscript\n"},
      {"c ? 1", "? :  matching ':' not found\n"},
      {"function f5(real scalar c) { return(c ? 1 : \"a\") }",
       "{p}\ntype mismatch:  ? ... : ... not allowed\n{p_end}\n"},
      {"real scalar x", "type declaration required\n"},
      {"function f6(a) { pragma nonsense a }", "invalid pragma\n"},
      {"function f7(a, a) { return(a) }", "symbol a multiply defined\n"},
      {"function f8(| function g) { return(1) }", "function arguments cannot be optional\n"},
  };
  for (const CompileError& c : kCases) {
    LumoFixture f;
    EXPECT_EQ(f.Run(c.text), 3000) << c.text;
    EXPECT_EQ(f.host.errors, c.message) << c.text;
    // Nothing of the unit is kept: no function defined, no global made.
    EXPECT_TRUE(f.session.values().functions().empty()) << c.text;
    EXPECT_EQ(f.session.values().record_count(), 0u) << c.text;
  }
  // A hundred distinct constants fit, and a repeated one costs nothing.
  LumoFixture ok;
  EXPECT_EQ(ok.Run(hundred), 0) << ok.host.errors;
  EXPECT_EQ(ok.Run(repeated), 0) << ok.host.errors;
}

TEST(LumoCompile, DefinitionOfAnExistingNameFails) {
  LumoFixture f;
  ASSERT_EQ(f.Run("function twice(x) { return(x) }"), 0);
  EXPECT_EQ(f.Run("function twice(y) { return(2*y) }"), 3000);
  EXPECT_EQ(f.host.errors, "twice() already exists\n");
  ASSERT_EQ(f.Run("twice(3)"), 0);
  EXPECT_EQ(f.host.output, "  3\n");
}

TEST(LumoCompile, UnfinishedTextAsksForMore) {
  LumoFixture f;
  EXPECT_EQ(f.Run("function f(x) {"), -1);
  EXPECT_EQ(f.Run("x = (1,"), -1);
  EXPECT_EQ(f.Run("if (1)"), -1);
  EXPECT_EQ(f.Run("function f(x) {\n return(x+1)\n}\nf(1)"), 3000);  // only a definition per unit
}

TEST(LumoCompile, DeepNestingIsRefusedBeforeTheStackRunsOut) {
  LumoFixture f;
  std::string deep = "x = " + std::string(600, '(') + "1" + std::string(600, ')');
  EXPECT_EQ(f.Run(deep), 3000);
  EXPECT_FALSE(f.host.errors.empty());
  f.host.errors.clear();
  std::string blocks = "function deep() {" + std::string(700, '{') + std::string(700, '}') + "}";
  EXPECT_EQ(f.Run(blocks), 3000);
  EXPECT_EQ(f.host.errors, "expression too long\n");
  f.host.errors.clear();
  std::string subs = "x";
  for (int k = 0; k < 600; ++k) subs += "[1";
  for (int k = 0; k < 600; ++k) subs += "]";
  EXPECT_EQ(f.Run(subs), 3000);
  EXPECT_FALSE(f.host.errors.empty());
}

}  // namespace
