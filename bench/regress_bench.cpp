// _regress against OpenBLAS dsyrk forming X'X of the same data (y, ten
// regressors and a constant, held as one contiguous column-major array),
// measured in the same run.  dsyrk is the floor for the cross products a
// fit needs; the command also marks the sample, compensates its sums,
// sweeps, and (robust, cluster) makes a second pass for the scores.
//
// usage: regress_bench [OBSERVATIONS [PROCESSORS]]
//        (default 1,000,000 observations, every processor; dsyrk gets the
//        same number of threads as the command)
#include <cblas.h>
#include <omp.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "data/dataset.h"
#include "gui/null_side.h"
#include "interp/builtins.h"
#include "interp/interp.h"

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

nuvra::rc_t run(nuvra::Interp& ip, const std::string& line) {
  ip.cmdbuf = line;
  ip.reader.attach(&ip.cmdbuf, 0);
  return nuvra::cmd_regress_core(ip);
}

}  // namespace

int main(int argc, char** argv) {
  const std::int64_t n = argc > 1 ? std::atoll(argv[1]) : 1000000;
  constexpr int kx = 10, p = kx + 2;
  nuvra::gui::NullSide side;
  nuvra::Interp ip(&side);
  ip.processors = argc > 2 ? std::max(1, std::atoi(argv[2])) : omp_get_num_procs();
  openblas_set_num_threads(ip.processors);
  omp_set_num_threads(ip.processors);
  ip.out.set_threshold(nuvra::output::kSilent);
  nuvra::data::Dataset& ds = ip.dataset;
  if (ds.set_memory(std::size_t{2} << 30) != 0 || ds.set_obs(n) != 0) {
    std::fprintf(stderr, "regress_bench: cannot make %lld observations\n", static_cast<long long>(n));
    return 1;
  }
  std::vector<int> js(p - 1);
  std::string names = "y";
  ds.add_variable("y", nuvra::data::kDouble, &js[0]);
  for (int v = 1; v <= kx; ++v) {
    std::string name = "x" + std::to_string(v);
    ds.add_variable(name, nuvra::data::kDouble, &js[v]);
    names += " " + name;
  }
  int cj;
  ds.add_variable("c", nuvra::data::kDouble, &cj);
  std::vector<double> cols(static_cast<size_t>(n) * p);  // column-major, constant last
  std::uint64_t state = 88172645463325252ULL;
  for (std::int64_t i = 1; i <= n; ++i) {
    double y = 1;
    for (int v = 1; v <= kx; ++v) {
      state ^= state << 13, state ^= state >> 7, state ^= state << 17;
      double x = static_cast<double>(state >> 11) / 9007199254740992.0;
      ds.store(js[v], i, x);
      cols[static_cast<size_t>(v) * n + (i - 1)] = x;
      y += v * x;
    }
    state ^= state << 13, state ^= state >> 7, state ^= state << 17;
    y += static_cast<double>(state >> 11) / 9007199254740992.0;
    ds.store(js[0], i, y);
    cols[i - 1] = y;
    cols[static_cast<size_t>(p - 1) * n + (i - 1)] = 1;
    ds.store(cj, i, static_cast<double>(i % 1000));
  }
  std::printf("regress_bench: %d processor(s) in use, %lld observations, %d regressors\n", ip.processors,
              static_cast<long long>(n), kx);
  std::vector<double> c(static_cast<size_t>(p) * p);
  double best_blas = 1e9;
  for (int r = 0; r < 3; ++r) {
    auto t0 = Clock::now();
    cblas_dsyrk(CblasColMajor, CblasUpper, CblasTrans, p, static_cast<int>(n), 1.0, cols.data(), static_cast<int>(n),
                0.0, c.data(), p);
    best_blas = std::min(best_blas, seconds_since(t0));
  }
  bool ok = true;
  auto measure = [&](const char* label, const std::string& line) {
    double best = 1e9;
    for (int r = 0; r < 3; ++r) {
      auto t0 = Clock::now();
      if (nuvra::rc_t rc = run(ip, line)) {
        std::printf("regress_bench: _regress %s failed with r(%d)\n", line.c_str(), static_cast<int>(rc));
        ok = false;
        return;
      }
      best = std::min(best, seconds_since(t0));
    }
    std::printf("%-28s command %7.3f s  dsyrk %7.3f s  ratio %6.2f\n", label, best, best_blas, best / best_blas);
  };
  measure("regress (plain)", names);
  // The fit must agree with the normal equations from dsyrk in N and in
  // the total of y; and the slopes must be near 1..10.
  auto& b = ip.e_results.matrices["b"];
  for (int v = 0; v < kx && b.cols == kx + 1; ++v)
    if (std::fabs(b.at(0, v) - (v + 1)) > 0.05) ok = false;
  if (ip.e_results.scalars["N"] != static_cast<double>(n)) ok = false;
  measure("regress, robust", names + ", robust");
  measure("regress, cluster(c)", names + ", cluster(c)");
  std::printf("(record width %u bytes: built in memory, records widened generously)\n", ds.allotted_width());
  if (!ok) std::printf("regress_bench: a fit failed or disagreed\n");
  return ok ? 0 : 1;
}
