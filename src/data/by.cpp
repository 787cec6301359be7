#include "data/by.h"

#include <algorithm>
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

// Sets changed[i - 1] for each observation i from `from` (at least 2) to
// `to` whose value of variable j differs from observation i - 1's (leaving
// the others as they are). The type is fixed for the whole walk, so each
// value is read by the one conversion its type needs.
void mark_changes(const Dataset& ds, int j, char* changed, std::int64_t from, std::int64_t to) {
  if (to < from) return;
  const int t = ds.type(j);
  if (is_string_type(t)) {
    // Stored strings end at their first zero byte, as the sort reads them.
    const auto width = static_cast<std::size_t>(type_width(t));
    for (std::int64_t i = from; i <= to; ++i)
      changed[i - 1] |= std::strncmp(ds.value_ptr(j, i - 1), ds.value_ptr(j, i), width) != 0;
    return;
  }
  auto walk = [&](auto type) {
    std::uint64_t prev = key_bits(fetch_value(type, ds.value_ptr(j, from - 1)));
    for (std::int64_t i = from; i <= to; ++i) {
      std::uint64_t k = key_bits(fetch_value(type, ds.value_ptr(j, i)));
      changed[i - 1] |= k != prev;
      prev = k;
    }
  };
  switch (t) {
    case kDouble: return walk(std::integral_constant<int, kDouble>());
    case kFloat: return walk(std::integral_constant<int, kFloat>());
    case kLong: return walk(std::integral_constant<int, kLong>());
    case kInt: return walk(std::integral_constant<int, kInt>());
    case kByte: return walk(std::integral_constant<int, kByte>());
    default: return walk(t);
  }
}

}  // namespace

std::vector<std::int64_t> group_starts(const Dataset& ds, const std::vector<int>& vars,
                                       const std::function<bool()>& poll) {
  std::vector<std::int64_t> starts;
  const std::int64_t n = ds.nobs();
  // One walk per variable down its column, rather than one comparison of
  // every variable per observation; in blocks, with a poll between them.
  constexpr std::int64_t kBlock = 1 << 16;
  std::vector<char> changed(static_cast<std::size_t>(n), 0);
  for (std::int64_t from = 2; from <= n; from += kBlock) {
    const std::int64_t to = std::min(n, from + kBlock - 1);
    for (int j : vars) mark_changes(ds, j, changed.data(), from, to);
    if (poll && poll()) return {};
  }
  if (n > 0) starts.push_back(1);
  for (std::int64_t i = 2; i <= n; ++i)
    if (changed[static_cast<std::size_t>(i - 1)]) starts.push_back(i);
  starts.push_back(n + 1);
  return starts;
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
