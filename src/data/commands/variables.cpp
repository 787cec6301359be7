// Commands that reshape the dataset's variables and observations: drop,
// keep, rename, order, move, format, compress, recast, clear.
#include <algorithm>
#include <cstdio>
#include <unordered_set>

#include "data/commands/commands.h"
#include "data/format.h"
#include "data/varlist.h"
#include "interp/interp.h"
#include "interp/messages.h"
#include "data/names.h"
#include "interp/parse.h"

namespace nuvra {
namespace {

using datacmd::fail_quoting;
using datacmd::mark_changed;

// Prints a store failure: its own message when it has one, else the
// standard text of the code.
rc_t store_failure(Interp& ip, rc_t rc, const std::string& msg) {
  if (!msg.empty()) return fail_quoting(ip, "", msg, "\n", rc);
  return rc_message(ip, rc);
}

void say_text(Interp& ip, const std::string& line) {
  ip.out.set_class(output::OutClass::Text);
  ip.out.print_plain(line);
  ip.out.print_markup("\n");
}

}  // namespace

// drop varlist | drop in range ; keep varlist | keep in range
rc_t cmd_drop_keep(Interp& ip) {
  bool keep = ip.command_name == "keep";
  ParseSettings st{.varlist = true, .allow_if = true, .allow_in = true, .allow_options = false};
  CommandLine cl;
  if (rc_t rc = standard_parse(ip, st, &cl)) return rc;
  data::Dataset& ds = ip.dataset;
  if (cl.varlist_text.empty() && !cl.has_in && !cl.has_if) return msg_required(ip, "varlist or in range");
  if (!cl.varlist_text.empty() && (cl.has_in || cl.has_if))
    return fail_quoting(ip, "may not combine a varlist with if or in; drop variables and observations separately", "",
                        "\n", 198);
  if (!cl.varlist_text.empty()) {
    std::vector<int> vars;
    if (rc_t rc = datacmd::varlist_required(ip, cl.varlist_text, &vars, data::kVarlistUnique)) return rc;
    std::vector<int> drop;
    if (keep) {
      std::unordered_set<int> kept(vars.begin(), vars.end());
      for (int j = 1; j <= ds.nvar(); ++j)
        if (!kept.count(j)) drop.push_back(j);
    } else {
      drop = vars;
    }
    if (drop.empty()) return 0;
    bool all = static_cast<int>(drop.size()) == ds.nvar();
    if (rc_t rc = ds.drop_variables(drop)) return rc_message(ip, rc);
    // With no variables left there is nothing for observations to hold.
    if (all && ds.nvar_all() == 0) ds.set_obs(0);
    mark_changed(ip);
    return 0;
  }
  std::vector<char> sample;
  if (rc_t rc = datacmd::mark_sample(ip, cl, &sample)) return rc;
  std::vector<char> kept(sample.size());
  std::int64_t gone = 0;
  for (size_t i = 0; i < sample.size(); ++i) {
    kept[i] = keep ? sample[i] : !sample[i];
    gone += !kept[i];
  }
  if (gone) {
    if (rc_t rc = ds.keep_observations(kept)) return rc_message(ip, rc);
    mark_changed(ip);
  }
  ip.out.set_class(output::OutClass::Text);
  ip.out.printf_markup("(%s observation%s deleted)\n", datacmd::with_commas(gone).c_str(), gone == 1 ? "" : "s");
  return 0;
}

// rename old new
rc_t cmd_rename(Interp& ip) {
  ParseSettings st{.varlist = true, .allow_options = false};
  CommandLine cl;
  if (rc_t rc = standard_parse(ip, st, &cl)) return rc;
  std::string_view rest = cl.varlist_text;
  std::string_view oldw = datacmd::next_word(rest);
  std::string_view neww = datacmd::next_word(rest);
  if (oldw.empty() || neww.empty() || !rest.empty()) return msg_invalid(ip, "syntax");
  data::Dataset& ds = ip.dataset;
  int j = 0;
  std::string msg;
  if (rc_t rc = ds.find(oldw, &j, &msg)) return store_failure(ip, rc, msg);
  if (ds.name(j) == neww) return 0;
  if (rc_t rc = ds.rename_variable(j, neww, &msg)) return store_failure(ip, rc, msg);
  mark_changed(ip);
  return 0;
}

// order varlist: the listed variables first, in the order given.
rc_t cmd_order(Interp& ip) {
  ParseSettings st{.varlist = true};
  CommandLine cl;
  if (rc_t rc = standard_parse(ip, st, &cl)) return rc;
  bool last = cl.flag("last", 4, 0);
  if (rc_t rc = cl.leftover(ip)) return rc;
  std::vector<int> vars;
  if (rc_t rc = datacmd::varlist_required(ip, cl.varlist_text, &vars, data::kVarlistUnique)) return rc;
  data::Dataset& ds = ip.dataset;
  std::vector<char> listed(static_cast<size_t>(ds.nvar()) + 1, 0);
  for (int j : vars) listed[static_cast<size_t>(j)] = 1;
  std::vector<int> order;
  if (!last) order = vars;
  for (int j = 1; j <= ds.nvar(); ++j)
    if (!listed[static_cast<size_t>(j)]) order.push_back(j);
  if (last) order.insert(order.end(), vars.begin(), vars.end());
  bool same = true;
  for (size_t k = 0; k < order.size(); ++k) same = same && order[k] == static_cast<int>(k) + 1;
  if (same) return 0;
  if (rc_t rc = ds.reorder_variables(order)) return rc_message(ip, rc);
  mark_changed(ip);
  return 0;
}

// move var1 var2: var1 takes var2's place; var2 and those after it shift.
rc_t cmd_move(Interp& ip) {
  ParseSettings st{.varlist = true, .allow_options = false};
  CommandLine cl;
  if (rc_t rc = standard_parse(ip, st, &cl)) return rc;
  std::vector<int> vars;
  if (rc_t rc = datacmd::varlist_required(ip, cl.varlist_text, &vars)) return rc;
  if (vars.size() < 2) return rc_message(ip, 102);
  if (vars.size() > 2) return rc_message(ip, 103);
  int a = vars[0], b = vars[1];
  if (a == b) return 0;
  data::Dataset& ds = ip.dataset;
  std::vector<int> order;
  for (int j = 1; j <= ds.nvar(); ++j) {
    if (j == a) continue;
    if (j == b) order.push_back(a);
    order.push_back(j);
  }
  if (rc_t rc = ds.reorder_variables(order)) return rc_message(ip, rc);
  mark_changed(ip);
  return 0;
}

// format varlist %fmt | format %fmt varlist | format [varlist]
rc_t cmd_format(Interp& ip) {
  std::string_view rest = trim(ip.reader.rest());
  std::vector<std::string_view> words;
  for (std::string_view r = rest; !r.empty();) words.push_back(datacmd::next_word(r));
  std::string fmt;
  std::string list;
  if (!words.empty() && words.front().starts_with("%")) {
    fmt = words.front();
    for (size_t k = 1; k < words.size(); ++k) list += std::string(words[k]) + " ";
    if (trim(list).empty()) return msg_required(ip, "varlist");
  } else if (!words.empty() && words.back().starts_with("%")) {
    fmt = words.back();
    for (size_t k = 0; k + 1 < words.size(); ++k) list += std::string(words[k]) + " ";
    if (trim(list).empty()) return msg_required(ip, "varlist");
  } else {
    list = rest;
  }
  for (std::string_view w : words)
    if (w.starts_with("%") && w != std::string_view(fmt)) return msg_invalid(ip, "syntax");
  std::vector<int> vars;
  if (rc_t rc = datacmd::varlist_or_all(ip, list, &vars, data::kVarlistUnique)) return rc;
  data::Dataset& ds = ip.dataset;
  if (fmt.empty()) {
    // No format: show the formats the variables have.
    ip.out.set_class(output::OutClass::Text);
    if (vars.empty()) return 0;
    ip.out.print_markup("\n");
    ip.out.print_markup("{txt}  variable name     display format\n  {hline 34}\n");
    for (int j : vars) {
      std::string line = "  " + datacmd::abbreviate_name(ds.name(j), 15);
      line.resize(std::max<size_t>(line.size(), 20), ' ');
      line += ds.format(j);
      ip.out.print_plain(line);
      ip.out.print_markup("\n");
    }
    ip.out.print_markup("  {hline 34}\n");
    return 0;
  }
  data::Format f;
  if (fmt.size() > data::kFormatMaxBytes || !data::parse_format(fmt, &f, true)) return rc_message(ip, 120);
  // Every variable is checked before any changes.
  for (int j : vars) {
    if (!data::valid_for_type(f, ds.is_string(j)))
      return fail_quoting(ip, "", fmt + (ds.is_string(j) ? " invalid for string variable " : " invalid for numeric variable ") + ds.name(j),
                          "\n", 120);
  }
  for (int j : vars)
    if (rc_t rc = ds.set_format(j, fmt)) return rc_message(ip, rc);
  if (!vars.empty()) mark_changed(ip);
  return 0;
}

// compress [varlist]: each variable to the narrowest type that holds its
// values unchanged.
rc_t cmd_compress(Interp& ip) {
  ParseSettings st{.varlist = true, .allow_options = false};
  CommandLine cl;
  if (rc_t rc = standard_parse(ip, st, &cl)) return rc;
  std::vector<int> vars;
  if (rc_t rc = datacmd::varlist_or_all(ip, cl.varlist_text, &vars, data::kVarlistUnique)) return rc;
  data::Dataset& ds = ip.dataset;
  struct Change {
    int var, from, to;
  };
  std::vector<Change> plan;
  for (int j : vars) {
    int t = ds.type(j);
    int best = t;
    if (ds.is_string(j)) {
      size_t longest = 1;
      for (std::int64_t i = 1; i <= ds.nobs(); ++i)
        longest = std::max(longest, data::stored_string_length(ds.value_ptr(j, i), t));
      best = static_cast<int>(longest);
    } else {
      for (int cand : {data::kByte, data::kInt, data::kLong, data::kFloat}) {
        if (data::type_width(cand) >= data::type_width(t)) break;
        if (ds.count_lossy(j, cand) == 0) {
          best = cand;
          break;
        }
      }
    }
    if (data::type_width(best) < data::type_width(t)) plan.push_back({j, t, best});
  }
  std::int64_t saved = 0;
  auto poll = [&ip] { return ip.poll_break(); };
  for (size_t k = 0; k < plan.size(); ++k) {
    const Change& c = plan[k];
    if (rc_t rc = ds.recast(c.var, c.to, poll)) {
      // A partial compress is undone: the data stay as they were.
      for (size_t u = k; u-- > 0;) ds.recast(plan[u].var, plan[u].from);
      return rc_message(ip, rc);
    }
  }
  for (const Change& c : plan) {
    say_text(ip, "  " + data::promotion_line(ds.name(c.var), c.from, c.to));
    saved += static_cast<std::int64_t>(data::type_width(c.from) - data::type_width(c.to)) * ds.nobs();
  }
  if (!plan.empty()) mark_changed(ip);
  ip.out.set_class(output::OutClass::Text);
  ip.out.printf_markup("(%s byte%s saved)\n", datacmd::with_commas(saved).c_str(), saved == 1 ? "" : "s");
  return 0;
}

// recast type varlist [, force]
rc_t cmd_recast(Interp& ip) {
  std::string_view rest = ip.reader.rest();
  std::string_view type_word = datacmd::next_word(rest);
  int t = data::parse_type_name(type_word);
  if (type_word.empty()) return msg_invalid(ip, "syntax");
  if (!t) return fail_quoting(ip, "", type_word, " invalid type\n", 198);
  ip.reader.set_pos(static_cast<size_t>(rest.data() - ip.cmdbuf.data()));
  ParseSettings st{.varlist = true};
  CommandLine cl;
  if (rc_t rc = standard_parse(ip, st, &cl)) return rc;
  bool force = cl.flag("force", 5, 0);
  if (rc_t rc = cl.leftover(ip)) return rc;
  std::vector<int> vars;
  if (rc_t rc = datacmd::varlist_required(ip, cl.varlist_text, &vars, data::kVarlistUnique)) return rc;
  data::Dataset& ds = ip.dataset;
  std::vector<std::int64_t> lossy(vars.size(), 0);
  for (size_t k = 0; k < vars.size(); ++k) {
    int j = vars[k];
    if (data::is_string_type(t) != ds.is_string(j)) return rc_message(ip, 109);
    lossy[k] = ds.count_lossy(j, t);
  }
  if (!force) {
    for (size_t k = 0; k < vars.size(); ++k) {
      if (!lossy[k]) continue;
      char buf[80];
      std::snprintf(buf, sizeof buf, ":  %lld value%s would be changed; not changed\n", static_cast<long long>(lossy[k]),
                    lossy[k] == 1 ? "" : "s");
      return fail_quoting(ip, "", ds.name(vars[k]), buf, 459);
    }
  }
  std::vector<int> from(vars.size());
  auto poll = [&ip] { return ip.poll_break(); };
  for (size_t k = 0; k < vars.size(); ++k) {
    from[k] = ds.type(vars[k]);
    if (rc_t rc = ds.recast(vars[k], t, poll)) {
      // Lossless steps can be undone; lossy ones were forced knowingly,
      // but the command failed, so the earlier ones go back as well as
      // the store allows.
      for (size_t u = k; u-- > 0;) ds.recast(vars[u], from[u]);
      return rc_message(ip, rc);
    }
  }
  bool any = false;
  for (size_t k = 0; k < vars.size(); ++k) {
    if (from[k] != t) any = true;
    if (!lossy[k]) continue;
    char buf[80];
    std::snprintf(buf, sizeof buf, ":  %lld value%s changed", static_cast<long long>(lossy[k]), lossy[k] == 1 ? "" : "s");
    say_text(ip, ds.name(vars[k]) + buf);
  }
  if (any) mark_changed(ip);
  return 0;
}

// clear: no variables, no observations, no labels or characteristics.
rc_t cmd_clear(Interp& ip) {
  ParseSettings st{.allow_options = false};
  CommandLine cl;
  if (rc_t rc = standard_parse(ip, st, &cl)) return rc;
  ip.dataset.clear();
  ip.data_changed = false;
  return 0;
}

}  // namespace nuvra
