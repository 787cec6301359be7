// Host matrices: the named matrices of the `matrix` command, kept in the
// interpreter's named-object store and in the r() and e() results.  A matrix
// is a rows x cols array of doubles (missing values allowed) with a name
// and an optional equation for every row and every column.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace nuvra::stats {

struct Matrix {
  int rows = 0, cols = 0;
  std::vector<double> v;  // row-major
  std::vector<std::string> rownames, colnames;
  std::vector<std::string> roweq, coleq;  // "" for no equation

  // A rows x cols matrix filled with `fill`, rows named r1.. and columns
  // c1.., no equations.
  static Matrix make(int rows, int cols, double fill = 0);
  double& at(int i, int j) { return v[static_cast<std::size_t>(i) * static_cast<std::size_t>(cols) + static_cast<std::size_t>(j)]; }
  double at(int i, int j) const { return v[static_cast<std::size_t>(i) * static_cast<std::size_t>(cols) + static_cast<std::size_t>(j)]; }
  bool square() const { return rows == cols; }
  // Square with a(i,j) == a(j,i) everywhere (missing values compared as
  // stored).
  bool symmetric() const;
  bool has_missing() const;
  bool any_equation_rows() const;
  bool any_equation_cols() const;
  // "eq:name" or "name".
  std::string row_label(int i) const;
  std::string col_label(int j) const;
  void default_row_names();
  void default_col_names();
  Matrix transposed() const;
};

// Row and column of the named element "name" or "eq:name"; -1 when absent.
int find_row(const Matrix& m, std::string_view label);
int find_col(const Matrix& m, std::string_view label);

// Splits "eq:name" into its parts (eq empty when there is no colon).
void split_label(std::string_view label, std::string* eq, std::string* name);

// max |a - b| / (|b| + 1) over the elements; missing when the shapes
// differ.
double mreldif(const Matrix& a, const Matrix& b);
// Determinant by Gaussian elimination with partial pivoting; missing for a
// matrix holding missing values.
double determinant(const Matrix& a);
double trace(const Matrix& a);
// Zeros on the diagonal.
int diag0cnt(const Matrix& a);

}  // namespace nuvra::stats
