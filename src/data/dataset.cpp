// The data area: layout, repartition, observations, records.
#include "data/dataset.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cassert>
#include <climits>
#include <new>
#include <memory>

namespace nuvra::data {

namespace {

constexpr std::size_t align16(std::size_t x) { return (x + 15) & ~std::size_t{15}; }
constexpr std::uint32_t even_up(std::uint64_t x) { return static_cast<std::uint32_t>((x + 1) & ~std::uint64_t{1}); }

std::size_t page_size() {
  static const std::size_t p = [] {
    long v = sysconf(_SC_PAGESIZE);
    return v > 0 ? static_cast<std::size_t>(v) : std::size_t{4096};
  }();
  return p;
}

}  // namespace

namespace detail {

// Moves n records of len bytes from stride ow at ob to stride nw at nb,
// inside one block, without a second buffer. The displacement of record s,
// d(s) = (nb - ob) + s (nw - ow), is linear in s, so the records split into
// at most two runs: those moving down are moved in ascending order and
// those moving up in descending order. Neither run can reach the other's
// sources, since a record's destination never passes the source of the
// next record in the direction it moves.
void move_records(char* ob, std::size_t ow, char* nb, std::size_t nw, std::int64_t n, std::size_t len) {
  if (n <= 0 || len == 0 || (ob == nb && ow == nw)) return;
  auto d = [&](std::int64_t s) {
    return (nb - ob) + static_cast<std::ptrdiff_t>(s) * (static_cast<std::ptrdiff_t>(nw) - static_cast<std::ptrdiff_t>(ow));
  };
  auto mv = [&](std::int64_t s) {
    std::memmove(nb + static_cast<std::size_t>(s) * nw, ob + static_cast<std::size_t>(s) * ow, len);
  };
  auto ascending = [&](std::int64_t a, std::int64_t b) { for (std::int64_t s = a; s < b; ++s) mv(s); };
  auto descending = [&](std::int64_t a, std::int64_t b) { for (std::int64_t s = b; s-- > a;) mv(s); };
  bool first_down = d(0) <= 0, last_down = d(n - 1) <= 0;
  if (first_down && last_down) return ascending(0, n);
  if (!first_down && !last_down) return descending(0, n);
  std::int64_t split = 1;  // first record whose direction differs from record 0's
  while (split < n && (d(split) <= 0) == first_down) ++split;
  if (first_down) {
    descending(split, n);
    ascending(0, split);
  } else {
    ascending(split, n);
    descending(0, split);
  }
}

}  // namespace detail

Dataset::Dataset(std::size_t memory_bytes) {
  size_ = memory_bytes;
  Layout l = layout_for(w_);
  ncurmax_ = l.ncurmax;
}

Dataset::~Dataset() {
  if (mapped_) munmap(block_, size_);
}

Dataset::Layout Dataset::layout_for(std::uint32_t w) const {
  Layout l;
  l.w = w;
  std::int64_t n = size_ >= 16 ? static_cast<std::int64_t>((size_ - 16) / (std::size_t{w} + 8)) : 0;
  l.ncurmax = std::min<std::int64_t>(n, INT32_MAX);
  l.records = align16(8 * static_cast<std::size_t>(l.ncurmax));
  return l;
}

rc_t Dataset::ensure_block() {
  if (mapped_) return 0;
  if (size_ == 0) return 950;
  void* p = mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (p == MAP_FAILED) return 950;
#ifdef MADV_HUGEPAGE
  madvise(p, size_, MADV_HUGEPAGE);  // a hint only; failure is harmless
#endif
  block_ = static_cast<char*>(p);
  mapped_ = true;
  records_ = block_ + layout_for(w_).records;
  return 0;
}

rc_t Dataset::check_layout(std::uint32_t w, Layout* out) const {
  if (w < 4 || (w & 1)) return 901;
  if (w > max_width()) return 1010;
  Layout l = layout_for(w);
  if (l.ncurmax == 0 || l.ncurmax < nobs_) return 902;
  *out = l;
  return 0;
}

rc_t Dataset::plan_widen(std::uint32_t need, Layout* out) const {
  need = std::max<std::uint32_t>(2, even_up(need));
  // Headroom: how much wider the records could be and still hold the
  // observations in memory. Half of it is taken at once so that adding
  // variables one by one does not move the records every time.
  std::int64_t hold = std::max<std::int64_t>(nobs_, 1);
  std::int64_t avail = size_ >= 16 ? static_cast<std::int64_t>((size_ - 16) / static_cast<std::size_t>(hold)) : 0;
  std::int64_t wmax = avail >= 8 ? ((avail - 8) & ~std::int64_t{1}) : 0;
  std::int64_t grow = std::max<std::int64_t>(need, (wmax - static_cast<std::int64_t>(w_)) / 2);
  grow = (grow + 1) & ~std::int64_t{1};
  auto width = [&](std::int64_t g) {
    std::int64_t v = static_cast<std::int64_t>(w_) + g;
    return v > static_cast<std::int64_t>(UINT32_MAX - 1) ? UINT32_MAX - 1 : static_cast<std::uint32_t>(v);
  };
  rc_t rc = check_layout(width(grow), out);
  if (rc && grow != need) rc = check_layout(width(need), out);
  return rc;
}

void Dataset::apply_layout(const Layout& l) {
  if (mapped_) {
    char* nrec = block_ + l.records;
    detail::move_records(records_, w_, nrec, l.w, nobs_, used_);
    records_ = nrec;
  }
  w_ = l.w;
  ncurmax_ = l.ncurmax;
  ++n_repart_;
  n_shift_ += nobs_;
  release_unused();
}

// Hands back to the kernel the pages no observation uses: slot entries and
// records beyond nobs (rewritten when observations are added) and the
// scratch table (rewritten by whoever reorders).
void Dataset::release_unused() {
  if (!mapped_) return;
  std::size_t pg = page_size();
  auto drop = [&](std::size_t from, std::size_t to) {
    from = (from + pg - 1) / pg * pg;
    to = to / pg * pg;
    if (to > from) madvise(block_ + from, to - from, MADV_DONTNEED);
  };
  std::size_t rec = static_cast<std::size_t>(records_ - block_);
  drop(4 * static_cast<std::size_t>(nobs_), rec);
  drop(rec + static_cast<std::size_t>(nobs_) * w_, size_);
}

namespace {
// Whether the system would give `bytes` of memory now.  The data area is
// mapped lazily and without a reservation, which the kernel grants for
// almost any size; asking once for a committed mapping of the whole size
// tells a size the machine could really provide from one it could not.
bool system_can_provide(std::size_t bytes) {
  void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) return false;
  munmap(p, bytes);
  return true;
}
}  // namespace

