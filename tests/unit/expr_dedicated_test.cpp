// The names compiled by rules of their own: the opcode a row of the table
// carries is the one its rule emits, and the aliases compute what the
// names they stand for compute.
#include <algorithm>
#include <cmath>

#include "data/expr/functions.h"
#include "expr_fixture.h"

namespace nuvra::testing {
namespace {

class DedicatedTest : public ExprTest {};

// Rules that emit the opcode of their row.
bool emits_row_opcode(expr::DedicatedRule r) {
  using R = expr::DedicatedRule;
  return r == R::kSubstr || r == R::kStrNum || r == R::kSubin || r == R::kNumbers || r == R::kCounted ||
         r == R::kCountedRandom || r == R::kDateText;
}

TEST_F(DedicatedTest, RowOpcodeIsTheOneEmitted) {
  add("x", data::kDouble, {0.5});
  const expr::DedicatedFunction* d = expr::dedicated_table();
  int checked = 0;
  for (size_t k = 0; k < expr::dedicated_count(); ++k) {
    if (!d[k].ready) continue;
    if (!emits_row_opcode(d[k].rule)) {
      // Constants and folded names leave no opcode of their own in the table.
      if (d[k].rule != expr::DedicatedRule::kEl) {
        EXPECT_EQ(d[k].op, expr::kNoOp) << d[k].name;
      }
      continue;
    }
    ASSERT_NE(d[k].op, expr::kNoOp) << d[k].name;
    std::string call = std::string(d[k].name) + "(";
    using R = expr::DedicatedRule;
    switch (d[k].rule) {
      case R::kSubstr: call += "\"abc\",1,1"; break;
      case R::kStrNum: call += "\"a b\",1"; break;
      case R::kSubin: call += "\"a\",\"a\",\"b\",1"; break;
      case R::kDateText: call += "\"2001-02-03\",\"YMD\""; break;
      default:
        for (int a = 0; a < d[k].least; ++a) call += a ? ",1" : "x";
    }
    call += ")";
    ASSERT_EQ(compile(call), 0) << call << printed;
    EXPECT_NE(std::find(prog.code.begin(), prog.code.end(), d[k].op), prog.code.end()) << call;
    ++checked;
  }
  EXPECT_GE(checked, 20);
}

TEST_F(DedicatedTest, AliasesComputeWhatTheyStandFor) {
  add("x", data::kDouble, {1});
  EXPECT_NEAR(num("invnorm(.975)"), 1.959963984540054, 1e-13);
  EXPECT_EQ(num("norm(0)"), 0.5);
  EXPECT_NEAR(num("lnfact(3)"), std::log(6.0), 1e-14);
  // P(X >= 5) for X binomial(10, 1/2): 638 of 1024.
  EXPECT_NEAR(num("Binomial(10,5,.5)"), 638.0 / 1024.0, 1e-14);
  EXPECT_EQ(str("substr(\"hello\",2,3)"), "ell");
  EXPECT_EQ(str("word(\"one two three\",2)"), "two");
  EXPECT_EQ(str("subinword(\"a b a ab\",\"a\",\"x\",.)"), "x b x ab");
  EXPECT_EQ(str("subinstr(\"a b a ab\",\"a\",\"x\",2)"), "x b x ab");
  EXPECT_NEAR(num("normd(0)"), 1 / std::sqrt(2 * M_PI), 1e-15);
  EXPECT_NEAR(num("lnormalden(0)"), -0.5 * std::log(2 * M_PI), 1e-14);
  EXPECT_EQ(num("maxint()"), 32740);
  EXPECT_EQ(num("_caller()"), ip.version / 100.0);
  EXPECT_EQ(compile("nullmat(x)"), 109);
}

}  // namespace
}  // namespace nuvra::testing
