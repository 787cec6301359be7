// Sample marking for programs: mark, markout, markin, marksample.
//
// A marker variable is a byte variable holding 1 for observations a
// command should use and 0 for the rest.  `mark` creates it from `if`,
// `in` and a weight; `markout` and `markin` only ever turn 1s into 0s;
// `marksample` does all of it in one step from the locals `syntax` left.
// Each command checks everything it reads before it writes anything, so a
// failure leaves the marker and the dataset as they were.
#include <cctype>
#include <cstdio>
#include <cstdint>
#include <string>
#include <vector>

#include "data/commands/ts_terms.h"
#include "data/dataset.h"
#include "data/expr/expr.h"
#include "data/expr/sample.h"
#include "data/missing.h"
#include "data/storage.h"
#include "data/varlist.h"
#include "interp/builtins.h"
#include "interp/interp.h"
#include "interp/messages.h"
#include "data/names.h"
#include "interp/parse.h"

namespace nuvra {

namespace {

// Parses `text` as if it were the rest of the command line, then puts the
// interpreter's own command line back.
class BorrowedLine {
 public:
  BorrowedLine(Interp& ip, std::string text) : ip_(ip), saved_(std::move(ip.cmdbuf)), pos_(ip.reader.pos()) {
    ip_.cmdbuf = std::move(text);
    ip_.reader.attach(&ip_.cmdbuf, 0);
  }
  ~BorrowedLine() {
    ip_.cmdbuf = std::move(saved_);
    ip_.reader.attach(&ip_.cmdbuf, pos_);
  }
  BorrowedLine(const BorrowedLine&) = delete;
  BorrowedLine& operator=(const BorrowedLine&) = delete;

