// summarize throughput against a plain two-pass C++ loop (sum, then sum of
// squared deviations, missing values skipped) over the same values, measured
// in the same run: once held in a std::vector (the practical limit: one
// core, no compensation, contiguous memory) and once read where they live,
// one value per row of the data area.
//
// usage: summarize_bench [OBSERVATIONS]   (default 10,000,000)
// Prints one line per case: the command's first time, its best of three
// warm runs, the loop's best of three, and the ratio of the best times.
#include <omp.h>
#include <unistd.h>

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
#include "interp/builtins.h"
#include "interp/interp.h"

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

// Runs summarize on the rest of a command line (what follows the name).
nuvra::rc_t run(nuvra::Interp& ip, const std::string& line) {
  ip.cmdbuf = line;
  ip.reader.attach(&ip.cmdbuf, 0);
  return nuvra::cmd_summarize(ip);
}

constexpr double M = nuvra::data::kMissing;

struct LoopResult {
  double mean, sd;
};

// The two passes as one would write them by hand.
LoopResult two_pass(const std::vector<double>& v) {
  double sum = 0;
  long long n = 0;
  double mn = 1e308, mx = -1e308;
  for (double x : v) {
    if (!(x < M)) continue;
    sum += x;
    ++n;
    mn = std::min(mn, x);
    mx = std::max(mx, x);
  }
  double mean = sum / static_cast<double>(n);
  double ss = 0;
  for (double x : v) {
    if (!(x < M)) continue;
    double d = x - mean;
    ss += d * d;
  }
  return {mean, std::sqrt(ss / static_cast<double>(n - 1))};
}

// The same two passes over the column where it lives: one value per row of
// the data area, so every value is its own cache line.
LoopResult two_pass_column(const nuvra::data::Column& c, std::int64_t n) {
  double sum = 0;
  long long used = 0;
  for (std::int64_t r = 0; r < n; ++r) {
    double x = c.raw<double>(r);
    if (!(x < M)) continue;
    sum += x;
    ++used;
  }
  double mean = sum / static_cast<double>(used);
  double ss = 0;
  for (std::int64_t r = 0; r < n; ++r) {
    double x = c.raw<double>(r);
    if (!(x < M)) continue;
    double d = x - mean;
    ss += d * d;
  }
  return {mean, std::sqrt(ss / static_cast<double>(used - 1))};
}

// The least any reader of the stored column can spend: one pass touching
// each value once, split over the processors, asking for records ahead.
// Every row is its own cache line when the record is wider than one, so
// this bounds summarize from below whatever it does with the values.
double one_read_column(const nuvra::data::Column& c, std::int64_t n) {
  double total = 0;
#pragma omp parallel reduction(+ : total)
  {
    int t = omp_get_thread_num(), nt = omp_get_num_threads();
    std::int64_t b = n * t / nt, e = n * (t + 1) / nt;
    double s = 0;
    for (std::int64_t r = b; r < e; ++r) {
      if (r + 24 < e) __builtin_prefetch(c.at(r + 24));
      double x = c.raw<double>(r);
      if (x < M) s += x;
    }
    total += s;
  }
  return total;
}

void report(const char* what, std::int64_t n, double first, double best_cmd, double best_loop, double best_col) {
  std::printf("%-34s %9lld obs  first %6.3f s  command %6.3f s  vector loop %6.3f s  ratio %5.2f  "
              "column loop %6.3f s  ratio %5.2f\n",
              what, static_cast<long long>(n), first, best_cmd, best_loop, best_cmd / best_loop, best_col,
              best_cmd / best_col);
}

}  // namespace

