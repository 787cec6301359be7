#include "interp/macro_functions.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <unordered_map>
#include <unordered_set>

#include "base/text.h"
#include "data/expr/expr.h"
#include "data/format.h"
#include "data/missing.h"
#include "interp/builtins.h"
#include "interp/creturn.h"
#include "interp/interp.h"
#include "interp/list_elements.h"
#include "interp/messages.h"
#include "interp/parse.h"
#include "data/names.h"
#include "interp/runner.h"
#include "interp/simple_expr.h"
#include "stats/matexpr.h"

namespace nuvra {

namespace {

// ---------------------------------------------------------------------------
// Text helpers

using base::is_blank;

std::string_view skip_blanks(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && is_blank(s[i])) ++i;
  return s.substr(i);
}

// A count written as digits only; false for anything else (signs,
// fractions, expressions) and for values past nine digits.
bool parse_digits(std::string_view w, long* v) { return base::parse_digits(w, 9, v); }

// One argument: a double-quoted or compound-quoted string (quotes
// removed) or a bare word; removed from `s`.  False when there is none or
// its quote is not closed.
bool take_argument(std::string_view& s, std::string* out) {
  size_t i = 0;
  ListElement e;
  if (!next_list_element(s, i, &e) || !e.closed) return false;
  out->assign(e.inner);
  s.remove_prefix(i);
  return true;
}

std::string join(const std::vector<std::string_view>& parts) {
  std::string out;
  for (size_t k = 0; k < parts.size(); ++k) {
    if (k) out.push_back(' ');
    out.append(parts[k]);
  }
  return out;
}

rc_t syntax_error(Interp& ip) { return rc_message(ip, 198); }

bool file_exists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

// ---------------------------------------------------------------------------
// The function table, in its documented order.  A minimum of 0 means the
// name must be written in full.

enum class Fn {
  Type,
  Format,
  Value,
  Variable,
  Environment,
  Tempvar,
  Tempfile,
  Rownames,
  Colnames,
  Roweq,
  Coleq,
  Rowfullnames,
  Colfullnames,
  Sortedby,
  Display,
  Word,
  Char,
  Label,
  Regexmatch,
  Regexreplace,
  Regexsubexp,
  List,
  Set,
  Log,
  Subinstr,
  Sysdir,
  Piece,
  Data,
  Adosubdir,
  UnderLength,
  Properties,
  Dirsep,
  Tsnorm,
  Serset,
  Length,
  Permname,
  Constraint,
  Copy,
};

struct FnEntry {
  const char* name;
  size_t min;
  Fn fn;
};

constexpr FnEntry kFunctions[] = {
    {"type", 1, Fn::Type},
    {"format", 1, Fn::Format},
    {"value", 3, Fn::Value},
    {"variable", 3, Fn::Variable},
    {"environment", 3, Fn::Environment},
    {"tempvar", 5, Fn::Tempvar},
    {"tempfile", 5, Fn::Tempfile},
    {"rownames", 4, Fn::Rownames},
    {"colnames", 4, Fn::Colnames},
    {"roweq", 4, Fn::Roweq},
    {"coleq", 4, Fn::Coleq},
    {"rowfullnames", 4, Fn::Rowfullnames},
    {"colfullnames", 4, Fn::Colfullnames},
    {"sortedby", 4, Fn::Sortedby},
    {"display", 2, Fn::Display},
    {"word", 4, Fn::Word},
    {"char", 4, Fn::Char},
    {"label", 3, Fn::Label},
    {"regexmatch", 5, Fn::Regexmatch},
    {"regexreplace", 6, Fn::Regexreplace},
    {"regexsubexp", 6, Fn::Regexsubexp},
    {"list", 4, Fn::List},
    {"set", 3, Fn::Set},
    {"log", 3, Fn::Log},
    {"subinstr", 8, Fn::Subinstr},
    {"sysdir", 6, Fn::Sysdir},
    {"piece", 0, Fn::Piece},
    {"data", 0, Fn::Data},
    {"adosubdir", 0, Fn::Adosubdir},
    {"_length", 0, Fn::UnderLength},
    {"properties", 0, Fn::Properties},
    {"dirsep", 0, Fn::Dirsep},
    {"tsnorm", 0, Fn::Tsnorm},
    {"serset", 0, Fn::Serset},
    {"length", 0, Fn::Length},
    {"permname", 0, Fn::Permname},
    {"constraint", 0, Fn::Constraint},
    {"copy", 0, Fn::Copy},
};

const FnEntry* find_function(std::string_view word) {
  for (const FnEntry& e : kFunctions) {
    if (e.min == 0 ? word == e.name : abbreviates(word, e.name, e.min)) return &e;
  }
  return nullptr;
}

// ---------------------------------------------------------------------------
// environment name

rc_t fn_environment(Interp& ip, std::string_view args, std::string* out) {
  std::string_view name = take_word(args);
  if (name.empty() || !trim(args).empty()) return syntax_error(ip);
  const char* v = std::getenv(std::string(name).c_str());
  if (v) out->assign(v);
  return 0;
}

// tempfile: a name in the temporary directory that no file has yet.

rc_t fn_tempfile(Interp& ip, std::string_view args, std::string* out) {
  if (!trim(args).empty()) return syntax_error(ip);
  std::string dir = ip.tmpdir.empty() ? std::string("/tmp") : ip.tmpdir;
  if (dir.back() != '/') dir.push_back('/');
  std::string path;
  do {
    char name[64];
    std::snprintf(name, sizeof name, "nv%d_%06u.tmp", ip.pid, ++ip.tempfile_counter);
    path = dir + name;
  } while (file_exists(path));
  register_tempfile(ip, path);
  *out = std::move(path);
  return 0;
}

// ---------------------------------------------------------------------------
// display: the text the display command would show for the same
// directives, without its closing newline.

// A directive's "(#)" argument right after its name; `def` when there is
// none.  Counts run from 0 to 255, as display's own.
bool directive_count(std::string_view& rest, int def, int* n) {
  *n = def;
  if (rest.empty() || rest.front() != '(') return def >= 0;
  size_t close = rest.find(')');
  if (close == std::string_view::npos) return false;
  long v;
  if (!parse_digits(trim(rest.substr(1, close - 1)), &v) || v > 255) return false;
  *n = static_cast<int>(v);
  rest.remove_prefix(close + 1);
  return true;
}

rc_t fn_display(Interp& ip, std::string_view rest, std::string* out) {
  size_t line_start = 0;  // where the current output line begins in *out
  int dup = 1;
  bool have_format = false;
  data::Format fmt;
  while (!(rest = skip_blanks(rest)).empty()) {
    std::string_view probe = rest;
    std::string_view w = take_name(probe);
    if (w == "_n" || w == "_newline") {
      int n;
      if (!directive_count(probe, 1, &n)) return syntax_error(ip);
      for (int k = 0; k < n; ++k) out->push_back('\n');
      line_start = out->size();
      rest = probe;
      continue;
    }
    if (w == "_c" || w == "_continue") {
      rest = probe;
      continue;
    }
    if (w == "_col" || w == "_column") {
      int n;
      if (!directive_count(probe, -1, &n)) return syntax_error(ip);
      size_t col = out->size() - line_start;  // columns already used
      size_t want = n > 0 ? static_cast<size_t>(n - 1) : 0;
      if (col < want) out->append(want - col, ' ');
      rest = probe;
      continue;
    }
    if (w == "_tab") {
      int n;
      if (!directive_count(probe, 1, &n)) return syntax_error(ip);
      out->append(static_cast<size_t>(n), '\t');
      rest = probe;
      continue;
    }
    if (w == "_skip" || w == "_s") {
      int n;
      if (!directive_count(probe, 1, &n)) return syntax_error(ip);
      out->append(static_cast<size_t>(n), ' ');
      rest = probe;
      continue;
    }
    if (w == "_dup" || w == "_char") {
      int n;
      if (!directive_count(probe, -1, &n)) return syntax_error(ip);
      if (w == "_dup") {
        dup = n;
      } else {
        if (n < 1) return syntax_error(ip);
        out->append(static_cast<size_t>(dup), static_cast<char>(n));
        dup = 1;
      }
      rest = probe;
      continue;
    }
    if (w == "as" || w == "in") {
      // Output classes colour what display shows; the text is the same.
      std::string_view what = take_name(probe);
      static constexpr std::string_view kClasses[] = {"text",  "txt", "result", "res",
                                                      "error", "err", "input",  "inp"};
      if (std::find(std::begin(kClasses), std::end(kClasses), what) == std::end(kClasses))
        return syntax_error(ip);
      rest = probe;
      continue;
    }
    if (rest.front() == '%') {
      std::string_view f = take_word(rest);
      if (!data::parse_format(f, &fmt)) return rc_message(ip, 120);
      have_format = true;
      continue;
    }
    ExprValue v;
    size_t used = 0;
    if (rc_t rc = eval_expression(ip, rest, &v, &used)) return rc;
    rest.remove_prefix(used);
    std::string text;
    if (have_format) {
      if (v.is_string != data::is_string_format(fmt)) return rc_message(ip, 120);
      char buf[data::kRenderBufferSize];
      if (v.is_string) {
        text = data::render_string(fmt, v.str);
      } else {
        size_t n = data::render_number(fmt, v.num, buf, sizeof buf);
        text.assign(buf, std::min(n, sizeof buf - 1));
      }
      have_format = false;
    } else {
      text = v.is_string ? v.str : format_number_g(v.num, 9);
    }
    for (int k = 0; k < dup; ++k) out->append(text);
    dup = 1;
  }
  return 0;
}

// ---------------------------------------------------------------------------
// word count text | word # of text

rc_t fn_word(Interp& ip, std::string_view args, std::string* out) {
  std::string_view first = take_word(args);
  if (first == "count") {
    *out = std::to_string(split_list_elements(args).size());
    return 0;
  }
  long n;
  if (!parse_digits(first, &n) || n < 1) return syntax_error(ip);
  if (take_word(args) != "of") return syntax_error(ip);
  size_t i = 0;
  ListElement e;
  for (long k = 1; next_list_element(args, i, &e); ++k) {
    if (k == n) {
      out->assign(e.inner);
      break;
    }
  }
  return 0;
}

// ---------------------------------------------------------------------------
// Regular expressions: POSIX extended syntax, leftmost-longest matching.

rc_t regex_failed(Interp& ip, RegexStatus st, std::string_view pattern) {
  if (st == RegexStatus::kInvalid) return msg_quoting(ip.out, "regular expression ", pattern, " invalid\n", 198);
  return msg_quoting(ip.out, "regular expression too complex to match\n", "", "", 198);
}

// regexmatch "text" "expression"
rc_t fn_regexmatch(Interp& ip, std::string_view args, std::string* out) {
  std::string text, pattern;
  if (!take_argument(args, &text) || !take_argument(args, &pattern) || !trim(args).empty())
    return syntax_error(ip);
  bool found = false;
  if (RegexStatus st = regex_search(ip.last_regex, text, pattern, &found); st != RegexStatus::kOk)
    return regex_failed(ip, st, pattern);
  *out = found ? "1" : "0";
  return 0;
}

// regexreplace "text" "expression" "replacement" [, all]
rc_t fn_regexreplace(Interp& ip, std::string_view args, std::string* out) {
  std::string text, pattern, repl;
  if (!take_argument(args, &text) || !take_argument(args, &pattern) || !take_argument(args, &repl))
    return syntax_error(ip);
  bool all = false;
  args = trim(args);
  if (!args.empty()) {
    if (args.front() != ',' || trim(args.substr(1)) != "all") return syntax_error(ip);
    all = true;
  }
  std::string result;
  if (RegexStatus st = regex_replace(ip.last_regex, text, pattern, repl, all, &result); st != RegexStatus::kOk)
    return regex_failed(ip, st, pattern);
  *out = std::move(result);
  return 0;
}

// regexsubexp #
rc_t fn_regexsubexp(Interp& ip, std::string_view args, std::string* out) {
  long n;
  std::string_view w = take_word(args);
  if (!parse_digits(w, &n) || !trim(args).empty()) return syntax_error(ip);
  const RegexMatch& st = ip.last_regex;
  if (static_cast<size_t>(n) > st.groups)
    return msg_quoting(ip.out, "subexpression ", w, " out of range\n", 198);
  if (static_cast<size_t>(n) < st.subs.size()) *out = st.subs[static_cast<size_t>(n)];
  return 0;
}

// ---------------------------------------------------------------------------
// list: lists are the text of local macros; their elements are compared
// as typed, quotes included, so results remain lists of the same elements.

rc_t list_operand(Interp& ip, std::string_view& args, std::string* text) {
  std::string_view name = take_name(args);
  if (name.empty()) return syntax_error(ip);
  const std::string* v = ip.macros.local(name);
  text->assign(v ? *v : std::string());
  return 0;
}

std::vector<std::string_view> raw_elements(const std::string& text) {
  std::vector<std::string_view> out;
  for (const ListElement& e : split_list_elements(text)) out.push_back(e.raw);
  return out;
}

bool contains(const std::vector<std::string_view>& v, std::string_view x) {
  return std::find(v.begin(), v.end(), x) != v.end();
}

// An element needs its quotes only when it holds a blank or a quote, or is
// empty.
bool needs_quotes(std::string_view inner) {
  return inner.empty() || inner.find_first_of(" \t\"`'") != std::string_view::npos;
}

rc_t list_unary(Interp& ip, std::string_view op, std::string_view& args, std::string* out) {
  std::string text;
  if (rc_t rc = list_operand(ip, args, &text)) return rc;
  if (!trim(args).empty()) return syntax_error(ip);
  std::vector<std::string_view> el = raw_elements(text);
  std::vector<std::string_view> res;
  if (op == "uniq") {
    for (std::string_view e : el)
      if (!contains(res, e)) res.push_back(e);
  } else if (op == "dups") {
    std::vector<std::string_view> seen;
    for (std::string_view e : el) {
      if (contains(seen, e))
        res.push_back(e);
      else
        seen.push_back(e);
    }
  } else if (op == "sort") {
    res = el;
    std::sort(res.begin(), res.end());
  } else if (op == "sizeof") {
    *out = std::to_string(el.size());
    return 0;
  } else if (op == "clean") {
    for (const ListElement& e : split_list_elements(text))
      res.push_back(needs_quotes(e.inner) ? e.raw : e.inner);
  } else {  // retokenize
    res = el;
  }
  *out = join(res);
  return 0;
}

rc_t fn_list(Interp& ip, std::string_view args, std::string* out) {
  std::string_view probe = args;
  std::string_view op = take_name(probe);
  bool unary = op == "uniq" || op == "dups" || op == "sort" || op == "sizeof" || op == "clean" ||
               abbreviates(op, "retokenize", 5);
  // A unary operation is followed by a macro name; otherwise the word may
  // be the first operand of a binary operator.
  std::string_view after = skip_blanks(probe);
  if (unary && !after.empty() && is_name_char(after.front())) return list_unary(ip, op, probe, out);
  if (op == "posof") {
    std::string elem;
    if (!take_argument(probe, &elem)) return syntax_error(ip);
    if (take_word(probe) != "in") return syntax_error(ip);
    std::string text;
    if (rc_t rc = list_operand(ip, probe, &text)) return rc;
    if (!trim(probe).empty()) return syntax_error(ip);
    size_t pos = 0, k = 0;
    for (const ListElement& e : split_list_elements(text)) {
      ++k;
      if (e.inner == elem) {
        pos = k;
        break;
      }
    }
    *out = std::to_string(pos);
    return 0;
  }
  std::string a, b;
  if (rc_t rc = list_operand(ip, args, &a)) return rc;
  args = skip_blanks(args);
  std::string_view oper;
  for (std::string_view o : {"===", "==", "|", "&", "-"}) {
    if (args.starts_with(o)) {
      oper = o;
      break;
    }
  }
  if (oper.empty()) {
    std::string_view w = take_name(args);
    if (w != "in") return syntax_error(ip);
    oper = "in";
  } else {
    args.remove_prefix(oper.size());
  }
  if (rc_t rc = list_operand(ip, args, &b)) return rc;
  if (!trim(args).empty()) return syntax_error(ip);
  std::vector<std::string_view> ea = raw_elements(a), eb = raw_elements(b);
  std::vector<std::string_view> res;
  if (oper == "|") {
    res = ea;
    for (std::string_view e : eb)
      if (!contains(res, e)) res.push_back(e);
  } else if (oper == "&") {
    for (std::string_view e : ea)
      if (contains(eb, e) && !contains(res, e)) res.push_back(e);
  } else if (oper == "-") {
    for (std::string_view e : ea)
      if (!contains(eb, e)) res.push_back(e);
  } else if (oper == "===") {
    *out = ea == eb ? "1" : "0";
    return 0;
  } else {
    bool a_in_b =
        std::all_of(ea.begin(), ea.end(), [&](std::string_view e) { return contains(eb, e); });
    if (oper == "in") {
      *out = a_in_b ? "1" : "0";
    } else {
      bool b_in_a =
          std::all_of(eb.begin(), eb.end(), [&](std::string_view e) { return contains(ea, e); });
      *out = a_in_b && b_in_a ? "1" : "0";
    }
    return 0;
  }
  *out = join(res);
  return 0;
}

// ---------------------------------------------------------------------------
// set name: the value of a setting.

rc_t fn_set(Interp& ip, std::string_view args, std::string* out) {
  std::string_view name = take_word(args);
  if (name.empty() || !trim(args).empty()) return syntax_error(ip);
  // The settings `set` changes; their values are the ones c() gives.
  static constexpr const char* kSettings[] = {"memory", "maxvar",     "matsize", "varabbrev", "more",  "rmsg",
                                              "trace",  "tracedepth", "type",    "processors", "level", "seed",
                                              "sortseed", "dp",       "logtype"};
  std::string key(name);
  if (abbreviates(name, "linesize", 5)) key = "linesize";
  if (abbreviates(name, "pagesize", 5)) key = "pagesize";
  bool known = key == "linesize" || key == "pagesize";
  for (const char* k : kSettings) known = known || key == k;
  CValue v;
  if (!known || !c_value(ip, key, &v)) return msg_quoting(ip.out, "set ", name, " not allowed\n", 198);
  *out = v.is_string ? v.str : format_number_g(v.num, 18);
  return 0;
}

// ---------------------------------------------------------------------------
// tempvar: a name for a temporary variable, dropped when the program ends.

rc_t fn_tempvar(Interp& ip, std::string_view args, std::string* out) {
  if (!trim(args).empty()) return syntax_error(ip);
  char buf[32];
  std::snprintf(buf, sizeof buf, "__%06u", ip.tempname_counter++);
  ip.temp_vars.back().emplace_back(buf);
  *out = buf;
  return 0;
}

// ---------------------------------------------------------------------------
// rownames, colnames, roweq, coleq, rowfullnames, colfullnames matname:
// the stripe of a matrix, one word per row or column.  An element without
// an equation has the equation "_".

rc_t fn_stripe(Interp& ip, Fn fn, std::string_view args, std::string* out) {
  std::string_view name = trim(args);
  if (name.empty() || name.find_first_of(" \t") != std::string_view::npos) return syntax_error(ip);
  const stats::Matrix* m = stats::lookup_matrix(ip, name);
  if (!m) return msg_quoting(ip.out, "matrix ", name, " not found\n", 111);
  bool rows = fn == Fn::Rownames || fn == Fn::Roweq || fn == Fn::Rowfullnames;
  const std::vector<std::string>& names = rows ? m->rownames : m->colnames;
  const std::vector<std::string>& eqs = rows ? m->roweq : m->coleq;
  bool any_eq = rows ? m->any_equation_rows() : m->any_equation_cols();
  std::vector<std::string> words;
  for (size_t k = 0; k < names.size(); ++k) {
    std::string eq = k < eqs.size() && !eqs[k].empty() ? eqs[k] : "_";
    if (fn == Fn::Roweq || fn == Fn::Coleq)
      words.push_back(eq);
    else if ((fn == Fn::Rowfullnames || fn == Fn::Colfullnames) && any_eq)
      words.push_back(eq + ":" + names[k]);
    else
      words.push_back(names[k]);
  }
  *out = join(std::vector<std::string_view>(words.begin(), words.end()));
  return 0;
}

// ---------------------------------------------------------------------------
// tsnorm ops [, varname]: time-series operators in their canonical form;
// with varname, an operated variable ("L.gdp" -> "L.gdp", "LL.x" -> "L2.x").

rc_t fn_tsnorm(Interp& ip, std::string_view args, std::string* out) {
  std::string_view text = trim(args), options;
  if (size_t comma = text.find(','); comma != std::string_view::npos) {
    options = trim(text.substr(comma + 1));
    text = trim(text.substr(0, comma));
  }
  bool varname = false;
  if (!options.empty()) {
    if (!abbreviates(options, "varname", 3)) return msg_quoting(ip.out, "option ", options, " not allowed\n", 198);
    varname = true;
  }
  if (text.empty() || text.find_first_of(" \t") != std::string_view::npos) return syntax_error(ip);
  std::string_view ops = text, var;
  if (varname) {
    size_t dot = text.rfind('.');
    if (dot == std::string_view::npos) {
      *out = std::string(text);
      return 0;
    }
    ops = text.substr(0, dot);
    var = text.substr(dot + 1);
    if (!is_valid_name(var)) return syntax_error(ip);
  }
  std::string canonical;
  if (rc_t rc = expr::ts_canonical(ip, ops, &canonical)) return rc;
  // A count of one is left unwritten: "L1D1" reads as "LD".
  std::string shortened;
  for (size_t k = 0; k < canonical.size(); ++k) {
    char c = canonical[k];
    bool lone_one = c == '1' && k > 0 && std::isalpha(static_cast<unsigned char>(canonical[k - 1])) &&
                    (k + 1 == canonical.size() || std::isalpha(static_cast<unsigned char>(canonical[k + 1])));
    if (!lone_one) shortened.push_back(c);
  }
  canonical.swap(shortened);
  *out = varname ? (canonical.empty() ? std::string(var) : canonical + "." + std::string(var)) : canonical;
  return 0;
}

// ---------------------------------------------------------------------------
// subinstr local|global name "from" "to" [, all word count(local|global name)]

bool macro_kind(std::string_view w, bool* global) {
  if (w == "local") {
    *global = false;
    return true;
  }
  if (w == "global") {
    *global = true;
    return true;
  }
  return false;
}

const std::string* get_macro(Interp& ip, bool global, std::string_view name) {
  return global ? ip.macros.global(name) : ip.macros.local(name);
}

// Reads "local name" or "global name".
bool macro_ref(std::string_view& args, bool* global, std::string_view* name) {
  if (!macro_kind(take_word(args), global)) return false;
  *name = take_name(args);
  return !name->empty();
}

size_t substitute(std::string& text, std::string_view from, std::string_view to, bool all,
                  bool word) {
  if (from.empty()) return 0;
  size_t count = 0;
  size_t pos = 0;
  while ((pos = text.find(from, pos)) != std::string::npos) {
    size_t end = pos + from.size();
    if (word &&
        ((pos > 0 && !is_blank(text[pos - 1])) || (end < text.size() && !is_blank(text[end])))) {
      ++pos;
      continue;
    }
    text.replace(pos, from.size(), to);
    pos += to.size();
    ++count;
    if (!all) break;
  }
  return count;
}

rc_t fn_subinstr(Interp& ip, std::string_view args, std::string* out) {
  bool global;
  std::string_view name;
  if (!macro_ref(args, &global, &name)) return syntax_error(ip);
  std::string from, to;
  if (!take_argument(args, &from) || !take_argument(args, &to)) return syntax_error(ip);
  bool all = false, word = false, counting = false, count_global = false;
  std::string count_name;
  args = trim(args);
  if (!args.empty()) {
    if (args.front() != ',') return syntax_error(ip);
    args.remove_prefix(1);
    while (!(args = skip_blanks(args)).empty()) {
      std::string_view opt = take_name(args);
      if (opt == "all") {
        all = true;
      } else if (opt == "word") {
        word = true;
      } else if (opt == "count" && !args.empty() && args.front() == '(') {
        size_t close = args.find(')');
        if (close == std::string_view::npos) return syntax_error(ip);
        std::string_view inside = args.substr(1, close - 1);
        std::string_view cname;
        if (!macro_ref(inside, &count_global, &cname) || !trim(inside).empty())
          return syntax_error(ip);
        count_name.assign(cname);
        counting = true;
        args.remove_prefix(close + 1);
      } else {
        return msg_quoting(ip.out, "option ", opt.empty() ? take_word(args) : opt, " not allowed\n",
                           198);
      }
    }
  }
  const std::string* v = get_macro(ip, global, name);
  std::string text = v ? *v : std::string();
  size_t n = substitute(text, from, to, all, word);
  if (counting) {
    std::string c = std::to_string(n);
    if (count_global)
      ip.macros.set_global(count_name, c);
    else
      ip.macros.set_local(count_name, c);
  }
  *out = std::move(text);
  return 0;
}

// ---------------------------------------------------------------------------
// sysdir NAME: one system directory, resolved as the search path does.

rc_t fn_sysdir(Interp& ip, std::string_view args, std::string* out) {
  std::string name(take_word(args));
  if (name.empty() || !trim(args).empty()) return syntax_error(ip);
  for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  static constexpr std::string_view kNames[] = {"UPDATES", "BASE",     "SITE",
                                                "PLUS",    "PERSONAL", "OLDPLACE"};
  if (std::find(std::begin(kNames), std::end(kNames), name) == std::end(kNames))
    return msg_quoting(ip.out, "", name, " invalid system directory name\n", 198);
  // The search path owns the meaning of these names: let it resolve a
  // path made of this one name, then put the user's path back.
  const std::string* cur = ip.macros.global("S_ADO");
  bool had = cur != nullptr;
  std::string saved = had ? *cur : std::string();
  ip.macros.set_global("S_ADO", name);
  std::vector<std::string> dirs = search_path_dirs(ip);
  if (had)
    ip.macros.set_global("S_ADO", saved);
  else
    ip.macros.drop_global("S_ADO");
  if (!dirs.empty()) *out = dirs.front();
  return 0;
}

// ---------------------------------------------------------------------------
// piece #1 #2 of "text" [, nobreak]: the #1-th piece of at most #2
// characters, broken at blanks.

std::string_view nth_piece(std::string_view text, size_t which, size_t width, bool nobreak) {
  size_t p = 0;
  for (size_t k = 1;; ++k) {
    while (p < text.size() && is_blank(text[p])) ++p;
    if (p >= text.size()) return {};
    size_t end;
    if (text.size() - p <= width) {
      end = text.size();
    } else if (is_blank(text[p + width])) {
      end = p + width;
    } else {
      size_t b = text.find_last_of(" \t", p + width);
      if (b != std::string_view::npos && b > p) {
        end = b;
      } else if (nobreak) {
        end = p;
        while (end < text.size() && !is_blank(text[end])) ++end;
      } else {
        end = p + width;
      }
    }
    std::string_view piece = text.substr(p, end - p);
    while (!piece.empty() && is_blank(piece.back())) piece.remove_suffix(1);
    if (k == which) return piece;
    p = end;
  }
}

rc_t fn_piece(Interp& ip, std::string_view args, std::string* out) {
  long which, width;
  if (!parse_digits(take_word(args), &which) || which < 1) return syntax_error(ip);
  if (!parse_digits(take_word(args), &width) || width < 1) return syntax_error(ip);
  if (take_word(args) != "of") return syntax_error(ip);
  args = skip_blanks(args);
  std::string text;
  bool nobreak = false;
  if (!args.empty() && (args.front() == '"' || args.starts_with("`\""))) {
    if (!take_argument(args, &text)) return syntax_error(ip);
    args = trim(args);
    if (!args.empty()) {
      if (args.front() != ',' || trim(args.substr(1)) != "nobreak") return syntax_error(ip);
      nobreak = true;
    }
  } else {
    text.assign(trim(args));
  }
  out->assign(nth_piece(text, static_cast<size_t>(which), static_cast<size_t>(width), nobreak));
  return 0;
}

// ---------------------------------------------------------------------------
// adosubdir "name": the subdirectory the search path looks in for a file.

rc_t fn_adosubdir(Interp& ip, std::string_view args, std::string* out) {
  std::string name;
  if (!take_argument(args, &name) || name.empty() || !trim(args).empty()) return syntax_error(ip);
  if (name.size() > 6 && name.ends_with(".style"))
    *out = "style";
  else
    *out = name.substr(0, 1);
  return 0;
}

// length local|global name, and copy local|global name

rc_t macro_text_of(Interp& ip, std::string_view args, std::string* text) {
  bool global;
  std::string_view name;
  if (!macro_ref(args, &global, &name) || !trim(args).empty()) return syntax_error(ip);
  const std::string* v = get_macro(ip, global, name);
  text->assign(v ? *v : std::string());
  return 0;
}

rc_t fn_length(Interp& ip, std::string_view args, std::string* out) {
  std::string text;
  if (rc_t rc = macro_text_of(ip, args, &text)) return rc;
  *out = std::to_string(text.size());
  return 0;
}

rc_t fn_copy(Interp& ip, std::string_view args, std::string* out) {
  return macro_text_of(ip, args, out);
}

// ---------------------------------------------------------------------------
// permname suggested [, length(#)]: a valid name made from the suggestion.

bool is_reserved_name(std::string_view n) {
  static constexpr std::string_view kReserved[] = {
      "_all", "_b", "byte", "_coef", "_cons", "double", "float", "if",  "in",    "int", "long",
      "_n",   "_N", "_pi",  "_pred", "_rc",   "_se",    "_skip", "str", "using", "with"};
  if (std::find(std::begin(kReserved), std::end(kReserved), n) != std::end(kReserved)) return true;
  // str1, str2, ...: the string storage types
  return n.size() > 3 && n.starts_with("str") &&
         std::all_of(n.begin() + 3, n.end(), [](char c) { return c >= '0' && c <= '9'; });
}

rc_t fn_permname(Interp& ip, std::string_view args, std::string* out) {
  args = skip_blanks(args);
  size_t cut = 0;
  while (cut < args.size() && !is_blank(args[cut]) && args[cut] != ',') ++cut;
  std::string_view sugg = args.substr(0, cut);
  args.remove_prefix(cut);
  if (sugg.empty()) return syntax_error(ip);
  long len = ip.version >= 700 ? 32 : 8;
  args = trim(args);
  if (!args.empty()) {
    std::string_view opt = args;
    if (opt.front() != ',') return syntax_error(ip);
    opt = trim(opt.substr(1));
    if (!opt.starts_with("length(") || !opt.ends_with(")")) return syntax_error(ip);
    long n;
    if (!parse_digits(trim(opt.substr(7, opt.size() - 8)), &n) || n < 1 || n > 32)
      return syntax_error(ip);
    len = n;
  }
  std::string name;
  for (char c : sugg) name.push_back(is_name_char(c) ? c : '_');
  if (!is_name_start(name[0])) name.insert(name.begin(), '_');
  if (name.size() > static_cast<size_t>(len)) name.resize(static_cast<size_t>(len));
  if (is_reserved_name(name)) {
    name.insert(name.begin(), '_');
    if (name.size() > static_cast<size_t>(len)) name.resize(static_cast<size_t>(len));
  }
  *out = std::move(name);
  return 0;
}

// A variable of the dataset by name or abbreviation; prints the store's
// message when there is none.
rc_t find_variable(Interp& ip, std::string_view name, int* j) {
  std::string msg;
  rc_t rc = ip.dataset.find(trim(name), j, &msg);
  if (rc) return msg_quoting(ip.out, "", msg, "\n", rc);
  return 0;
}

// The functions that describe the dataset: type, format, value label,
// variable label, data label, sortedby, char and label.
rc_t fn_dataset(Interp& ip, Fn fn, std::string_view args, std::string* out) {
  const data::Dataset& ds = ip.dataset;
  int j = 0;
  switch (fn) {
    case Fn::Type:
    case Fn::Format: {
      std::string_view name = take_name(args);
      if (name.empty() || !trim(args).empty()) return syntax_error(ip);
      if (rc_t rc = find_variable(ip, name, &j)) return rc;
      *out = fn == Fn::Type ? data::type_name(ds.type(j)) : ds.format(j);
      return 0;
    }
    case Fn::Value:
    case Fn::Variable:
    case Fn::Data: {
      // "value label varname", "variable label varname", "data label"
      std::string_view word = take_name(args);
      if (word != "label" && word != "l" && word != "la" && word != "lab" && word != "labe")
        return syntax_error(ip);
      if (fn == Fn::Data) {
        if (!trim(args).empty()) return syntax_error(ip);
        *out = ds.data_label();
        return 0;
      }
      std::string_view name = take_name(args);
      if (name.empty() || !trim(args).empty()) return syntax_error(ip);
      if (rc_t rc = find_variable(ip, name, &j)) return rc;
      *out = fn == Fn::Value ? ds.value_label_name(j) : ds.label(j);
      return 0;
    }
    case Fn::Sortedby: {
      if (!trim(args).empty()) return syntax_error(ip);
      for (uint16_t v : ds.sort_list()) {
        if (v == 0) break;
        if (!out->empty()) out->push_back(' ');
        out->append(ds.name(v));
      }
      return 0;
    }
    case Fn::Char: {
      // "char owner[name]" gives the contents; "char owner[]" the names.
      std::string_view t = trim(args);
      size_t open = t.find('[');
      if (open == std::string_view::npos || t.back() != ']') return syntax_error(ip);
      std::string owner(trim(t.substr(0, open)));
      std::string_view cname = trim(t.substr(open + 1, t.size() - open - 2));
      if (owner != "_dta") {
        if (rc_t rc = find_variable(ip, owner, &j)) return rc;
        owner = ds.name(j);
      }
      if (cname.empty()) {
        for (const auto& e : ds.chars().entries(owner)) {
          if (!out->empty()) out->push_back(' ');
          out->append(e.name);
        }
        return 0;
      }
      if (const std::string* c = ds.chars().get(owner, cname)) *out = *c;
      return 0;
    }
    case Fn::Label: {
      // "label lblname #" or "label (varname) #": the text for the value,
      // or the value itself when the table has none.
      std::string_view t = trim(args);
      std::string table;
      if (!t.empty() && t.front() == '(') {
        size_t close = t.find(')');
        if (close == std::string_view::npos) return syntax_error(ip);
        if (rc_t rc = find_variable(ip, t.substr(1, close - 1), &j)) return rc;
        table = ds.value_label_name(j);
        t = t.substr(close + 1);
      } else {
        table = std::string(take_name(t));
        if (table.empty()) return syntax_error(ip);
      }
      std::string_view num = trim(t);
      const data::ValueLabel* vl = table.empty() ? nullptr : ds.value_labels().get(table);
      // .a to .z are labelled like numbers.
      if (num.size() == 2 && num[0] == '.' && num[1] >= 'a' && num[1] <= 'z') {
        if (!table.empty() && !vl && j == 0)
          return msg_quoting(ip.out, "value label ", table, " not found\n", 111);
        const char* text = vl ? vl->find_value(data::missing_value(num[1] - 'a' + 1)) : nullptr;
        *out = text ? std::string(text) : std::string(num);
        return 0;
      }
      char* end = nullptr;
      std::string n(num);
      double v = std::strtod(n.c_str(), &end);
      if (n.empty() || *end != '\0') return syntax_error(ip);
      if (!table.empty() && !vl && j == 0)
        return msg_quoting(ip.out, "value label ", table, " not found\n", 111);
      const char* text = vl ? vl->find_value(v) : nullptr;
      *out = text ? std::string(text) : format_number_g(v, 18);
      return 0;
    }
    default:
      return syntax_error(ip);
  }
}

rc_t fn_not_available(Interp& ip, std::string_view what) {
  return msg_quoting(ip.out, "extended macro function ", what, " not yet available\n", 199);
}

}  // namespace

