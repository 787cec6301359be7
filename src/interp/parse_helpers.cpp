// The commands programs use to take their arguments apart: args,
// gettoken, tokenize, _parse comma, numlist, confirm and unabcmd.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "base/text.h"
#include "data/format.h"
#include "data/storage.h"
#include "data/varlist.h"
#include "interp/builtins.h"
#include "interp/interp.h"
#include "interp/messages.h"
#include "data/names.h"
#include "interp/numlist.h"
#include "interp/parse.h"
#include "interp/runner.h"

namespace nuvra {

namespace {

using base::is_blank;
using base::skip_blanks;

// End (one past) of the quoted string at `open` (plain or compound);
// npos when it never closes.
size_t quoted_end(std::string_view s, size_t open) {
  if (s[open] == '"') {
    size_t close = s.find('"', open + 1);
    return close == std::string_view::npos ? close : close + 1;
  }
  return base::compound_quote_end(s, open);
}

bool opens_quote(std::string_view s, size_t i) {
  return s[i] == '"' || (s[i] == '`' && i + 1 < s.size() && s[i + 1] == '"');
}

}  // namespace

// The first comma outside quotes and brackets: where the options start.
size_t options_comma(std::string_view s) {
  int depth = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    if (opens_quote(s, i)) {
      size_t e = quoted_end(s, i);
      if (e == std::string_view::npos) return e;
      i = e - 1;
    } else if (s[i] == '(' || s[i] == '[') {
      ++depth;
    } else if ((s[i] == ')' || s[i] == ']') && depth > 0) {
      --depth;
    } else if (s[i] == ',' && depth == 0) {
      return i;
    }
  }
  return std::string_view::npos;
}

namespace {

}  // namespace

// `s` without one pair of quotes that encloses all of it.
std::string_view unquote_whole(std::string_view s) {
  s = trim(s);
  if (s.empty() || !opens_quote(s, 0)) return s;
  size_t e = quoted_end(s, 0);
  if (e != s.size()) return s;
  return s[0] == '"' ? s.substr(1, s.size() - 2) : s.substr(2, s.size() - 4);
}

namespace {

}  // namespace

// Runs the standard option parse over the text from `comma` (an index
// into `rest`, which views the command buffer) on.  No comma, no options.
rc_t parse_options(Interp& ip, std::string_view rest, size_t comma, CommandLine* cl) {
  *cl = CommandLine{};
  if (comma == std::string_view::npos) return 0;
  size_t saved = ip.reader.pos();
  ip.reader.set_pos(static_cast<size_t>(rest.data() - ip.cmdbuf.data()) + comma);
  ParseSettings st;
  rc_t rc = standard_parse(ip, st, cl);
  ip.reader.set_pos(saved);
  return rc;
}

rc_t read_options(Interp& ip, std::string_view rest, std::string_view* before, CommandLine* cl) {
  size_t comma = options_comma(rest);
  *before = rest.substr(0, comma);
  return parse_options(ip, rest, comma, cl);
}

