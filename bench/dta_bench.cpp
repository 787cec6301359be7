// save and use of a large dataset (default 10,000,000 observations of 10
// doubles, 800 MB of records) against `cat file > /dev/null` and
// `cp file copy` of the same file in the same run. `use` runs in a fresh
// child process so that its peak resident memory is its own; it is
// compared with what the dataset itself needs (records plus the 8 bytes of
// slot and scratch entries per observation).
//
//   dta_bench [observations] [directory]      (default 10000000 /tmp)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "gui/window_side.h"
#include "interp/interp.h"

namespace {

class QuietSide : public nuvra::gui::WindowSide {
 public:
  int read_key() override { return nuvra::gui::kKeyEndOfInput; }
  void alert(const std::array<std::string, 4>&) override {}
  int sink(const uint8_t*, int) override { return 0; }
};

using Clock = std::chrono::steady_clock;
double since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

double run_shell(const std::string& cmd) {
  auto t = Clock::now();
  if (std::system(cmd.c_str()) != 0) std::fprintf(stderr, "failed: %s\n", cmd.c_str());
  return since(t);
}

// The child: `use` twice (first touch of the data area, then warm), each
// time printed; the parent reads the peak resident memory.
int child_use(const std::string& file, double cat, double cp, int times) {
  QuietSide side;
  nuvra::Interp ip(&side);
  for (int k = 0; k < times; ++k) {
    auto t = Clock::now();
    if (ip.execute_line("use \"" + file + "\", clear")) return 1;
    double u = since(t);
    std::printf("use (%s): %.3f s   use / cat: %.2f   use / cp: %.2f\n", k == 0 ? "first" : "warm", u, u / cat, u / cp);
    std::fflush(stdout);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 6 && std::string(argv[1]) == "--use")
    return child_use(argv[2], std::atof(argv[3]), std::atof(argv[4]), std::atoi(argv[5]));
  long long n = argc > 1 ? std::atoll(argv[1]) : 10000000LL;
  std::string dir = argc > 2 ? argv[2] : "/tmp";
  std::string file = dir + "/dta_bench_" + std::to_string(getpid()) + ".dta";
  std::string copy = file + ".copy";

  QuietSide side;
  nuvra::Interp ip(&side);
  if (ip.execute_line("set obs " + std::to_string(n))) return 1;
  for (int k = 1; k <= 10; ++k) {
    int j = 0;
    if (ip.dataset.add_variable("d" + std::to_string(k), nuvra::data::kDouble, &j)) return 1;
    nuvra::data::Column c = ip.dataset.column(j);
    for (long long r = 0; r < n; ++r) c.store(r, static_cast<double>(r % 1000) + 0.25 * k);
  }
  double mb = static_cast<double>(n) * 80 / 1e6;
  std::printf("dataset: %lld obs x 10 doubles (%.0f MB of records)\n", n, mb);

  double save[2];
  for (int k = 0; k < 2; ++k) {
    auto t = Clock::now();
    if (ip.execute_line("save \"" + file + "\", replace")) return 1;
    save[k] = since(t);
  }
  double cat = run_shell("cat '" + file + "' > /dev/null");
  double cp = run_shell("cp '" + file + "' '" + copy + "'");
  double cp_sync = run_shell("cp '" + file + "' '" + copy + "' && sync '" + copy + "'");
  std::printf("save (first): %.3f s\nsave (warm):  %.3f s\n", save[0], save[1]);
  std::printf("cat > /dev/null: %.3f s\ncp: %.3f s\ncp + sync: %.3f s\n", cat, cp, cp_sync);
  std::printf("save / cp: %.2f   save / (cp + sync): %.2f   save / cat: %.2f\n", save[1] / cp, save[1] / cp_sync,
              save[1] / cat);

  // The child's peak counts what it shares with this process when forked:
  // the dataset goes first.
  ip.dataset.clear();
  double need = static_cast<double>(n) * (80 + 8) / 1048576.0;
  int status = 0;
  for (int times = 1; times <= 2; ++times) {
    std::fflush(stdout);
    pid_t pid = fork();
    if (pid == 0) {
      std::string c1 = std::to_string(cat), c2 = std::to_string(cp), c3 = std::to_string(times);
      execl("/proc/self/exe", argv[0], "--use", file.c_str(), c1.c_str(), c2.c_str(), c3.c_str(),
            static_cast<char*>(nullptr));
      _exit(127);
    }
    rusage ru{};
    wait4(pid, &status, 0, &ru);
    // A second `use, clear` builds the new dataset beside the old one, so
    // that a failure would leave the old one in place: twice the data.
    std::printf("%s: peak resident %.1f MB; dataset needs %.1f MB; excess %.1f MB\n",
                times == 1 ? "use into an empty session" : "use, then use, clear over it", ru.ru_maxrss / 1024.0,
                need, ru.ru_maxrss / 1024.0 - need);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) break;
  }
  double cat2 = run_shell("cat '" + file + "' > /dev/null");
  std::printf("cat > /dev/null (after use): %.3f s\n", cat2);
  std::remove(file.c_str());
  std::remove(copy.c_str());
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : 1;
}
