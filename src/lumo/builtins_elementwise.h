// Built-ins that work element by element over conformable real arguments.
// Arguments conform when, for rows and for columns separately, their sizes
// agree or one of them is 1; the result takes the other size, and an
// argument of size 1 in a dimension is repeated along it (a 1 x c row with
// an r x 1 column gives r x c).
#pragma once
#include <cstdint>
#include <string>
#include <utility>

#include "data/missing.h"
#include "lumo/builtin_args.h"

namespace nuvra::lumo {

// Missing for a kernel's arguments and results: `.` and above, infinities
// and NaN.
inline bool BiBad(double v) { return !(v < data::kMissing && v > -data::kMissing); }

// The shape count arguments broadcast to; false when they do not conform.
inline bool ConformShape(ValueRecord* const* a, int count, int32_t* rows, int32_t* cols) {
  int32_t r = 1, c = 1;
  for (int k = 0; k < count; ++k) {
    if (a[k]->rows != 1) {
      if (r != 1 && r != a[k]->rows) return false;
      r = a[k]->rows;
    }
    if (a[k]->cols != 1) {
      if (c != 1 && c != a[k]->cols) return false;
      c = a[k]->cols;
    }
  }
  *rows = r;
  *cols = c;
  return true;
}

// Where element (i, j) of the broadcast result comes from in v.
inline int64_t ConformIndex(const ValueRecord* v, int32_t i, int32_t j) {
  return int64_t(v->rows == 1 ? 0 : i) * v->cols + (v->cols == 1 ? 0 : j);
}

// Arguments that do not conform: "conformability error", after the
// family's own line when the function belongs to a distribution family.
inline void RaiseNonconform(Machine& m, const char* family) {
  if (family) m.host().Print(Style::Error, std::string(family) + " parameter matrices nonconform\n");
  m.RaiseError(3200, Machine::MessageFor(3200));
}

// Checks that arguments first .. first + N - 1 of n are real matrices and
// conform; fills a[] and the result's shape.
template <int N>
bool ConformingReals(Machine& m, int n, int first, const char* family, ValueRecord** a, int32_t* rows, int32_t* cols) {
  for (int k = 0; k < N; ++k) {
    a[k] = BiArg(m, n, first + k);
    if (!m.CheckMatrix(a[k]) || !m.CheckReal(a[k])) return false;
  }
  if (ConformShape(a, N, rows, cols)) return true;
  RaiseNonconform(m, family);
  return false;
}

template <class F, size_t... K>
inline double CallWith(F& f, const double* x, std::index_sequence<K...>) {
  return f(x[K]...);
}

// The result of f over arguments first .. first + N - 1 of n, element by
// element: an element with a missing argument is `.` without calling f,
// and so is a result that is not a finite number.
template <int N, class F>
void ApplyReal(Machine& m, int n, int first, const char* family, F f) {
  ValueRecord* a[N];
  int32_t rows, cols;
  if (!ConformingReals<N>(m, n, first, family, a, &rows, &cols)) return;
  ValueRecord* r = m.values().NewValue("", kReal, rows, cols);
  if (!r) return m.RaiseAllocation();
  double* out = reals(r);
  for (int32_t i = 0; i < rows; ++i)
    for (int32_t j = 0; j < cols; ++j) {
      double x[N];
      bool miss = false;
      for (int k = 0; k < N; ++k) {
        x[k] = reals(a[k])[ConformIndex(a[k], i, j)];
        miss |= BiBad(x[k]);
      }
      double v = miss ? data::kMissing : CallWith(f, x, std::make_index_sequence<N>{});
      *out++ = BiBad(v) ? data::kMissing : v;
    }
  BiReturn(m, n, r);
}

}  // namespace nuvra::lumo
