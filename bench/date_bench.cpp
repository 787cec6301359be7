// Date and time function throughput: generate over a large dataset,
// each against a hand-written loop doing the same work in the same run.
// The year loop uses the standard library's own calendar (std::chrono), so
// the case also checks the calendar against an independent one.
//
// usage: date_bench [OBSERVATIONS]   (default 10,000,000)
// Prints one line per case: the command's best time of three, the loop's,
// and their ratio.
#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "data/dataset.h"
#include "data/expr/commands.h"
#include "gui/null_side.h"
#include "interp/interp.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr double M = nuvra::data::kMissing;

double seconds_since(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

nuvra::rc_t run(nuvra::Interp& ip, const std::string& line) {
  ip.cmdbuf = line;
  ip.reader.attach(&ip.cmdbuf, 0);
  return nuvra::cmd_generate(ip);
}

// year(d) through std::chrono: days from 1970 are d - 3653.
void loop_year(nuvra::data::Dataset& ds, int jd, int jy) {
  nuvra::data::Column d = ds.column(jd), y = ds.column(jy);
  for (std::int64_t r = 0; r < ds.nobs(); ++r) {
    double v = d.raw<double>(r);
    double out = M;
    if (!nuvra::data::is_missing(v)) {
      std::chrono::sys_days day{std::chrono::days{static_cast<long>(std::floor(v)) - 3653}};
      out = static_cast<int>(std::chrono::year_month_day{day}.year());
    }
    std::memcpy(y.at(r), &out, 8);
  }
}

// hh(c): the hour of a clock value.
void loop_hour(nuvra::data::Dataset& ds, int jc, int jh) {
  nuvra::data::Column c = ds.column(jc), h = ds.column(jh);
  for (std::int64_t r = 0; r < ds.nobs(); ++r) {
    double v = c.raw<double>(r);
    double out = M;
    if (!nuvra::data::is_missing(v)) {
      double t = v - 86400000.0 * std::floor(v / 86400000.0);
      out = std::floor(t / 3600000.0);
    }
    std::memcpy(h.at(r), &out, 8);
  }
}

bool same_column(nuvra::data::Dataset& ds, int a, int b) {
  for (std::int64_t i = 1; i <= ds.nobs(); ++i)
    if (std::bit_cast<std::uint64_t>(ds.fetch(a, i)) != std::bit_cast<std::uint64_t>(ds.fetch(b, i))) return false;
  return true;
}

void report(const char* what, std::int64_t n, double t_cmd, double t_loop) {
  std::printf("%-40s %10lld obs  command %7.3f s  loop %7.3f s  ratio %5.2f\n", what, static_cast<long long>(n),
              t_cmd, t_loop, t_cmd / t_loop);
}

}  // namespace

int main(int argc, char** argv) {
  const std::int64_t n = argc > 1 ? std::atoll(argv[1]) : 10000000;
  nuvra::gui::NullSide side;
  nuvra::Interp ip(&side);
  nuvra::data::Dataset& ds = ip.dataset;
  if (ds.set_memory(std::size_t{4} << 30) != 0 || ds.set_obs(n) != 0) {
    std::fprintf(stderr, "date_bench: cannot make %lld observations\n", static_cast<long long>(n));
    return 1;
  }
  int jd = 0, jc = 0;
  ds.add_variable("d", nuvra::data::kDouble, &jd);
  ds.add_variable("c", nuvra::data::kDouble, &jc);
  std::uint64_t state = 88172645463325252ULL;
  for (std::int64_t i = 1; i <= n; ++i) {
    state ^= state << 13, state ^= state >> 7, state ^= state << 17;
    // Days of the whole calendar, 01jan0100 to 31dec9999; clock values
    // of the same span.
    double day = -679350.0 + static_cast<double>(state % 3615900);
    ds.store(jd, i, i % 1000 == 0 ? M : day);
    ds.store(jc, i, i % 1000 == 0 ? M : day * 86400000.0 + static_cast<double>((state >> 24) % 86400000));
  }
  for (const char* v : {"w1", "w2"}) ds.add_variable(v, nuvra::data::kDouble);
  ds.drop_variables({ds.find_exact("w1"), ds.find_exact("w2")});

  struct Case {
    const char* line;
    const char* name;
    void (*loop)(nuvra::data::Dataset&, int, int);
    int source;
  };
  const Case cases[] = {
      {"double y = year(d)", "generate double y = year(d)", loop_year, jd},
      {"double y = hh(c)", "generate double y = hh(c)", loop_hour, jc},
  };
  bool ok = true;
  for (const Case& k : cases) {
    double best_cmd = 1e9, best_loop = 1e9;
    for (int round = 0; round < 3; ++round) {
      auto t0 = Clock::now();
      if (run(ip, k.line) != 0) return 1;
      best_cmd = std::min(best_cmd, seconds_since(t0));
      int jb = 0;
      ds.add_variable("base", nuvra::data::kDouble, &jb);
      t0 = Clock::now();
      k.loop(ds, k.source, jb);
      best_loop = std::min(best_loop, seconds_since(t0));
      int jy = ds.find_exact("y");
      if (round == 0 && !same_column(ds, jy, jb)) {
        std::printf("date_bench: %s and its loop disagree\n", k.name);
        ok = false;
      }
      ds.drop_variables({jy, jb});
    }
    report(k.name, n, best_cmd, best_loop);
  }
  return ok ? 0 : 1;
}