namespace {

// Local macro names: letters, digits and underscores, 1 to 31 of them.
// Digits may lead so that the argument locals 0, 1, 2, ... can be named.
bool valid_local_name(std::string_view s) {
  if (s.empty() || s.size() > 31) return false;
  for (char c : s)
    if (!is_name_char(c)) return false;
  return true;
}

rc_t invalid_name(Interp& ip, std::string_view name, rc_t code = 198) {
  return msg_quoting(ip.out, "", name, " invalid name\n", code);
}

// ---- the tokenizer shared by gettoken and tokenize

struct TokenRules {
  std::string pchars = " ";
  bool keep_quotes = false;  // `quotes`: the quotes stay in the token
  bool match = false;        // a leading ( or [ runs to its partner
  bool bind = false;         // bracketed text inside a token never splits it
};

struct Token {
  std::string text;
  bool quoted = false;
  char matched = 0;  // '(' or '[' when match() took a bracketed token
  size_t end = 0;    // where the rest of the source begins
};

// Index one past the bracket that closes the one at `open`, counting both
// kinds and skipping quoted strings; npos when there is none.
size_t bracket_end(std::string_view s, size_t open) {
  int depth = 0;
  for (size_t i = open; i < s.size(); ++i) {
    if (opens_quote(s, i)) {
      size_t e = quoted_end(s, i);
      if (e == std::string_view::npos) return e;
      i = e - 1;
    } else if (s[i] == '(' || s[i] == '[') {
      ++depth;
    } else if (s[i] == ')' || s[i] == ']') {
      if (--depth == 0) return i + 1;
    }
  }
  return std::string_view::npos;
}

rc_t unmatched(Interp& ip) { return msg_quoting(ip.out, "too few ')' or ']'\n", "", "", 132); }

// Takes the first token of `s`.  Leading blanks are skipped; the rest of
// the source, from Token::end, keeps the blank that followed the token, as
// the programs that test for a separator expect.
rc_t take_token(Interp& ip, std::string_view s, const TokenRules& r, Token* t) {
  *t = Token{};
  bool blank_parses = r.pchars.find(' ') != std::string::npos;
  auto is_pchar = [&](char c) {
    return r.pchars.find(c) != std::string::npos || (blank_parses && c == '\t');
  };
  size_t i = skip_blanks(s, 0);
  if (i >= s.size()) {
    t->end = s.size();
    return 0;
  }
  if (opens_quote(s, i)) {
    size_t e = quoted_end(s, i);
    size_t stop = e == std::string_view::npos ? s.size() : e;
    size_t open_len = s[i] == '"' ? 1 : 2;
    if (r.keep_quotes) {
      t->text.assign(s.substr(i, stop - i));
    } else {
      size_t close_len = e == std::string_view::npos ? 0 : open_len;
      t->text.assign(s.substr(i + open_len, stop - i - open_len - close_len));
    }
    t->quoted = true;
    t->end = stop;
    return 0;
  }
  if (r.match && (s[i] == '(' || s[i] == '[')) {
    size_t e = bracket_end(s, i);
    if (e == std::string_view::npos) return unmatched(ip);
    t->text.assign(s.substr(i + 1, e - i - 2));
    t->matched = s[i];
    t->end = e;
    return 0;
  }
  if (is_pchar(s[i])) {
    t->text.assign(1, s[i]);
    t->end = i + 1;
    return 0;
  }
  size_t j = i;
  while (j < s.size() && !is_pchar(s[j])) {
    if (r.bind && (s[j] == '(' || s[j] == '[')) {
      size_t e = bracket_end(s, j);
      if (e == std::string_view::npos) return unmatched(ip);
      j = e;
      continue;
    }
    ++j;
  }
  t->text.assign(s.substr(i, j - i));
  t->end = j;
  return 0;
}

// Reads parse("pchars") into the rules; the leftover check reports it
// when malformed.
void read_parse_option(CommandLine& cl, TokenRules* r) {
  std::string p;
  if (cl.string("parse", 1, &p, 1000, 1)) r->pchars = p;
}

void assign_local(Interp& ip, std::string_view name, std::string_view text) {
  if (text.empty())
    ip.macros.drop_local(name);
  else
    ip.macros.set_local(name, text);
}

// ---- gettoken's macro names: "name", "(local) name" or "(global) name"

struct MacroRef {
  std::string name;
  bool global = false;
};

// Reads one macro reference from s at i; false (with i unchanged) when
// there is none there.
rc_t read_macro_ref(Interp& ip, std::string_view s, size_t& i, MacroRef* out, bool* found) {
  *found = false;
  size_t j = skip_blanks(s, i);
  if (j >= s.size() || s[j] == ':' || s[j] == ',') return 0;
  bool global = false;
  if (s[j] == '(') {
    size_t close = s.find(')', j);
    if (close == std::string_view::npos) return msg_invalid(ip, "syntax");
    std::string_view kind = trim(s.substr(j + 1, close - j - 1));
    if (kind == "global")
      global = true;
    else if (kind != "local")
      return msg_invalid(ip, "syntax");
    j = skip_blanks(s, close + 1);
  }
  size_t e = j;
  while (e < s.size() && !is_blank(s[e]) && s[e] != ':' && s[e] != ',') ++e;
  std::string_view name = s.substr(j, e - j);
  if (name.empty()) return msg_invalid(ip, "syntax");
  if (global ? !is_valid_name(name) || name[0] == '_' : !valid_local_name(name))
    return invalid_name(ip, name);
  out->name.assign(name);
  out->global = global;
  *found = true;
  i = e;
  return 0;
}

void assign_macro(Interp& ip, const MacroRef& m, std::string_view text) {
  if (!m.global) {
    assign_local(ip, m.name, text);
  } else if (text.empty()) {
    ip.macros.drop_global(m.name);
  } else {
    ip.macros.set_global(m.name, text);
  }
}

// A local named by an option such as qed(name); empty when not given.
rc_t local_name_option(Interp& ip, CommandLine& cl, std::string_view opt, size_t min, std::string* out) {
  out->clear();
  if (!cl.string(opt, min, out, 100, 1)) return 0;
  if (!valid_local_name(*out)) return invalid_name(ip, *out);
  return 0;
}

// ---- confirm

bool is_number_text(std::string_view s, bool* whole) {
  s = trim(s);
  if (s.empty()) return false;
  // Missing values are numbers of the language: ".", ".a" .. ".z".
  if (s == "." || (s.size() == 2 && s[0] == '.' && s[1] >= 'a' && s[1] <= 'z')) {
    *whole = false;
    return true;
  }
  if (base::decimal_literal_end(s, 0) != s.size()) return false;
  double v = std::strtod(std::string(s).c_str(), nullptr);
  if (!(v > -8.988e307 && v < 8.988e307)) return false;
  *whole = v == std::floor(v);
  return true;
}

rc_t found_where(Interp& ip, std::string_view text, std::string_view expected) {
  std::string after = "' found where ";
  after += expected;
  after += " expected\n";
  return msg_quoting(ip.out, "'", text, after, 7);
}

// "~/" at the start of a path names the home directory.
std::string expand_home(std::string_view path) {
  if (path == "~" || path.starts_with("~/")) {
    const char* home = std::getenv("HOME");
    if (home) return std::string(home) + std::string(path.substr(1));
  }
  return std::string(path);
}

rc_t confirm_file(Interp& ip, std::string_view arg, bool want_new) {
  std::string shown(unquote_whole(arg));
  if (shown.empty()) return rc_message(ip, 7197);
  std::string path = expand_home(shown);
  struct stat st;
  bool exists = ::stat(path.c_str(), &st) == 0;
  if (want_new) {
    if (exists || ::lstat(path.c_str(), &st) == 0)
      return msg_quoting(ip.out, "file ", shown, " already exists\n", 602);
    // The file could be made only if it can be created now; it is removed
    // again at once.
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
    if (fd < 0) return msg_quoting(ip.out, "file ", shown, " could not be opened\n", 603);
    ::close(fd);
    ::unlink(path.c_str());
    return 0;
  }
  if (!exists || S_ISDIR(st.st_mode)) return msg_quoting(ip.out, "file ", shown, " not found\n", 601);
  int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) return msg_quoting(ip.out, "file ", shown, " could not be opened\n", 603);
  ::close(fd);
  return 0;
}

