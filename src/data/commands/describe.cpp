// describe: the dataset's header (observations, variables, size, label,
// the changed note) and one line per variable.
//
// Layout, in display columns:
//   header    "  obs:" and " vars:" with the count right-aligned to column
//             20; the data label (obs line) and the file's date (vars line)
//             from column 47; " size:" with the data bytes to column 20 and
//             the free share of the data area after it.
//   variables name in columns 1-15, storage type from 17, display format
//             from 24, value-label name from 36 (10 wide), variable label
//             from 47, wrapped at the line width onto lines that start in
//             column 47. Names longer than the column are shortened with
//             `~` unless `fullnames` is given (then the rest of the line
//             moves right).
#include <algorithm>
#include <cstdio>

#include "data/commands/commands.h"
#include "interp/interp.h"
#include "interp/messages.h"
#include "interp/parse.h"
#include "data/commands/dta_commands.h"

namespace nuvra {
namespace {

using datacmd::abbreviate_name;
using datacmd::with_commas;

void pad_to(std::string& s, size_t col) {
  if (s.size() < col) s.append(col - s.size(), ' ');
}

void rstrip(std::string& s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
}

void print_line(Interp& ip, std::string s) {
  rstrip(s);
  ip.out.print_plain(s);
  ip.out.print_markup("\n");
}

void hline(Interp& ip) { ip.out.printf_markup("{hline %d}\n", ip.linesize); }

// Words of text in lines of at most width characters; a word longer than
// the width is cut.
std::vector<std::string> wrap(std::string_view text, size_t width) {
  std::vector<std::string> lines;
  std::string cur;
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && text[i] == ' ') ++i;
    size_t e = i;
    while (e < text.size() && text[e] != ' ') ++e;
    std::string_view w = text.substr(i, e - i);
    i = e;
    if (w.empty()) break;
    while (w.size() > width) {
      if (!cur.empty()) lines.push_back(std::move(cur)), cur.clear();
      lines.emplace_back(w.substr(0, width));
      w.remove_prefix(width);
    }
    if (w.empty()) continue;
    if (!cur.empty() && cur.size() + 1 + w.size() > width) lines.push_back(std::move(cur)), cur.clear();
    if (!cur.empty()) cur += ' ';
    cur += w;
  }
  if (!cur.empty()) lines.push_back(std::move(cur));
  return lines;
}

void print_header(Interp& ip, const data::Dataset& ds, const datacmd::DescribeHeader& h) {
  ip.out.set_class(output::OutClass::Text);
  std::string first = "Contains data";
  if (!h.file.empty()) first += " from " + h.file;
  print_line(ip, first);
  char num[40];
  std::snprintf(num, sizeof num, "  obs:%14s", with_commas(h.nobs).c_str());
  std::string line = num;
  if (!ds.data_label().empty()) {
    pad_to(line, 46);
    line += ds.data_label();
  }
  print_line(ip, line);
  std::snprintf(num, sizeof num, " vars:%14s", with_commas(ds.nvar()).c_str());
  line = num;
  if (!h.file.empty() && !h.date.empty()) {
    pad_to(line, 46);
    line += h.date;
  }
  print_line(ip, line);
  char buf[96];
  if (h.free_share >= 0)
    std::snprintf(buf, sizeof buf, " size:%14s (%.1f%% of memory free)", with_commas(h.size).c_str(), h.free_share);
  else
    std::snprintf(buf, sizeof buf, " size:%14s", with_commas(h.size).c_str());
  print_line(ip, buf);
}

void print_footer(Interp& ip, const data::Dataset& ds, bool show_changed) {
  std::string line = "Sorted by:";
  if (!ds.sort_list().empty()) {
    line += " ";
    for (std::uint16_t j : ds.sort_list()) line += " " + ds.name(j);
  }
  print_line(ip, line);
  if (show_changed && (ds.changed() || ip.data_changed))
    print_line(ip, "     Note:  dataset has changed since last saved");
}

void print_variable(Interp& ip, const data::Dataset& ds, int j, bool fullnames) {
  std::string line = fullnames ? ds.name(j) : abbreviate_name(ds.name(j), 15);
  line += ' ';
  pad_to(line, 16);
  line += data::type_name(ds.type(j));
  line += ' ';
  pad_to(line, 23);
  line += ds.format(j);
  line += ' ';
  pad_to(line, 35);
  line += abbreviate_name(ds.value_label_name(j), 10);
  line += ' ';
  pad_to(line, 46);
  size_t indent = line.size();
  size_t width = static_cast<size_t>(ip.linesize) > indent + 10 ? static_cast<size_t>(ip.linesize) - indent : 10;
  std::vector<std::string> parts = wrap(ds.label(j), width);
  if (!parts.empty()) line += parts[0];
  print_line(ip, line);
  for (size_t k = 1; k < parts.size(); ++k) print_line(ip, std::string(indent, ' ') + parts[k]);
}

