// save and use of a large dataset (default 10,000,000 observations of 10
// doubles, 800 MB of records) against `cat file > /dev/null`, `cp file
// copy` and `cp file copy && sync copy` of the same file in the same run.
//
// The machine may be shared, so every case runs several rounds,
// interleaved, and prints the median and the fastest round; the ratios
// are taken between medians and between fastest rounds. Besides the wall
// time each case prints the processor time it used (user + system, of the
// child processes for the shell commands), which other loads disturb less.
//
// save runs through the command; a second save per round calls the writer
// directly to time its closing fsync, which `cp` alone does not pay (so
// save is compared with both cp and cp + sync). use runs in a fresh child
// process each round, so that its peak resident memory is its own; it is
// compared with what the dataset itself needs (records plus the 8 bytes of
// slot and scratch entries per observation). A last child loads the file
// twice (`use, clear` over a loaded dataset) and prints its peak.
//
//   dta_bench [observations] [directory] [rounds]    (default 10000000 /tmp 3)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "data/dta/dta_write.h"
#include "gui/null_side.h"
#include "interp/interp.h"

namespace {

using Clock = std::chrono::steady_clock;
double since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

double seconds(const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; }
double cpu_of(int who) {
  rusage ru{};
  getrusage(who, &ru);
  return seconds(ru.ru_utime) + seconds(ru.ru_stime);
}

// Wall and processor seconds of one round.
struct Round {
  double wall = 0, cpu = 0;
};

struct Series {
  std::vector<Round> r;
  double median() const {
    std::vector<double> v;
    for (const auto& x : r) v.push_back(x.wall);
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
  }
  double best() const {
    double b = r.empty() ? 0 : r[0].wall;
    for (const auto& x : r) b = std::min(b, x.wall);
    return b;
  }
  double median_cpu() const {
    std::vector<double> v;
    for (const auto& x : r) v.push_back(x.cpu);
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
  }
  void print(const char* name) const {
    std::printf("%-28s median %7.3f s  fastest %7.3f s  processor %6.3f s\n", name, median(), best(), median_cpu());
  }
};

Round run_shell(const std::string& cmd) {
  double c0 = cpu_of(RUSAGE_CHILDREN);
  auto t = Clock::now();
  if (std::system(cmd.c_str()) != 0) std::fprintf(stderr, "failed: %s\n", cmd.c_str());
  return {since(t), cpu_of(RUSAGE_CHILDREN) - c0};
}

void ratio(const char* name, const Series& a, const Series& b) {
  std::printf("%-28s median %6.2f  fastest %6.2f\n", name, a.median() / b.median(), a.best() / b.best());
}

// The child: `use` `times` times (`clear` after the first), printing the
// time and processor time of each on one line of its own.
int child_use(const std::string& file, int times) {
  nuvra::gui::NullSide side;
  nuvra::Interp ip(&side);
  for (int k = 0; k < times; ++k) {
    double c0 = cpu_of(RUSAGE_SELF);
    auto t = Clock::now();
    if (ip.execute_line("use \"" + file + "\", clear")) return 1;
    double u = since(t);
    std::printf("%.6f %.6f\n", u, cpu_of(RUSAGE_SELF) - c0);
    std::fflush(stdout);
  }
  return 0;
}

// Runs the child through a pipe; the last `use` line's figures and the
// child's peak resident memory in MB.
bool use_in_child(const char* self, const std::string& file, int times, Round* last, double* peak_mb) {
  int fds[2];
  if (pipe(fds) != 0) return false;
  std::fflush(stdout);
  pid_t pid = fork();
  if (pid == 0) {
    dup2(fds[1], 1);
    close(fds[0]);
    close(fds[1]);
    std::string t = std::to_string(times);
    execl("/proc/self/exe", self, "--use", file.c_str(), t.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[1]);
  std::string out;
  char buf[256];
  ssize_t k;
  while ((k = read(fds[0], buf, sizeof buf)) > 0) out.append(buf, static_cast<std::size_t>(k));
  close(fds[0]);
  int status = 0;
  rusage ru{};
  wait4(pid, &status, 0, &ru);
  *peak_mb = static_cast<double>(ru.ru_maxrss) / 1024.0;
  std::size_t nl = out.rfind('\n', out.size() >= 2 ? out.size() - 2 : 0);
  std::string line = nl == std::string::npos ? out : out.substr(nl + 1);
  if (std::sscanf(line.c_str(), "%lf %lf", &last->wall, &last->cpu) != 2) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "--use") return child_use(argv[2], std::atoi(argv[3]));
  long long n = argc > 1 ? std::atoll(argv[1]) : 10000000LL;
  std::string dir = argc > 2 ? argv[2] : "/tmp";
  int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;
  std::string file = dir + "/dta_bench_" + std::to_string(getpid()) + ".dta";
  std::string copy = file + ".copy";

  nuvra::gui::NullSide side;
  nuvra::Interp ip(&side);
  if (ip.execute_line("set obs " + std::to_string(n))) return 1;
  for (int k = 1; k <= 10; ++k) {
    int j = 0;
    if (ip.dataset.add_variable("d" + std::to_string(k), nuvra::data::kDouble, &j)) return 1;
    nuvra::data::Column c = ip.dataset.column(j);
    for (long long r = 0; r < n; ++r) c.store(r, static_cast<double>(r % 1000) + 0.25 * k);
  }
  std::printf("dataset: %lld obs x 10 doubles (%.0f MB of records), %d rounds\n", n, static_cast<double>(n) * 80 / 1e6,
              rounds);

  Series save, direct, fsync_part, cat, cp, cp_sync;
  for (int r = 0; r < rounds; ++r) {
    double c0 = cpu_of(RUSAGE_SELF);
    auto t = Clock::now();
    if (ip.execute_line("save \"" + file + "\", replace")) return 1;
    save.r.push_back({since(t), cpu_of(RUSAGE_SELF) - c0});

    nuvra::dta::SaveOptions opt;
    opt.replace = true;
    double fs = 0;
    opt.fsync_seconds = &fs;
    t = Clock::now();
    if (nuvra::dta::save_file(ip.dataset, file, opt)) return 1;
    direct.r.push_back({since(t), 0});
    fsync_part.r.push_back({fs, 0});

    cat.r.push_back(run_shell("cat '" + file + "' > /dev/null"));
    cp.r.push_back(run_shell("cp '" + file + "' '" + copy + "'"));
    cp_sync.r.push_back(run_shell("cp '" + file + "' '" + copy + "' && sync '" + copy + "'"));
  }

  // The children's peaks count what they share with this process when
  // forked: the dataset goes first.
  ip.dataset.clear();
  Series use;
  double peak = 0;
  bool ok = true;
  for (int r = 0; r < rounds && ok; ++r) {
    Round u;
    double p = 0;
    ok = use_in_child(argv[0], file, 1, &u, &p);
    use.r.push_back(u);
    peak = std::max(peak, p);
    cat.r.push_back(run_shell("cat '" + file + "' > /dev/null"));
  }
  Round twice;
  double peak2 = 0;
  if (ok) ok = use_in_child(argv[0], file, 2, &twice, &peak2);

  save.print("save");
  direct.print("save (the writer alone)");
  fsync_part.print("  its closing fsync");
  use.print("use (fresh process)");
  cat.print("cat file > /dev/null");
  cp.print("cp file copy");
  cp_sync.print("cp file copy && sync copy");
  ratio("save / cp", save, cp);
  ratio("save / (cp + sync)", save, cp_sync);
  ratio("save / cat", save, cat);
  ratio("use / cat", use, cat);
  ratio("use / cp", use, cp);
  double need = static_cast<double>(n) * (80 + 8) / 1048576.0;
  std::printf("use into an empty session: peak resident %.1f MB; dataset needs %.1f MB; excess %.1f MB\n", peak,
              need, peak - need);
  // A second `use, clear` builds the new dataset beside the old one, so
  // that a failure would leave the old one in place: twice the data.
  std::printf("use, then use, clear over it: peak resident %.1f MB (second use %.3f s)\n", peak2, twice.wall);
  std::remove(file.c_str());
  std::remove(copy.c_str());
  return ok ? 0 : 1;
}