rc_t Dataset::set_memory(std::size_t bytes) {
  InvariantGuard guard{*this};
  if (bytes != size_ && !system_can_provide(bytes)) return 950;
  std::size_t old_size = size_;
  size_ = bytes;
  Layout l = layout_for(w_);
  size_ = old_size;
  if (l.ncurmax < nobs_) return 901;
  if (nobs_ == 0) {
    if (mapped_) munmap(block_, size_);
    block_ = records_ = nullptr;
    mapped_ = false;
    size_ = bytes;
    ncurmax_ = l.ncurmax;
    return 0;
  }
  void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (p == MAP_FAILED) return 950;
#ifdef MADV_HUGEPAGE
  madvise(p, bytes, MADV_HUGEPAGE);
#endif
  char* nb = static_cast<char*>(p);
  std::memcpy(nb, block_, 4 * static_cast<std::size_t>(nobs_));
  for (std::int64_t s = 0; s < nobs_; ++s)
    std::memcpy(nb + l.records + static_cast<std::size_t>(s) * w_, records_ + static_cast<std::size_t>(s) * w_, used_);
  munmap(block_, size_);
  block_ = nb;
  size_ = bytes;
  records_ = nb + l.records;
  ncurmax_ = l.ncurmax;
  return 0;
}

rc_t Dataset::set_maxvar(int n) {
  InvariantGuard guard{*this};
  if (n < kMinMaxvar || n > kMaxMaxvar) return 198;
  if (nvar_all() > n - 1) return 900;
  if (w_ > 12u * static_cast<std::uint32_t>(n)) return 1010;
  maxvar_ = n;
  return 0;
}

