// The sort engine: the comparison, the one-pass check, the radix ordering
// of distinct keys, the shuffle, the three-way quicksort (serial, or with
// the sides of each partition as parallel tasks) and the final move of the
// records.
#include "data/sort.h"

#include <omp.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <thread>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

namespace nuvra::data {

namespace {

// Ranges at most this long are finished by insertion, which keeps the
// order the partitions left among equal keys.
constexpr std::int64_t kSmallRange = 16;
// A side shorter than this is sorted by the task that split it.
constexpr std::int64_t kTaskMinimum = 1 << 12;
// Largest copy of the records a sort makes to move them in two sequential
// passes rather than along the permutation's cycles, whatever the machine.
constexpr std::size_t kCopyLimit = std::size_t{512} << 20;
// Beyond that the copy is still made, up to this size, when the system has
// twice its size free: following the cycles is a chain of dependent cache
// misses (about 1 s for 10 million records), where the copy's reads are
// independent and its writes sequential.
constexpr std::size_t kLargeCopyLimit = std::size_t{4} << 30;
// Elements handled between two reads of the clock that paces the polls:
// a few microseconds of work, so a read costs next to nothing.
constexpr std::int64_t kClockEvery = 1 << 12;
// How long the polling thread sleeps while the others work.
constexpr auto kPollerNap = std::chrono::microseconds(300);

// A double as an unsigned integer with the same order: numbers, then `.`,
// `.a`, ..., `.z`. Negative zero is zero; a NaN (never stored by the
// system, but possible in a file written elsewhere) counts as `.`.
inline std::uint64_t ordered_bits(double v) {
  if (v == 0) v = 0;
  if (std::isnan(v)) v = kMissing;
  std::uint64_t u = std::bit_cast<std::uint64_t>(v);
  return (u >> 63) ? ~u : (u | (std::uint64_t{1} << 63));
}

// The first 8 bytes of a stored string, big-endian, zero after its end: as
// an unsigned integer it orders like the string's first 8 bytes.
inline std::uint64_t string_prefix(const char* p, int width) {
  std::uint64_t k = 0;
  int n = width < 8 ? width : 8;
  int i = 0;
  for (; i < n && p[i] != 0; ++i) k |= static_cast<std::uint64_t>(static_cast<unsigned char>(p[i])) << (56 - 8 * i);
  return k;
}

// Bytewise unsigned comparison of two stored strings of one width, ending
// at the first zero byte.
inline int compare_strings(const char* a, const char* b, int from, int width) {
  for (int k = from; k < width; ++k) {
    auto x = static_cast<unsigned char>(a[k]), y = static_cast<unsigned char>(b[k]);
    if (x != y) return x < y ? -1 : 1;
    if (x == 0) return 0;
  }
  return 0;
}

inline int compare_u64(std::uint64_t a, std::uint64_t b) { return a < b ? -1 : (a > b ? 1 : 0); }

// One key as the comparison sees it: where its values lie in the records.
struct KeyColumn {
  const char* base;  // records + offset
  std::size_t stride;
  int type;
  bool is_string;
  int width;
};

// The working element: the cached first key and the record slot.
struct __attribute__((packed)) Entry {
  std::uint64_t key;
  std::uint32_t slot;
};
static_assert(sizeof(Entry) == 12);

// Full comparison of two records over the keys, given that their cached
// first keys are equal.
struct Keys {
  std::vector<KeyColumn> cols;
  // The cached key decides alone: one numeric key, or one string key of at
  // most 8 bytes.
  bool key_decides = false;

