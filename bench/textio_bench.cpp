// Text export and import, and merge, on a dataset of n observations
// (default 1,000,000) of a long key, four doubles and a str8, each timed
// beside a baseline measured in the same run:
//   outsheet  against save of the same data, and `cat file > /dev/null`
//   insheet   against use of the saved file
//   merge     (match merge on the key, one to one) against append of the
//             same file
//
//   textio_bench [observations] [directory]      (default 1000000 /tmp)
#include <unistd.h>

#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "gui/null_side.h"
#include "interp/interp.h"

namespace {

using Clock = std::chrono::steady_clock;
double since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

double cpu_now() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

// Runs a command; prints its elapsed and processor time (the machine may
// be shared, so both are shown) and returns the elapsed time.
double timed(nuvra::Interp& ip, const std::string& line, const char* label = nullptr) {
  auto t = Clock::now();
  double c = cpu_now();
  if (ip.execute_line(line)) {
    std::fprintf(stderr, "failed: %s\n", line.c_str());
    std::exit(1);
  }
  double e = since(t);
  if (label) std::printf("  %-18s elapsed %7.3f s   cpu %7.3f s\n", label, e, cpu_now() - c);
  return e;
}

double run_shell(const std::string& cmd) {
  auto t = Clock::now();
  if (std::system(cmd.c_str()) != 0) std::fprintf(stderr, "failed: %s\n", cmd.c_str());
  return since(t);
}

}  // namespace

int main(int argc, char** argv) {
  long long n = argc > 1 ? std::atoll(argv[1]) : 1000000LL;
  std::string dir = argc > 2 ? argv[2] : "/tmp";
  std::string stem = dir + "/textio_bench_" + std::to_string(getpid());
  std::string dta = stem + ".dta", csv = stem + ".csv";

  nuvra::gui::NullSide side;
  nuvra::Interp ip(&side);
  timed(ip, "set obs " + std::to_string(n));
  timed(ip, "generate long id = _n");
  for (int k = 1; k <= 4; ++k) timed(ip, "generate double d" + std::to_string(k) + " = _n * " + std::to_string(k) + " + 0.25");
  timed(ip, "generate str8 s = \"v\" + string(mod(_n, 100000))");
  std::printf("dataset: %lld obs: long id, 4 doubles, str8\n", n);

  double save = timed(ip, "save \"" + dta + "\", replace", "save");
  double outsheet = timed(ip, "outsheet using \"" + csv + "\", comma replace", "outsheet");
  double cat = run_shell("cat '" + csv + "' > /dev/null");
  std::printf("save: %.3f s   outsheet: %.3f s   cat csv: %.3f s   outsheet / save: %.2f   outsheet / cat: %.1f\n",
              save, outsheet, cat, outsheet / save, outsheet / cat);

  double use = timed(ip, "use \"" + dta + "\", clear", "use");
  double insheet = timed(ip, "insheet using \"" + csv + "\", comma clear", "insheet");
  std::printf("use: %.3f s   insheet: %.3f s   insheet / use: %.2f\n", use, insheet, insheet / use);

  timed(ip, "use \"" + dta + "\", clear");
  double append = timed(ip, "append using \"" + dta + "\"", "append");
  timed(ip, "use \"" + dta + "\", clear");
  double merge = timed(ip, "merge id using \"" + dta + "\", update", "merge on key");
  timed(ip, "use \"" + dta + "\", clear");
  double merge11 = timed(ip, "merge using \"" + dta + "\"", "merge one to one");
  std::printf("append: %.3f s   merge on key: %.3f s   merge one to one: %.3f s   merge / append: %.2f   %.2f\n",
              append, merge, merge11, merge / append, merge11 / append);
  std::remove(dta.c_str());
  std::remove(csv.c_str());
  return 0;
}
