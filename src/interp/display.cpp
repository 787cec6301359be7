// display: strings, numbers and the layout directives, one line of output.
#include <cstdlib>

#include "interp/builtins.h"
#include "interp/interp.h"
#include "interp/messages.h"
#include "interp/names.h"
#include "interp/simple_expr.h"

namespace nuvra {

namespace {

// A directive's "(#)" argument; `def` when there is none.
bool directive_count(std::string_view& rest, int def, int* n) {
  *n = def;
  if (rest.empty() || rest.front() != '(') return true;
  size_t close = rest.find(')');
  if (close == std::string_view::npos) return false;
  std::string arg(trim(rest.substr(1, close - 1)));
  char* end = nullptr;
  long v = std::strtol(arg.c_str(), &end, 10);
  if (arg.empty() || *end != '\0' || v < 0 || v > 255) return false;
  *n = static_cast<int>(v);
  rest.remove_prefix(close + 1);
  return true;
}

// Reads a word made of name characters (a directive name).
std::string_view word_at(std::string_view s) {
  size_t n = 0;
  while (n < s.size() && is_name_char(s[n])) ++n;
  return s.substr(0, n);
}

}  // namespace

rc_t cmd_display(Interp& ip) {
  std::string_view rest = ip.reader.rest();
  bool newline = true;
  int column = 0;
  while (!(rest = trim(rest)).empty()) {
    std::string_view w = word_at(rest);
    if (w == "_n" || w == "_newline") {
      rest.remove_prefix(w.size());
      int n;
      if (!directive_count(rest, 1, &n)) return msg_invalid(ip, "syntax");
      for (int k = 0; k < n; ++k) ip.out.print_markup("\n");
      column = 0;
      continue;
    }
    if (w == "_c" || w == "_continue") {
      rest.remove_prefix(w.size());
      newline = false;
      continue;
    }
    if (w == "_col" || w == "_column" || w == "_skip" || w == "_s") {
      rest.remove_prefix(w.size());
      int n;
      if (!directive_count(rest, 1, &n)) return msg_invalid(ip, "syntax");
      if (w == "_col" || w == "_column")
        ip.out.printf_markup("{col %d}", n);
      else
        ip.out.printf_markup("{space %d}", n);
      continue;
    }
    if (w == "as" || w == "in") {
      std::string_view after = trim(rest.substr(w.size()));
      std::string_view what = word_at(after);
      output::OutClass cls;
      if (what == "text" || what == "txt")
        cls = output::OutClass::Text;
      else if (what == "result" || what == "res")
        cls = output::OutClass::Result;
      else if (what == "error" || what == "err")
        cls = output::OutClass::Error;
      else if (what == "input" || what == "inp")
        cls = output::OutClass::Input;
      else
        return msg_invalid(ip, "syntax");
      ip.out.set_class(cls);
      rest = after.substr(what.size());
      continue;
    }
    ExprValue v;
    size_t used = 0;
    if (rc_t rc = eval_expression(ip, rest, &v, &used)) return rc;
    rest.remove_prefix(used);
    if (v.is_string)
      ip.out.print_markup(v.str);
    else
      ip.out.print_plain(format_number_g(v.num, 9));
    ++column;
  }
  if (newline) ip.out.print_markup("\n");
  return 0;
}

}  // namespace nuvra