enum class FormatWanted { Any, Numeric, String, Date };

rc_t confirm_format(Interp& ip, std::string_view arg, FormatWanted want) {
  std::string_view text = unquote_whole(arg);
  data::Format f;
  bool ok = !text.empty() && data::parse_format(text, &f, true);
  const char* what = "format";
  switch (want) {
    case FormatWanted::Any:
      break;
    case FormatWanted::Numeric:
      ok = ok && data::is_numeric_format(f);
      what = "numeric format";
      break;
    case FormatWanted::String:
      ok = ok && data::is_string_format(f);
      what = "string format";
      break;
    case FormatWanted::Date:
      ok = ok && f.kind == data::FormatKind::kDate;
      what = "date format";
      break;
  }
  return ok ? 0 : found_where(ip, text, what);
}

}  // namespace

std::string_view take_word(std::string_view& s) {
  size_t i = skip_blanks(s, 0);
  size_t e = i;
  while (e < s.size() && !is_blank(s[e])) ++e;
  std::string_view w = s.substr(i, e - i);
  s.remove_prefix(e);
  return w;
}

std::string_view take_name(std::string_view& s) {
  size_t i = skip_blanks(s, 0);
  size_t e = i;
  while (e < s.size() && is_name_char(s[e])) ++e;
  std::string_view name = s.substr(i, e - i);
  s.remove_prefix(e);
  return name;
}