 private:
  Interp& ip_;
  std::string saved_;
  size_t pos_;
};

rc_t varlist_message(Interp& ip, const data::VarlistFailure& fail) {
  return msg_quoting(ip.out, "", fail.message, "\n", fail.rc);
}

// The existing numeric variable a marker command writes to.
rc_t find_marker(Interp& ip, std::string_view text, int* j) {
  std::vector<int> vars;
  data::VarlistFailure fail;
  if (data::read_varlist(ip.dataset, text, &vars, &fail)) return varlist_message(ip, fail);
  if (vars.empty()) return msg_quoting(ip.out, "varlist required\n", "", "", 100);
  if (vars.size() > 1) return msg_quoting(ip.out, "too many variables specified\n", "", "", 103);
  if (ip.dataset.is_string(vars[0])) return msg_quoting(ip.out, "type mismatch\n", "", "", 109);
  *j = vars[0];
  return 0;
}

// The 0/1 mask of `if`, `in` and the weight: observations whose weight is
// missing, or zero without zeroweight, are left out.  Negative weights are
// the using command's business, not the marker's.
rc_t sample_mask(Interp& ip, const CommandLine& cl, bool zeroweight, std::vector<char>* mask) {
  std::vector<char> m;
  if (rc_t rc = expr::mark_sample(ip, cl, &m)) return rc;
  m.resize(static_cast<size_t>(ip.dataset.nobs()), 0);
  if (cl.has_weight) {
    expr::Program prog;
    if (rc_t rc = expr::compile(ip, cl.weight_text, expr::Want::kNumeric, &prog)) return rc;
    expr::EvalContext cx;
    expr::bind(ip, prog, &cx);
    for (std::int64_t i = 1; i <= ip.dataset.nobs(); ++i) {
      char& keep = m[static_cast<size_t>(i - 1)];
      if (!keep) continue;
      if (i % 65536 == 0 && ip.poll_break()) return 1;
      double w = expr::eval_number(cx, i);
      if (data::is_missing(w) || (w == 0 && !zeroweight)) keep = 0;
    }
  }
  *mask = std::move(m);
  return 0;
}

rc_t parse_mark(Interp& ip, CommandLine* cl) {
  ParseSettings st{.varlist = true, .allow_if = true, .allow_in = true,
                   .weights = kAweight | kFweight | kPweight | kIweight};
  return standard_parse(ip, st, cl);
}

// Creates the byte marker `name` from the mask.
rc_t create_marker(Interp& ip, std::string_view name, const std::vector<char>& mask) {
  std::string msg;
  int j = 0;
  if (rc_t rc = ip.dataset.add_variable(name, data::kByte, &j, &msg))
    return msg_quoting(ip.out, "", msg, "\n", rc);
  for (std::int64_t i = 1; i <= ip.dataset.nobs(); ++i)
    ip.dataset.store(j, i, mask[static_cast<size_t>(i - 1)] ? 1.0 : 0.0);
  ip.dataset.set_changed(true);
  return 0;
}

// Which observations a list of variables marks out: any missing numeric
// value; with strok an empty string, without it a string variable marks
// every observation out (the command then finds no observations).
rc_t markout_mask(Interp& ip, const std::vector<int>& vars, bool strok, std::vector<char>* out) {
  const data::Dataset& ds = ip.dataset;
  std::vector<char> off(static_cast<size_t>(ds.nobs()), 0);
  for (int v : vars) {
    if (ds.is_string(v)) {
      for (std::int64_t i = 1; i <= ds.nobs(); ++i)
        if (!strok || ds.fetch_str(v, i).empty()) off[static_cast<size_t>(i - 1)] = 1;
      continue;
    }
    for (std::int64_t i = 1; i <= ds.nobs(); ++i) {
      if (i % 65536 == 0 && ip.poll_break()) return 1;
      if (data::is_missing(ds.fetch(v, i))) off[static_cast<size_t>(i - 1)] = 1;
    }
  }
  *out = std::move(off);
  return 0;
}

void apply_off(Interp& ip, int j, const std::vector<char>& off) {
  bool any = false;
  for (std::int64_t i = 1; i <= ip.dataset.nobs(); ++i) {
    if (!off[static_cast<size_t>(i - 1)]) continue;
    if (ip.dataset.fetch(j, i) != 0) {
      ip.dataset.store(j, i, 0.0);
      any = true;
    }
  }
  if (any) ip.dataset.set_changed(true);
}

std::string local_or_empty(Interp& ip, std::string_view name) {
  const std::string* s = ip.macros.local(name);
  return s ? *s : std::string();
}

}  // namespace

// mark newvar [weight] [if] [in] [, zeroweight]
rc_t cmd_mark(Interp& ip) {
  CommandLine cl;
  if (rc_t rc = parse_mark(ip, &cl)) return rc;
  bool zeroweight = cl.flag("zeroweight", 4, 0) == 1;
  if (rc_t rc = cl.leftover(ip)) return rc;
  std::string_view name = trim(cl.varlist_text);
  if (name.empty()) return msg_quoting(ip.out, "varlist required\n", "", "", 100);
  if (name.find(' ') != std::string_view::npos)
    return msg_quoting(ip.out, "too many variables specified\n", "", "", 103);
  std::string msg;
  if (rc_t rc = ip.dataset.check_new_name(name, &msg)) return msg_quoting(ip.out, "", msg, "\n", rc);
  std::vector<char> mask;
  if (rc_t rc = sample_mask(ip, cl, zeroweight, &mask)) return rc;
  return create_marker(ip, name, mask);
}

// markout marker [varlist] [, strok]
rc_t cmd_markout(Interp& ip) {
  std::string_view rest = ip.reader.rest();
  std::string_view words;
  CommandLine cl;
  if (rc_t rc = read_options(ip, rest, &words, &cl)) return rc;
  bool strok = cl.flag("strok", 5, 0) == 1;
  if (rc_t rc = cl.leftover(ip)) return rc;
  std::string_view first = take_word(words);
  int j = 0;
  if (rc_t rc = find_marker(ip, first, &j)) return rc;
  std::vector<int> vars;
  datacmd::TsTemps temps(ip);  // operated terms (L.x) are read through these
  if (rc_t rc = datacmd::ts_varlist(ip, words, &vars, nullptr, &temps)) return rc;
  std::vector<char> off;
  if (rc_t rc = markout_mask(ip, vars, strok, &off)) return rc;
  apply_off(ip, j, off);
  return 0;
}

// markin marker [if] [in]
rc_t cmd_markin(Interp& ip) {
  ParseSettings st{.varlist = true, .allow_if = true, .allow_in = true, .allow_options = false};
  CommandLine cl;
  if (rc_t rc = standard_parse(ip, st, &cl)) return rc;
  int j = 0;
  if (rc_t rc = find_marker(ip, cl.varlist_text, &j)) return rc;
  std::vector<char> keep;
  if (rc_t rc = expr::mark_sample(ip, cl, &keep)) return rc;
  keep.resize(static_cast<size_t>(ip.dataset.nobs()), 0);
  for (char& c : keep) c = !c;
  apply_off(ip, j, keep);
  return 0;
}

// marksample lmacname [, novarlist strok zeroweight noby]: a temporary
// marker built from the locals varlist, if, in, weight and exp that
// `syntax` left in the running program; its name goes into lmacname.
rc_t cmd_marksample(Interp& ip) {
  std::string_view rest = ip.reader.rest();
  std::string_view words;
  CommandLine opts;
  if (rc_t rc = read_options(ip, rest, &words, &opts)) return rc;
  bool novarlist = opts.flag("novarlist", 5, 0) == 1;
  bool strok = opts.flag("strok", 5, 0) == 1;
  bool zeroweight = opts.flag("zeroweight", 4, 0) == 1;
  opts.flag("noby", 4, 0);  // the by-group window is the sample already
  if (rc_t rc = opts.leftover(ip)) return rc;
  std::string_view lmac = take_word(words);
  if (lmac.empty() || !trim(words).empty()) return msg_invalid(ip, "syntax");
  if (!is_valid_name(lmac) && !(lmac.size() <= 31 && std::isdigit(static_cast<unsigned char>(lmac[0]))))
    return msg_quoting(ip.out, "", lmac, " invalid name\n", 198);

  std::string weight = local_or_empty(ip, "weight");
  std::string line = "x";
  if (!weight.empty()) line += " [" + weight + " " + local_or_empty(ip, "exp") + "]";
  line += " " + local_or_empty(ip, "if") + " " + local_or_empty(ip, "in");
  std::string varlist = local_or_empty(ip, "varlist");

  CommandLine cl;
  std::vector<char> mask;
  {
    BorrowedLine borrowed(ip, line);
    ParseSettings st{.varlist = true, .allow_if = true, .allow_in = true, .allow_options = false,
                     .weights = kAweight | kFweight | kPweight | kIweight};
    if (rc_t rc = standard_parse(ip, st, &cl)) return rc;
    if (rc_t rc = sample_mask(ip, cl, zeroweight, &mask)) return rc;
  }
  if (!novarlist && !trim(varlist).empty()) {
    std::vector<int> vars;
    datacmd::TsTemps temps(ip);  // operated terms (L.x) are read through these
    if (rc_t rc = datacmd::ts_varlist(ip, varlist, &vars, nullptr, &temps)) return rc;
    std::vector<char> off;
    if (rc_t rc = markout_mask(ip, vars, strok, &off)) return rc;
    for (size_t i = 0; i < mask.size(); ++i)
      if (off[i]) mask[i] = 0;
  }
  char buf[32];
  std::snprintf(buf, sizeof buf, "__%06u", ip.tempname_counter++);
  if (rc_t rc = create_marker(ip, buf, mask)) return rc;
  ip.temp_vars.back().emplace_back(buf);
  ip.macros.set_local(lmac, buf);
  return 0;
}

}  // namespace nuvra