MemoryInfo Dataset::memory_info() const {
  MemoryInfo m;
  m.nobs = nobs_;
  m.n_curmax = ncurmax_;
  m.nvar = nvar_all();
  m.width = w_;
  m.used_width = used_;
  m.total = size_;
  m.data_bytes = static_cast<std::size_t>(nobs_) * used_;
  m.pointer_bytes = static_cast<std::size_t>(nobs_) * 8;
  m.n_repart = n_repart_;
  m.n_shift = n_shift_;
  return m;
}

bool Dataset::in_slot_order() const {
  const std::uint32_t* slot = slot_table();
  for (std::int64_t i = 0; i < nobs_; ++i)
    if (slot[i] != static_cast<std::uint32_t>(i)) return false;
  return true;
}

rc_t Dataset::put_in_slot_order(const std::function<void()>& tick) {
  InvariantGuard guard{*this};
  if (nobs_ == 0) return 0;
  std::uint32_t* slot = slot_table();
  std::vector<char> buf;
  try {
    buf.resize(std::max<std::uint32_t>(used_, 1));
  } catch (const std::bad_alloc&) {
    return 950;
  }
  auto rec = [&](std::uint32_t s) { return records_ + static_cast<std::size_t>(s) * w_; };
  // Observation i must end in slot i; it now lies in slot[i]. Walking a
  // cycle, each slot receives the record of the slot its observation points
  // at; the cycle's first record waits in the buffer. A placed entry is set
  // to the identity, which also marks it done.
  std::int64_t moved = 0;
  for (std::int64_t start = 0; start < nobs_; ++start) {
    if (slot[start] == static_cast<std::uint32_t>(start)) continue;
    std::memcpy(buf.data(), rec(static_cast<std::uint32_t>(start)), used_);
    auto j = static_cast<std::uint32_t>(start);
    for (;;) {
      if ((++moved & 4095) == 0 && tick) tick();
      std::uint32_t k = slot[j];
      slot[j] = j;
      if (k == static_cast<std::uint32_t>(start)) {
        std::memcpy(rec(j), buf.data(), used_);
        break;
      }
      std::memcpy(rec(j), rec(k), used_);
      j = k;
    }
  }
  return 0;
}

void Dataset::fetch_record(std::int64_t i, void* buf) const {
  std::memcpy(buf, records_ + static_cast<std::size_t>(w_) * slot_table()[i - 1], used_);
}

void Dataset::store_record(std::int64_t i, const void* buf) {
  std::memcpy(records_ + static_cast<std::size_t>(w_) * slot_table()[i - 1], buf, used_);
}

Column Dataset::column(int j) {
  Column c;
  c.base = records_ ? records_ + vars_[j - 1].offset : nullptr;
  c.slot = slot_table();
  c.stride = w_;
  c.type = vars_[j - 1].type;
  return c;
}