std::string_view take_option_word(std::string_view& s) {
  size_t end = 0;
  int depth = 0;
  while (end < s.size() && (depth > 0 || !is_blank(s[end]))) {
    if (s[end] == '(') ++depth;
    if (s[end] == ')') --depth;
    ++end;
  }
  std::string_view opt = s.substr(0, end);
  s.remove_prefix(end);
  return opt;
}

namespace {

bool is_storage_type_word(std::string_view w) {
  if (w == "byte" || w == "long" || w == "float" || w == "double" || w == "strL") return true;
  if (w.size() > 3 && w.starts_with("str")) {
    for (char c : w.substr(3))
      if (c < '0' || c > '9') return false;
    return true;
  }
  return false;
}

// What `confirm ... variable` asks of each variable: only that it exists,
// or a kind or storage type.
enum class VarWanted { Any, Numeric, String, Type };

// confirm [kind] variable varlist: every name must be an existing
// variable of the kind wanted; the first that is not is reported.
rc_t confirm_variables(Interp& ip, std::string_view text, VarWanted want, std::string_view type_word = {}) {
  std::vector<int> vars;
  data::VarlistFailure fail;
  if (trim(text).empty()) return msg_quoting(ip.out, "varlist required\n", "", "", 100);
  if (data::read_varlist(ip.dataset, text, &vars, &fail)) return msg_quoting(ip.out, "", fail.message, "\n", fail.rc);
  const data::Dataset& ds = ip.dataset;
  for (int v : vars) {
    int t = ds.type(v);
    bool ok = true;
    std::string expected;
    switch (want) {
      case VarWanted::Any: break;
      case VarWanted::Numeric: ok = !ds.is_string(v); expected = "numeric variable"; break;
      case VarWanted::String: ok = ds.is_string(v); expected = "string variable"; break;
      case VarWanted::Type:
        // "str#" stands for any string type.
        ok = type_word == "str#" ? ds.is_string(v) : data::type_name(t) == type_word;
        expected = std::string(type_word) + " variable";
        break;
    }
    if (!ok) return found_where(ip, ds.name(v), expected);
  }
  return 0;
}

// confirm new variable names: each a valid name no variable has yet.
rc_t confirm_new_variables(Interp& ip, std::string_view text) {
  std::string_view words = text;
  if (trim(words).empty()) return msg_quoting(ip.out, "varlist required\n", "", "", 100);
  std::vector<std::string_view> seen;
  while (true) {
    std::string_view n = take_word(words);
    if (n.empty()) break;
    std::string msg;
    if (rc_t rc = ip.dataset.check_new_name(n, &msg)) return msg_quoting(ip.out, "", msg, "\n", rc);
    for (std::string_view o : seen)
      if (o == n) return msg_quoting(ip.out, "", n, " already defined\n", 110);
    seen.push_back(n);
  }
  return 0;
}

}  // namespace

// args name [name ...]: the argument locals 1, 2, ... under the names
// given.  Names with no argument left are cleared; arguments beyond the
// last name are left for the program to read from `0' or the locals.
rc_t cmd_args(Interp& ip) {
  std::string_view rest = ip.reader.rest();
  std::vector<std::string> names;
  while (true) {
    std::string_view w = take_word(rest);
    if (w.empty()) break;
    if (!valid_local_name(w)) return invalid_name(ip, w);
    names.emplace_back(w);
  }
  if (names.empty()) return msg_invalid(ip, "syntax");
  // Values first: a name may itself be one of the positional locals.
  std::vector<std::string> values;
  for (size_t k = 0; k < names.size(); ++k) {
    const std::string* v = ip.macros.local(std::to_string(k + 1));
    values.push_back(v ? *v : std::string());
  }
  for (size_t k = 0; k < names.size(); ++k) assign_local(ip, names[k], values[k]);
  return 0;
}

