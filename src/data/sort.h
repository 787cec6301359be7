// Ordering the observations of the dataset by key variables.
//
// The order compares keys one after another: numeric keys as doubles, so
// numbers < `.` < `.a` < ... < `.z`; string keys byte by byte as unsigned
// characters, a string that is a prefix of a longer one first.
//
// Sorting a range lo..hi:
//  1. one pass over neighbours: data already in ascending order (or all
//     equal) stay where they are; data in descending order are reversed by
//     swapping the ends inward;
//  2. otherwise the range is shuffled with the sort seed (so that patterned
//     data cannot make the quicksort quadratic, and so that the same seed
//     and data always give the same order of ties);
//  3. then quicksorted: last element as pivot, the elements equal to the
//     pivot gathered beside it and left out of both sides, the smaller side
//     by recursion and the larger by iteration.
// With more than one thread the two sides of every partition run as
// separate tasks. Each side is ordered by exactly the steps the serial sort
// would take, so the result does not depend on the thread count or on the
// scheduling: the same seed and data give the same order, serial or not.
//
// When no two observations are equal over all the keys, the ascending order
// is unique and the seed cannot show in it: a radix sort of the keys then
// reaches the same order in a few sequential passes, and the seed is moved
// on exactly as the shuffle would have moved it. The radix sort gives up at
// the first tie it meets, and the shuffle and quicksort run as above.
//
// The sort works on a copy of the keys beside the slot entries and never
// moves a record while ordering; at the end the slot table is rewritten and
// the records are moved into slot order in one pass over the cycles of the
// permutation. A Break is honoured until that move begins, so a sort that
// stops has changed nothing.
//
// With more than one thread, the calling thread does no ordering itself:
// it only polls, while the others work, so that the poll keeps its pace
// whatever the work is.
#pragma once
#include <chrono>
#include <cstdint>
#include <functional>
#include <vector>

#include "data/dataset.h"

namespace nuvra::data {

// Working memory kept between sorts: the keys beside the slots and a copy
// of the records being moved. Large sorts fault in fresh memory slowly, so
// it is reserved once (asking for huge pages) and reused.
class SortWorkspace {
 public:
  SortWorkspace() = default;
  ~SortWorkspace();
  SortWorkspace(const SortWorkspace&) = delete;
  SortWorkspace& operator=(const SortWorkspace&) = delete;
  // At least `bytes` bytes, 64-byte aligned; null when they cannot be had.
  char* get(std::size_t bytes);
  void release();
  // Bytes held now (0 before the first get).
  std::size_t capacity() const { return size_; }

 private:
  char* base_ = nullptr;
  std::size_t size_ = 0;
};

struct SortControl {
  // Threads the sort may use; 1 sorts serially.
  int threads = 1;
  // The sort seed, advanced by each draw of the shuffle. Null: 1001.
  std::uint32_t* seed = nullptr;
  // Break poll, which is also where the caller answers its window events:
  // called only from the calling thread, at least every `poll_interval`
  // of sort work in every phase. True asks the sort to stop. While the
  // records move the sort cannot stop, and it goes on polling and finishes;
  // a poll that has seen a Break must therefore keep reporting it, so that
  // whatever runs next stops.
  std::function<bool()> poll;
  // Reused working memory; null takes fresh memory for this sort.
  SortWorkspace* work = nullptr;
  // Whether the radix ordering may be tried first. It is used only when the
  // keys turn out to be all distinct, where the order is the same; false
  // always shuffles and quicksorts.
  bool radix = true;
  // How often the poll is called (measured by a clock read every few
  // thousand elements); zero polls at every clock read.
  std::chrono::microseconds poll_interval{2000};
};

enum class SortOutcome {
  kInOrder,   // nothing moved
  kReversed,  // the range was in descending order and was turned round
  kSorted,    // shuffled and quicksorted
  kRadix,     // the keys were all distinct: radix sorted, in the same order
};

// -1, 0, 1: observation a against observation b over the keys.
int compare_observations(const Dataset& ds, const std::vector<int>& keys, std::int64_t a, std::int64_t b);

// The threads a sort of n observations may use when `processors` are set:
// the setting, cut to min(ceil(n/100 - 1), ceil(sqrt(n) - 1)), at least 1;
// and 1 unless each thread's share ceil(n/t) is at least 101 and more than t.
int sort_threads(int processors, std::int64_t n);

// Orders observations lo..hi (1-based, inclusive) by `keys`. The sort list:
// a whole-dataset sort records the first `recorded` keys (all of them when
// negative); a sub-range that had to move clears it; a sub-range already in
// order leaves it. Returns 0, 1 after a Break (the observations, the sort
// list and the seed are then as they were), or 950 when the working memory
// cannot be had.
rc_t sort_observations(Dataset& ds, const std::vector<int>& keys, std::int64_t lo, std::int64_t hi,
                       const SortControl& ctl, SortOutcome* outcome = nullptr, int recorded = -1);

// Whether observations lo..hi are in ascending order over `keys`.
bool is_ordered(const Dataset& ds, const std::vector<int>& keys, std::int64_t lo, std::int64_t hi);

// Moves observation i to position index[i - 1] for every i. 459 (nothing
// changed) when `index` is not a permutation of 1..nobs; 950 for memory.
rc_t apply_order_index(Dataset& ds, const std::vector<std::int64_t>& index);

}  // namespace nuvra::data
