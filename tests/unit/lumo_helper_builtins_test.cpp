// Numeric helpers: in-place transposition (with and without conjugation),
// swap, editing missing and chosen values of every eltype, missingof,
// orgtype, vec and vech, and the tests of symmetry and of real values.
#include <gtest/gtest.h>

#include <string>

#include "lumo_test_host.h"

namespace {

// Each statement sets ok to 1 when its check holds; rc 0 and ok == 1 pass.
struct Fixture : LumoFixture {
  ::testing::AssertionResult Holds(const std::string& check) {
    host.errors.clear();
    int rc = Run("ok = (" + check + ")");
    if (rc != 0) return ::testing::AssertionFailure() << check << ": rc " << rc << " " << host.errors;
    host.output.clear();
    Run("ok");
    if (host.output.find("1") == std::string::npos || host.output.find("0") != std::string::npos)
      return ::testing::AssertionFailure() << check << " does not hold: " << host.output;
    return ::testing::AssertionSuccess();
  }
};

TEST(LumoHelpers, TransposeInPlaceAndSwap) {
  Fixture f;
  ASSERT_EQ(f.Run("A = (1, 2, 3 \\ 4, 5, 6); _transpose(A)"), 0);
  EXPECT_TRUE(f.Holds("A == (1, 4 \\ 2, 5 \\ 3, 6)"));
  ASSERT_EQ(f.Run("S = (\"a\", \"b\" \\ \"c\", \"d\"); _transposeonly(S)"), 0);
  EXPECT_TRUE(f.Holds("S == (\"a\", \"c\" \\ \"b\", \"d\")"));
  // _transpose conjugates, _transposeonly does not.
  ASSERT_EQ(f.Run("Z = C((1, 2), (3, 4)); W = Z; _transpose(Z); _transposeonly(W)"), 0);
  EXPECT_TRUE(f.Holds("Z == C((1 \\ 2), (-3 \\ -4))"));
  EXPECT_TRUE(f.Holds("W == C((1 \\ 2), (3 \\ 4))"));
  ASSERT_EQ(f.Run("a = (1, 2); b = \"x\"; swap(a, b)"), 0);
  EXPECT_TRUE(f.Holds("a == \"x\" & b == (1, 2)"));
  ASSERT_EQ(f.Run("swap(a, a)"), 0);
  EXPECT_TRUE(f.Holds("a == \"x\""));
}

TEST(LumoHelpers, EditingValues) {
  Fixture f;
  ASSERT_EQ(f.Run("A = (1, ., 3 \\ .a, 5, 1); _editmissing(A, 0)"), 0);
  EXPECT_TRUE(f.Holds("A == (1, 0, 3 \\ 0, 5, 1)"));
  ASSERT_EQ(f.Run("_editvalue(A, 1, -1)"), 0);
  EXPECT_TRUE(f.Holds("A == (-1, 0, 3 \\ 0, 5, -1)"));
  ASSERT_EQ(f.Run("S = (\"a\", \"\", \"b\", \"a\"); _editmissing(S, \"?\"); _editvalue(S, \"a\", \"z\")"), 0);
  EXPECT_TRUE(f.Holds("S == (\"z\", \"?\", \"b\", \"z\")"));
  ASSERT_EQ(f.Run("Z = C((1, .), (0, 2)); _editmissing(Z, 7)"), 0);
  EXPECT_TRUE(f.Holds("Z == C((1, 7), (0, 0))"));
  EXPECT_EQ(f.Run("_editmissing(A, \"x\")"), 3250);
  ASSERT_EQ(f.Run("_fillmissing(A); _fillmissing(S)"), 0);
  EXPECT_TRUE(f.Holds("rows(A) == 2 & cols(A) == 3 & missing(A) == 6 & missing(S) == 4"));
  EXPECT_TRUE(f.Holds("missingof(1) == . & missingof(\"s\") == \"\" & missing(missingof(C(1))) == 1"));
}

TEST(LumoHelpers, ShapesAndTests) {
  Fixture f;
  EXPECT_TRUE(f.Holds("orgtype(1) == \"scalar\" & orgtype((1, 2)) == \"rowvector\" & orgtype((1 \\ 2)) == "
                      "\"colvector\" & orgtype(J(2, 2, 0)) == \"matrix\""));
  EXPECT_TRUE(f.Holds("_vec_u((1, 2 \\ 3, 4)) == (1 \\ 3 \\ 2 \\ 4)"));
  EXPECT_TRUE(f.Holds("_vech_u((1, 2, 3 \\ 4, 5, 6 \\ 7, 8, 9)) == (1 \\ 4 \\ 7 \\ 5 \\ 8 \\ 9)"));
  EXPECT_EQ(f.Run("x = _vech_u((1, 2))"), 3205);
  // Symmetric without conjugation: C(1, 1) mirrored is symmetric but not
  // Hermitian.
  EXPECT_TRUE(f.Holds("issymmetriconly(C((0, 1 \\ 1, 0), (0, 1 \\ 1, 0))) == 1 & issymmetriconly((1, 2 \\ 3, 1)) == 0"));
  EXPECT_TRUE(f.Holds("isrealvalues(C((1, 2), 0)) == 1 & isrealvalues(C(1, 1)) == 0 & isrealvalues(3) == 1"));
}

TEST(LumoHelpers, DuplicationEliminationCommutation) {
  Fixture f;
  ASSERT_EQ(f.Run("S = (1, 2, 3 \\ 2, 4, 5 \\ 3, 5, 6); A = (1, 2, 3 \\ 4, 5, 6 \\ 7, 8, 9)"), 0);
  EXPECT_TRUE(f.Holds("rows(_dmatrix_u(3)) == 9 & cols(_dmatrix_u(3)) == 6"));
  EXPECT_TRUE(f.Holds("_dmatrix_u(3) * _vech_u(S) == _vec_u(S)"));
  EXPECT_TRUE(f.Holds("_lmatrix_u(3) * _vec_u(A) == _vech_u(A)"));
  EXPECT_TRUE(f.Holds("_kmatrix_u(3) * _vec_u(A) == _vec_u(A')"));
  // Each row of K holds a single 1.
  EXPECT_TRUE(f.Holds("rowsum(_kmatrix_u(4)) == J(16, 1, 1)"));
  EXPECT_TRUE(f.Holds("rows(_kmatrix_u(0)) == 0"));
  EXPECT_EQ(f.Run("x = _dmatrix_u(-1)"), 3300);
  EXPECT_EQ(f.Run("x = _lmatrix_u(1.5)"), 3300);
}

}  // namespace
