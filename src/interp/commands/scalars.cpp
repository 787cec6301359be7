// scalar: named numbers and strings kept beside the dataset.
#include <cstdio>

#include "data/varlist.h"
#include "interp/builtins.h"
#include "interp/interp.h"
#include "interp/messages.h"
#include "interp/parse.h"
#include "data/names.h"
#include "interp/simple_expr.h"

namespace nuvra {

namespace {

std::vector<std::string> words_of(std::string_view s) {
  std::vector<std::string> out;
  for (std::string_view w = take_word(s); !w.empty(); w = take_word(s)) out.emplace_back(w);
  return out;
}

// Names that a list of words picks out: _all, names, or patterns.
rc_t pick(Interp& ip, std::string_view list, std::vector<std::string>* out) {
  std::vector<std::string> words = words_of(list);
  if (words.empty() || (words.size() == 1 && words[0] == "_all")) {
    for (const auto& [name, v] : ip.scalars) out->push_back(name);
    return 0;
  }
  for (const std::string& w : words) {
    bool any = false;
    for (const auto& [name, v] : ip.scalars) {
      if (data::varlist_pattern_match(w, name)) {
        out->push_back(name);
        any = true;
      }
    }
    if (!any) return msg_quoting(ip.out, "scalar ", w, " not found\n", 111);
  }
  return 0;
}

void list_scalar(Interp& ip, const std::string& name, const ScalarValue& v) {
  ip.out.set_class(output::OutClass::Text);
  ip.out.printf_markup("%13s = ", name.c_str());
  ip.out.set_class(output::OutClass::Result);
  if (v.is_string) {
    ip.out.print_plain(v.str);
  } else {
    ip.out.printf_markup("%10s", shown_number_g(v.num, 10).c_str());
  }
  ip.out.print_markup("\n");
}

}  // namespace

// scalar [define] name = exp | scalar list|dir [names] | scalar drop names
rc_t cmd_scalar(Interp& ip) {
  std::string rest(ip.reader.rest());
  std::string_view r = rest;
  std::string first;
  {
    size_t e = 0;
    while (e < r.size() && is_name_char(r[e])) ++e;
    first = std::string(r.substr(0, e));
  }
  std::string_view after = trim(r.substr(first.size()));
  if (first == "list" || first == "dir" || (first == "l" && !after.starts_with("="))) {
    std::vector<std::string> names;
    if (rc_t rc = pick(ip, after, &names)) return rc;
    for (const std::string& n : names) list_scalar(ip, n, ip.scalars[n]);
    return 0;
  }
  if (first == "drop") {
    if (after.empty()) return msg_invalid(ip, "syntax");
    std::vector<std::string> names;
    if (rc_t rc = pick(ip, after, &names)) return rc;
    for (const std::string& n : names) ip.scalars.erase(n);
    return 0;
  }
  if (first == "define" || first == "de" || first == "def" || first == "defi" || first == "defin") {
    r = after;
    size_t e = 0;
    while (e < r.size() && is_name_char(r[e])) ++e;
    first = std::string(r.substr(0, e));
    after = trim(r.substr(e));
  }
  if (!is_valid_name(first)) return msg_quoting(ip.out, "", first, " invalid name\n", 198);
  if (after.empty() || after.front() != '=') return msg_invalid(ip, "syntax");
  ExprValue v;
  size_t used = 0;
  if (rc_t rc = eval_expression(ip, after.substr(1), &v, &used)) return rc;
  if (!trim(after.substr(1 + used)).empty()) return msg_invalid(ip, "syntax");
  ScalarValue& s = ip.scalars[first];
  s.is_string = v.is_string;
  s.num = v.num;
  s.str = v.str;
  return 0;
}

}  // namespace nuvra
