// memory, set obs, and the data settings that `set` hands over.
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "data/commands/commands.h"
#include "interp/builtins.h"
#include "interp/creturn.h"
#include "interp/interp.h"
#include "interp/messages.h"
#include "data/names.h"
#include "interp/parse.h"

namespace nuvra {

bool read_whole_number(std::string_view s, long long* out) {
  std::string t(trim(s));
  if (t.empty()) return false;
  char* end = nullptr;
  errno = 0;
  long long v = std::strtoll(t.c_str(), &end, 10);
  if (*end || errno) return false;
  *out = v;
  return true;
}

namespace {

// Per-variable attribute bytes: name 33, type 1, offset 4, format 49,
// value-label name 33, variable label 81. The attribute arrays are sized
// for maxvar variables, which is what `set maxvar` costs.
constexpr std::size_t kAttributeBytes = 33 + 1 + 4 + 49 + 33 + 81;

std::size_t results_bytes(const SavedResults& r) {
  std::size_t n = 0;
  for (const auto& [k, v] : r.scalars) n += k.size() + sizeof v;
  for (const auto& [k, v] : r.macros) n += k.size() + v.size();
  return n;
}

rc_t set_obs(Interp& ip, std::string_view value) {
  long long n;
  if (!read_whole_number(value, &n) || n < 0 || n > 2147483647LL) return msg_invalid(ip, "syntax");
  data::Dataset& ds = ip.dataset;
  std::int64_t before = ds.nobs();
  if (n < before) {
    char buf[120];
    std::snprintf(buf, sizeof buf, "observations must be at least %lld, the number in memory; use drop to remove some\n",
                  static_cast<long long>(before));
    return datacmd::fail_quoting(ip, buf, "", "", 198);
  }
  if (n > before) {
    if (rc_t rc = ds.set_obs(n)) return rc_message(ip, rc);
    datacmd::mark_changed(ip);
  }
  ip.out.set_class(output::OutClass::Text);
  ip.out.printf_markup("obs was %lld, now %lld\n", static_cast<long long>(before), n);
  return 0;
}

// #[b|k|m|g]; a bare number is kilobytes.
rc_t set_memory(Interp& ip, std::string_view value) {
  std::string t(trim(value));
  if (t.empty()) return msg_invalid(ip, "syntax");
  std::size_t mult = 1024;
  char last = t.back();
  if (last == 'b' || last == 'B') mult = 1, t.pop_back();
  else if (last == 'k' || last == 'K') mult = 1024, t.pop_back();
  else if (last == 'm' || last == 'M') mult = std::size_t{1} << 20, t.pop_back();
  else if (last == 'g' || last == 'G') mult = std::size_t{1} << 30, t.pop_back();
  long long n;
  if (!read_whole_number(t, &n) || n < 1) return msg_invalid(ip, "syntax");
  if (static_cast<unsigned long long>(n) > (std::size_t{1} << 50) / mult) return msg_invalid(ip, "syntax");
  std::size_t bytes = static_cast<std::size_t>(n) * mult;
  if (bytes < 1024) return datacmd::fail_quoting(ip, "memory must be at least 1k", "", "\n", 198);
  if (rc_t rc = ip.dataset.set_memory(bytes)) return rc_message(ip, rc);
  ip.data_memory = static_cast<int64_t>(bytes);
  return 0;
}

}  // namespace

int default_numeric_type(const Interp& ip) { return ip.default_type; }

rc_t set_data_setting(Interp& ip, std::string_view name, std::string_view value, bool* handled) {
  *handled = true;
  value = trim(value);
  if (name == "obs") return set_obs(ip, value);
  const Setting* s = find_set_name(name);
  std::string_view full = s ? s->name : "";
  if (full != "memory" && full != "maxvar" && full != "matsize" && full != "varabbrev" && full != "type") {
    *handled = false;
    return 0;
  }
  double n = 0;
  if (rc_t rc = check_setting(ip, *s, value, &n)) return rc;
  if (full == "memory") return set_memory(ip, value);
  if (full == "maxvar") {
    if (rc_t rc = ip.dataset.set_maxvar(static_cast<int>(n))) return rc_message(ip, rc);
    ip.maxvar = static_cast<int>(n);
    return 0;
  }
  if (full == "matsize") {
    ip.matsize = static_cast<int>(n);
    return 0;
  }
  if (full == "varabbrev") {
    ip.dataset.set_varabbrev(value == "on");
    return 0;
  }
  ip.default_type = value == "double" ? data::kDouble : data::kFloat;
  return 0;
}

// memory: how the data area and the rest of memory are used.
rc_t cmd_memory(Interp& ip) {
  ParseSettings st{.allow_options = false};
  CommandLine cl;
  if (rc_t rc = standard_parse(ip, st, &cl)) return rc;
  const data::Dataset& ds = ip.dataset;
  data::MemoryInfo m = ds.memory_info();
  std::size_t m_oh = m.pointer_bytes;
  std::size_t m_data = m.data_bytes;
  std::size_t used = m_oh + m_data;
  std::size_t free_bytes = m.total > used ? m.total - used : 0;
  std::size_t m_dm = kAttributeBytes * static_cast<std::size_t>(ds.maxvar());
  std::size_t m_matsize = static_cast<std::size_t>(ip.matsize) * static_cast<std::size_t>(ip.matsize) * 8;
  std::size_t m_dyn = results_bytes(ip.r_results) + results_bytes(ip.e_results) + results_bytes(ip.s_results);
  for (const Program* p : ip.programs.all()) m_dyn += p->size_bytes();
  std::size_t other = m_dm + m_matsize + m_dyn;

  auto num = [](std::size_t v) { return datacmd::with_commas(static_cast<long long>(v)); };
  auto row = [&](const char* label_markup, std::size_t visible, std::size_t v, bool pct) {
    ip.out.printf_markup("    %s%*s%15s", label_markup, static_cast<int>(visible < 30 ? 30 - visible : 1), "", num(v).c_str());
    if (pct) ip.out.printf_markup("%9.2f%%", m.total ? 100.0 * static_cast<double>(v) / static_cast<double>(m.total) : 0.0);
    ip.out.print_markup("\n");
  };
  ip.out.set_class(output::OutClass::Text);
  ip.out.print_markup("\n");
  ip.out.printf_markup("%49s\n", "bytes");
  ip.out.print_markup("{hline 59}\n");
  ip.out.print_markup("Details of set memory usage\n");
  ip.out.print_markup("{res}");
  row("overhead (pointers)", 19, m_oh, true);
  row("data", 4, m_data, true);
  ip.out.printf_markup("%34s{hline 25}\n", "");
  row("data + overhead", 15, used, true);
  row("free", 4, free_bytes, true);
  ip.out.printf_markup("%34s{hline 25}\n", "");
  row("Total allocated", 15, m.total, true);
  ip.out.print_markup("{txt}{hline 59}\n");
  ip.out.print_markup("Other memory usage\n");
  ip.out.print_markup("{res}");
  row("{cmd:set maxvar} usage", 16, m_dm, false);
  row("{cmd:set matsize} usage", 17, m_matsize, false);
  row("programs, saved results, etc.", 29, m_dyn, false);
  ip.out.printf_markup("%34s{hline 15}\n", "");
  row("Total", 5, other, false);
  ip.out.print_markup("{txt}{hline 59}\n");
  ip.out.printf_markup("Grand total%38s\n", num(m.total + other).c_str());

  auto& r = ip.r_results;
  r.clear();
  r.scalars["N_cur"] = static_cast<double>(m.nobs);
  r.scalars["N_curmax"] = static_cast<double>(m.n_curmax);
  r.scalars["k_cur"] = m.nvar;
  r.scalars["w_cur"] = m.width;
  r.scalars["M_total"] = static_cast<double>(m.total);
  r.scalars["M_data"] = static_cast<double>(m_data);
  r.scalars["M_oh"] = static_cast<double>(m_oh);
  r.scalars["size_ptr"] = 8;
  r.scalars["n_repart"] = static_cast<double>(m.n_repart);
  r.scalars["n_shift"] = static_cast<double>(m.n_shift);
  r.scalars["M_dm"] = static_cast<double>(m_dm);
  r.scalars["M_matsize"] = static_cast<double>(m_matsize);
  r.scalars["M_dyn"] = static_cast<double>(m_dyn);
  return 0;
}

}  // namespace nuvra
