// The memory floor of the data core's passes: the same loops the commands
// run, written by hand with nothing else in them, over values held one per
// record of a wide row (as the data area holds them) and over a contiguous
// array (as an array library holds them). What a command costs above the
// strided loop is ours to remove; what the strided loop costs above the
// contiguous one is the price of the row layout. The record move is the
// floor of `sort`: what is left once the order is known.
//
// usage: floor_bench [OBSERVATIONS [RECORD_BYTES [Y_OFFSET]]]   (default 10,000,000 96 8)
// Y_OFFSET places y in the record: at 8 it shares x1's cache line; where a
// dataset built variable by variable puts it (86 for bench/compare's data)
// most records touch a second line, which the loop then reads and writes.
// build: g++ -std=c++20 -O2 -fopenmp bench/floor_bench.cpp -o /tmp/floor_bench
// Prints the best of five runs of each loop, with one thread and with two.
#include <omp.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

template <class F>
double best_of(int runs, F&& f) {
  double best = 1e30;
  for (int r = 0; r < runs; ++r) {
    auto t0 = Clock::now();
    f();
    best = std::min(best, std::chrono::duration<double>(Clock::now() - t0).count());
  }
  return best;
}

volatile double g_sink;

}  // namespace

int main(int argc, char** argv) {
  const std::int64_t n = argc > 1 ? std::atoll(argv[1]) : 10000000;
  const std::size_t w = argc > 2 ? static_cast<std::size_t>(std::atoll(argv[2])) : 96;
  const std::size_t yoff = argc > 3 ? static_cast<std::size_t>(std::atoll(argv[3])) : 8;
  const std::size_t groups = 1000;
  // Records: x1 at offset 0, y at offset yoff, the group (int16) at offset 16.
  std::vector<char> rec(static_cast<std::size_t>(n) * w);
  std::vector<double> x(static_cast<std::size_t>(n)), y(static_cast<std::size_t>(n));
  std::vector<std::int16_t> g(static_cast<std::size_t>(n));
  std::uint64_t s = 12345;
  for (std::int64_t i = 0; i < n; ++i) {
    s = s * 6364136223846793005ULL + 1442695040888963407ULL;
    double v = static_cast<double>(s >> 11) * 0x1.0p-53;
    x[i] = v;
    // Sorted by group, as `by` needs.
    g[i] = static_cast<std::int16_t>(1 + i * static_cast<std::int64_t>(groups) / n);
    std::memcpy(&rec[static_cast<std::size_t>(i) * w], &v, 8);
    std::memcpy(&rec[static_cast<std::size_t>(i) * w + 16], &g[i], 2);
  }
  // A random order of the records (Fisher-Yates) and the copy they are
  // gathered into; both touched once so that no page is faulted in a timing.
  std::vector<std::uint32_t> order(static_cast<std::size_t>(n));
  for (std::int64_t i = 0; i < n; ++i) order[static_cast<std::size_t>(i)] = static_cast<std::uint32_t>(i);
  for (std::int64_t i = n - 1; i > 0; --i) {
    s = s * 6364136223846793005ULL + 1442695040888963407ULL;
    std::swap(order[static_cast<std::size_t>(i)], order[(s >> 33) % static_cast<std::uint64_t>(i + 1)]);
  }
  std::vector<char> moved(rec.size(), 1);
  auto at = [&](std::int64_t i, std::size_t off) { return &rec[static_cast<std::size_t>(i) * w + off]; };

  std::printf("floor_bench: N=%lld record=%zu bytes y at %zu\n", static_cast<long long>(n), w, yoff);
  for (int threads : {1, 2}) {
    omp_set_num_threads(threads);
    // summarize: mean, min, max in one pass, then the squared deviations.
    double t_sum_rec = best_of(5, [&] {
      double sum = 0, mn = 1e300, mx = -1e300;
#pragma omp parallel for reduction(+ : sum) reduction(min : mn) reduction(max : mx)
      for (std::int64_t i = 0; i < n; ++i) {
        double v;
        std::memcpy(&v, at(i, 0), 8);
        sum += v;
        mn = std::min(mn, v);
        mx = std::max(mx, v);
      }
      double mean = sum / static_cast<double>(n), ss = 0;
#pragma omp parallel for reduction(+ : ss)
      for (std::int64_t i = 0; i < n; ++i) {
        double v;
        std::memcpy(&v, at(i, 0), 8);
        ss += (v - mean) * (v - mean);
      }
      g_sink = ss + mn + mx;
    });
    double t_sum_arr = best_of(5, [&] {
      double sum = 0, mn = 1e300, mx = -1e300;
#pragma omp parallel for reduction(+ : sum) reduction(min : mn) reduction(max : mx)
      for (std::int64_t i = 0; i < n; ++i) {
        sum += x[i];
        mn = std::min(mn, x[i]);
        mx = std::max(mx, x[i]);
      }
      double mean = sum / static_cast<double>(n), ss = 0;
#pragma omp parallel for reduction(+ : ss)
      for (std::int64_t i = 0; i < n; ++i) ss += (x[i] - mean) * (x[i] - mean);
      g_sink = ss + mn + mx;
    });
    // generate/replace y = 2*x1 + 1: read one value and write one per record.
    double t_gen_rec = best_of(5, [&] {
#pragma omp parallel for
      for (std::int64_t i = 0; i < n; ++i) {
        double v;
        std::memcpy(&v, at(i, 0), 8);
        v = 2 * v + 1;
        std::memcpy(at(i, yoff), &v, 8);
      }
    });
    double t_gen_arr = best_of(5, [&] {
#pragma omp parallel for
      for (std::int64_t i = 0; i < n; ++i) y[i] = 2 * x[i] + 1;
    });
    // by g: mean of x1 over data sorted by g: each thread its own sums.
    double t_by_rec = best_of(5, [&] {
      std::vector<double> sums(groups + 1, 0.0);
      std::vector<std::int64_t> counts(groups + 1, 0);
#pragma omp parallel
      {
        std::vector<double> ls(groups + 1, 0.0);
        std::vector<std::int64_t> lc(groups + 1, 0);
#pragma omp for nowait
        for (std::int64_t i = 0; i < n; ++i) {
          double v;
          std::int16_t k;
          std::memcpy(&v, at(i, 0), 8);
          std::memcpy(&k, at(i, 16), 2);
          ls[static_cast<std::size_t>(k)] += v;
          ++lc[static_cast<std::size_t>(k)];
        }
#pragma omp critical
        for (std::size_t k = 0; k <= groups; ++k) {
          sums[k] += ls[k];
          counts[k] += lc[k];
        }
      }
      g_sink = sums[1] / static_cast<double>(counts[1]);
    });
    double t_by_arr = best_of(5, [&] {
      std::vector<double> sums(groups + 1, 0.0);
      std::vector<std::int64_t> counts(groups + 1, 0);
#pragma omp parallel
      {
        std::vector<double> ls(groups + 1, 0.0);
        std::vector<std::int64_t> lc(groups + 1, 0);
#pragma omp for nowait
        for (std::int64_t i = 0; i < n; ++i) {
          ls[static_cast<std::size_t>(g[i])] += x[i];
          ++lc[static_cast<std::size_t>(g[i])];
        }
#pragma omp critical
        for (std::size_t k = 0; k <= groups; ++k) {
          sums[k] += ls[k];
          counts[k] += lc[k];
        }
      }
      g_sink = sums[1] / static_cast<double>(counts[1]);
    });
    // sort: the records put in a given order (a random permutation, as the
    // order of `sort k` is once its ties are shuffled), gathered into a copy
    // and copied back, as the sort moves them; and the gather alone.
    double t_gather = 0;
    double t_move = best_of(5, [&] {
      auto t0 = Clock::now();
#pragma omp parallel for
      for (std::int64_t i = 0; i < n; ++i) {
        if (i + 8 < n) __builtin_prefetch(&rec[static_cast<std::size_t>(order[i + 8]) * w]);
        std::memcpy(&moved[static_cast<std::size_t>(i) * w], &rec[static_cast<std::size_t>(order[i]) * w], w);
      }
      double g = std::chrono::duration<double>(Clock::now() - t0).count();
      t_gather = t_gather == 0 ? g : std::min(t_gather, g);
#pragma omp parallel for
      for (std::int64_t i = 0; i < n; ++i)
        std::memcpy(&rec[static_cast<std::size_t>(i) * w], &moved[static_cast<std::size_t>(i) * w], w);
    });
    std::printf("threads=%d  summarize x1: records %.4f s  array %.4f s\n", threads, t_sum_rec, t_sum_arr);
    std::printf("threads=%d  y = 2*x1 + 1: records %.4f s  array %.4f s\n", threads, t_gen_rec, t_gen_arr);
    std::printf("threads=%d  by g mean x1: records %.4f s  array %.4f s\n", threads, t_by_rec, t_by_arr);
    std::printf("threads=%d  record move:  gather+copy back %.4f s  gather alone %.4f s\n", threads, t_move,
                t_gather);
  }
  return 0;
}
