// display: strings, numbers and the layout directives, on one line of
// output (or more, with _newline).
//
//   display [item ...]
//   items: an expression (strings are shown as markup, numbers plainly),
//          %fmt before an expression, _newline[(#)] (_n), _continue (_c),
//          _column(#) (_col), _skip(#) (_s), _dup(#) (_d), _char(#),
//          as text|result|error|input, in nmcl (also the old in green,
//          yellow, red and white)
#include <cmath>
#include <cstdlib>

#include "data/format.h"
#include "interp/builtins.h"
#include "interp/interp.h"
#include "interp/messages.h"
#include "data/names.h"
#include "interp/simple_expr.h"

namespace nuvra {

namespace {

// Reads a word made of name characters (a directive name).
std::string_view word_at(std::string_view s) {
  size_t n = 0;
  while (n < s.size() && is_name_char(s[n])) ++n;
  return s.substr(0, n);
}

// `w` names the directive `full` when it is at least `min` characters of it.
bool directive(std::string_view w, std::string_view full, size_t min) {
  return w.size() >= min && w.size() <= full.size() && full.substr(0, w.size()) == w;
}

// The "(#)" after a directive: an expression giving a whole number in
// [lo, hi]; `def` when no parenthesis follows.
rc_t directive_count(Interp& ip, std::string_view& rest, int def, int lo, int hi, int* n) {
  *n = def;
  if (rest.empty() || rest.front() != '(') return 0;
  size_t close = std::string_view::npos;
  int depth = 0;
  for (size_t i = 0; i < rest.size(); ++i) {
    if (rest[i] == '(') ++depth;
    if (rest[i] == ')' && --depth == 0) {
      close = i;
      break;
    }
  }
  if (close == std::string_view::npos) return msg_quoting(ip.out, "too few ')' or ']'\n", "", "", 132);
  std::string_view inside = trim(rest.substr(1, close - 1));
  ExprValue v;
  size_t used = 0;
  if (inside.empty()) return msg_invalid(ip, "syntax");
  if (rc_t rc = eval_expression(ip, inside, &v, &used)) return rc;
  if (v.is_string || used != inside.size() || is_missing(v.num)) return msg_invalid(ip, "syntax");
  double k = std::trunc(v.num);
  if (k < lo || k > hi) return msg_invalid(ip, "syntax");
  *n = static_cast<int>(k);
  rest.remove_prefix(close + 1);
  return 0;
}

bool class_word(std::string_view w, output::OutClass* cls) {
  if (w == "text" || w == "txt") *cls = output::OutClass::Text;
  else if (w == "result" || w == "res") *cls = output::OutClass::Result;
  else if (w == "error" || w == "err") *cls = output::OutClass::Error;
  else if (w == "input" || w == "inp") *cls = output::OutClass::Input;
  else return false;
  return true;
}

// The colour words of old programs: `in green` is text, and so on.
bool colour_word(std::string_view w, output::OutClass* cls) {
  if (w == "green") *cls = output::OutClass::Text;
  else if (w == "yellow") *cls = output::OutClass::Result;
  else if (w == "red") *cls = output::OutClass::Error;
  else if (w == "white") *cls = output::OutClass::Input;
  else if (w == "blue") *cls = output::OutClass::Text;
  else return false;
  return true;
}

// Ends a partly displayed line before an error message, for as long as
// the display runs.
class BreakBeforeError {
 public:
  explicit BreakBeforeError(output::Output& out) : out_(out), saved_(out.break_before_error()) {
    out_.set_break_before_error(true);
  }
  ~BreakBeforeError() { out_.set_break_before_error(saved_); }
  BreakBeforeError(const BreakBeforeError&) = delete;
  BreakBeforeError& operator=(const BreakBeforeError&) = delete;

