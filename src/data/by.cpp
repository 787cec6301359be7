#include "data/by.h"

#include "data/format.h"
#include "data/sort.h"

namespace nuvra::data {

std::vector<std::int64_t> group_starts(const Dataset& ds, const std::vector<int>& vars) {
  std::vector<std::int64_t> starts;
  const std::int64_t n = ds.nobs();
  if (n > 0) starts.push_back(1);
  for (std::int64_t i = 2; i <= n; ++i)
    if (compare_observations(ds, vars, i - 1, i) != 0) starts.push_back(i);
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
