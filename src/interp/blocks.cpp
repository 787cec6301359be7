#include "interp/blocks.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "interp/builtins.h"
#include "interp/expand.h"
#include "interp/interp.h"
#include "interp/line_source.h"
#include "interp/list_elements.h"
#include "interp/messages.h"
#include "data/names.h"
#include "interp/numlist.h"
#include "interp/simple_expr.h"
#include "data/varlist.h"

namespace nuvra {

namespace {

// Keeps the loop bookkeeping balanced on every return path.
class LoopScope {
 public:
  explicit LoopScope(Interp& ip) : ip_(ip), saved_exit_(ip.loop_exit) { ++ip.loop_depth; }
  ~LoopScope() {
    --ip_.loop_depth;
    ip_.loop_exit = saved_exit_;
  }

 private:
  Interp& ip_;
  int saved_exit_;
};

// Loop commands typed at the prompt or read from a do-file are collected
// before they run, so one that only macro expansion produced cannot be.
rc_t refuse_expanded_loop(Interp& ip) {
  if (!ip.line_was_expanded || ip.in_program) return 0;
  return msg_quoting(
      ip.out, "", ip.token,
      " command may not result from a macro expansion interactively or in do files\n", 198);
}

// Splits "header {" and checks what follows the brace.
rc_t split_header(Interp& ip, std::string_view rest, std::string* header) {
  size_t brace = find_open_brace(rest);
  if (brace == std::string_view::npos) return msg_required(ip, "{");
  if (!trim(rest.substr(brace + 1)).empty() && ip.version >= 800) return msg_brace_line(ip, true);
  header->assign(trim(rest.substr(0, brace)));
  return 0;
}

rc_t check_nesting(Interp& ip) {
  if (ip.loop_depth >= kMaxLoopNesting) {
    return msg_quoting(ip.out, "too many nested loops\n", "", "", 198);
  }
  return 0;
}

// One pass of a loop body; true when the loop should stop (with *rc set).
bool run_pass(Interp& ip, const std::vector<std::string>& body, rc_t* rc) {
  if (ip.poll_break()) {
    *rc = kBreak;
    return true;
  }
  ip.loop_exit = 0;
  *rc = run_body(ip, body);
  if (*rc) return true;
  if (ip.exit_request || ip.frame_exit) return true;
  return ip.loop_exit == 2;
}

bool parse_number(std::string_view w, double* v) {
  if (w.empty() || w == ".") return false;
  std::string s(w);
  char* end = nullptr;
  *v = std::strtod(s.c_str(), &end);
  return end == s.c_str() + s.size() && std::isfinite(*v);
}

}  // namespace

size_t find_open_brace(std::string_view line) {
  int depth = 0;
  int compound = 0;
  bool in_quote = false;
  for (size_t i = 0; i < line.size(); ++i) {
    char c = line[i];
    if (c == '`' && i + 1 < line.size() && line[i + 1] == '"') {
      ++compound;
      ++i;
      continue;
    }
    if (compound > 0) {
      if (c == '"' && i + 1 < line.size() && line[i + 1] == '\'') {
        --compound;
        ++i;
      }
      continue;
    }
    if (c == '"') {
      in_quote = !in_quote;
      continue;
    }
    if (in_quote) continue;
    if (c == '(' || c == '[')
      ++depth;
    else if ((c == ')' || c == ']') && depth > 0)
      --depth;
    else if (c == '{' && depth == 0)
      return i;
  }
  return std::string_view::npos;
}

bool starts_loop(std::string_view line) {
  // Every line passes here before it is expanded: a first letter that can
  // begin neither a loop nor a prefix settles it without copying the line.
  size_t first = line.find_first_not_of(" \t");
  if (first == std::string_view::npos) return false;
  switch (line[first]) {
    case 'c': case 'n': case 'q': case 'f': case 'w':
      break;
    default:
      return false;
  }
  std::string buf(line);
  WordReader r(&buf);
  std::string_view w = r.next();
  while (abbreviates(w, "capture", 3) || abbreviates(w, "noisily", 1) ||
         abbreviates(w, "quietly", 1)) {
    w = r.next();
    if (w == ":") w = r.next();
  }
  return abbreviates(w, "forvalues", 4) || w == "foreach" || abbreviates(w, "while", 2);
}

rc_t collect_block(Interp& ip, std::vector<std::string>& body) {
  if (ip.sources.empty()) return rc_message(ip, 612);
  LineSource* src = ip.sources.back();
  src->next_continuation = 2;
  int depth = 1;
  for (;;) {
    char prompt[24];
    std::snprintf(prompt, sizeof prompt, "%3d. ", src->next_continuation++);
    std::string line;
    if (!src->read(ip, line, prompt)) {
      return msg_quoting(ip.out, "\nunexpected end of file\n", "", "", 612);
    }
    std::string_view t = trim(line);
    if (!t.empty() && t.front() == '}') {
      if (--depth == 0) {
        // Only an else may share the line of the closing brace.
        std::string_view after = trim(t.substr(1));
        if (!after.empty() && ip.version >= 800 && after != "else" && !after.starts_with("else ") &&
            !after.starts_with("else{") && !after.starts_with("else\t"))
          return msg_brace_line(ip, false);
        if (!after.empty()) src->push_back(std::string(after));
        return 0;
      }
      if (find_open_brace(t.substr(1)) != std::string_view::npos) ++depth;
      body.push_back(line);
      continue;
    }
    if (!t.empty() && t.front() != '*' && find_open_brace(t) != std::string_view::npos) ++depth;
    body.push_back(line);
  }
}

rc_t run_body(Interp& ip, const std::vector<std::string>& body) {
  BlockSource src(&body);
  SourceGuard guard(ip, &src);
  std::string line;
  while (src.read(ip, line, "")) {
    if (ip.poll_break()) return kBreak;
    std::string_view t = trim(line);
    if (t.empty() || t.front() == '*') continue;
    rc_t rc = ip.execute_line(t);
    if (rc) return rc;
    if (ip.loop_exit || ip.exit_request || ip.frame_exit) return 0;
  }
  return 0;
}

rc_t skip_block(Interp& ip) {
  std::vector<std::string> body;
  return collect_block(ip, body);
}

// "{" alone: the lines to the matching "}" run as a block.
rc_t cmd_brace_block(Interp& ip) {
  if (!ip.reader.rest().empty() && ip.version >= 800) return msg_brace_line(ip, true);
  std::vector<std::string> body;
  if (rc_t rc = collect_block(ip, body)) return rc;
  if (!ip.exec_flag) return 0;
  return run_body(ip, body);
}

// if exp command | if exp {
rc_t cmd_if(Interp& ip) {
  std::string rest(ip.reader.rest());
  if (!ip.exec_flag) {
    size_t brace = find_open_brace(rest);
    if (brace != std::string::npos && trim(std::string_view(rest).substr(brace + 1)).empty())
      return skip_block(ip);
    return 0;
  }
  ExprValue value;
  size_t used = 0;
  if (rc_t rc = eval_expression(ip, rest, &value, &used)) return rc;
  if (value.is_string) return rc_message(ip, 109);
  bool truth = value.num != 0;
  std::string_view after = trim(std::string_view(rest).substr(used));
  if (after.empty()) return msg_invalid(ip, "syntax");
  if (after == "else" || after.starts_with("else ")) {
    return msg_quoting(ip.out, "if may not be immedately followed by else\n", "", "", 198);
  }
  if (after.front() == '{') {
    if (!trim(after.substr(1)).empty() && ip.version >= 800) return msg_brace_line(ip, true);
    std::vector<std::string> body;
    if (rc_t rc = collect_block(ip, body)) return rc;
    ip.last_if = truth;
    if (!truth) return 0;
    rc_t rc = run_body(ip, body);
    ip.last_if = truth;
    return rc;
  }
  ip.last_if = truth;
  if (!truth) return 0;
  // The command after the condition runs as the rest of this line.
  ip.reader.set_pos(static_cast<size_t>(ip.reader.rest().data() - ip.cmdbuf.data()) + used);
  rc_t rc = ip.run_rest_of_line();
  ip.last_if = truth;
  return rc;
}

rc_t cmd_else(Interp& ip) {
  if (!ip.exec_flag || !ip.last_if) return ip.run_rest_of_line();
  bool saved = ip.exec_flag;
  ip.exec_flag = false;
  rc_t rc = ip.run_rest_of_line();
  ip.exec_flag = saved;
  return rc;
}

rc_t cmd_while(Interp& ip) {
  if (rc_t rc = refuse_expanded_loop(ip)) return rc;
  std::string cond;
  if (rc_t rc = split_header(ip, ip.reader.rest(), &cond)) return rc;
  if (!ip.exec_flag) return skip_block(ip);
  if (rc_t rc = check_nesting(ip)) return rc;
  std::vector<std::string> body;
  if (rc_t rc = collect_block(ip, body)) return rc;
  LoopScope scope(ip);
  for (;;) {
    std::string c = cond;
    if (rc_t rc = expand_macros(ip, c)) return rc;
    ExprValue value;
    size_t used = 0;
    if (rc_t rc = eval_expression(ip, c, &value, &used)) return rc;
    if (value.is_string) return rc_message(ip, 109);
    if (!trim(std::string_view(c).substr(used)).empty()) return msg_invalid(ip, "syntax");
    if (value.num == 0) return 0;
    rc_t rc = 0;
    if (run_pass(ip, body, &rc)) return rc;
  }
}

namespace {

// A loop of forvalues or foreach as collected: its header (expanded), the
// words of the header after the loop's local name, and its body.  `run` is
// false when the loop is only being passed over.
struct CollectedLoop {
  std::string header;
  WordReader words;
  std::string name;
  std::vector<std::string> body;
  bool run = false;
};

// The whole loop is collected before its header is judged, so a loop with
// a bad header never lets its body run as separate commands.
rc_t collect_loop(Interp& ip, CollectedLoop* loop) {
  if (rc_t rc = refuse_expanded_loop(ip)) return rc;
  if (rc_t rc = split_header(ip, ip.reader.rest(), &loop->header)) return rc;
  if (rc_t rc = check_nesting(ip)) return rc;
  if (rc_t rc = collect_block(ip, loop->body)) return rc;
  if (!ip.exec_flag) return 0;
  loop->run = true;
  if (rc_t rc = expand_macros(ip, loop->header)) return rc;
  loop->words.attach(&loop->header);
  loop->name = loop->words.next();
  if (!is_valid_name(loop->name)) return msg_invalid(ip, "syntax");
  return 0;
}

}  // namespace

// forvalues lname = start(step)end | start/end | start next to|: end
rc_t cmd_forvalues(Interp& ip) {
  CollectedLoop loop;
  if (rc_t rc = collect_loop(ip, &loop)) return rc;
  if (!loop.run) return 0;

  WordReader& r = loop.words;
  if (r.next() != "=") return msg_invalid(ip, "syntax");
  double start, step, end, second;
  if (!parse_number(r.next(Delims::Numeric), &start)) return msg_invalid(ip, "syntax");
  std::string_view w = r.next(Delims::Numeric);
  if (w == "(") {
    if (!parse_number(r.next(Delims::Numeric), &step) || r.next(Delims::Numeric) != ")" ||
        !parse_number(r.next(Delims::Numeric), &end))
      return msg_invalid(ip, "syntax");
  } else if (w == "/") {
    step = 1;
    if (!parse_number(r.next(Delims::Numeric), &end)) return msg_invalid(ip, "syntax");
  } else if (parse_number(w, &second)) {
    std::string_view sep = r.next(Delims::Numeric);
    if ((sep != "to" && sep != ":") || !parse_number(r.next(Delims::Numeric), &end))
      return msg_invalid(ip, "syntax");
    step = second - start;
  } else {
    return msg_invalid(ip, "syntax");
  }
  if (!r.at_end()) return msg_invalid(ip, "syntax");
  if (step == 0) {
    return msg_quoting(ip.out, "forvalues:  increment may not be zero\n", "", "", 198);
  }
  LoopScope scope(ip);
  // Each value is start + k*step rather than a running sum, so long
  // ranges with fractional steps do not drift past their end.
  double slack = std::fabs(step) * 1e-9;
  for (long long k = 0;; ++k) {
    double v = start + static_cast<double>(k) * step;
    if (step > 0 ? v > end + slack : v < end - slack) break;
    ip.macros.set_local(loop.name, format_number_g(v, 18));
    rc_t rc = 0;
    if (run_pass(ip, loop.body, &rc)) return rc;
  }
  return 0;
}

namespace {

// The elements of `of varlist` (kind 'a'), `of newlist` ('e') or
// `of numlist` ('u'), checked and spelled out before the first pass, so a
// bad list runs no pass at all.
rc_t foreach_list(Interp& ip, char kind, std::string_view list, std::vector<std::string>* items) {
  if (kind == 'u') {
    std::vector<double> values;
    NumlistOptions opts;
    opts.missing_ok = true;
    opts.max = 1600000;
    if (rc_t rc = read_numlist(ip, list, opts, &values)) return rc;
    for (double v : values) items->push_back(format_numlist({v}));
    return 0;
  }
  data::VarlistFailure fail;
  if (kind == 'a') {
    std::vector<int> vars;
    if (data::read_varlist(ip.dataset, list, &vars, &fail))
      return msg_quoting(ip.out, "", fail.message, "\n", fail.rc);
    for (int j : vars) items->push_back(ip.dataset.name(j));
    return 0;
  }
  std::vector<data::NewVariable> vars;
  if (data::read_new_varlist(ip.dataset, list, data::kFloat, &vars, &fail))
    return msg_quoting(ip.out, "", fail.message, "\n", fail.rc);
  for (const data::NewVariable& v : vars) items->push_back(v.name);
  return 0;
}

}  // namespace

// foreach lname in list | of local|global name | of varlist|newlist|numlist list
rc_t cmd_foreach(Interp& ip) {
  CollectedLoop loop;
  if (rc_t rc = collect_loop(ip, &loop)) return rc;
  if (!loop.run) return 0;

  WordReader& r = loop.words;
  std::string_view kind = r.next();
  std::vector<std::string> items;
  if (kind == "in") {
    items = list_element_texts(r.rest());
  } else if (kind == "of") {
    std::string_view what = r.next();
    if (abbreviates(what, "local", 3) || abbreviates(what, "global", 3)) {
      std::string name(r.next());
      if (!r.at_end() || name.empty()) return msg_invalid(ip, "syntax");
      const std::string* text = what[0] == 'l' ? ip.macros.local(name) : ip.macros.global(name);
      if (text) items = list_element_texts(*text);
    } else if (abbreviates(what, "varlist", 3) || abbreviates(what, "newlist", 3) ||
               abbreviates(what, "numlist", 3)) {
      std::string_view list = r.rest();
      if (rc_t rc = foreach_list(ip, what[1], list, &items)) return rc;
    } else {
      return msg_invalid(ip, "syntax");
    }
  } else {
    return msg_invalid(ip, "syntax");
  }
  LoopScope scope(ip);
  for (const std::string& item : items) {
    ip.macros.set_local(loop.name, item);
    rc_t rc = 0;
    if (run_pass(ip, loop.body, &rc)) return rc;
  }
  return 0;
}

// continue [, break]
rc_t cmd_continue(Interp& ip) {
  bool leave = false;
  std::string_view rest = ip.reader.rest();
  if (!rest.empty()) {
    if (rest.front() != ',') return msg_invalid(ip, "syntax");
    std::string_view opt = trim(rest.substr(1));
    if (abbreviates(opt, "break", 2))
      leave = true;
    else if (!opt.empty())
      return msg_invalid(ip, "syntax");
  }
  if (ip.loop_depth == 0) return rc_message(ip, 119);
  ip.loop_exit = leave ? 2 : 1;
  return 0;
}

}  // namespace nuvra