// ---------------------------------------------------------------------------

rc_t display_text(Interp& ip, std::string_view text, std::string* out) {
  out->clear();
  rc_t rc = fn_display(ip, text, out);
  if (rc) out->clear();
  return rc;
}

void register_tempfile(Interp& ip, std::string path) {
  if (ip.temp_files.empty()) ip.temp_files.emplace_back();
  ip.temp_files.back().push_back(std::move(path));
}

rc_t macro_function(Interp& ip, std::string_view text, std::string* out) {
  out->clear();
  std::string_view args = text;
  std::string_view word = take_name(args);
  const FnEntry* e = word.empty() ? nullptr : find_function(word);
  if (!e) {
    std::string_view shown = word.empty() ? trim(text) : word;
    if (shown.empty()) return syntax_error(ip);
    return msg_quoting(ip.out, "", shown, " not allowed\n", 198);
  }
  rc_t rc = 0;
  switch (e->fn) {
    case Fn::Environment:
      rc = fn_environment(ip, args, out);
      break;
    case Fn::Tempfile:
      rc = fn_tempfile(ip, args, out);
      break;
    case Fn::Display:
      rc = fn_display(ip, args, out);
      break;
    case Fn::Word:
      rc = fn_word(ip, args, out);
      break;
    case Fn::Regexmatch:
      rc = fn_regexmatch(ip, args, out);
      break;
    case Fn::Regexreplace:
      rc = fn_regexreplace(ip, args, out);
      break;
    case Fn::Regexsubexp:
      rc = fn_regexsubexp(ip, args, out);
      break;
    case Fn::List:
      rc = fn_list(ip, args, out);
      break;
    case Fn::Set:
      rc = fn_set(ip, args, out);
      break;
    case Fn::Log:
      // No log can be open yet, so there is no log state to report.
      break;
    case Fn::Subinstr:
      rc = fn_subinstr(ip, args, out);
      break;
    case Fn::Sysdir:
      rc = fn_sysdir(ip, args, out);
      break;
    case Fn::Piece:
      rc = fn_piece(ip, args, out);
      break;
    case Fn::Adosubdir:
      rc = fn_adosubdir(ip, args, out);
      break;
    case Fn::Length:
    case Fn::UnderLength:
      rc = fn_length(ip, args, out);
      break;
    case Fn::Dirsep:
      if (!trim(args).empty()) return syntax_error(ip);
      *out = "/";
      break;
    case Fn::Permname:
      rc = fn_permname(ip, args, out);
      break;
    case Fn::Copy:
      rc = fn_copy(ip, args, out);
      break;
    case Fn::Properties:
      // Programs carry no properties yet: every program's list is empty.
      if (take_name(args).empty() || !trim(args).empty()) return syntax_error(ip);
      break;
    case Fn::Value:
    case Fn::Variable:
    case Fn::Data:
    case Fn::Type:
    case Fn::Format:
    case Fn::Sortedby:
    case Fn::Char:
    case Fn::Label:
      rc = fn_dataset(ip, e->fn, args, out);
      break;
    case Fn::Tempvar:
      rc = fn_tempvar(ip, args, out);
      break;
    case Fn::Rownames:
    case Fn::Colnames:
    case Fn::Roweq:
    case Fn::Coleq:
    case Fn::Rowfullnames:
    case Fn::Colfullnames:
      rc = fn_stripe(ip, e->fn, args, out);
      break;
    case Fn::Tsnorm:
      rc = fn_tsnorm(ip, args, out);
      break;
    // Graph data sets and estimation constraints are subsystems of their
    // own, not built yet.
    case Fn::Serset:
    case Fn::Constraint:
      return fn_not_available(ip, e->name);
  }
  if (rc) out->clear();
  return rc;
}

}  // namespace nuvra