rc_t Dataset::set_obs(std::int64_t n) {
  InvariantGuard guard{*this};
  if (n < 0) return 198;
  if (n > INT32_MAX) return 901;
  if (n == nobs_) return 0;
  if (n < nobs_) {
    if (rc_t rc = put_in_slot_order()) return rc;
    nobs_ = n;
    changed_ = true;
    release_unused();
    return 0;
  }
  Layout l = layout_for(w_);
  if (n > ncurmax_) {
    // Narrow the records when the variables leave room: a width grown
    // generously earlier should not stand in the way of more observations.
    std::uint32_t min_w = std::max<std::uint32_t>(4, even_up(std::uint64_t{used_} + 1));
    std::size_t avail = size_ >= 16 ? (size_ - 16) / static_cast<std::size_t>(n) : 0;
    if (avail < 8 + std::size_t{min_w}) return 901;
    auto wn = static_cast<std::uint32_t>(std::min<std::size_t>(avail - 8, w_)) & ~1u;
    if (wn < min_w) return 901;
    l = layout_for(wn);
    if (l.ncurmax < n) return 901;
  }
  std::vector<char> tmpl;
  try {
    tmpl.resize(used_);
  } catch (const std::bad_alloc&) {
    return 950;
  }
  for (const auto& v : vars_)
    if (v.name == kEsampleName) std::memset(tmpl.data() + v.offset, 0, 1);
    else store_missing(v.type, tmpl.data() + v.offset);
  if (rc_t rc = ensure_block()) return rc;
  if (l.w != w_) apply_layout(l);
  std::uint32_t* slot = slot_table();
  for (std::int64_t i = nobs_; i < n; ++i) {
    slot[i] = static_cast<std::uint32_t>(i);
    if (used_) std::memcpy(records_ + static_cast<std::size_t>(i) * w_, tmpl.data(), used_);
  }
  nobs_ = n;
  sort_list_.clear();
  changed_ = true;
  return 0;
}

rc_t Dataset::keep_observations(const std::vector<char>& keep) {
  InvariantGuard guard{*this};
  if (static_cast<std::int64_t>(keep.size()) != nobs_) return 198;
  if (std::all_of(keep.begin(), keep.end(), [](char c) { return c != 0; })) return 0;
  if (rc_t rc = put_in_slot_order()) return rc;
  std::int64_t dst = 0;
  for (std::int64_t i = 0; i < nobs_; ++i) {
    if (!keep[static_cast<std::size_t>(i)]) continue;
    if (dst != i)
      std::memcpy(records_ + static_cast<std::size_t>(dst) * w_, records_ + static_cast<std::size_t>(i) * w_, used_);
    ++dst;
  }
  nobs_ = dst;
  changed_ = true;
  release_unused();
  return 0;
}

rc_t Dataset::drop_observations(std::int64_t first, std::int64_t last) {
  InvariantGuard guard{*this};
  if (first < 1 || last < first || last > nobs_) return 198;
  if (rc_t rc = put_in_slot_order()) return rc;
  std::size_t tail = static_cast<std::size_t>(nobs_ - last) * w_;
  if (tail) std::memmove(records_ + static_cast<std::size_t>(first - 1) * w_, records_ + static_cast<std::size_t>(last) * w_, tail);
  nobs_ -= last - first + 1;
  changed_ = true;
  release_unused();
  return 0;
}

void Dataset::clear() {
  InvariantGuard guard{*this};
  if (mapped_) munmap(block_, size_);
  block_ = records_ = nullptr;
  mapped_ = false;
  w_ = 4;
  ncurmax_ = layout_for(w_).ncurmax;
  used_ = 0;
  vars_.clear();
  index_.clear();
  nvar_visible_ = 0;
  has_esample_ = false;
  nobs_ = 0;
  data_label_.clear();
  sort_list_.clear();
  changed_ = false;
  has_temporaries_ = false;
  chars_.clear();
  labels_.clear();
}

rc_t Dataset::prepare_load(std::int64_t n) {
  InvariantGuard guard{*this};
  if (nobs_ != 0 || n < 0) return 198;
  if (n > INT32_MAX) return 901;
  std::uint32_t tight = std::max<std::uint32_t>(4, even_up(used_));
  Layout l = layout_for(tight < w_ ? tight : w_);
  if (l.ncurmax < n) return 901;
  if (n == 0) return 0;
  if (rc_t rc = ensure_block()) return rc;
  if (l.w != w_) apply_layout(l);
  std::uint32_t* slot = slot_table();
  for (std::int64_t i = 0; i < n; ++i) slot[i] = static_cast<std::uint32_t>(i);
  nobs_ = n;
  return 0;
}