int main(int argc, char** argv) {
  const std::int64_t n = argc > 1 ? std::atoll(argv[1]) : 10000000;
  nuvra::gui::NullSide side;
  nuvra::Interp ip(&side);
  ip.processors = omp_get_num_procs();
  omp_set_num_threads(ip.processors);
  ip.out.set_threshold(nuvra::output::kSilent);
  nuvra::data::Dataset& ds = ip.dataset;
  if (ds.set_memory(std::size_t{4} << 30) != 0 || ds.set_obs(n) != 0) {
    std::fprintf(stderr, "summarize_bench: cannot make %lld observations\n", static_cast<long long>(n));
    return 1;
  }
  const char* names[5] = {"x1", "x2", "x3", "x4", "x5"};
  int js[5];
  for (int v = 0; v < 5; ++v) ds.add_variable(names[v], nuvra::data::kDouble, &js[v]);
  std::vector<std::vector<double>> copies(5, std::vector<double>(static_cast<size_t>(n)));
  std::uint64_t state = 88172645463325252ULL;
  for (std::int64_t i = 1; i <= n; ++i)
    for (int v = 0; v < 5; ++v) {
      state ^= state << 13, state ^= state >> 7, state ^= state << 17;
      double x = (i % 1000 == 0) ? M : 1e3 * (v + 1) + static_cast<double>(state >> 11) / 9007199254740992.0;
      ds.store(js[v], i, x);
      copies[v][i - 1] = x;
    }
  std::printf("summarize_bench: %d processor(s) in use\n", ip.processors);

  bool ok = true;
  auto measure = [&](const char* label, const std::string& line, int nvars) {
    double first = 0, best_cmd = 1e9, best_loop = 1e9, best_col = 1e9;
    LoopResult lr{};
    for (int round = 0; round < 4; ++round) {
      auto t0 = Clock::now();
      if (nuvra::rc_t rc = run(ip, line)) {
        std::printf("summarize_bench: %s returned %d\n", label, rc);
        ok = false;
      }
      double t = seconds_since(t0);
      if (round == 0)
        first = t;
      else
        best_cmd = std::min(best_cmd, t);
      t0 = Clock::now();
      for (int v = 0; v < nvars; ++v) lr = two_pass(copies[v]);
      best_loop = std::min(best_loop, seconds_since(t0));
      t0 = Clock::now();
      for (int v = 0; v < nvars; ++v) {
        LoopResult lc = two_pass_column(ds.column(js[v]), n);
        if (lc.mean != lr.mean && v == nvars - 1) ok = false;
      }
      best_col = std::min(best_col, seconds_since(t0));
    }
    // The last variable's results must agree with the loop's.
    double mean = ip.r_results.scalars["mean"], sd = ip.r_results.scalars["sd"];
    if (std::fabs(mean - lr.mean) > 1e-9 * std::fabs(lr.mean) || std::fabs(sd - lr.sd) > 1e-6 * lr.sd) {
      std::printf("summarize_bench: %s disagrees with the loop (%.17g %.17g vs %.17g %.17g)\n", label, mean, sd,
                  lr.mean, lr.sd);
      ok = false;
    }
    report(label, n, first, best_cmd, best_loop, best_col);
  };
  auto floor_line = [&](const char* label) {
    double best_read = 1e9, best_loop = 1e9, sink = 0;
    for (int round = 0; round < 3; ++round) {
      auto t0 = Clock::now();
      sink += one_read_column(ds.column(js[0]), n);
      best_read = std::min(best_read, seconds_since(t0));
      t0 = Clock::now();
      sink += two_pass(copies[0]).mean;
      best_loop = std::min(best_loop, seconds_since(t0));
    }
    std::printf("%-34s %9lld obs  one read of the stored column on %d processor(s) %6.3f s  vector loop %6.3f s  "
                "ratio %5.2f  (record width %u bytes)%s\n",
                label, static_cast<long long>(n), ip.processors, best_read, best_loop, best_read / best_loop,
                ds.allotted_width(), sink == 0 ? " " : "");
  };
  // Built in memory: each new variable widened the records generously.
  floor_line("floor for any reader of x1");
  measure("summarize x1", "x1", 1);
  measure("summarize x1, detail", "x1, detail", 1);
  measure("summarize x1-x5", "x1-x5", 5);
  const int all = ip.processors;
  ip.processors = 1;
  measure("summarize x1 (set processors 1)", "x1", 1);
  measure("summarize x1-x5 (set processors 1)", "x1-x5", 5);
  ip.processors = all;
  // Loaded from a file, as data usually arrive: the records are exactly as
  // wide as the variables.
  char file[] = "/tmp/summarize_bench_XXXXXX";
  int fd = mkstemp(file);
  if (fd < 0) return 1;
  close(fd);
  const std::string path = std::string(file) + ".dta";
  if (ip.execute_line("save \"" + path + "\", replace") || ip.execute_line("use \"" + path + "\", clear")) {
    std::printf("summarize_bench: save or use failed\n");
    ok = false;
  } else {
    for (int v = 0; v < 5; ++v) ds.find(names[v], &js[v]);
    floor_line("floor for any reader of x1 (loaded)");
    measure("summarize x1 (loaded)", "x1", 1);
    measure("summarize x1-x5 (loaded)", "x1-x5", 5);
  }
  std::remove(path.c_str());
  std::remove(file);
  return ok ? 0 : 1;
}
