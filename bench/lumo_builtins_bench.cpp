// Lumo's data and matrix built-ins against the system's own cores:
//  1. a view of N observations x 5 variables and colsum() over it, against
//     `summarize` of the same five variables (target: within 1.5x);
//  2. cross(X, X) of an M x 10 matrix, against OpenBLAS dsyrk on the same
//     numbers (target: within 2x).
//
// usage: lumo_builtins_bench [N [M]]   (defaults 10,000,000 and 1,000,000)
// Prints one line per case: the best of three of each side and the ratio.
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
#include "data/missing.h"
#include "gui/null_side.h"
#include "interp/interp.h"
#include "lumo/host.h"
#include "lumo/session.h"

namespace {

using Clock = std::chrono::steady_clock;

template <class F>
double Best(F f) {
  double best = 1e30;
  for (int k = 0; k < 3; ++k) {
    auto t0 = Clock::now();
    f();
    best = std::min(best, std::chrono::duration<double>(Clock::now() - t0).count());
  }
  return best;
}

class QuietHost : public nuvra::lumo::Host {
 public:
  void Print(nuvra::lumo::Style, std::string_view) override {}
  bool PollBreak() override { return false; }
};

}  // namespace

int main(int argc, char** argv) {
  const std::int64_t n = argc > 1 ? std::atoll(argv[1]) : 10000000;
  const int m = argc > 2 ? std::atoi(argv[2]) : 1000000;
  bool ok = true;

  {
    nuvra::gui::NullSide side;
    nuvra::Interp ip(&side);
    ip.processors = omp_get_num_procs();
    ip.out.set_threshold(nuvra::output::kSilent);
    nuvra::data::Dataset& ds = ip.dataset;
    if (ds.set_memory(std::size_t{4} << 30) != 0 || ds.set_obs(n) != 0) {
      std::fprintf(stderr, "lumo_builtins_bench: cannot make %lld observations\n", static_cast<long long>(n));
      return 1;
    }
    const char* names[5] = {"x1", "x2", "x3", "x4", "x5"};
    int js[5];
    for (int v = 0; v < 5; ++v) ds.add_variable(names[v], nuvra::data::kDouble, &js[v]);
    std::uint64_t state = 88172645463325252ULL;
    for (std::int64_t i = 1; i <= n; ++i)
      for (int v = 0; v < 5; ++v) {
        state ^= state << 13, state ^= state >> 7, state ^= state << 17;
        ds.store(js[v], i, 1e3 * (v + 1) + static_cast<double>(state >> 11) / 9007199254740992.0);
      }
    auto run = [&](const char* line) {
      if (nuvra::rc_t rc = ip.execute_line(line)) {
        std::printf("lumo_builtins_bench: \"%s\" returned %d\n", line, rc);
        ok = false;
      }
    };
    double t_sum = Best([&] { run("summarize x1 x2 x3 x4 x5"); });
    double mean5 = ip.r_results.scalars["mean"];
    double t_lumo = Best([&] { run("lumo: V = .; nv_view(V, ., \"x1 x2 x3 x4 x5\"); s = colsum(V)"); });
    run("lumo: nv_numscalar(\"lumo_mean5\", s[5] / rows(V))");
    double lumo_mean5 = ip.scalars["lumo_mean5"].num;
    if (std::fabs(lumo_mean5 - mean5) > 1e-9 * std::fabs(mean5)) {
      std::printf("lumo_builtins_bench: colsum disagrees with summarize (%.17g vs %.17g)\n", lumo_mean5, mean5);
      ok = false;
    }
    std::printf("nv_view + colsum %lld x 5      lumo %7.3f s  summarize %7.3f s  ratio %5.2f\n",
                static_cast<long long>(n), t_lumo, t_sum, t_lumo / t_sum);
  }

  {
    QuietHost host;
    nuvra::lumo::Session session(host);
    nuvra::lumo::Values& values = session.values();
    nuvra::lumo::ValueRecord* x = values.crexternal("X");
    if (!x || values.Reshape(x, nuvra::lumo::kReal, m, 10)) {
      std::fprintf(stderr, "lumo_builtins_bench: cannot make X\n");
      return 1;
    }
    std::uint64_t state = 2463534242ULL;
    for (std::int64_t k = 0; k < std::int64_t(m) * 10; ++k) {
      state ^= state << 13, state ^= state >> 7, state ^= state << 17;
      nuvra::lumo::reals(x)[k] = static_cast<double>(state >> 11) / 9007199254740992.0 - 0.5;
    }
    nuvra::rc_t rc = 0;
    double t_lumo = Best([&] { session.Run("C = cross(X, X)", &rc); });
    if (rc) ok = false;
    std::vector<double> c(100);
    double t_blas = Best([&] {
      cblas_dsyrk(CblasRowMajor, CblasUpper, CblasTrans, 10, m, 1.0, nuvra::lumo::reals(x), 10, 0.0, c.data(), 10);
    });
    const double* lc = nuvra::lumo::reals(values.FindGlobal("C"));
    for (int p = 0; p < 10; ++p)
      for (int q = p; q < 10; ++q)
        if (lc[p * 10 + q] != c[size_t(p) * 10 + q]) ok = false;
    std::printf("cross(X, X) %d x 10          lumo %7.3f s  dsyrk     %7.3f s  ratio %5.2f\n", m, t_lumo, t_blas,
                t_lumo / t_blas);
  }
  return ok ? 0 : 1;
}
