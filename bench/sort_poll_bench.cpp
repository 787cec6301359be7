// What the Break poll costs the sort engine: the same sort of the same data
// with no poll, and with a poll as cheap as the windowed edition's between
// its event passes (a clock read, and every 10 ms a pass).
//
// usage: sort_poll_bench [OBSERVATIONS] [THREADS] [ROUNDS]
//        (default 10,000,000, 1 thread, 5 rounds)
// Cases: a random double (all distinct) and an int with 100 values (ties).
// Rounds alternate between the two ways; the median and best of each are
// printed, with the number of polls the sort made and the longest time
// between two of them. Times are processor time of the process (and, for
// the gaps, of the polling thread), so that a machine busy with other work
// shows in them as little as it can.
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

#include "data/dataset.h"
#include "data/sort.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace nd = nuvra::data;

struct Xorshift {
  std::uint64_t s = 88172645463325252ULL;
  std::uint64_t next() {
    s ^= s << 13, s ^= s >> 7, s ^= s << 17;
    return s;
  }
};

void fill(nd::Dataset& ds, int j, int which) {
  Xorshift r;
  nd::Column c = ds.column(j);
  for (std::int64_t i = 0; i < ds.nobs(); ++i) {
    std::uint64_t v = r.next();
    c.store(i, which == 0 ? static_cast<double>(v >> 11) / 9007199254740992.0 : static_cast<double>(v % 100));
  }
  ds.clear_sort_list();
}

double cpu_seconds(clockid_t which) {
  timespec t;
  clock_gettime(which, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const std::int64_t n = argc > 1 ? std::atoll(argv[1]) : 10000000;
  const int threads = argc > 2 ? std::atoi(argv[2]) : 1;
  const int rounds = argc > 3 ? std::atoi(argv[3]) : 5;
  nd::Dataset ds(std::size_t{2} << 30);
  if (ds.set_obs(n) != 0) return 1;
  int payload = 0;
  if (ds.add_variable("p", nd::kDouble, &payload) != 0) return 1;
  nd::SortWorkspace work;
  const char* names[] = {"random double", "int, 100 values"};
  const int types[] = {nd::kDouble, nd::kInt};
  for (int which = 0; which < 2; ++which) {
    int j = 0;
    if (ds.add_variable("k", types[which], &j) != 0) return 1;
    std::vector<double> times[2];
    long polls = 0;
    double longest = 0;
    for (int round = 0; round < 2 * rounds; ++round) {
      const int polled = round % 2;
      fill(ds, j, which);
      std::uint32_t seed = 1001;
      nd::SortControl ctl;
      ctl.threads = threads;
      ctl.seed = &seed;
      ctl.work = &work;
      Clock::time_point last_pass = Clock::now();
      double last_poll = cpu_seconds(CLOCK_THREAD_CPUTIME_ID);
      long calls = 0;
      double gap = 0;
      if (polled) {
        ctl.poll = [&] {
          Clock::time_point now = Clock::now();
          const double cpu = cpu_seconds(CLOCK_THREAD_CPUTIME_ID);
          ++calls;
          gap = std::max(gap, 1000.0 * (cpu - last_poll));
          last_poll = cpu;
          if (now - last_pass >= std::chrono::milliseconds(10)) last_pass = now;
          return false;
        };
      }
      const double t0 = cpu_seconds(CLOCK_PROCESS_CPUTIME_ID);
      if (nd::sort_observations(ds, {j}, 1, n, ctl) != 0) return 1;
      times[polled].push_back(cpu_seconds(CLOCK_PROCESS_CPUTIME_ID) - t0);
      if (!nd::is_ordered(ds, {j}, 1, n)) {
        std::printf("out of order\n");
        return 1;
      }
      if (polled) {
        polls = calls;
        longest = std::max(longest, gap);
      }
    }
    std::printf("%-16s %lld obs %d thread(s): no poll median %.3f s best %.3f s | polled median %.3f s best %.3f s "
                "(%+.2f%% median) | %ld polls, longest gap %.2f ms\n",
                names[which], static_cast<long long>(n), threads, median(times[0]),
                *std::min_element(times[0].begin(), times[0].end()), median(times[1]),
                *std::min_element(times[1].begin(), times[1].end()),
                100.0 * (median(times[1]) / median(times[0]) - 1.0), polls, longest);
    ds.drop_variables({j});
  }
  return 0;
}
