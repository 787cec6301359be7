// Matrix built-ins on small cases worked by hand: sums (and the extended
// precision of the quad forms), running sums, minima and maxima, missing
// counts, reshaping, selection, ordering, relative differences, cross
// products and the sweep inverse.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "data/missing.h"
#include "lumo/value.h"
#include "lumo_test_host.h"

namespace {

using namespace nuvra::lumo;
using nuvra::data::is_missing;
using nuvra::data::kMissing;

struct Fixture : LumoFixture {
  // Evaluates expr into x; its shape and elements (missing as kMissing).
  ::testing::AssertionResult Is(const std::string& expr, int rows, int cols, std::vector<double> want) {
    host.errors.clear();
    int rc = Run("x = " + expr);
    if (rc != 0) return ::testing::AssertionFailure() << expr << ": rc " << rc << " " << host.errors;
    ValueRecord* v = session.values().FindGlobal("x");
    if (v->eltype != kReal) return ::testing::AssertionFailure() << expr << ": not real";
    if (v->rows != rows || v->cols != cols)
      return ::testing::AssertionFailure() << expr << ": " << v->rows << "x" << v->cols;
    for (size_t k = 0; k < want.size(); ++k) {
      double got = reals(v)[k];
      bool same = is_missing(want[k]) ? got == want[k] : std::abs(got - want[k]) <= 1e-15 * (1 + std::abs(want[k]));
      if (!same) return ::testing::AssertionFailure() << expr << ": element " << k << " is " << got << ", want " << want[k];
    }
    return ::testing::AssertionSuccess();
  }
};

const double M = kMissing;

TEST(LumoMatrixBuiltins, SumsLeaveMissingOutUnlessAskedNotTo) {
  Fixture f;
  ASSERT_EQ(f.Run("X = (1,2\\3,.)"), 0);
  EXPECT_TRUE(f.Is("rowsum(X)", 2, 1, {3, 3}));
  EXPECT_TRUE(f.Is("rowsum(X, 0)", 2, 1, {3, M}));
  EXPECT_TRUE(f.Is("colsum(X)", 1, 2, {4, 2}));
  EXPECT_TRUE(f.Is("sum(X)", 1, 1, {6}));
  EXPECT_TRUE(f.Is("sum(X, 0)", 1, 1, {M}));
  EXPECT_TRUE(f.Is("quadcolsum(X)", 1, 2, {4, 2}));
  // 1e16 + 1 rounds back to 1e16 in double precision; the quad forms keep
  // the 1.
  EXPECT_TRUE(f.Is("sum((1e16, 1, -1e16))", 1, 1, {0}));
  EXPECT_TRUE(f.Is("quadsum((1e16, 1, -1e16))", 1, 1, {1}));
  EXPECT_TRUE(f.Is("quadrowsum((1e16, 1, -1e16))", 1, 1, {1}));
  EXPECT_TRUE(f.Is("runningsum((1, ., 3))", 1, 3, {1, 1, 4}));
  EXPECT_TRUE(f.Is("runningsum((1\\.\\3), 0)", 3, 1, {1, M, M}));
  EXPECT_TRUE(f.Is("quadrunningsum((1e16, 1, -1e16))", 1, 3, {1e16, 1e16, 1}));
  ASSERT_EQ(f.Run("y = .; _runningsum((1,2,3), y)"), 0);
  EXPECT_TRUE(f.Is("y", 1, 3, {1, 3, 6}));
  EXPECT_EQ(f.Run("runningsum((1,2\\3,4))"), 3201);
  EXPECT_EQ(f.Run("rowsum(\"a\")"), 3251);
}

TEST(LumoMatrixBuiltins, MinimaMaximaAndMissingCounts) {
  Fixture f;
  EXPECT_TRUE(f.Is("minmax((3, ., -1))", 1, 2, {-1, 3}));
  EXPECT_TRUE(f.Is("colminmax((1,5\\4,2))", 2, 2, {1, 2, 4, 5}));
  EXPECT_TRUE(f.Is("rowminmax((1,5\\4,2))", 2, 2, {1, 5, 2, 4}));
  EXPECT_TRUE(f.Is("rowmaxabs((-7,2\\1,.))", 2, 1, {7, 1}));
  EXPECT_TRUE(f.Is("colmaxabs((-7,2\\1,-3))", 1, 2, {7, 3}));
  EXPECT_TRUE(f.Is("minmax((., .))", 1, 2, {M, M}));
  ASSERT_EQ(f.Run("X = (1,.\\.a,2)"), 0);
  EXPECT_TRUE(f.Is("missing(X)", 1, 1, {2}));
  EXPECT_TRUE(f.Is("nonmissing(X)", 1, 1, {2}));
  EXPECT_TRUE(f.Is("rowmissing((1,.,.\\1,2,3))", 2, 1, {2, 0}));
  EXPECT_TRUE(f.Is("colnonmissing((1,.\\2,.))", 1, 2, {2, 0}));
  EXPECT_TRUE(f.Is("missing((\"a\", \"\"))", 1, 1, {1}));
}

TEST(LumoMatrixBuiltins, ReshapeSelectAndOrder) {
  Fixture f;
  EXPECT_TRUE(f.Is("diagonal((1,2\\3,4))", 2, 1, {1, 4}));
  ASSERT_EQ(f.Run("A = (1,2\\3,4); _diag(A, 9)"), 0);
  EXPECT_TRUE(f.Is("A", 2, 2, {9, 2, 3, 9}));
  ASSERT_EQ(f.Run("_diag(A, (5,6))"), 0);
  EXPECT_TRUE(f.Is("A", 2, 2, {5, 2, 3, 6}));
  EXPECT_TRUE(f.Is("rowshape((1,2,3,4,5,6), 2)", 2, 3, {1, 2, 3, 4, 5, 6}));
  EXPECT_TRUE(f.Is("colshape((1,2,3\\4,5,6), 2)", 3, 2, {1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(f.Run("rowshape((1,2,3,4,5), 2)"), 3200);
  ASSERT_EQ(f.Run("X = (1,2\\3,4\\5,6)"), 0);
  EXPECT_TRUE(f.Is("select(X, (1\\0\\1))", 2, 2, {1, 2, 5, 6}));
  EXPECT_TRUE(f.Is("select(X, (0,1))", 3, 1, {2, 4, 6}));
  EXPECT_TRUE(f.Is("select(X, (0\\0\\0))", 0, 2, {}));
  EXPECT_EQ(f.Run("select(X, (1\\0))"), 3200);
  ASSERT_EQ(f.Run("X = (2,1\\1,9\\2,0)"), 0);
  EXPECT_TRUE(f.Is("order(X, (1,2))", 3, 1, {2, 3, 1}));
  EXPECT_TRUE(f.Is("order(X, (-1,2))", 3, 1, {3, 1, 2}));
  EXPECT_TRUE(f.Is("order(X, 1)", 3, 1, {2, 1, 3}));  // ties keep their order
  EXPECT_TRUE(f.Is("order((\"b\"\\\"a\"\\\"ab\"), 1)", 3, 1, {2, 3, 1}));
  EXPECT_EQ(f.Run("order(X, 3)"), 3300);
  ASSERT_EQ(f.Run("_collate(X, (3\\1\\2))"), 0);
  EXPECT_TRUE(f.Is("X", 3, 2, {2, 0, 2, 1, 1, 9}));
  EXPECT_EQ(f.Run("_collate(X, (1\\1\\2))"), 3303);
  EXPECT_TRUE(f.Is("X", 3, 2, {2, 0, 2, 1, 1, 9}));  // unchanged
}

TEST(LumoMatrixBuiltins, RelativeDifferencesAndSymmetry) {
  Fixture f;
  EXPECT_TRUE(f.Is("reldif((3, ., 1), (1, ., 1))", 1, 3, {1, 0, 0}));
  EXPECT_TRUE(f.Is("reldif(1, .)", 1, 1, {M}));
  EXPECT_TRUE(f.Is("mreldif((1,2), (1,4))", 1, 1, {0.4}));
  // max of |3-2|/(2+1) and |2-3|/(3+1)
  EXPECT_TRUE(f.Is("mreldifsym((1,2\\3,1))", 1, 1, {1.0 / 3}));
  EXPECT_EQ(f.Run("mreldif((1,2), (1\\2))"), 3200);
  ASSERT_EQ(f.Run("A = (1,0\\5,2); _makesymmetric(A); s = issymmetric(A); t = issymmetric((1,2\\3,1))"), 0);
  EXPECT_TRUE(f.Is("A", 2, 2, {1, 5, 5, 2}));
  EXPECT_TRUE(f.Is("s", 1, 1, {1}));
  EXPECT_TRUE(f.Is("t", 1, 1, {0}));
}

TEST(LumoMatrixBuiltins, CrossProductsLeaveOutIncompleteRows) {
  Fixture f;
  ASSERT_EQ(f.Run("X = (1,2\\3,4\\5,.); C = (1,2\\3,4)"), 0);
  // Rows 1 and 2 only: (1,3)'(1,3) ... worked out by hand.
  EXPECT_TRUE(f.Is("cross(X, X)", 2, 2, {10, 14, 14, 20}));
  EXPECT_TRUE(f.Is("cross(C, C)", 2, 2, {10, 14, 14, 20}));  // the no-copy path
  EXPECT_TRUE(f.Is("quadcross(X, X)", 2, 2, {10, 14, 14, 20}));
  EXPECT_TRUE(f.Is("cross(X, 1, X, 1)", 3, 3, {10, 14, 4, 14, 20, 6, 4, 6, 2}));
  EXPECT_TRUE(f.Is("cross(X, 0, C[.,1] \\ 7, 1)", 2, 2, {10, 4, 14, 6}));
  EXPECT_TRUE(f.Is("cross(X, (2\\1\\1), X)", 2, 2, {11, 16, 16, 24}));
  EXPECT_TRUE(f.Is("cross(X, (2\\1\\.), X)", 2, 2, {11, 16, 16, 24}));
  EXPECT_TRUE(f.Is("crossdev(X, (2,3), X, (2,3))", 2, 2, {2, 2, 2, 2}));
  EXPECT_TRUE(f.Is("quadcrossdev(X, (2,3), (2\\1\\1), X, (2,3))", 2, 2, {3, 3, 3, 3}));
  // Extended precision: 1e16 + 1 - 1e16.
  EXPECT_TRUE(f.Is("quadcross((1\\1\\1), (1e16\\1\\-1e16))", 1, 1, {1}));
  EXPECT_EQ(f.Run("cross(X, (1\\2))"), 3200);
  EXPECT_EQ(f.Run("cross(X, (1\\2), X)"), 3200);
  EXPECT_EQ(f.Run("crossdev(X, 1, X, (2,3))"), 3200);
}

TEST(LumoMatrixBuiltins, InvsymSweepsAndDropsCollinearPivots) {
  Fixture f;
  // inverse of (4,2 \ 2,3) is (3,-2 \ -2,4)/8.
  EXPECT_TRUE(f.Is("invsym((4,2\\2,3))", 2, 2, {0.375, -0.25, -0.25, 0.5}));
  // The second pivot is collinear with the first and is dropped.
  EXPECT_TRUE(f.Is("invsym((1,1\\1,1))", 2, 2, {1, 0, 0, 0}));
  // Sweeping the second first drops the first instead.
  EXPECT_TRUE(f.Is("invsym((1,1\\1,1), 2)", 2, 2, {0, 0, 0, 1}));
  ASSERT_EQ(f.Run("A = (4,2\\2,3); _invsym(A)"), 0);
  EXPECT_TRUE(f.Is("A", 2, 2, {0.375, -0.25, -0.25, 0.5}));
  EXPECT_TRUE(f.Is("invsym((1,.\\.,1))", 2, 2, {M, M, M, M}));
  EXPECT_EQ(f.Run("invsym((1,2,3))"), 3205);
  EXPECT_EQ(f.Run("invsym((4,2\\2,3), 3)"), 3300);
}

}  // namespace
