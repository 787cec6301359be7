// Matrix expressions: the right-hand side of `matrix A = exp`.  The text is
// evaluated at once into a host matrix (matrix expressions do not run per
// observation, so there is nothing to compile).  The grammar is the one of
// scalar expressions with the matrix operators added: `\` joins rows, `,`
// joins columns, `#` is the Kronecker product, a trailing `'` transposes,
// and `name[i,j]` / `name[a..b, c...]` take elements and submatrices.
#pragma once
#include <cstddef>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "base/rc.h"
#include "data/expr/env.h"
#include "stats/matrix.h"
#include "stats/sweep.h"

namespace nuvra::stats {

// Evaluates `text`.  *is_scalar (when given) tells a plain number (a 1x1
// result of scalar arithmetic) from a matrix.  Prints its message and
// returns the code on failure (111, 198, 503, 504, 505, 506, 509, 908, ...).
rc_t eval_matrix(expr::Env& env, std::string_view text, Matrix* out, bool* is_scalar = nullptr);

// The matrix a name stands for: a named matrix, or r(name) / e(name) from
// the saved results.  Null when there is none.
const Matrix* lookup_matrix(const expr::Env& env, std::string_view name);

// The work array stride for sweeps: the matsize, or k when larger.
int sweep_stride(const expr::Env& env, int k);

// A zeroed work array for sweeping a k-by-k matrix: k rows
// sweep_stride(env, k) doubles apart, element (i, j) taken from at(i, j).
// Reports and returns 909 when the memory cannot be had.
template <class At>
rc_t sweep_work(expr::Env& env, int k, const At& at, std::vector<double>* work, int* stride) {
  *stride = sweep_stride(env, k);
  try {
    work->assign(static_cast<std::size_t>(*stride) * static_cast<std::size_t>(k), 0.0);
  } catch (const std::bad_alloc&) {
    return env.report(909);
  }
  for (int i = 0; i < k; ++i)
    for (int j = 0; j < k; ++j) (*work)[static_cast<std::size_t>(i) * *stride + j] = at(i, j);
  return 0;
}

// Sweep options that obey the environment: its processors and pivot
// choice, a Break poll, and a trace line per pivot to its message stream
// when tracing is set.
SweepOptions sweep_options(expr::Env& env);

// invsym(): the sweep inverse of a symmetric matrix, names kept.  Prints
// and returns 505 for a matrix that is not symmetric, 504 for missing
// values, 908 when it is larger than matsize.
rc_t invsym(expr::Env& env, const Matrix& a, Matrix* out);

// Whether the name is a valid matrix name (a name of at most 32
// characters).
bool valid_matrix_name(std::string_view name);

}  // namespace nuvra::stats