void Dataset::finish_load(std::int64_t n) {
  InvariantGuard guard{*this};
  if (n < nobs_) {
    nobs_ = n;
    release_unused();
  }
}

void Dataset::swap_contents(Dataset& o) {
  InvariantGuard guard{*this}, other_guard{o};
  std::swap(static_cast<DatasetContents&>(*this), static_cast<DatasetContents&>(o));
}

rc_t Dataset::remap_records(const std::vector<Segment>& segs, std::uint32_t new_used) {
  if (nobs_ == 0 || new_used == 0) return 0;
  std::vector<char> buf;
  try {
    buf.resize(new_used);
  } catch (const std::bad_alloc&) {
    return 950;
  }
  for (std::int64_t s = 0; s < nobs_; ++s) {
    char* rec = records_ + static_cast<std::size_t>(s) * w_;
    for (const auto& g : segs) std::memcpy(buf.data() + g.dst, rec + g.src, g.len);
    std::memcpy(rec, buf.data(), new_used);
  }
  return 0;
}

std::uint64_t Dataset::checksum() const {
  std::uint64_t h = 1469598103934665603ULL;
  auto mix = [&](const void* p, std::size_t n) {
    const auto* c = static_cast<const unsigned char*>(p);
    for (std::size_t k = 0; k < n; ++k) h = (h ^ c[k]) * 1099511628211ULL;
  };
  auto mix_str = [&](const std::string& s) {
    std::uint64_t n = s.size();
    mix(&n, sizeof n);
    mix(s.data(), s.size());
  };
  std::int64_t counts[2] = {nvar_all(), nobs_};
  mix(counts, sizeof counts);
  for (const auto& v : vars_) {
    mix_str(v.name);
    mix(&v.type, 1);
    mix(&v.offset, sizeof v.offset);
    mix_str(v.format);
    mix_str(v.value_label);
    mix_str(v.label);
  }
  mix_str(data_label_);
  mix(sort_list_.data(), sort_list_.size() * 2);
  for (std::int64_t i = 1; i <= nobs_; ++i)
    mix(records_ + static_cast<std::size_t>(w_) * slot_table()[i - 1], used_);
  for (const auto& owner : chars_.owners()) {
    mix_str(owner);
    for (const auto& e : chars_.entries(owner)) {
      mix_str(e.name);
      mix_str(e.contents);
    }
  }
  for (const auto& name : labels_.names()) {
    mix_str(name);
    const auto& b = labels_.get(name)->block();
    mix(b.data(), b.size());
  }
  return h;
}

void Dataset::check_invariants() const {
#ifndef NDEBUG
  assert(w_ >= 4 && w_ % 2 == 0);
  assert(used_ <= w_);
  std::uint32_t end = 0;
  for (const Variable& v : vars_) {
    assert(v.offset >= end);
    end = v.offset + static_cast<std::uint32_t>(type_width(v.type));
  }
  assert(end <= used_);
  assert(nobs_ >= 0 && nobs_ <= ncurmax_);
  if (block_) {
    Layout l = layout_for(w_);
    assert(l.ncurmax == ncurmax_);
    assert(records_ == block_ + l.records);
    assert(l.records + static_cast<std::size_t>(ncurmax_) * w_ <= size_);
  }
  if (nobs_ > 0) {
    assert(block_ != nullptr);
    // The check runs after a mutation has been made: when its scratch
    // cannot be had, it is skipped rather than failing a change already done.
    std::unique_ptr<bool[]> seen(new (std::nothrow) bool[static_cast<std::size_t>(nobs_)]());
    if (!seen) return;
    const std::uint32_t* slot = slot_table();
    for (std::int64_t i = 0; i < nobs_; ++i) {
      assert(slot[i] < static_cast<std::uint64_t>(nobs_));
      assert(!seen[slot[i]]);
      seen[slot[i]] = true;
    }
  }
#endif
}

}  // namespace nuvra::data