// gettoken emname1 [emname2] : emname3 [, parse("pchars") quotes qed(lname)
//   match(lname) bind]
// _parse comma lhs rhs : source — lhs receives the text of the macro
// source before its first comma outside quotes and brackets (outer blanks
// dropped), rhs the comma and everything after it, or nothing when there
// is no comma.  The other forms of _parse are not built yet.
rc_t cmd_underscore_parse(Interp& ip) {
  std::string_view rest = ip.reader.rest();
  size_t i = skip_blanks(rest, 0);
  size_t e = i;
  while (e < rest.size() && !is_blank(rest[e])) ++e;
  std::string_view form = rest.substr(i, e - i);
  if (form.empty()) return msg_invalid(ip, "syntax");
  if (form != "comma") return msg_not_available(ip, "_parse " + std::string(form));
  size_t colon = rest.find(':', e);
  if (colon == std::string_view::npos) return msg_invalid(ip, "syntax");
  i = e;
  MacroRef lhs, rhs, source;
  bool found = false;
  if (rc_t rc = read_macro_ref(ip, rest, i, &lhs, &found)) return rc;
  if (!found) return msg_invalid(ip, "syntax");
  if (rc_t rc = read_macro_ref(ip, rest, i, &rhs, &found)) return rc;
  if (!found || skip_blanks(rest, i) != colon) return msg_invalid(ip, "syntax");
  i = colon + 1;
  if (rc_t rc = read_macro_ref(ip, rest, i, &source, &found)) return rc;
  if (!found || skip_blanks(rest, i) != rest.size()) return msg_invalid(ip, "syntax");
  const std::string* src = source.global ? ip.macros.global(source.name) : ip.macros.local(source.name);
  std::string text = src ? *src : std::string();
  size_t comma = options_comma(text);
  std::string before(trim(std::string_view(text).substr(0, comma)));
  std::string after = comma == std::string::npos ? std::string() : std::string(trim(std::string_view(text).substr(comma)));
  assign_macro(ip, lhs, before);
  assign_macro(ip, rhs, after);
  return 0;
}

rc_t cmd_gettoken(Interp& ip) {
  std::string_view rest = ip.reader.rest();
  size_t colon = rest.find(':');
  if (colon == std::string_view::npos) return msg_invalid(ip, "syntax");
  size_t i = 0;
  MacroRef first, second, source;
  bool found = false, have_second = false;
  if (rc_t rc = read_macro_ref(ip, rest, i, &first, &found)) return rc;
  if (!found) return msg_invalid(ip, "syntax");
  if (rc_t rc = read_macro_ref(ip, rest, i, &second, &have_second)) return rc;
  if (skip_blanks(rest, i) != colon) return msg_invalid(ip, "syntax");
  i = colon + 1;
  if (rc_t rc = read_macro_ref(ip, rest, i, &source, &found)) return rc;
  if (!found) return msg_invalid(ip, "syntax");
  i = skip_blanks(rest, i);
  if (i < rest.size() && rest[i] != ',') return msg_invalid(ip, "syntax");

  CommandLine cl;
  if (rc_t rc = parse_options(ip, rest, i < rest.size() ? i : std::string_view::npos, &cl)) return rc;
  TokenRules rules;
  read_parse_option(cl, &rules);
  std::string qed, match;
  if (rc_t rc = local_name_option(ip, cl, "qed", 3, &qed)) return rc;
  if (rc_t rc = local_name_option(ip, cl, "match", 1, &match)) return rc;
  rules.match = !match.empty();
  rules.keep_quotes = cl.flag("quotes", 1, 0) == 1;
  rules.bind = cl.flag("bind", 4, 0) == 1;
  if (rc_t rc = cl.leftover(ip)) return rc;

  const std::string* src = source.global ? ip.macros.global(source.name) : ip.macros.local(source.name);
  std::string text = src ? *src : std::string();
  Token t;
  if (rc_t rc = take_token(ip, text, rules, &t)) return rc;
  std::string remainder = text.substr(t.end);
  // The token goes in after the rest is taken, so "gettoken x 0 : 0" and
  // "gettoken 0 : 0" both read the old text.
  if (have_second) assign_macro(ip, second, remainder);
  assign_macro(ip, first, t.text);
  if (!qed.empty()) ip.macros.set_local(qed, t.quoted ? "1" : "0");
  if (!match.empty()) assign_local(ip, match, t.matched ? std::string(1, t.matched) : std::string());
  return 0;
}