 private:
  output::Output& out_;
  bool saved_;
};

}  // namespace

rc_t cmd_display(Interp& ip) {
  output::ClassScope keep(ip.out);
  BreakBeforeError guard(ip.out);
  std::string_view rest = ip.reader.rest();
  bool newline = true;
  int dup = 1;
  bool have_format = false;
  data::Format fmt;
  while (!(rest = trim(rest)).empty()) {
    std::string_view w = word_at(rest);
    // A name with a subscript is an expression (and _n[1] is refused there).
    if (!w.empty() && w.front() == '_' && (w.size() == rest.size() || rest[w.size()] != '[')) {
      bool handled = true;
      std::string_view after = rest.substr(w.size());
      int n = 0;
      if (directive(w, "_newline", 2)) {
        if (rc_t rc = directive_count(ip, after, 1, 0, 1000, &n)) return rc;
        for (int k = 0; k < n; ++k) ip.out.print_markup("\n");
      } else if (directive(w, "_continue", 2)) {
        newline = false;
      } else if (directive(w, "_column", 4)) {
        if (rc_t rc = directive_count(ip, after, 1, 1, 255, &n)) return rc;
        ip.out.printf_markup("{col %d}", n);
      } else if (directive(w, "_skip", 2)) {
        if (rc_t rc = directive_count(ip, after, 1, 0, 255, &n)) return rc;
        ip.out.printf_markup("{space %d}", n);
      } else if (directive(w, "_dup", 2)) {
        if (rc_t rc = directive_count(ip, after, 1, 0, 100000, &n)) return rc;
        dup = n;
      } else if (w == "_char") {
        if (after.empty() || after.front() != '(') return msg_invalid(ip, "syntax");
        if (rc_t rc = directive_count(ip, after, 0, 1, 255, &n)) return rc;
        std::string c(static_cast<size_t>(dup), static_cast<char>(n));
        ip.out.print_plain(c);
        dup = 1;
      } else {
        handled = false;
      }
      if (handled) {
        rest = after;
        continue;
      }
    }
    if (w == "as" || w == "in") {
      std::string_view after = trim(rest.substr(w.size()));
      std::string_view what = word_at(after);
      output::OutClass cls;
      if (w == "in" && (what == "nmcl")) {
        rest = after.substr(what.size());
        continue;
      }
      if ((w == "as" && class_word(what, &cls)) || (w == "in" && colour_word(what, &cls))) {
        // The display's own switch to the error colour is no message.
        ip.out.set_break_before_error(false);
        ip.out.set_class(cls);
        ip.out.set_break_before_error(true);
        rest = after.substr(what.size());
        continue;
      }
      if (w == "as") return msg_invalid(ip, "syntax");
    }
    if (rest.front() == '%') {
      size_t end = 0;
      while (end < rest.size() && rest[end] != ' ' && rest[end] != '\t') ++end;
      if (!data::parse_format(rest.substr(0, end), &fmt, true)) {
        return msg_quoting(ip.out, "", rest.substr(0, end), " invalid %format\n", 120);
      }
      have_format = true;
      rest.remove_prefix(end);
      continue;
    }
    ExprValue v;
    size_t used = 0;
    if (rc_t rc = eval_expression(ip, rest, &v, &used)) return rc;
    if (used == 0) return msg_invalid(ip, "syntax");
    rest.remove_prefix(used);
    std::string text;
    if (have_format) {
      if (v.is_string != data::is_string_format(fmt)) return rc_message(ip, 120);
      if (v.is_string) {
        text = data::render_string(fmt, v.str);
      } else {
        char buf[data::kRenderBufferSize];
        size_t n = data::render_shown(fmt, v.num, buf, sizeof buf);
        text.assign(buf, std::min(n, sizeof buf - 1));
      }
      have_format = false;
    } else {
      text = v.is_string ? v.str : shown_number_g(v.num, 9);
    }
    for (int k = 0; k < dup; ++k) {
      if (v.is_string)
        ip.out.print_markup(text);
      else
        ip.out.print_plain(text);
    }
    dup = 1;
  }
  if (newline) ip.out.print_markup("\n");
  return 0;
}

}  // namespace nuvra
