// The shared pass machinery: the compensated sum against exact integer
// arithmetic, the thread-count rule on hand-worked cases, and the pass
// runner's coverage, Break handling and thread-count restoring.
#include <gtest/gtest.h>
#include <omp.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <thread>
#include <vector>

#include "stats/parallel.h"

namespace nuvra::stats {
namespace {

TEST(CompensatedSum, RecoversWhatAPlainSumLoses) {
  CompensatedSum s;
  for (double x : {1e16, 1.0, -1e16}) s.add(x);
  EXPECT_EQ(s.value(), 1.0);

  // A hundred ones hidden between two huge values: a plain sum gives 0.
  CompensatedSum t;
  double plain = 0;
  t.add(1e16);
  plain += 1e16;
  for (int k = 0; k < 100; ++k) {
    t.add(1.0);
    plain += 1.0;
  }
  t.add(-1e16);
  plain += -1e16;
  EXPECT_EQ(t.value(), 100.0);
  EXPECT_NE(plain, 100.0);  // the fixture really defeats the naive sum

  // Negative running sums and a larger addend of the other sign.
  CompensatedSum u;
  for (double x : {-1.0, 1e17, 3.0, -1e17}) u.add(x);
  EXPECT_EQ(u.value(), 2.0);
}

// With equal exponents the first form is taken even when the addend is the
// larger of the two; the error it keeps must still be exact. Values are
// multiples of 2^-60 in [1, 2), so the exact sum fits a 128-bit integer.
TEST(CompensatedSum, EqualExponentsKeepTheExactError) {
  const double scale = std::ldexp(1.0, 60);
  std::uint64_t state = 12345;
  for (int trial = 0; trial < 1000; ++trial) {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    double a = 1.0 + std::ldexp(static_cast<double>(state >> 12), -52);
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    double x = 1.0 + std::ldexp(static_cast<double>(state >> 12), -52);
    double s = a, e = 0;
    compensated_add(s, e, x);
    __int128 exact = static_cast<__int128>(a * scale) + static_cast<__int128>(x * scale);
    __int128 got = static_cast<__int128>(s * scale) + static_cast<__int128>(e * scale);
    ASSERT_TRUE(exact == got) << a << " + " << x;
  }
}

TEST(PassPlan, ThreadCountRule) {
  struct Case {
    int p;
    std::int64_t n;
    int threads;
    std::int64_t chunk;
  };
  // Worked by hand from T = min(P, max(1, ceil(n/100 - 1)), max(1, ceil(sqrt n) - 1))
  // for P > 2, T = P otherwise, then c = ceil(n / T) with c >= 101 and c > T.
  const Case cases[] = {
      {1, 1000000, 1, 1000000},  // one processor: always serial
      {2, 200, 1, 200},          // c = 100 is too small
      {2, 201, 2, 101},          // c = 101 is enough
      {2, 202, 2, 101},
      {4, 1000, 4, 250},         // min(4, 9, 31)
      {8, 250, 2, 125},          // min(8, ceil(1.5) = 2, 15)
      {8, 200, 1, 200},          // ceil(2 - 1) = 1 thread
      {4, 201, 2, 101},          // min(4, ceil(1.01) = 2, 14)
      {64, 10000, 64, 157},      // min(64, 99, 99); 10000 / 64 = 156.25
      {200, 12000, 109, 111},    // min(200, 119, ceil(109.54) - 1 = 109)
      {200, 10201, 100, 103},    // sqrt(10201) = 101 exactly: 100 threads
      {3, 0, 1, 0},              // nothing to do
      {3, 150, 1, 150},          // min(3, 1, 12) = 1
      {3, 302, 3, 101},          // min(3, ceil(2.02) = 3, 17), c = 101
  };
  for (const Case& c : cases) {
    PassPlan plan = plan_pass(c.p, c.n);
    EXPECT_EQ(plan.threads, c.threads) << "P=" << c.p << " n=" << c.n;
    EXPECT_EQ(plan.chunk, c.chunk) << "P=" << c.p << " n=" << c.n;
  }
}

TEST(RunPass, EveryPositionOnceInItsChunkAndCountRestored) {
  const std::int64_t n = 1000003;
  const int processors = 3;
  PassPlan plan = plan_pass(processors, n);
  ASSERT_EQ(plan.threads, 3);
  std::vector<unsigned char> seen(n, 0);
  std::vector<int> chunk_of(n, -1);
  std::atomic<int> finishes{0};
  std::atomic<int> widest{0};
  omp_set_num_threads(processors);
  bool done = run_pass(
      plan, processors, n, {},
      [&](int k, std::int64_t b, std::int64_t e) {
        int t = omp_get_num_threads();
        int w = widest.load();
        while (t > w && !widest.compare_exchange_weak(w, t)) {
        }
        for (std::int64_t i = b; i < e; ++i) {
          ++seen[i];
          chunk_of[i] = k;
        }
      },
      [&](int) { ++finishes; });
  EXPECT_TRUE(done);
  EXPECT_EQ(finishes.load(), 3);
  EXPECT_EQ(widest.load(), 3);
  for (std::int64_t i = 0; i < n; ++i) {
    ASSERT_EQ(seen[i], 1) << i;
    ASSERT_EQ(chunk_of[i], static_cast<int>(i / plan.chunk)) << i;
  }
  // The count asked for this region does not outlive it.
  EXPECT_EQ(omp_get_max_threads(), processors);
  {
    ThreadCountScope scope(2, 5);
    EXPECT_EQ(omp_get_max_threads(), 2);
  }
  EXPECT_EQ(omp_get_max_threads(), 5);
  omp_set_num_threads(1);
}

// A short pass keeps the plan's chunks (so its slots, and the result, are
// those of the parallel run) but runs them in order in the calling thread.
TEST(RunPass, AShortPassRunsItsChunksInTheCallingThread) {
  const std::int64_t n = kSerialPassBelow - 1;
  PassPlan plan = plan_pass(2, n);
  ASSERT_EQ(plan.threads, 2);
  std::vector<int> chunk_of(n, -1);
  std::vector<int> finished;
  int inside_region = 0;
  bool done = run_pass(
      plan, 2, n, {},
      [&](int k, std::int64_t b, std::int64_t e) {
        inside_region += omp_in_parallel();
        for (std::int64_t i = b; i < e; ++i) chunk_of[i] = k;
      },
      [&](int k) { finished.push_back(k); });
  EXPECT_TRUE(done);
  EXPECT_EQ(inside_region, 0);
  EXPECT_EQ(finished, (std::vector<int>{0, 1}));
  for (std::int64_t i = 0; i < n; ++i) ASSERT_EQ(chunk_of[i], static_cast<int>(i / plan.chunk)) << i;
}

TEST(RunPass, OnlyThreadZeroPollsAndABreakStopsEveryChunk) {
  const std::int64_t n = 40 * kPollInterval;
  PassPlan plan = plan_pass(4, n);
  ASSERT_EQ(plan.threads, 4);
  std::atomic<int> polls{0}, foreign_polls{0};
  std::atomic<bool> chunk0_done{false};
  std::atomic<std::int64_t> pieces[4] = {0, 0, 0, 0};
  auto poll = [&] {
    if (omp_get_thread_num() != 0) ++foreign_polls;
    ++polls;
    return true;  // Break at the first look
  };
  bool done = run_pass(
      plan, 4, n, poll,
      [&](int k, std::int64_t, std::int64_t) {
        ++pieces[k];
        // Hold the other chunks in their first piece until chunk 0 has
        // finished: thread 0 runs it first, looks after its first piece
        // and has recorded the Break before chunk 0 ends, so every chunk
        // must then see it. Waiting only for the look itself left a
        // window before the Break was recorded, in which a held chunk ran
        // on (seen on a loaded machine); thread 0 never waits here, so the
        // wait ends.
        // The wait is bounded: should chunk 0 never finish, the held
        // chunks go on after 30 s and the counts below fail the test
        // instead of the test hanging.
        if (k != 0 && omp_get_thread_num() != 0) {
          const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(30);
          while (!chunk0_done.load() && std::chrono::steady_clock::now() < give_up) std::this_thread::yield();
        }
      },
      [&](int k) {
        if (k == 0) chunk0_done = true;
      });
  EXPECT_FALSE(done);
  EXPECT_EQ(foreign_polls.load(), 0);
  EXPECT_EQ(polls.load(), 1);
  // Each chunk holds 10 pieces. Thread 0 did one; the others were held in
  // their first until the Break (or had not begun when it came) and start
  // no further piece.
  EXPECT_EQ(pieces[0].load(), 1);
  for (int k = 1; k < 4; ++k) EXPECT_LE(pieces[k].load(), 1) << "chunk " << k;
  omp_set_num_threads(1);
}

}  // namespace
}  // namespace nuvra::stats
