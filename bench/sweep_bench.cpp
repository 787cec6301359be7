// The sweep inverse against LAPACK's Cholesky inverse (dpotrf + dpotri) of
// the same symmetric positive definite matrices, measured in the same run.
// The sweep does what the Cholesky route cannot (drop collinear pivots), so
// the ratio says what that costs.
//
//   sweep_bench [processors]      (default 1)
#include <lapacke.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "stats/sweep.h"

namespace {

double seconds_since(std::chrono::steady_clock::time_point t) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

// A well-conditioned SPD matrix: a dominant diagonal over a smooth kernel.
std::vector<double> make(int k) {
  std::vector<double> a(static_cast<size_t>(k) * k);
  for (int i = 0; i < k; ++i)
    for (int j = 0; j < k; ++j) a[static_cast<size_t>(i) * k + j] = i == j ? k + 1.0 + i : 1.0 / (1 + i + j);
  return a;
}

}  // namespace

int main(int argc, char** argv) {
  int processors = argc > 1 ? std::atoi(argv[1]) : 1;
  for (int k : {50, 100, 200, 400}) {
    std::vector<double> a = make(k);
    int reps = k <= 100 ? 200 : k <= 200 ? 20 : 4;
    double sweep = 1e300, chol = 1e300;
    for (int r = 0; r < reps; ++r) {
      std::vector<double> w = a;
      std::vector<std::uint8_t> status;
      nuvra::stats::SweepOptions opt;
      opt.processors = processors;
      auto t = std::chrono::steady_clock::now();
      if (nuvra::stats::sweep_invert(w.data(), k, 0, k, nullptr, -1, &status, opt)) return 1;
      sweep = std::min(sweep, seconds_since(t));

      std::vector<double> c = a;
      t = std::chrono::steady_clock::now();
      if (LAPACKE_dpotrf(LAPACK_ROW_MAJOR, 'U', k, c.data(), k)) return 1;
      if (LAPACKE_dpotri(LAPACK_ROW_MAJOR, 'U', k, c.data(), k)) return 1;
      chol = std::min(chol, seconds_since(t));
    }
    std::printf("sweep inverse k=%d (processors %d): %.6f s; dpotrf+dpotri %.6f s; ratio %.2f\n", k, processors,
                sweep, chol, sweep / chol);
  }
  return 0;
}
