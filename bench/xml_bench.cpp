// xmlsave and xmluse of a dataset (default 1,000,000 observations of 5
// doubles, a long and a str8) against save and use of the same data in the
// binary file, measured in the same run.
//
//   xml_bench [observations] [directory]      (default 1000000 /tmp)
#include <time.h>
#include <unistd.h>

#include <algorithm>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "gui/null_side.h"
#include "interp/interp.h"

namespace {

using Clock = std::chrono::steady_clock;

double cpu_now() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

struct Times {
  double wall = 1e300, cpu = 1e300;
};

// The best of three runs of a command: elapsed and processor seconds (on
// a busy machine the second is the steadier measure of the work done).
Times best(nuvra::Interp& ip, const std::string& cmd) {
  Times b;
  for (int k = 0; k < 3; ++k) {
    auto t = Clock::now();
    double c = cpu_now();
    if (ip.execute_line(cmd)) {
      std::fprintf(stderr, "failed: %s\n", cmd.c_str());
      std::exit(1);
    }
    b.cpu = std::min(b.cpu, cpu_now() - c);
    b.wall = std::min(b.wall, std::chrono::duration<double>(Clock::now() - t).count());
  }
  return b;
}

void line(const char* a, Times x, const char* b, Times y) {
  std::printf("%-4s %.3f s (cpu %.3f s)   %-7s %.3f s (cpu %.3f s)   ratio %.1f (cpu %.1f)\n", a, x.wall, x.cpu, b,
              y.wall, y.cpu, y.wall / x.wall, y.cpu / x.cpu);
}

}  // namespace

int main(int argc, char** argv) {
  long long n = argc > 1 ? std::atoll(argv[1]) : 1000000LL;
  std::string dir = argc > 2 ? argv[2] : "/tmp";
  std::string base = dir + "/xml_bench_" + std::to_string(getpid());

  nuvra::gui::NullSide side;
  nuvra::Interp ip(&side);
  if (ip.execute_line("set obs " + std::to_string(n))) return 1;
  for (int k = 1; k <= 5; ++k) {
    int j = 0;
    if (ip.dataset.add_variable("d" + std::to_string(k), nuvra::data::kDouble, &j)) return 1;
    nuvra::data::Column c = ip.dataset.column(j);
    for (long long r = 0; r < n; ++r) c.store(r, static_cast<double>(r % 1000) / 7.0 + k);
  }
  if (ip.execute_line("gen long id = _n") || ip.execute_line("gen str8 s = \"abc\" + string(mod(_n, 97))")) return 1;
  std::printf("dataset: %lld obs x (5 doubles, a long, a str8)\n", n);

  Times save = best(ip, "save \"" + base + "\", replace");
  Times xsave = best(ip, "xmlsave \"" + base + "\", replace");
  Times use = best(ip, "use \"" + base + "\", clear");
  Times xuse = best(ip, "xmluse \"" + base + "\", clear");
  line("save", save, "xmlsave", xsave);
  line("use", use, "xmluse", xuse);
  std::remove((base + ".dta").c_str());
  std::remove((base + ".xml").c_str());
  return 0;
}
