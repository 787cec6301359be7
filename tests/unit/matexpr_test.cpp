// Matrix expressions: precedence and associativity, the operators' shape
// rules and their return codes, missing values, the sweep behind invsym()
// with its two settings, and el() whose subscripts change per observation.
// Expected matrices are worked by hand in the comments.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "expr_fixture.h"
#include "stats/matexpr.h"

namespace nuvra::testing {
namespace {

class MatExprTest : public ExprTest {
 protected:
  rc_t eval(const std::string& text) {
    side.text.clear();
    rc_t rc = stats::eval_matrix(ip, text, &m);
    ip.out.flush();
    printed = side.text;
    return rc;
  }
  // The value of `text`, which must succeed, as rows of numbers.
  std::vector<std::vector<double>> rows(const std::string& text) {
    EXPECT_EQ(eval(text), 0) << text << ": " << printed;
    std::vector<std::vector<double>> out(static_cast<size_t>(m.rows));
    for (int i = 0; i < m.rows; ++i)
      for (int j = 0; j < m.cols; ++j) out[i].push_back(m.at(i, j));
    return out;
  }
  using R = std::vector<std::vector<double>>;
  stats::Matrix m;
  R r_;
};

TEST_F(MatExprTest, PrecedenceAndAssociation) {
  EXPECT_EQ(rows("2-3-4"), (R{{-5}}));
  EXPECT_EQ(rows("8/4/2"), (R{{1}}));
  EXPECT_EQ(rows("2^3^2"), (R{{64}}));
  EXPECT_EQ(rows("-2^2"), (R{{-4}}));
  EXPECT_EQ(rows("1e-5+1"), (R{{1.00001}}));
  // Rows join below columns, columns below every operator.
  EXPECT_EQ(rows("1+1,2*3\\4,5-6"), (R{{2, 6}, {4, -1}}));
  // (1,2\3,4)(1\1) = (3\7); the transpose binds tighter than the product.
  EXPECT_EQ(rows("(1,2\\3,4)*(1\\1)"), (R{{3}, {7}}));
  EXPECT_EQ(rows("(1\\1)'*(1,2\\3,4)"), (R{{4, 6}}));
  EXPECT_EQ(rows("(1,2\\3,4)''"), (R{{1, 2}, {3, 4}}));
  // # binds tighter than *, looser than unary minus.
  EXPECT_EQ(rows("2*(1,2)#(1\\1)"), (R{{2, 4}, {2, 4}}));
  EXPECT_EQ(rows("-(1,2)#(1\\-1)"), (R{{-1, -2}, {1, 2}}));
  EXPECT_EQ(rows("(1,2)*3"), (R{{3, 6}}));
  EXPECT_EQ(rows("(2,4)/2 - (1,1)"), (R{{0, 1}}));
  EXPECT_EQ(rows("3 > 2 & 1 == 1"), (R{{1}}));
}

TEST_F(MatExprTest, ShapesAndCodes) {
  EXPECT_EQ(eval("(1,2)+(1\\2)"), 503);
  EXPECT_EQ(printed, "conformability error\n");
  EXPECT_EQ(eval("(1,2\\3)"), 503);
  EXPECT_EQ(eval("(1,2)*(1,2)"), 503);
  EXPECT_EQ(eval("(1,2)>(1,2)"), 509);
  EXPECT_EQ(eval("(1,2)^2"), 509);
  EXPECT_EQ(eval("nosuch"), 111);
  EXPECT_EQ(printed, "matrix nosuch not found\n");
  EXPECT_EQ(eval("frob(1)"), 133);
  EXPECT_EQ(eval("(1,2"), 132);
  EXPECT_EQ(eval("1,"), 198);
  EXPECT_EQ(eval("inv((1,2\\2,4))"), 506);
  EXPECT_EQ(eval("inv((1,2))"), 503);
  EXPECT_EQ(eval("invsym((1,.\\.,1))"), 504);
  EXPECT_EQ(eval("cholesky((1,2\\2,1))"), 506);
  ip.matsize = 10;
  EXPECT_EQ(eval("J(11,1,0)"), 908);
  EXPECT_EQ(eval("I(10)#(1\\1)"), 908);  // 20 rows: refused before it is formed
}

TEST_F(MatExprTest, MissingValuesAndScalarFunctions) {
  std::vector<std::vector<double>> r = rows("(1,.)*2");
  EXPECT_EQ(r[0][0], 2);
  EXPECT_TRUE(is_dot(r[0][1]));
  r = rows("(1,2)*(.\\1)");
  EXPECT_TRUE(is_dot(r[0][0]));
  EXPECT_EQ(rows("sqrt(16) + abs(-2)"), (R{{6}}));
  ASSERT_EQ(eval("A = 1"), 198);  // an assignment is not an expression
  ip.matrices["A"] = stats::Matrix::make(2, 2, 3);
  EXPECT_EQ(rows("max(A[1,2], 5, 4)"), (R{{5}}));
  // det of blocks [2] and [[3,4],[4,9]]: 2 * (27 - 16)
  EXPECT_EQ(rows("det((2,0,0\\0,3,4\\0,4,9))"), (R{{22}}));
}

TEST_F(MatExprTest, InvsymDropsAndTraces) {
  // [[4,4],[4,4]]: the second pivot falls to 0.
  EXPECT_EQ(rows("invsym((4,4\\4,4))"), (R{{0.25, 0}, {0, 0}}));
  ip.sweep_trace = true;
  EXPECT_EQ(rows("invsym((4))"), (R{{0.25}}));
  EXPECT_EQ(printed, "* 1  4.00000e+00  4.00000e-09\n");
  ip.sweep_trace = false;
  // [[1,1],[1,1+1e-12]]: largest diagonal first drops pivot 1; index
  // order drops pivot 2.
  ip.matrices["N"] = stats::Matrix::make(2, 2, 1);
  ip.matrices["N"].at(1, 1) = 1 + 1e-12;
  r_ = rows("invsym(N)");
  EXPECT_EQ(r_[0][0], 0);
  EXPECT_NEAR(r_[1][1], 1 / (1 + 1e-12), 1e-16);
  ip.sweep_select = false;
  EXPECT_EQ(rows("invsym(N)"), (R{{1, 0}, {0, 0}}));
}

TEST_F(MatExprTest, ElementsPerObservation) {
  add("k", data::kDouble, {1, 2, 3, 4});
  stats::Matrix a = stats::Matrix::make(3, 2);
  for (int i = 0; i < 3; ++i) a.at(i, 0) = 10 * (i + 1), a.at(i, 1) = 100 * (i + 1);
  ip.matrices["A"] = a;
  // Row k of column 2, and `.` past the last row: one at a time and in a block.
  ASSERT_EQ(compile("el(A, k, 2)"), 0) << printed;
  expr::EvalContext cx;
  expr::bind(ip, prog, &cx);
  EXPECT_EQ(expr::eval_number(cx, 2), 200);
  ASSERT_TRUE(expr::block_ok(prog));
  double block[4];
  expr::eval_block(cx, 1, 4, block);
  EXPECT_EQ(block[0], 100);
  EXPECT_EQ(block[2], 300);
  EXPECT_TRUE(is_dot(block[3]));
  // Constant subscripts fold to the element itself.
  EXPECT_EQ(num("el(A, 3, 1) + rowsof(A) + colsof(A)"), 35);
  EXPECT_TRUE(is_dot(num("el(A, 0, 1)")));
  EXPECT_EQ(compile("trace(A)"), 503);
  EXPECT_EQ(compile("el(B, 1, 1)"), 111);
}

}  // namespace
}  // namespace nuvra::testing