// tokenize [string] [, parse("pchars")]: the tokens into the locals 1, 2,
// ...; locals left over from an earlier, longer list are cleared.
rc_t cmd_tokenize(Interp& ip) {
  std::string_view rest = ip.reader.rest();
  std::string_view before;
  CommandLine cl;
  if (rc_t rc = read_options(ip, rest, &before, &cl)) return rc;
  TokenRules rules;
  read_parse_option(cl, &rules);
  if (rc_t rc = cl.leftover(ip)) return rc;
  std::string_view text = unquote_whole(before);

  std::vector<std::string> tokens;
  size_t pos = 0;
  while (true) {
    std::string_view s = std::string_view(text).substr(pos);
    if (skip_blanks(s, 0) >= s.size()) break;
    Token t;
    if (rc_t rc = take_token(ip, s, rules, &t)) return rc;
    tokens.push_back(std::move(t.text));
    pos += t.end;
  }
  size_t n = 0;
  for (; n < tokens.size(); ++n) assign_local(ip, std::to_string(n + 1), tokens[n]);
  for (size_t k = n + 1; ip.macros.local(std::to_string(k)); ++k) ip.macros.drop_local(std::to_string(k));
  return 0;
}

// numlist "list" [, ascending descending integer missingokay min(#) max(#)
//   range(op# [op#]) sort]: the expanded list in r(numlist).
rc_t cmd_numlist(Interp& ip) {
  std::string_view rest = ip.reader.rest();
  std::string_view before;
  CommandLine cl;
  if (rc_t rc = read_options(ip, rest, &before, &cl)) return rc;
  NumlistOptions o;
  o.ascending = cl.flag("ascending", 1, 0) == 1;
  o.descending = cl.flag("descending", 1, 0) == 1;
  o.integer = cl.flag("integer", 3, 0) == 1;
  o.missing_ok = cl.flag("missingokay", 4, 0) == 1;
  o.sort = cl.flag("sort", 4, 0) == 1;
  o.min = static_cast<int>(cl.integer("min", 3, 1));
  o.max = static_cast<int>(cl.integer("max", 3, 2500));
  std::string range;
  if (cl.string("range", 1, &range, 200, 8) && !parse_numlist_range(range, &o))
    cl.options[static_cast<size_t>(cl.last_found - 1)].status = 2;
  if (o.min < 0 || o.max < 1) {
    // A count limit below what any list could meet is a malformed option.
    for (OptionWord& w : cl.options)
      if ((o.min < 0 && abbreviates(w.name, "min", 3)) || (o.max < 1 && abbreviates(w.name, "max", 3)))
        w.status = 2;
  }
  if (rc_t rc = cl.leftover(ip)) return rc;
  if (o.ascending && o.descending)
    return msg_quoting(ip.out, "options ascending and descending may not be combined\n", "", "", 184);
  std::string_view text = unquote_whole(before);
  std::vector<double> values;
  if (rc_t rc = read_numlist(ip, text, o, &values)) return rc;
  ip.r_results.clear();
  ip.r_results.macros["numlist"] = format_numlist(values);
  return 0;
}

