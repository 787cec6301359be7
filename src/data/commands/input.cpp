// input: observations typed at the prompt, or read from the lines that
// follow the command in a do-file, until a line `end`.
//
//   input x y str10 name        new variables (typed as in a new-variable
//                               list; numbers default to `set type`),
//                               filled from observation 1 on
//   input [x y]                 existing variables (all of them when none
//                               are named), filled from observation _N+1
//
// Each row holds one value per variable, blank-separated; strings with
// blanks are written in double quotes; `.` and `.a`..`.z` are missing
// values. A row that cannot be read is reported and asked for again;
// rows already taken stay. A number that does not fit its variable's type
// promotes the variable as `replace` does, and a string longer than its
// variable lengthens it, each with the "x was byte now int" line.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "base/text.h"
#include "data/commands/commands.h"
#include "data/varlist.h"
#include "interp/interp.h"
#include "interp/line_source.h"
#include "interp/list_elements.h"
#include "interp/messages.h"
#include "data/names.h"
#include "interp/parse.h"

namespace nuvra {
namespace {

// A typed number: a numeric literal, `.` or `.a`..`.z`.
bool read_number(const std::string& w, double* v) {
  if (w == ".") {
    *v = data::kMissing;
    return true;
  }
  if (w.size() == 2 && w[0] == '.' && w[1] >= 'a' && w[1] <= 'z') {
    *v = data::missing_value(w[1] - 'a' + 1);
    return true;
  }
  if (w.empty()) return false;
  char* end = nullptr;
  *v = std::strtod(w.c_str(), &end);
  if (*end || std::isnan(*v) || std::isinf(*v)) return false;
  // Hexadecimal and the words inf and nan are not typed numbers here.
  for (char c : w)
    if (!((c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E')) return false;
  return true;
}

void row_message(Interp& ip, const std::string& text) {
  ip.out.set_class(output::OutClass::Error);
  ip.out.print_plain(text);
  ip.out.print_markup("\n");
}

}  // namespace

rc_t cmd_input(Interp& ip) {
  ParseSettings st{.varlist = true, .allow_options = false};
  CommandLine cl;
  if (rc_t rc = standard_parse(ip, st, &cl)) return rc;
  data::Dataset& ds = ip.dataset;
  std::vector<int> vars;
  bool created = false;
  std::int64_t next_obs;
  if (cl.varlist_text.empty()) {
    if (ds.nvar() == 0) return rc_message(ip, 104);
    for (int j = 1; j <= ds.nvar(); ++j) vars.push_back(j);
    next_obs = ds.nobs() + 1;
  } else {
    // Existing variables when every name is one; otherwise a list of new
    // ones (whose reader reports the names that exist).
    // Existing names must be typed in full: an abbreviation is a new name.
    data::VarlistFailure fail;
    bool abbrev = ds.varabbrev();
    ds.set_varabbrev(false);
    rc_t found = data::read_varlist(ds, cl.varlist_text, &vars, nullptr, data::kVarlistUnique);
    ds.set_varabbrev(abbrev);
    if (found == 0) {
      next_obs = ds.nobs() + 1;
    } else {
      std::vector<data::NewVariable> nv;
      if (rc_t rc = data::read_new_varlist(ds, cl.varlist_text, default_numeric_type(ip), &nv, &fail))
        return datacmd::fail_quoting(ip, "", fail.message, "\n", rc);
      vars.clear();
      for (const auto& v : nv) {
        int j = 0;
        std::string msg;
        if (rc_t rc = ds.add_variable(v.name, v.type, &j, &msg)) {
          // All or nothing: the variables made so far go again.
          ds.drop_variables(vars);
          return msg.empty() ? rc_message(ip, rc) : datacmd::fail_quoting(ip, "", msg, "\n", rc);
        }
        vars.push_back(j);
      }
      created = true;
      next_obs = 1;
    }
  }
  if (created) datacmd::mark_changed(ip);
  if (ip.sources.empty()) return rc_message(ip, 612);

  // The header: the names over the columns the rows are typed in.
  ip.out.set_class(output::OutClass::Text);
  ip.out.print_markup("\n");
  std::string head = "    ";
  for (int j : vars) {
    std::string n = ds.name(j);
    head += ' ';
    if (n.size() < 10) head.append(10 - n.size(), ' ');
    head += n;
  }
  ip.out.print_plain(head);
  ip.out.print_markup("\n");

  LineSource* src = ip.sources.back();
  std::vector<std::string> words;
  auto poll = [&ip] { return ip.poll_break(); };
  for (;;) {
    char prompt[32];
    std::snprintf(prompt, sizeof prompt, "%3lld. ", static_cast<long long>(next_obs));
    std::string line;
    if (!src->read(ip, line, prompt)) break;
    std::string_view t = trim(line);
    if (t == "end") break;
    if (ip.poll_break()) return kBreak;
    if (t.empty()) continue;
    if (!read_closed_list(t, &words)) {
      row_message(ip, "too few quotes; line ignored");
      continue;
    }
    if (words.size() != vars.size()) {
      char buf[96];
      std::snprintf(buf, sizeof buf, "%zu value%s expected, %zu given; line ignored", vars.size(),
                    vars.size() == 1 ? "" : "s", words.size());
      row_message(ip, buf);
      continue;
    }
    // Read the whole row before storing any of it.
    std::vector<double> nums(vars.size(), 0.0);
    bool ok = true;
    for (size_t k = 0; k < vars.size() && ok; ++k) {
      if (ds.is_string(vars[k])) continue;
      if (!read_number(words[k], &nums[k])) {
        row_message(ip, "'" + words[k] + "' cannot be read as a number for " + ds.name(vars[k]) + "[" +
                            std::to_string(next_obs) + "]; line ignored");
        ok = false;
      }
    }
    if (!ok) continue;
    for (size_t k = 0; k < vars.size(); ++k) {
      int j = vars[k];
      int old_type = ds.type(j);
      int want = old_type;
      if (ds.is_string(j)) {
        size_t len = std::min<size_t>(words[k].size(), data::kStrMax);
        if (len > static_cast<size_t>(old_type)) want = static_cast<int>(len);
      } else {
        want = data::Dataset::promoted_type(old_type, nums[k]);
      }
      if (want != old_type) {
        if (rc_t rc = ds.recast(j, want, poll)) return rc == kBreak ? rc : rc_message(ip, rc == 902 ? 903 : rc);
        ip.out.set_class(output::OutClass::Text);
        ip.out.print_plain(data::promotion_line(ds.name(j), old_type, want));
        ip.out.print_markup("\n");
      }
    }
    if (next_obs > ds.nobs())
      if (rc_t rc = ds.set_obs(next_obs)) return rc_message(ip, rc);
    for (size_t k = 0; k < vars.size(); ++k) {
      if (ds.is_string(vars[k])) ds.store_str(vars[k], next_obs, words[k]);
      else ds.store(vars[k], next_obs, nums[k]);
    }
    datacmd::mark_changed(ip);
    ++next_obs;
  }
  return 0;
}

}  // namespace nuvra
