// Sort throughput: `sort` over a large dataset by one key, against
// std::sort of the same keys copied into a plain array, in the same run.
//
// usage: sort_bench [OBSERVATIONS] [PROCESSORS]   (default 10,000,000 and
// the processors the runtime reports)
// Cases: a random double; an int with 100 distinct values; a random str10.
// Each case is run three times from the same unsorted data; the first run
// (fresh working memory) and the best run are printed with the best
// std::sort time and the ratio best/best. The command's result is checked
// to be in order and to hold the same keys.
#include <omp.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "data/dataset.h"
#include "data/sort.h"
#include "gui/null_side.h"
#include "interp/builtins.h"
#include "interp/interp.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace nd = nuvra::data;

double seconds_since(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

nuvra::rc_t run(nuvra::Interp& ip, const std::string& line) {
  ip.cmdbuf = line;
  ip.reader.attach(&ip.cmdbuf, 0);
  ip.command_name = "sort";
  return nuvra::cmd_sort(ip);
}

struct Xorshift {
  std::uint64_t s = 88172645463325252ULL;
  std::uint64_t next() {
    s ^= s << 13, s ^= s >> 7, s ^= s << 17;
    return s;
  }
};

// Fills variable j with the case's values, the same sequence every time.
void fill(nd::Dataset& ds, int j, int which) {
  Xorshift r;
  nd::Column c = ds.column(j);
  for (std::int64_t i = 0; i < ds.nobs(); ++i) {
    std::uint64_t v = r.next();
    if (which == 0) {
      c.store(i, static_cast<double>(v >> 11) / 9007199254740992.0);
    } else if (which == 1) {
      c.store(i, static_cast<double>(v % 100));
    } else {
      char s[10];
      for (int k = 0; k < 10; ++k, v /= 26) s[k] = static_cast<char>('a' + v % 26);
      nd::store_string(c.at(i), 10, std::string_view(s, 10));
    }
  }
}

void report(const char* what, std::int64_t n, int threads, double first, double best, double base) {
  std::printf("%-28s %10lld obs  %d thread%s  sort first %6.3f s  best %6.3f s  std::sort %6.3f s  ratio %5.2f\n",
              what, static_cast<long long>(n), threads, threads == 1 ? "" : "s", first, best, base, best / base);
}

}  // namespace

int main(int argc, char** argv) {
  const std::int64_t n = argc > 1 ? std::atoll(argv[1]) : 10000000;
  nuvra::gui::NullSide side;
  nuvra::Interp ip(&side);
  ip.processors = argc > 2 ? std::atoi(argv[2]) : omp_get_num_procs();
  nd::Dataset& ds = ip.dataset;
  if (ds.set_memory(std::size_t{2} << 30) != 0 || ds.set_obs(n) != 0) {
    std::fprintf(stderr, "sort_bench: cannot make %lld observations\n", static_cast<long long>(n));
    return 1;
  }
  const int threads = nd::sort_threads(ip.processors, n);
  const char* names[] = {"random double", "int, 100 distinct values", "str10"};
  const int types[] = {nd::kDouble, nd::kInt, 10};
  bool ok = true;
  for (int which = 0; which < 3; ++which) {
    int j = 0;
    if (ds.add_variable("k", types[which], &j) != 0) return 1;
    double first = 0, best = 1e9, base = 1e9;
    for (int round = 0; round < 3; ++round) {
      fill(ds, j, which);
      auto t0 = Clock::now();
      if (run(ip, "k") != 0) return 1;
      double t = seconds_since(t0);
      if (round == 0) first = t;
      best = std::min(best, t);
      if (round == 0) ok = ok && nd::is_ordered(ds, {j}, 1, n);
    }
    // The same keys in a plain array, freshly filled before each round.
    nd::Column c = ds.column(j);
    for (int round = 0; round < 3; ++round) {
      fill(ds, j, which);
      if (which == 0) {
        std::vector<double> a(static_cast<std::size_t>(n));
        for (std::int64_t i = 0; i < n; ++i) a[static_cast<std::size_t>(i)] = c.raw<double>(i);
        auto t0 = Clock::now();
        std::sort(a.begin(), a.end());
        base = std::min(base, seconds_since(t0));
      } else if (which == 1) {
        std::vector<std::int16_t> a(static_cast<std::size_t>(n));
        for (std::int64_t i = 0; i < n; ++i) a[static_cast<std::size_t>(i)] = c.raw<std::int16_t>(i);
        auto t0 = Clock::now();
        std::sort(a.begin(), a.end());
        base = std::min(base, seconds_since(t0));
      } else {
        std::vector<std::array<char, 10>> a(static_cast<std::size_t>(n));
        for (std::int64_t i = 0; i < n; ++i) std::memcpy(a[static_cast<std::size_t>(i)].data(), c.at(i), 10);
        auto t0 = Clock::now();
        std::sort(a.begin(), a.end(), [](const std::array<char, 10>& x, const std::array<char, 10>& y) {
          return std::memcmp(x.data(), y.data(), 10) < 0;
        });
        base = std::min(base, seconds_since(t0));
      }
    }
    report(names[which], n, threads, first, best, base);
    ds.drop_variables({j});
  }
  if (!ok) {
    std::printf("sort_bench: a sorted dataset is out of order\n");
    return 1;
  }
  return 0;
}