void print_table_head(Interp& ip) {
  print_line(ip, "              storage  display     value");
  print_line(ip, "variable name   type   format      label      variable label");
  hline(ip);
}

// Names across the line in columns.
void print_simple(Interp& ip, const data::Dataset& ds, const std::vector<int>& vars) {
  size_t wmax = 0;
  for (int j : vars) wmax = std::max(wmax, ds.name(j).size());
  size_t colw = wmax + 2;
  size_t per_line = std::max<size_t>(1, (static_cast<size_t>(ip.linesize) + 2) / colw);
  std::string line;
  size_t n = 0;
  for (int j : vars) {
    line += ds.name(j);
    if (++n % per_line == 0) {
      print_line(ip, line);
      line.clear();
    } else {
      pad_to(line, (n % per_line) * colw);
    }
  }
  if (!line.empty()) print_line(ip, line);
}

}  // namespace

rc_t cmd_describe(Interp& ip) {
  ParseSettings st{.varlist = true, .allow_using = true};
  CommandLine cl;
  if (rc_t rc = standard_parse(ip, st, &cl)) return rc;
  bool is_short = cl.flag("short", 2, 0);
  bool simple = cl.flag("simple", 2, 0);
  bool fullnames = cl.flag("fullnames", 4, 0);
  if (rc_t rc = cl.leftover(ip)) return rc;
  if (is_short && simple) return datacmd::fail_quoting(ip, "options short and simple may not be combined", "", "\n", 198);
  if (cl.has_using) {
    if (!cl.varlist_text.empty()) return msg_invalid(ip, "syntax");
    return describe_using(ip, cl.using_file, is_short, simple);
  }
  std::vector<int> vars;
  if (rc_t rc = datacmd::varlist_or_all(ip, cl.varlist_text, &vars)) return rc;

  const data::Dataset& ds = ip.dataset;
  data::MemoryInfo m = ds.memory_info();
  ip.r_results.clear();
  ip.r_results.scalars["N"] = static_cast<double>(ds.nobs());
  ip.r_results.scalars["k"] = ds.nvar();
  ip.r_results.scalars["width"] = m.used_width;
  ip.r_results.scalars["N_max"] = static_cast<double>(m.n_curmax);
  ip.r_results.scalars["k_max"] = ds.maxvar() - 1;
  ip.r_results.scalars["widthmax"] = ds.max_width();
  ip.r_results.scalars["changed"] = ds.changed() || ip.data_changed ? 1 : 0;
  std::string names;
  for (int j : vars) names += (names.empty() ? "" : " ") + ds.name(j);
  ip.r_results.macros["varlist"] = names;

  datacmd::DescribeHeader h;
  const std::string* fn = ip.macros.global("S_FN");
  const std::string* fdate = ip.macros.global("S_FNDATE");
  if (fn) h.file = *fn;
  if (fdate) h.date = *fdate;
  h.nobs = ds.nobs();
  h.size = static_cast<long long>(m.data_bytes);
  double used = static_cast<double>(m.data_bytes) + static_cast<double>(m.pointer_bytes);
  h.free_share = m.total ? 100.0 * (1.0 - used / static_cast<double>(m.total)) : 0.0;
  if (h.free_share < 0) h.free_share = 0;
  datacmd::describe_dataset(ip, ds, h, is_short, simple, cl.varlist_text.empty() ? nullptr : &vars, fullnames);
  return 0;
}

namespace datacmd {

void describe_dataset(Interp& ip, const data::Dataset& ds, const DescribeHeader& h, bool is_short, bool simple,
                      const std::vector<int>* some, bool fullnames) {
  std::vector<int> vars;
  if (some) vars = *some;
  else
    for (int j = 1; j <= ds.nvar(); ++j) vars.push_back(j);
  ip.out.set_class(output::OutClass::Text);
  if (simple) {
    print_simple(ip, ds, vars);
    return;
  }
  bool whole = some == nullptr;
  ip.out.print_markup("\n");
  if (whole || is_short) print_header(ip, ds, h);
  if (!is_short && !vars.empty()) {
    if (whole) hline(ip);
    print_table_head(ip);
    for (int j : vars) print_variable(ip, ds, j, fullnames);
  }
  if (whole || is_short) {
    if (!is_short && !vars.empty()) hline(ip);
    print_footer(ip, ds, &ds == &ip.dataset);
  }
}

}  // namespace datacmd

}  // namespace nuvra
