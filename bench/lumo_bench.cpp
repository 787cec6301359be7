// Lumo throughput: a scalar for loop, a loop of scalar updates, an
// element-wise expression on 1000 x 1000 matrices and a 1000 x 1000
// matrix product, each against the same work done directly in C++ (or by
// OpenBLAS for the product) in the same run.
//
// usage: lumo_bench [--times]
// Prints one line per case: Lumo's best time of ten, the baseline's,
// and their ratio; with --times, only "case seconds load" lines of Lumo's
// times, for bench/lumo-compare to read.
#include <cblas.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "lumo/host.h"
#include "lumo/session.h"

namespace {

using Clock = std::chrono::steady_clock;

class QuietHost : public nuvra::lumo::Host {
 public:
  void Print(nuvra::lumo::Style, std::string_view text) override {
    if (!text.empty()) last = std::string(text);
  }
  bool PollBreak() override { return false; }
  std::string last;
};

// The element-wise case takes about a millisecond: a best of three of it
// moves with every other process on the machine, so each case is repeated
// more often than that.
constexpr int kRepeats = 10;

template <class F>
double Best(F f) {
  double best = 1e30;
  for (int k = 0; k < kRepeats; ++k) {
    auto t0 = Clock::now();
    f();
    best = std::min(best, std::chrono::duration<double>(Clock::now() - t0).count());
  }
  return best;
}

volatile double sink;

bool times_only = false;

void Report(const char* key, const char* what, double lumo, double base) {
  if (times_only) {
    // The machine is shared: the 1-minute load average goes beside the time.
    char load[32] = "-";
    if (FILE* f = std::fopen("/proc/loadavg", "r")) {
      if (std::fscanf(f, "%31s", load) != 1) std::strcpy(load, "-");
      std::fclose(f);
    }
    std::printf("%s %.6f %s\n", key, lumo, load);
    return;
  }
  std::printf("%-34s lumo %10.6f s  baseline %10.6f s  ratio %6.2f\n", what, lumo, base, lumo / base);
}

}  // namespace

int main(int argc, char** argv) {
  times_only = argc > 1 && std::string_view(argv[1]) == "--times";
  QuietHost host;
  nuvra::lumo::Session s(host);
  int rc = 0;
  s.Run("function bsum(real scalar n) { real scalar i, t; t = 0; for (i = 1; i <= n; i++) t = t + i; return(t) }", &rc);
  s.Run("function bupd(real scalar n) { real scalar i, x; x = 0; for (i = 1; i <= n; i++) x = x*0.5 + i; return(x) }", &rc);
  s.Run("X = J(1000, 1000, 1.5); Y = J(1000, 1000, 2.5); Z = J(1000, 1000, 0.5)", &rc);
  s.Run("A = (1::1000) * J(1, 1000, 0.001); B = J(1000, 1, 0.002) * (1..1000)", &rc);

  double lumo = Best([&] { s.Run("r = bsum(10000000)", &rc); });
  double base = Best([] {
    double t = 0;
    for (double i = 1; i <= 10000000; ++i) t = t + i;
    sink = t;
  });
  Report("sum", "for loop summing 1..10,000,000", lumo, base);

  lumo = Best([&] { s.Run("r = bupd(1000000)", &rc); });
  base = Best([] {
    double x = 0;
    for (double i = 1; i <= 1000000; ++i) x = x * 0.5 + i;
    sink = x;
  });
  Report("update", "x = x*0.5 + i, 1,000,000 times", lumo, base);

  std::vector<double> x(1000000, 1.5), y(1000000, 2.5), z(1000000, 0.5), w(1000000);
  lumo = Best([&] { s.Run("W = X :* Y + Z", &rc); });
  base = Best([&] {
    std::vector<double> t(1000000);
    for (size_t k = 0; k < t.size(); ++k) t[k] = x[k] * y[k];
    for (size_t k = 0; k < t.size(); ++k) w[k] = t[k] + z[k];
    sink = w[7];
  });
  Report("elementwise", "X :* Y + Z, 1000 x 1000", lumo, base);

  std::vector<double> a(1000000, 0.25), b(1000000, 0.75), c(1000000);
  lumo = Best([&] { s.Run("C = A * B", &rc); });
  base = Best([&] {
    cblas_dgemm(CblasRowMajor, CblasNoTrans, CblasNoTrans, 1000, 1000, 1000, 1.0, a.data(), 1000, b.data(), 1000, 0.0,
                c.data(), 1000);
    sink = c[0];
  });
  Report("product", "matrix product, 1000 x 1000", lumo, base);
  return rc == 0 ? 0 : 1;
}
