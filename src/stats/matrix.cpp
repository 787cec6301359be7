// Host matrices: construction, stripes and the scalar summaries that the
// expression functions report.
#include "stats/matrix.h"

#include <cmath>
#include <utility>

#include "data/missing.h"

namespace nuvra::stats {

Matrix Matrix::make(int rows, int cols, double fill) {
  Matrix m;
  m.rows = rows;
  m.cols = cols;
  m.v.assign(static_cast<std::size_t>(rows) * static_cast<std::size_t>(cols), fill);
  m.default_row_names();
  m.default_col_names();
  return m;
}

void Matrix::default_row_names() {
  rownames.resize(static_cast<std::size_t>(rows));
  roweq.assign(static_cast<std::size_t>(rows), "");
  for (int i = 0; i < rows; ++i) rownames[i] = "r" + std::to_string(i + 1);
}

void Matrix::default_col_names() {
  colnames.resize(static_cast<std::size_t>(cols));
  coleq.assign(static_cast<std::size_t>(cols), "");
  for (int j = 0; j < cols; ++j) colnames[j] = "c" + std::to_string(j + 1);
}

bool Matrix::symmetric() const {
  if (rows != cols) return false;
  for (int i = 0; i < rows; ++i)
    for (int j = 0; j < i; ++j)
      if (at(i, j) != at(j, i)) return false;
  return true;
}

bool Matrix::has_missing() const {
  for (double x : v)
    if (data::is_missing(x)) return true;
  return false;
}

bool Matrix::any_equation_rows() const {
  for (const auto& e : roweq)
    if (!e.empty()) return true;
  return false;
}

bool Matrix::any_equation_cols() const {
  for (const auto& e : coleq)
    if (!e.empty()) return true;
  return false;
}

std::string Matrix::row_label(int i) const {
  return roweq[i].empty() ? rownames[i] : roweq[i] + ":" + rownames[i];
}

std::string Matrix::col_label(int j) const {
  return coleq[j].empty() ? colnames[j] : coleq[j] + ":" + colnames[j];
}

Matrix Matrix::transposed() const {
  Matrix t;
  t.rows = cols;
  t.cols = rows;
  t.v.resize(v.size());
  for (int i = 0; i < rows; ++i)
    for (int j = 0; j < cols; ++j) t.at(j, i) = at(i, j);
  t.rownames = colnames;
  t.roweq = coleq;
  t.colnames = rownames;
  t.coleq = roweq;
  return t;
}

void split_label(std::string_view label, std::string* eq, std::string* name) {
  size_t colon = label.rfind(':');
  if (colon == std::string_view::npos) {
    eq->clear();
    *name = std::string(label);
  } else {
    *eq = std::string(label.substr(0, colon));
    *name = std::string(label.substr(colon + 1));
  }
}

namespace {
int find_in(const std::vector<std::string>& names, const std::vector<std::string>& eqs, std::string_view label) {
  std::string eq, name;
  split_label(label, &eq, &name);
  bool with_eq = label.find(':') != std::string_view::npos;
  for (size_t i = 0; i < names.size(); ++i) {
    if (names[i] != name) continue;
    if (with_eq && eqs[i] != eq) continue;
    return static_cast<int>(i);
  }
  return -1;
}
}  // namespace

int find_row(const Matrix& m, std::string_view label) { return find_in(m.rownames, m.roweq, label); }
int find_col(const Matrix& m, std::string_view label) { return find_in(m.colnames, m.coleq, label); }

double mreldif(const Matrix& a, const Matrix& b) {
  if (a.rows != b.rows || a.cols != b.cols) return data::kMissing;
  double worst = 0;
  for (size_t k = 0; k < a.v.size(); ++k) {
    double x = a.v[k], y = b.v[k];
    if (data::is_missing(x) || data::is_missing(y)) {
      if (x != y) return data::kMissing;
      continue;
    }
    double r = std::fabs(x - y) / (std::fabs(y) + 1);
    if (r > worst) worst = r;
  }
  return worst;
}

double determinant(const Matrix& a) {
  if (a.rows != a.cols || a.has_missing()) return data::kMissing;
  int n = a.rows;
  std::vector<double> m = a.v;
  double det = 1;
  for (int c = 0; c < n; ++c) {
    int piv = c;
    for (int r = c + 1; r < n; ++r)
      if (std::fabs(m[r * n + c]) > std::fabs(m[piv * n + c])) piv = r;
    if (m[piv * n + c] == 0) return 0;
    if (piv != c) {
      for (int j = 0; j < n; ++j) std::swap(m[c * n + j], m[piv * n + j]);
      det = -det;
    }
    double d = m[c * n + c];
    det *= d;
    for (int r = c + 1; r < n; ++r) {
      double f = m[r * n + c] / d;
      if (f == 0) continue;
      for (int j = c; j < n; ++j) m[r * n + j] -= f * m[c * n + j];
    }
  }
  return det;
}

double trace(const Matrix& a) {
  double t = 0;
  int n = a.rows < a.cols ? a.rows : a.cols;
  for (int i = 0; i < n; ++i) {
    double x = a.at(i, i);
    if (data::is_missing(x)) return data::kMissing;
    t += x;
  }
  return t;
}

int diag0cnt(const Matrix& a) {
  int n = a.rows < a.cols ? a.rows : a.cols, count = 0;
  for (int i = 0; i < n; ++i)
    if (a.at(i, i) == 0) ++count;
  return count;
}

}  // namespace nuvra::stats