  int rest(std::uint32_t sa, std::uint32_t sb, std::uint64_t cached) const {
    for (std::size_t k = 0; k < cols.size(); ++k) {
      const KeyColumn& c = cols[k];
      const char* a = c.base + c.stride * sa;
      const char* b = c.base + c.stride * sb;
      int r;
      if (c.is_string) {
        // The first key's first 8 bytes are already known to be equal;
        // when they held the string's end the strings are equal.
        int from = 0;
        if (k == 0) {
          if ((cached & 0xFF) == 0) continue;
          from = 8;
        }
        r = compare_strings(a, b, from, c.width);
      } else {
        if (k == 0) continue;
        r = compare_u64(ordered_bits(fetch_value(c.type, a)), ordered_bits(fetch_value(c.type, b)));
      }
      if (r) return r;
    }
    return 0;
  }
};

struct CompareCached {
  int operator()(const Entry& a, const Entry& b) const { return compare_u64(a.key, b.key); }
};

struct CompareFull {
  const Keys* keys;
  int operator()(const Entry& a, const Entry& b) const {
    if (a.key != b.key) return a.key < b.key ? -1 : 1;
    return keys->rest(a.slot, b.slot, a.key);
  }
};

// Shared by the threads of one sort: the Break flag, the pacing of the
// polls, and the count of quicksort tasks not yet finished.
struct SortRun {
  using Clock = std::chrono::steady_clock;

  std::atomic<bool> stop{false};
  std::atomic<std::int64_t> tasks{0};
  const std::function<bool()>* poll = nullptr;
  std::chrono::microseconds interval{0};
  bool parallel = false;
  // False once the records move: the sort then finishes, and the Break
  // stays with the poll for whatever runs next.
  bool honour_break = true;
  // Touched by the calling thread only.
  std::int64_t since_clock = 0;
  Clock::time_point last_poll = Clock::now();

  bool stopped() const { return stop.load(std::memory_order_relaxed); }

  void poll_now(Clock::time_point now) {
    last_poll = now;
    if (poll && *poll && (*poll)() && honour_break) stop.store(true, std::memory_order_relaxed);
  }

  // Called by whichever thread did `work` elements; the calling thread of
  // the sort polls when the interval has passed. True: stop.
  bool tick(std::int64_t work) {
    if (stopped()) return true;
    if (omp_get_thread_num() != 0) return false;
    since_clock += work;
    if (since_clock < kClockEvery) return false;
    since_clock = 0;
    Clock::time_point now = Clock::now();
    if (now - last_poll >= interval) poll_now(now);
    return stopped();
  }

