// Pieces every data command shares: the sample, varlists, the changed flag,
// name abbreviation, and the few short commands that need no file of
// their own (edit, browse, count).
#include <cstdio>

#include "data/commands/commands.h"
#include "data/expr/sample.h"
#include "data/varlist.h"
#include "interp/interp.h"
#include "interp/messages.h"
#include "data/names.h"
#include "interp/parse.h"

namespace nuvra {
namespace datacmd {

rc_t mark_sample(Interp& ip, const CommandLine& cl, std::vector<char>* sample) {
  // The observations in the `in` range for which the `if` condition holds.
  return expr::mark_sample(ip, cl, sample);
}

rc_t varlist_or_all(Interp& ip, std::string_view text, std::vector<int>* out, unsigned flags) {
  data::VarlistFailure fail;
  if (trim(text).empty()) {
    out->clear();
    for (int j = 1; j <= ip.dataset.nvar(); ++j) out->push_back(j);
    return 0;
  }
  if (rc_t rc = data::read_varlist(ip.dataset, text, out, &fail, flags))
    return fail_quoting(ip, "", fail.message, "\n", rc);
  return 0;
}

rc_t varlist_required(Interp& ip, std::string_view text, std::vector<int>* out, unsigned flags) {
  if (trim(text).empty()) return msg_required(ip, "varlist");
  return varlist_or_all(ip, text, out, flags);
}

void mark_changed(Interp& ip) {
  ip.dataset.set_changed(true);
  ip.data_changed = true;
}

std::string abbreviate_name(std::string_view name, size_t n) {
  if (name.size() <= n) return std::string(name);
  if (n < 3) return std::string(name.substr(0, n));
  std::string s(name.substr(0, n - 2));
  s += '~';
  s += name.back();
  return s;
}

std::string with_commas(long long v) {
  std::string digits = std::to_string(v < 0 ? -v : v);
  std::string out;
  int k = 0;
  for (size_t i = digits.size(); i-- > 0;) {
    out.insert(out.begin(), digits[i]);
    if (++k % 3 == 0 && i > 0) out.insert(out.begin(), ',');
  }
  if (v < 0) out.insert(out.begin(), '-');
  return out;
}

std::string_view next_word(std::string_view& s) {
  s = trim(s);
  size_t n = 0;
  while (n < s.size() && s[n] != ' ' && s[n] != '\t') ++n;
  std::string_view w = s.substr(0, n);
  s = trim(s.substr(n));
  return w;
}

rc_t fail_quoting(Interp& ip, std::string_view before, std::string_view user, std::string_view after,
                  rc_t code) {
  return msg_quoting(ip.out, before, user, after, code);
}

}  // namespace datacmd

rc_t cmd_edit_browse(Interp& ip) { return rc_message(ip, 8005); }

// count [in]: the number of observations in the sample.
rc_t cmd_count(Interp& ip) {
  ParseSettings st{.allow_if = true, .allow_in = true, .allow_options = false};
  CommandLine cl;
  if (rc_t rc = standard_parse(ip, st, &cl)) return rc;
  std::vector<char> sample;
  if (rc_t rc = datacmd::mark_sample(ip, cl, &sample)) return rc;
  long long n = 0;
  for (char c : sample) n += c != 0;
  ip.r_results.clear();
  ip.r_results.scalars["N"] = static_cast<double>(n);
  ip.out.set_class(output::OutClass::Result);
  ip.out.printf_markup("  %lld\n", n);
  return 0;
}

}  // namespace nuvra

namespace nuvra::expr {

rc_t mark_sample(Env& env, const CommandLine& cl, std::vector<char>* mask, std::int64_t* count) {
  // Without `in` the range is the command's observation window: every
  // observation, or under `by` the current group.
  const ByState& by = env.by_state();
  std::int64_t first = cl.has_in ? cl.in_first : by.applied ? by.first : 1;
  std::int64_t last = cl.has_in ? cl.in_last : by.applied ? by.last : env.data_in_memory().nobs();
  return mark_sample(env, cl.has_if ? std::string_view(cl.if_text) : std::string_view(), first, last, mask, count);
}

}  // namespace nuvra::expr
