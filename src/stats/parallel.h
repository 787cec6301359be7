// The machinery every statistical core uses to walk observations: the
// compensated sum, the rule that picks how many threads a loop gets, and a
// pass that cuts a range of positions into chunks run on OpenMP threads.
//
// A pass is deterministic for a given thread count: each chunk has its own
// accumulator slot (chunk k goes to slot k, whichever thread runs it), and
// the caller combines the slots in order 0, 1, 2, ... after the region.
// Only thread 0, which is the interpreter's own thread, polls for Break;
// when it sees one, every thread leaves its chunk at its next check.
//
//   PassPlan plan = plan_pass(ip.processors, n);
//   std::vector<Slot> slots(plan.threads);
//   bool done = run_pass(plan, n, poll,
//       [&](int k, int64_t b, int64_t e) { ...positions b..e-1 into slots[k]... },
//       [&](int k) { ...once per chunk, at its end... });
//   if (!done) return 1;            // Break
//   for (int k = 0; k < plan.threads; ++k) combine(slots[k]);
#pragma once
#include <omp.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstdint>
#include <functional>

namespace nuvra::stats {

// Adds x to the running sum a whose lost low-order part is kept in e.
// Which of a and x is the larger is decided by the 11-bit exponent fields,
// not by magnitude: it is cheaper, and when the exponents are equal the
// first form is exact either way.
inline void compensated_add(double& a, double& e, double x) {
  double s = a + x;
  unsigned ea = static_cast<unsigned>(std::bit_cast<std::uint64_t>(a) >> 52) & 0x7FFu;
  unsigned ex = static_cast<unsigned>(std::bit_cast<std::uint64_t>(x) >> 52) & 0x7FFu;
  if (ea >= ex)
    e += (a - s) + x;
  else
    e += (x - s) + a;
  a = s;
}

struct CompensatedSum {
  double sum = 0;
  double err = 0;
  void add(double x) { compensated_add(sum, err, x); }
  // Folds another partial sum in: its running part, then its correction.
  void merge(const CompensatedSum& o) {
    add(o.sum);
    err += o.err;
  }
  double value() const { return sum + err; }
};

// How a loop over n positions is run with P processors in use.
struct PassPlan {
  int threads = 1;      // chunks (and threads asked for); 1 = serial
  std::int64_t chunk = 0;  // positions per chunk (the last one may be short)
};

// The thread-count rule. With more than two processors the count shrinks
// for short loops (at most one thread per hundred positions, and below the
// square root of n); with one or two it is P. A split whose chunks would be
// smaller than 101 positions, or not larger than the thread count, runs in
// the calling thread instead.
inline PassPlan plan_pass(int processors, std::int64_t n) {
  PassPlan plan;
  plan.chunk = n;
  if (n <= 0 || processors <= 1) return plan;
  std::int64_t t = processors;
  if (processors > 2) {
    std::int64_t per_hundred = std::max<std::int64_t>(1, (n + 99) / 100 - 1);
    std::int64_t root = static_cast<std::int64_t>(std::sqrt(static_cast<double>(n)));
    while (root * root > n) --root;
    if (root * root < n) ++root;  // ceil(sqrt(n))
    std::int64_t below_root = std::max<std::int64_t>(1, root - 1);
    t = std::min({t, per_hundred, below_root});
  }
  if (t == 1) return plan;
  std::int64_t c = (n + t - 1) / t;
  if (c >= 101 && c > t) {
    plan.threads = static_cast<int>(t);
    plan.chunk = c;
  }
  return plan;
}

// Positions between two looks at the stop flag (and, on thread 0, at Break).
inline constexpr std::int64_t kPollInterval = 65536;

// Sets the thread count of the next parallel region, and puts the count of
// processors in use back when it goes out of scope.
class ThreadCountScope {
 public:
  ThreadCountScope(int threads, int processors) : processors_(processors) { omp_set_num_threads(threads); }
  ~ThreadCountScope() { omp_set_num_threads(processors_); }
  ThreadCountScope(const ThreadCountScope&) = delete;
  ThreadCountScope& operator=(const ThreadCountScope&) = delete;

