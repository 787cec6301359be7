#include "data/by.h"

#include <omp.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstring>
#include <type_traits>

#include "data/format.h"
#include "data/sort.h"

namespace nuvra::data {

namespace {

// A number as the sort comparison tells values apart: zero without its
// sign, a NaN (never stored by the system) as `.`.
inline std::uint64_t key_bits(double v) {
  if (v == 0) v = 0;
  if (std::isnan(v)) v = kMissing;
  return std::bit_cast<std::uint64_t>(v);
}

// Calls f with the storage type as a compile-time constant when it is one
// of the numeric types, so that each value is read by the one conversion
// its type needs.
template <class F>
void with_numeric_type(int t, F&& f) {
  switch (t) {
    case kDouble: return f(std::integral_constant<int, kDouble>());
    case kFloat: return f(std::integral_constant<int, kFloat>());
    case kLong: return f(std::integral_constant<int, kLong>());
    case kInt: return f(std::integral_constant<int, kInt>());
    case kByte: return f(std::integral_constant<int, kByte>());
    default: return f(t);
  }
}

// Sets changed[i - from] for each observation i from `from` (at least 2)
// to `to` whose value of variable j differs from observation i - 1's
// (leaving the others as they are).
void mark_changes(const Dataset& ds, int j, char* changed, std::int64_t from, std::int64_t to) {
  if (to < from) return;
  const int t = ds.type(j);
  if (is_string_type(t)) {
    // Stored strings end at their first zero byte, as the sort reads them.
    const auto width = static_cast<std::size_t>(type_width(t));
    for (std::int64_t i = from; i <= to; ++i)
      changed[i - from] |= std::strncmp(ds.value_ptr(j, i - 1), ds.value_ptr(j, i), width) != 0;
    return;
  }
  with_numeric_type(t, [&](auto type) {
    std::uint64_t prev = key_bits(fetch_value(type, ds.value_ptr(j, from - 1)));
    for (std::int64_t i = from; i <= to; ++i) {
      std::uint64_t k = key_bits(fetch_value(type, ds.value_ptr(j, i)));
      changed[i - from] |= k != prev;
      prev = k;
    }
  });
}

// Whether observations a and b are equal on every variable.
bool same_key(const Dataset& ds, const std::vector<int>& vars, std::int64_t a, std::int64_t b) {
  for (int j : vars) {
    const int t = ds.type(j);
    if (is_string_type(t)) {
      if (std::strncmp(ds.value_ptr(j, a), ds.value_ptr(j, b), static_cast<std::size_t>(type_width(t))) != 0)
        return false;
    } else if (key_bits(fetch_value(t, ds.value_ptr(j, a))) != key_bits(fetch_value(t, ds.value_ptr(j, b)))) {
      return false;
    }
  }
  return true;
}

// Below this many observations for each thread the walk runs in the
// calling thread: starting the others costs more.
constexpr std::int64_t kMinWalkShare = std::int64_t{1} << 17;

}  // namespace

std::vector<std::int64_t> group_starts(const Dataset& ds, const std::vector<int>& vars,
                                       const std::function<bool()>& poll, int threads) {
  const std::int64_t n = ds.nobs();
  // One walk per variable down its column, rather than one comparison of
  // every variable per observation; in blocks, with a poll between them.
  // Each thread walks its own share of observations 2..n and keeps the
  // starts it finds; the shares are joined in order.
  constexpr std::int64_t kBlock = 1 << 14;
  const int team = static_cast<int>(std::clamp<std::int64_t>(n / kMinWalkShare, 1, std::max(1, threads)));
  std::vector<std::vector<std::int64_t>> found(static_cast<std::size_t>(team));
  std::atomic<bool> stop{false};
  auto walk = [&](int t, int parts) {
    const std::int64_t lo = 2 + (n - 1) * t / parts, hi = 1 + (n - 1) * (t + 1) / parts;
    std::vector<char> changed(static_cast<std::size_t>(std::min(kBlock, std::max<std::int64_t>(0, hi - lo + 1))));
    std::vector<std::int64_t>& out = found[static_cast<std::size_t>(t)];
    for (std::int64_t from = lo; from <= hi; from += kBlock) {
      if (stop.load(std::memory_order_relaxed)) return;
      const std::int64_t to = std::min(hi, from + kBlock - 1);
      std::fill(changed.begin(), changed.end(), 0);
      for (int j : vars) mark_changes(ds, j, changed.data(), from, to);
      for (std::int64_t i = from; i <= to; ++i)
        if (changed[static_cast<std::size_t>(i - from)]) out.push_back(i);
      if (t == 0 && poll && poll()) stop.store(true, std::memory_order_relaxed);
    }
  };
  if (team == 1) {
    walk(0, 1);
  } else {
#pragma omp parallel num_threads(team)
    {
      // The runtime may grant fewer threads than asked: each then takes
      // every granted-th share.
      const int granted = omp_get_num_threads();
      for (int t = omp_get_thread_num(); t < team; t += granted) walk(t, team);
    }
  }
  if (stop.load()) return {};
  std::vector<std::int64_t> starts;
  std::size_t total = 2;
  for (const auto& f : found) total += f.size();
  starts.reserve(total);
  if (n > 0) starts.push_back(1);
  for (const auto& f : found) starts.insert(starts.end(), f.begin(), f.end());
  starts.push_back(n + 1);
  return starts;
}

std::vector<std::int64_t> sorted_group_starts(const Dataset& ds, const std::vector<int>& vars) {
  std::vector<std::int64_t> starts;
  const std::int64_t n = ds.nobs();
  // Each group is first guessed as long as the one before it; steps that
  // double from the guess, then halving, find its end.
  std::int64_t guess = 1;
  for (std::int64_t first = 1; first <= n;) {
    starts.push_back(first);
    auto same = [&](std::int64_t i) { return same_key(ds, vars, first, i); };
    // The last observation known to be in the group, and one known not to
    // be (n + 1 is past the end).
    std::int64_t in = first, out = n + 1;
    const std::int64_t at = std::min(n, first + guess - 1);
    if (at == first || same(at)) {
      in = at;
      for (std::int64_t step = 1; in + step <= n; step *= 2) {
        if (!same(in + step)) {
          out = in + step;
          break;
        }
        in += step;
      }
    } else {
      out = at;
      for (std::int64_t step = 1; out - step > first; step *= 2) {
        if (same(out - step)) {
          in = out - step;
          break;
        }
        out -= step;
      }
    }
    while (out - in > 1) {
      const std::int64_t mid = in + (out - in) / 2;
      if (same(mid))
        in = mid;
      else
        out = mid;
    }
    guess = out - first;
    first = out;
  }
  starts.push_back(n + 1);
  return starts;
}

bool rows_match(const Dataset& ds, const std::vector<int>& vars, std::int64_t ref, std::int64_t from,
                std::int64_t to) {
  for (int j : vars) {
    const int t = ds.type(j);
    const char* r = ds.value_ptr(j, ref);
    if (is_string_type(t)) {
      const auto width = static_cast<std::size_t>(type_width(t));
      for (std::int64_t i = from; i <= to; ++i)
        if (std::strncmp(r, ds.value_ptr(j, i), width) != 0) return false;
      continue;
    }
    // The same bytes are the same value; other bytes may still be (zero
    // and negative zero), so only they are compared as values.
    bool same = true;
    auto walk = [&](auto raw) {
      using Raw = decltype(raw);
      Raw want;
      std::memcpy(&want, r, sizeof want);
      const std::uint64_t k = key_bits(fetch_value(t, r));
      for (std::int64_t i = from; i <= to && same; ++i) {
        const char* p = ds.value_ptr(j, i);
        Raw v;
        std::memcpy(&v, p, sizeof v);
        if (v != want) same = key_bits(fetch_value(t, p)) == k;
      }
    };
    switch (type_width(t)) {
      case 1: walk(std::uint8_t{}); break;
      case 2: walk(std::uint16_t{}); break;
      case 4: walk(std::uint32_t{}); break;
      default: walk(std::uint64_t{}); break;
    }
    if (!same) return false;
  }
  return true;
}

bool sort_list_begins_with(const Dataset& ds, const std::vector<int>& vars) {
  const std::vector<std::uint16_t>& list = ds.sort_list();
  if (list.size() < vars.size()) return false;
  for (std::size_t k = 0; k < vars.size(); ++k)
    if (list[k] != vars[k]) return false;
  return true;
}

std::string group_header(const Dataset& ds, const std::vector<int>& vars, std::int64_t obs) {
  std::string out;
  for (int j : vars) {
    if (!out.empty()) out += ", ";
    out += ds.name(j);
    out += " = ";
    if (ds.is_string(j)) {
      out += ds.fetch_str(j, obs);
      continue;
    }
    double v = ds.fetch(j, obs);
    if (!ds.value_label_name(j).empty()) {
      if (const ValueLabel* vl = ds.value_labels().get(ds.value_label_name(j))) {
        if (const char* t = vl->find_value(v)) {
          out += t;
          continue;
        }
      }
    }
    Format f;
    if (!parse_format(ds.format(j), &f, true)) parse_format("%9.0g", &f);
    char buf[kRenderBufferSize];
    std::size_t len = render_shown(f, v, buf, sizeof buf);
    std::string_view s(buf, len < sizeof buf ? len : sizeof buf - 1);
    std::size_t a = s.find_first_not_of(' ');
    std::size_t b = s.find_last_not_of(' ');
    if (a != std::string_view::npos) out += s.substr(a, b - a + 1);
  }
  return out;
}

}  // namespace nuvra::data