// confirm: the forms that check text, files, formats and named objects.
rc_t cmd_confirm(Interp& ip) {
  std::string_view rest = ip.reader.rest();
  std::string_view w = take_word(rest);
  std::string_view arg = trim(rest);
  if (w.empty()) return msg_invalid(ip, "syntax");
  if (abbreviates(w, "existence", 1)) return trim(unquote_whole(arg)).empty() ? 6 : 0;
  if (w == "new") {
    std::string_view what = take_word(rest);
    if (abbreviates(what, "file", 2)) return confirm_file(ip, trim(rest), true);
    if (abbreviates(what, "variable", 1)) return confirm_new_variables(ip, rest);
    return msg_invalid(ip, "syntax");
  }
  if (w == "name" || w == "names") {
    if (arg.empty()) return found_where(ip, "", "name");
    std::string_view words = arg;
    while (true) {
      std::string_view n = take_word(words);
      if (n.empty()) break;
      if (!is_valid_name(n)) return invalid_name(ip, n, 7);
    }
    return 0;
  }
  if (w == "numeric" || abbreviates(w, "string", 3) || w == "date") {
    std::string_view what = take_word(rest);
    if (abbreviates(what, "format", 3))
      return confirm_format(ip, trim(rest), w == "numeric" ? FormatWanted::Numeric
                                            : w == "date"  ? FormatWanted::Date
                                                           : FormatWanted::String);
    if (w != "date" && abbreviates(what, "variable", 1))
      return confirm_variables(ip, rest, w == "numeric" ? VarWanted::Numeric : VarWanted::String);
    return msg_invalid(ip, "syntax");
  }
  if (abbreviates(w, "integer", 3)) {
    std::string_view what = take_word(rest);
    if (w == "int" && abbreviates(what, "variable", 1)) return confirm_variables(ip, rest, VarWanted::Type, "int");
    if (!abbreviates(what, "number", 1)) return msg_invalid(ip, "syntax");
    std::string_view text = unquote_whole(rest);
    bool whole = false;
    if (!is_number_text(text, &whole) || !whole) return found_where(ip, trim(text), "integer");
    return 0;
  }
  if (abbreviates(w, "number", 1)) {
    std::string_view text = unquote_whole(arg);
    bool whole = false;
    if (!is_number_text(text, &whole)) return found_where(ip, trim(text), "number");
    return 0;
  }
  if (abbreviates(w, "file", 2)) return confirm_file(ip, arg, false);
  if (abbreviates(w, "format", 3)) return confirm_format(ip, arg, FormatWanted::Any);
  if (abbreviates(w, "matrix", 3) || abbreviates(w, "scalar", 2)) {
    std::string_view name = trim(arg);
    if (name.empty()) return msg_invalid(ip, "syntax");
    bool scalar = w[0] == 's';
    if (scalar ? ip.scalars.count(std::string(name)) : ip.matrices.count(std::string(name))) return 0;
    return msg_quoting(ip.out, scalar ? "scalar " : "matrix ", name, " not found\n", 111);
  }
  if (abbreviates(w, "variable", 1)) return confirm_variables(ip, arg, VarWanted::Any);
  if (is_storage_type_word(w) || w == "str#") {
    if (abbreviates(take_word(rest), "variable", 1)) return confirm_variables(ip, rest, VarWanted::Type, w);
    return msg_invalid(ip, "syntax");
  }
  return msg_invalid(ip, "syntax");
}

// unabcmd abbrev: the full name of the command `abbrev` runs, in r(cmd).
rc_t cmd_unabcmd(Interp& ip) {
  std::string_view rest = ip.reader.rest();
  std::string_view w = take_word(rest);
  if (w.empty() || !trim(rest).empty()) return msg_invalid(ip, "syntax");
  std::string full;
  if (const Builtin* b = find_builtin(w, ip.version)) {
    full = b->name;
  } else {
    // Programs and ado-files are known only by their full names.
    std::string path;
    if (is_valid_name(w) && (ip.programs.find(w) || find_file_along_path(ip, std::string(w) + ".ado", 1, &path)))
      full.assign(w);
  }
  if (full.empty()) return msg_quoting(ip.out, "unrecognized command:  ", w, "\n", 199);
  ip.r_results.clear();
  ip.r_results.macros["cmd"] = full;
  return 0;
}

}  // namespace nuvra