 private:
  int processors_;
};

// Passes over fewer positions than this run their chunks one after another
// in the calling thread. Waking the other threads for a short pass costs
// more than the pass (a command run once per by-group pays it per group),
// and on a busy machine a woken thread spins on a processor the calling
// thread needs. The chunks and their slots are the plan's either way, so
// the result is the same bit for bit.
inline constexpr std::int64_t kSerialPassBelow = std::int64_t{1} << 17;

// Runs body(k, begin, end) over positions [0, n) cut as the plan says, in
// pieces of at most kPollInterval positions, then finish(k) once per chunk.
// poll (may be empty) is called by thread 0 only, between pieces; once it
// returns true every chunk stops at its next piece. Returns false when the
// pass was stopped that way.
template <class Body, class Finish>
bool run_pass(const PassPlan& plan, int processors, std::int64_t n, const std::function<bool()>& poll,
              Body&& body, Finish&& finish) {
  std::atomic<bool> stop{false};
  auto run_chunk = [&](int k, int tid) {
    std::int64_t begin = static_cast<std::int64_t>(k) * plan.chunk;
    std::int64_t end = std::min(n, begin + plan.chunk);
    for (std::int64_t b = begin; b < end; b += kPollInterval) {
      if (stop.load(std::memory_order_relaxed)) break;
      body(k, b, std::min(end, b + kPollInterval));
      if (tid == 0 && poll && poll()) stop.store(true, std::memory_order_relaxed);
    }
    finish(k);
  };
  if (plan.threads <= 1 || n < kSerialPassBelow) {
    for (int k = 0; k < plan.threads; ++k) run_chunk(k, 0);
  } else {
    ThreadCountScope scope(plan.threads, processors);
#pragma omp parallel
    {
      // The runtime may grant fewer threads than asked: each takes every
      // nth chunk, so every chunk runs and keeps its own slot.
      int tid = omp_get_thread_num();
      int granted = omp_get_num_threads();
      for (int k = tid; k < plan.threads; k += granted) run_chunk(k, tid);
    }
  }
  return !stop.load();
}

// A cut of [0, n) into segments whose bounds depend on n and the segment
// length alone.  A pass that keeps one accumulator per segment and combines
// them in segment order gives the same bits whatever the thread count,
// which a cut into one chunk per thread does not.
struct SegmentPlan {
  int threads = 1;             // threads asked for (the observation rule)
  std::int64_t length = 0;     // positions per segment (the last may be short)
  std::int64_t segments = 0;   // ceil(n / length)
};

// Segments of at least min_length positions (a multiple of 128), and not
// more than max_segments of them.
inline SegmentPlan plan_segments(int processors, std::int64_t n, std::int64_t min_length, std::int64_t max_segments) {
  SegmentPlan sp;
  sp.threads = plan_pass(processors, n).threads;
  std::int64_t len = std::max<std::int64_t>(min_length, (n + max_segments - 1) / std::max<std::int64_t>(1, max_segments));
  len = (len + 127) / 128 * 128;
  sp.length = std::max<std::int64_t>(128, len);
  sp.segments = n <= 0 ? 0 : (n + sp.length - 1) / sp.length;
  return sp;
}

// Hands every segment s to run(s, tid) over at most the plan's threads:
// thread t takes segments t, t + T, ...  Run serially, no segment starts
// once `stop` is set.
template <class Run>
void share_segments(const SegmentPlan& sp, int processors, const std::atomic<bool>& stop, Run&& run) {
  const int threads = static_cast<int>(std::min<std::int64_t>(sp.threads, sp.segments));
  if (threads <= 1) {
    for (std::int64_t s = 0; s < sp.segments && !stop.load(); ++s) run(s, 0);
  } else {
    ThreadCountScope scope(threads, processors);
#pragma omp parallel
    {
      int tid = omp_get_thread_num();
      int granted = omp_get_num_threads();
      for (std::int64_t s = tid; s < sp.segments; s += granted) run(s, tid);
    }
  }
}

// Runs body(s, begin, end) once for every segment s, in pieces of at most
// kPollInterval positions; thread t takes segments t, t + T, ...  Break is
// polled by thread 0 between pieces.  Returns false when stopped.
template <class Body>
bool run_segments(const SegmentPlan& sp, int processors, std::int64_t n, const std::function<bool()>& poll,
                  Body&& body) {
  std::atomic<bool> stop{false};
  auto run_one = [&](std::int64_t s, int tid) {
    std::int64_t begin = s * sp.length;
    std::int64_t end = std::min(n, begin + sp.length);
    for (std::int64_t b = begin; b < end; b += kPollInterval) {
      if (stop.load(std::memory_order_relaxed)) return;
      body(s, b, std::min(end, b + kPollInterval));
      if (tid == 0 && poll && poll()) stop.store(true, std::memory_order_relaxed);
    }
  };
  share_segments(sp, processors, stop, run_one);
  return !stop.load();
}

}  // namespace nuvra::stats