  // The calling thread's turn while the others work.
  void wait() {
    Clock::time_point now = Clock::now();
    if (now - last_poll >= interval) poll_now(now);
    std::this_thread::sleep_for(kPollerNap);
  }
};

// each(r) for r in [b, e), with a tick every few thousand; false when the
// sort is to stop.
template <class Each>
inline bool in_blocks(std::int64_t b, std::int64_t e, SortRun& run, Each each) {
  while (b < e) {
    const std::int64_t stop = std::min(e, b + kClockEvery);
    for (std::int64_t r = b; r < stop; ++r) each(r);
    if (run.tick(stop - b)) return false;
    b = stop;
  }
  return true;
}

// body(t) for each of `threads` pieces: on this thread when there is one,
// else on that many other threads while this one polls. (Should the
// system give fewer threads, this one works and polls as it goes.)
template <class Body>
void for_pieces(int threads, SortRun& run, Body body) {
  if (threads <= 1) {
    body(0);
    return;
  }
  std::atomic<int> left{threads};
#pragma omp parallel num_threads(threads + 1)
  {
    const int team = omp_get_num_threads(), tid = omp_get_thread_num();
    if (team == 1) {
      for (int t = 0; t < threads; ++t) body(t);
    } else if (tid == 0) {
      while (left.load(std::memory_order_acquire) > 0) run.wait();
    } else {
      for (int t = tid - 1; t < threads; t += team - 1) {
        body(t);
        left.fetch_sub(1, std::memory_order_acq_rel);
      }
    }
  }
}

template <class Cmp>
void insertion_sort(Entry* a, std::int64_t lo, std::int64_t hi, Cmp cmp) {
  for (std::int64_t i = lo + 1; i <= hi; ++i) {
    Entry v = a[i];
    std::int64_t j = i - 1;
    while (j >= lo && cmp(v, a[j]) < 0) {
      a[j + 1] = a[j];
      --j;
    }
    a[j + 1] = v;
  }
}

// Partitions a[lo..hi] around the pivot a[hi]. Afterwards a[lo..*lt] are
// below the pivot, a[*gt..hi] above it, and everything between equals it.
// Two indexes close in from the ends, swapping pairs that are on the wrong
// side; elements equal to the pivot met on the way are parked at the far
// ends and brought next to the pivot at the end. False when the sort was
// stopped part way (a[lo..hi] is then some order of what it held).
template <class Cmp>
bool partition(Entry* a, std::int64_t lo, std::int64_t hi, Cmp cmp, SortRun& run, std::int64_t* lt,
               std::int64_t* gt) {
  const Entry pivot = a[hi];
  std::int64_t i = lo - 1, j = hi, p = lo - 1, q = hi;
  std::int64_t steps = 0, ticked = 0;
  for (;;) {
    if ((++steps & 1023) == 0) {
      const std::int64_t seen = (i - lo) + (hi - j);
      if (run.tick(seen - ticked)) return false;
      ticked = seen;
    }
    while (cmp(a[++i], pivot) < 0) {
    }
    while (cmp(pivot, a[--j]) < 0)
      if (j == lo) break;
    if (i >= j) break;
    std::swap(a[i], a[j]);
    if (cmp(a[i], pivot) == 0) std::swap(a[++p], a[i]);
    if (cmp(pivot, a[j]) == 0) std::swap(a[j], a[--q]);
  }
  std::swap(a[i], a[hi]);
  j = i - 1;
  i = i + 1;
  for (std::int64_t k = lo; k <= p; ++k, --j) std::swap(a[k], a[j]);
  for (std::int64_t k = hi - 1; k >= q; --k, ++i) std::swap(a[i], a[k]);
  *lt = j;
  *gt = i;
  return !run.tick(hi - lo + 1 - ticked);
}

template <class Cmp>
void quicksort(Entry* a, std::int64_t lo, std::int64_t hi, Cmp cmp, SortRun& run) {
  while (hi - lo + 1 > kSmallRange) {
    std::int64_t lt, gt;
    if (!partition(a, lo, hi, cmp, run, &lt, &gt)) return;
    // The smaller side by recursion (or as a task), the larger by iteration.
    std::int64_t slo = lo, shi = lt, blo = gt, bhi = hi;
    if (lt - lo > hi - gt) {
      slo = gt;
      shi = hi;
      blo = lo;
      bhi = lt;
    }
    if (run.parallel && shi - slo + 1 >= kTaskMinimum) {
      run.tasks.fetch_add(1, std::memory_order_relaxed);
#pragma omp task default(none) firstprivate(a, slo, shi, cmp) shared(run)
      {
        quicksort(a, slo, shi, cmp, run);
        run.tasks.fetch_sub(1, std::memory_order_acq_rel);
      }
    } else if (shi > slo) {
      quicksort(a, slo, shi, cmp, run);
    }
    lo = blo;
    hi = bhi;
  }
  if (hi > lo && !run.stopped()) insertion_sort(a, lo, hi, cmp);
}

// With threads, one of them starts the quicksort and the rest take its
// tasks, while the calling thread polls until no task is left.
template <class Cmp>
void sort_entries(Entry* a, std::int64_t n, Cmp cmp, SortRun& run, int threads) {
  if (threads <= 1) {
    run.parallel = false;
    quicksort(a, 0, n - 1, cmp, run);
    return;
  }
  run.parallel = true;
  run.tasks.store(1);
#pragma omp parallel num_threads(threads + 1) default(none) shared(a, n, cmp, run)
  {
    const int team = omp_get_num_threads(), tid = omp_get_thread_num();
    if (team == 1 || tid == 1) {
      quicksort(a, 0, n - 1, cmp, run);
      run.tasks.fetch_sub(1, std::memory_order_acq_rel);
    } else if (tid == 0) {
      while (run.tasks.load(std::memory_order_acquire) > 0) run.wait();
    }
  }
}

// Observation i (1-based) is stored in slot slot[i - 1].
std::uint64_t cached_key(const KeyColumn& c, std::uint32_t slot) {
  const char* p = c.base + c.stride * slot;
  if (c.is_string) return string_prefix(p, c.width);
  return ordered_bits(fetch_value(c.type, p));
}

KeyColumn key_column(Dataset& ds, int j) {
  Column col = ds.column(j);
  KeyColumn k;
  k.base = col.base;
  k.stride = col.stride;
  k.type = col.type;
  k.is_string = is_string_type(col.type);
  k.width = type_width(col.type);
  return k;
}

// Draws the next position of lo..hi (0-based here) from the sort seed.
inline std::int64_t draw(std::uint64_t& s, std::int64_t span) {
  s = (s * 68969u) & 0x7FFFFFFFu;
  auto pos = static_cast<std::int64_t>(static_cast<double>(s) / 2147483646.0 * static_cast<double>(span) + 0.5);
  return pos > span ? span : pos;
}

// The shuffle: n swaps of two drawn positions. Positions are drawn a batch
// ahead so their cache lines can be fetched while earlier swaps run; the
// swaps themselves happen in draw order.
void shuffle(Entry* a, std::int64_t n, std::uint32_t* seed, SortRun& run) {
  std::uint64_t s = seed ? *seed : 1001u;
  constexpr int kBatch = 32;
  std::int64_t pos[2 * kBatch];
  std::int64_t span = n - 1;
  for (std::int64_t done = 0; done < n;) {
    int m = static_cast<int>(std::min<std::int64_t>(kBatch, n - done));
    for (int k = 0; k < 2 * m; ++k) {
      pos[k] = draw(s, span);
      __builtin_prefetch(a + pos[k], 1);
    }
    for (int k = 0; k < m; ++k) std::swap(a[pos[2 * k]], a[pos[2 * k + 1]]);
    done += m;
    if ((done & (kClockEvery - 1)) == 0 && run.tick(kClockEvery)) return;
  }
  if (seed) *seed = static_cast<std::uint32_t>(s);
}

// The sort seed after `draws` draws, without making them: a draw
// multiplies the seed by 68969 modulo 2^31, so k draws multiply it by
// 68969^k, found by repeated squaring.
std::uint32_t seed_after(std::uint32_t seed, std::uint64_t draws) {
  std::uint64_t s = seed, m = 68969u;
  for (; draws; draws >>= 1) {
    if (draws & 1) s = (s * m) & 0x7FFFFFFFu;
    m = (m * m) & 0x7FFFFFFFu;
  }
  return static_cast<std::uint32_t>(s);
}

// ---- radix ordering ---------------------------------------------------------
//
// When no two observations of the range are equal over all the keys, there
// is exactly one ascending order, and the shuffle and quicksort end in it
// whatever the seed; a radix sort of the cached keys reaches it in a few
// sequential passes instead. Whether the keys are all distinct is known
// only afterwards, so the radix sort is tried first and given up at the
// first tie, the shuffle and quicksort then running exactly as they would
// have. `stable` ends the keys with the observation number, so its keys are
// always distinct: the radix passes keep equal cached keys in their previous
// order, which is what the last key asks for.

constexpr int kRadixBits = 8;
constexpr int kRadixBuckets = 1 << kRadixBits;
constexpr int kRadixDigits = 64 / kRadixBits;
using Histogram = std::array<std::array<std::int64_t, kRadixBuckets>, kRadixDigits>;

inline unsigned digit_of(std::uint64_t key, int d) {
  return static_cast<unsigned>(key >> (d * kRadixBits)) & (kRadixBuckets - 1);
}

// Piece t of n elements on `threads` threads: [*b, *e).
inline void piece(std::int64_t n, int t, int threads, std::int64_t* b, std::int64_t* e) {
  *b = n * t / threads;
  *e = n * (t + 1) / threads;
}

// Least-significant-digit radix sort of a[0..n) by key, stable, using
// `spare` (n entries) as the other buffer; digits every element shares are
// skipped. Each thread counts and scatters its own contiguous piece, and
// the pieces of one bucket are laid out in piece order, so the result is
// the serial one for any number of threads. Returns the buffer that holds
// the result (a or spare), or null after a Break.
Entry* radix_sort(Entry* a, Entry* spare, std::int64_t n, int threads, SortRun& run) {
  std::vector<Histogram> hist(static_cast<std::size_t>(threads));
  for_pieces(threads, run, [&](int t) {
    Histogram& h = hist[static_cast<std::size_t>(t)];
    for (auto& row : h) row.fill(0);
    std::int64_t b, e;
    piece(n, t, threads, &b, &e);
    in_blocks(b, e, run, [&](std::int64_t r) {
      const std::uint64_t k = a[r].key;
      for (int d = 0; d < kRadixDigits; ++d) ++h[static_cast<std::size_t>(d)][digit_of(k, d)];
    });
  });
  if (run.stopped()) return nullptr;
  Entry* src = a;
  Entry* dst = spare;
  std::vector<std::array<std::int64_t, kRadixBuckets>> start(static_cast<std::size_t>(threads));
  for (int d = 0; d < kRadixDigits; ++d) {
    // Skipped when one bucket holds every element.
    auto count = [&](int t, int v) {
      return hist[static_cast<std::size_t>(t)][static_cast<std::size_t>(d)][static_cast<std::size_t>(v)];
    };
    std::array<std::int64_t, kRadixBuckets> total{};
    for (int t = 0; t < threads; ++t)
      for (int v = 0; v < kRadixBuckets; ++v) total[static_cast<std::size_t>(v)] += count(t, v);
    if (std::any_of(total.begin(), total.end(), [n](std::int64_t c) { return c == n; })) continue;
    if (threads > 1) {
      // Each piece's counts of this digit, over the order the last pass
      // left (the first counts were of the original order).
      for_pieces(threads, run, [&](int t) {
        auto& row = hist[static_cast<std::size_t>(t)][static_cast<std::size_t>(d)];
        row.fill(0);
        std::int64_t b, e;
        piece(n, t, threads, &b, &e);
        in_blocks(b, e, run, [&](std::int64_t r) { ++row[digit_of(src[r].key, d)]; });
      });
      if (run.stopped()) return nullptr;
    }
    std::int64_t at = 0;
    for (int v = 0; v < kRadixBuckets; ++v)
      for (int t = 0; t < threads; ++t) {
        start[static_cast<std::size_t>(t)][static_cast<std::size_t>(v)] = at;
        at += count(t, v);
      }
    for_pieces(threads, run, [&](int t) {
      std::array<std::int64_t, kRadixBuckets> pos = start[static_cast<std::size_t>(t)];
      std::int64_t b, e;
      piece(n, t, threads, &b, &e);
      in_blocks(b, e, run, [&](std::int64_t r) { dst[pos[digit_of(src[r].key, d)]++] = src[r]; });
    });
    if (run.stopped()) return nullptr;
    std::swap(src, dst);
  }
  return src;
}

// After the radix sort of the cached keys: orders each run of equal cached
// keys by the full comparison and checks that no two neighbours are equal
// over all keys. False at the first tie (the order of ties is the
// quicksort's business) or after a Break.
bool settle_runs(Entry* a, std::int64_t n, const Keys& keys, SortRun& run) {
  const CompareFull full{&keys};
  std::int64_t since = 0;
  for (std::int64_t r = 0; r < n;) {
    std::int64_t e = r + 1;
    while (e < n && a[e].key == a[r].key) ++e;
    if (e - r > 1) {
      if (keys.key_decides) return false;
      // Often in order already (`stable`: the radix passes kept the
      // previous order, which is the last key's).
      auto ascending = [&] {
        for (std::int64_t q = r; q + 1 < e; ++q)
          if (full(a[q], a[q + 1]) >= 0) return false;
        return true;
      };
      if (!ascending()) {
        std::sort(a + r, a + e, [&](const Entry& x, const Entry& y) { return full(x, y) < 0; });
        if (!ascending()) return false;
      }
    }
    since += e - r;
    if (since >= kClockEvery) {
      if (run.tick(since)) return false;
      since = 0;
    }
    r = e;
  }
  return true;
}

// Whether a sample of the cached keys already holds two equal ones, when
// the cached key is the whole key: then the keys have ties and the radix
// sort would be given up anyway. A key with a few values (a group code, a
// category) shows it in any sample.
bool sample_has_ties(const Entry* a, std::int64_t n, const Keys& keys) {
  if (!keys.key_decides) return false;
  constexpr std::int64_t kSample = 4096;
  std::vector<std::uint64_t> v;
  const std::int64_t step = std::max<std::int64_t>(1, n / kSample);
  for (std::int64_t r = 0; r < n; r += step) v.push_back(a[r].key);
  std::sort(v.begin(), v.end());
  return std::adjacent_find(v.begin(), v.end()) != v.end();
}

// Whether a copy of `bytes` of records may be made, given the workspace
// that would hold it.
bool copy_affordable(std::size_t bytes, std::size_t held) {
  if (bytes <= kCopyLimit || bytes <= held) return true;
  if (bytes > kLargeCopyLimit) return false;
  long pages = sysconf(_SC_AVPHYS_PAGES), page = sysconf(_SC_PAGESIZE);
  if (pages <= 0 || page <= 0) return false;
  return bytes <= static_cast<std::size_t>(pages) * static_cast<std::size_t>(page) / 2;
}

}  // namespace

SortWorkspace::~SortWorkspace() { release(); }

void SortWorkspace::release() {
  if (base_) munmap(base_, size_);
  base_ = nullptr;
  size_ = 0;
}

char* SortWorkspace::get(std::size_t bytes) {
  if (bytes <= size_) return base_;
  release();
  std::size_t want = (bytes + (std::size_t{2} << 20) - 1) & ~((std::size_t{2} << 20) - 1);
  void* p = mmap(nullptr, want, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (p == MAP_FAILED) return nullptr;
#ifdef MADV_HUGEPAGE
  madvise(p, want, MADV_HUGEPAGE);
#endif
  base_ = static_cast<char*>(p);
  size_ = want;
  return base_;
}

int compare_observations(const Dataset& ds, const std::vector<int>& keys, std::int64_t a, std::int64_t b) {
  for (int j : keys) {
    const char* pa = ds.value_ptr(j, a);
    const char* pb = ds.value_ptr(j, b);
    int t = ds.type(j);
    int r = is_string_type(t) ? compare_strings(pa, pb, 0, type_width(t))
                              : compare_u64(ordered_bits(fetch_value(t, pa)), ordered_bits(fetch_value(t, pb)));
    if (r) return r;
  }
  return 0;
}

int sort_threads(int processors, std::int64_t n) {
  if (processors <= 1 || n <= 0) return 1;
  double dn = static_cast<double>(n);
  auto limit = static_cast<std::int64_t>(std::min(std::ceil(dn / 100.0 - 1.0), std::ceil(std::sqrt(dn) - 1.0)));
  std::int64_t t = std::max<std::int64_t>(1, std::min<std::int64_t>(processors, limit));
  if (t <= 1) return 1;
  std::int64_t share = (n + t - 1) / t;
  if (share < 101 || share <= t) return 1;
  return static_cast<int>(t);
}

bool is_ordered(const Dataset& ds, const std::vector<int>& keys, std::int64_t lo, std::int64_t hi) {
  for (std::int64_t i = lo; i < hi; ++i)
    if (compare_observations(ds, keys, i, i + 1) > 0) return false;
  return true;
}

rc_t sort_observations(Dataset& ds, const std::vector<int>& keys, std::int64_t lo, std::int64_t hi,
                       const SortControl& ctl, SortOutcome* outcome, int recorded) {
  if (outcome) *outcome = SortOutcome::kInOrder;
  const bool whole = lo == 1 && hi == ds.nobs();
  // The sort list is made before anything moves: recording it afterwards
  // must not be able to fail.
  std::vector<int> list;
  if (whole) {
    list.assign(keys.begin(), recorded < 0 ? keys.end() : keys.begin() + std::min<std::size_t>(recorded, keys.size()));
    ds.reserve_sort_list(list.size());
  }
  auto record = [&] {
    if (whole) ds.set_sort_list(list);
  };
  if (keys.empty() || hi <= lo) {
    if (!keys.empty()) record();
    return 0;
  }
  SortRun run;
  run.poll = &ctl.poll;
  run.interval = ctl.poll_interval;
  auto tick = [&run] { run.tick(kClockEvery); };

  // 1. One pass over neighbours.
  bool up = false, down = false;
  for (std::int64_t i = lo; i < hi && !(up && down); ++i) {
    if ((i & (kClockEvery - 1)) == 0 && run.tick(kClockEvery)) return 1;
    int c = compare_observations(ds, keys, i, i + 1);
    if (c < 0) up = true;
    if (c > 0) down = true;
  }
  if (!down) {
    record();
    return 0;
  }
  if (!up) {
    // The records move from here on.
    run.honour_break = false;
    std::uint32_t* slot = ds.slot_table();
    for (std::int64_t a = lo - 1, b = hi - 1; a < b; ++a, --b) {
      std::swap(slot[a], slot[b]);
      if ((a & (kClockEvery - 1)) == 0) tick();
    }
    if (rc_t rc = ds.put_in_slot_order(tick)) {
      ds.clear_sort_list();
      return rc;
    }
    if (outcome) *outcome = SortOutcome::kReversed;
    if (whole) record();
    else ds.clear_sort_list();
    return 0;
  }

  // 2-3. Keys beside the slots, shuffled, then quicksorted.
  const std::int64_t n = hi - lo + 1;
  const std::size_t used = ds.used_width();
  const std::size_t entry_bytes = (static_cast<std::size_t>(n) * sizeof(Entry) + 63) & ~std::size_t{63};
  // The records of the range are copied out in their new order and back,
  // when that copy fits in the working memory; otherwise they are moved
  // along the cycles of the permutation, one record at a time.
  SortWorkspace own;
  SortWorkspace* work = ctl.work ? ctl.work : &own;
  const bool copy_records =
      used > 0 && copy_affordable(static_cast<std::size_t>(n) * used, work->capacity() - std::min(work->capacity(), 2 * entry_bytes));
  // Entries, the radix sort's second buffer, then the copy of the records.
  char* mem = work->get(2 * entry_bytes + (copy_records ? static_cast<std::size_t>(n) * used : 0));
  if (!mem) return 950;
  // The copy-back writes slots lo-1 .. hi-1, so those must be the range's.
  // (Records moving into slot order leave every observation as it was.)
  if (copy_records && !ds.in_slot_order()) {
    if (rc_t rc = ds.put_in_slot_order(tick)) return rc;
    if (run.stopped()) return 1;
  }
  Keys k;
  for (int j : keys) k.cols.push_back(key_column(ds, j));
  k.key_decides = keys.size() == 1 && (!k.cols[0].is_string || k.cols[0].width <= 8);
  Entry* a = reinterpret_cast<Entry*>(mem);
  Entry* spare = reinterpret_cast<Entry*>(mem + entry_bytes);
  const KeyColumn& first = k.cols[0];
  std::uint32_t* slot = ds.slot_table();
  const int threads = std::max(1, ctl.threads);
  auto load_entries = [&] {
    for_pieces(threads, run, [&](int t) {
      std::int64_t b, e;
      piece(n, t, threads, &b, &e);
      in_blocks(b, e, run, [&](std::int64_t r) {
        std::uint32_t s = slot[lo - 1 + r];
        a[r].slot = s;
        a[r].key = cached_key(first, s);
      });
    });
    return !run.stopped();
  };
  // Until the records move, a Break leaves everything as it was: the
  // observations, the sort list and the seed.
  const std::uint32_t seed_before = ctl.seed ? *ctl.seed : 0;
  auto broken = [&] {
    if (ctl.seed) *ctl.seed = seed_before;
    return rc_t{1};
  };
  if (!load_entries()) return broken();
  const bool tried = ctl.radix && !sample_has_ties(a, n, k);
  Entry* sorted = tried ? radix_sort(a, spare, n, threads, run) : nullptr;
  bool radix_done = sorted && settle_runs(sorted, n, k, run);
  if (run.stopped()) return broken();
  if (radix_done) {
    // The order is the one the shuffle and quicksort reach; the seed moves
    // on as their shuffle would have moved it.
    for (std::int64_t b = 0; sorted != a && b < n; b += kClockEvery) {
      const std::int64_t m = std::min(kClockEvery, n - b);
      std::memcpy(a + b, sorted + b, static_cast<std::size_t>(m) * sizeof(Entry));
      if (run.tick(m)) return broken();
    }
    if (ctl.seed) *ctl.seed = seed_after(*ctl.seed, 2 * static_cast<std::uint64_t>(n));
  } else {
    if (tried && !load_entries()) return broken();
    shuffle(a, n, ctl.seed, run);
    if (k.key_decides)
      sort_entries(a, n, CompareCached{}, run, threads);
    else
      sort_entries(a, n, CompareFull{&k}, run, threads);
  }
  if (run.stopped()) return broken();
  char* copy = mem + 2 * entry_bytes;
  char* records = ds.column(keys[0]).base - ds.offset(keys[0]);
  const std::size_t w = ds.allotted_width();
  if (copy_records) {
    for_pieces(threads, run, [&](int t) {
      std::int64_t b, e;
      piece(n, t, threads, &b, &e);
      in_blocks(b, e, run, [&](std::int64_t r) {
        if (r + 8 < n) __builtin_prefetch(records + w * a[r + 8].slot);
        std::memcpy(copy + used * static_cast<std::size_t>(r), records + w * a[r].slot, used);
      });
    });
    if (run.stopped()) return broken();
  }

  // The records move: from here the sort finishes, polling as it goes.
  run.honour_break = false;
  ds.clear_sort_list();
  if (copy_records) {
    for_pieces(threads, run, [&](int t) {
      std::int64_t b, e;
      piece(n, t, threads, &b, &e);
      in_blocks(b, e, run, [&](std::int64_t r) {
        std::memcpy(records + w * static_cast<std::size_t>(lo - 1 + r), copy + used * static_cast<std::size_t>(r),
                    used);
      });
    });
  } else {
    in_blocks(0, n, run, [&](std::int64_t r) { slot[lo - 1 + r] = a[r].slot; });
    if (rc_t rc = ds.put_in_slot_order(tick)) return rc;
  }
  if (outcome) *outcome = radix_done ? SortOutcome::kRadix : SortOutcome::kSorted;
  record();
  return 0;
}

rc_t apply_order_index(Dataset& ds, const std::vector<std::int64_t>& index) {
  const std::int64_t n = ds.nobs();
  if (static_cast<std::int64_t>(index.size()) != n) return 459;
  std::vector<std::uint32_t> target;
  std::vector<char> seen;
  try {
    target.assign(static_cast<std::size_t>(n), 0);
    seen.assign(static_cast<std::size_t>(n), 0);
  } catch (const std::bad_alloc&) {
    return 950;
  }
  std::uint32_t* slot = ds.slot_table();
  for (std::int64_t i = 0; i < n; ++i) {
    std::int64_t to = index[static_cast<std::size_t>(i)];
    if (to < 1 || to > n || seen[static_cast<std::size_t>(to - 1)]) return 459;
    seen[static_cast<std::size_t>(to - 1)] = 1;
    target[static_cast<std::size_t>(to - 1)] = slot[i];
  }
  std::memcpy(slot, target.data(), static_cast<std::size_t>(n) * sizeof(std::uint32_t));
  return ds.put_in_slot_order();
}

}  // namespace nuvra::data
