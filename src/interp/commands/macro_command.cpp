// macro dir | list [names] | drop names | shift [#]
#include <algorithm>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/wildcard.h"
#include "data/commands/commands.h"
#include "interp/builtins.h"
#include "interp/interp.h"
#include "interp/macro_functions.h"
#include "interp/messages.h"
#include "data/names.h"

namespace nuvra {

namespace {

using datacmd::next_word;

// Names of the globals, or of the locals of the running level, sorted.
std::vector<std::string> macro_names(const Interp& ip, bool globals) {
  return globals ? ip.macros.global_names() : ip.macros.local_names();
}

bool has_wildcard(std::string_view s) { return s.find_first_of("*?") != std::string_view::npos; }

// A name as `macro` takes it: name characters and wildcards.  A leading
// "_" marks a local.
bool valid_pattern(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s)
    if (!is_name_char(c) && c != '*' && c != '?') return false;
  return true;
}

// One line of a listing: the name and a colon in text colour, the macro's
// text in result colour from column 14 on (one blank after a longer name).
void show_macro(Interp& ip, std::string_view shown_name, const std::string& text) {
  ip.out.set_class(output::OutClass::Text);
  ip.out.print_plain(shown_name);
  ip.out.print_markup(":");
  size_t used = shown_name.size() + 1;
  ip.out.print_markup(std::string(used < 13 ? 13 - used : 1, ' '));
  ip.out.set_class(output::OutClass::Result);
  ip.out.print_plain(text);
  ip.out.print_markup("\n");
}

void show_all(Interp& ip) {
  for (const std::string& n : macro_names(ip, true)) show_macro(ip, n, *ip.macros.global(n));
  for (const std::string& n : macro_names(ip, false)) show_macro(ip, "_" + n, *ip.macros.local(n));
}

// The macros a word names: globals by name, locals with a "_" prefix,
// either with wildcards.
struct Selection {
  std::vector<std::string> globals, locals;
};

Selection select(const Interp& ip, std::string_view word) {
  Selection sel;
  bool local = word.front() == '_';
  std::string_view pat = local ? word.substr(1) : word;
  if (!has_wildcard(pat)) {
    const std::string* v = local ? ip.macros.local(pat) : ip.macros.global(pat);
    if (v) (local ? sel.locals : sel.globals).emplace_back(pat);
    return sel;
  }
  for (const std::string& n : macro_names(ip, !local))
    if (base::wildcard_match(n, pat)) (local ? sel.locals : sel.globals).push_back(n);
  return sel;
}

rc_t macro_list(Interp& ip, std::string_view rest) {
  if (trim(rest).empty()) {
    show_all(ip);
    return 0;
  }
  // Check every name before listing any.
  std::vector<Selection> picks;
  for (std::string_view w; !(w = next_word(rest)).empty();) {
    if (!valid_pattern(w)) return msg_quoting(ip.out, "", w, " invalid name\n", 198);
    Selection s = select(ip, w);
    if (!has_wildcard(w) && s.globals.empty() && s.locals.empty())
      return msg_quoting(ip.out, "macro ", w, " not found\n", 111);
    picks.push_back(std::move(s));
  }
  for (const Selection& s : picks) {
    for (const std::string& n : s.globals) show_macro(ip, n, *ip.macros.global(n));
    for (const std::string& n : s.locals) show_macro(ip, "_" + n, *ip.macros.local(n));
  }
  return 0;
}

rc_t macro_drop(Interp& ip, std::string_view rest) {
  if (trim(rest).empty()) return msg_invalid(ip, "syntax");
  std::vector<std::string_view> words;
  for (std::string_view w; !(w = next_word(rest)).empty();) {
    if (w != "_all" && !valid_pattern(w)) return msg_quoting(ip.out, "", w, " invalid name\n", 198);
    words.push_back(w);
  }
  for (std::string_view w : words) {
    if (w == "_all") {
      // The system macros (S_ADO, ...) stay unless a pattern names them.
      for (const std::string& n : macro_names(ip, true))
        if (!n.starts_with("S_")) ip.macros.drop_global(n);
      for (const std::string& n : macro_names(ip, false)) ip.macros.drop_local(n);
      continue;
    }
    Selection s = select(ip, w);
    for (const std::string& n : s.globals) ip.macros.drop_global(n);
    for (const std::string& n : s.locals) ip.macros.drop_local(n);
  }
  return 0;
}

// macro shift [#]: local k takes the text of local k + #, for the
// positional locals 1, 2, ... up to the first missing one; the last #
// are dropped.  Local 0, the whole argument text, is left alone.
rc_t macro_shift(Interp& ip, std::string_view rest) {
  std::string_view w = next_word(rest);
  if (!trim(rest).empty()) return msg_invalid(ip, "syntax");
  size_t by = 1;
  if (!w.empty()) {
    if (w.size() > 9 ||
        !std::all_of(w.begin(), w.end(), [](char c) { return c >= '0' && c <= '9'; }))
      return msg_invalid(ip, "syntax");
    by = std::stoul(std::string(w));
  }
  std::vector<std::string> args;
  for (size_t k = 1;; ++k) {
    const std::string* v = ip.macros.local(std::to_string(k));
    if (!v) break;
    args.push_back(*v);
  }
  for (size_t k = 1; k <= args.size(); ++k) {
    std::string name = std::to_string(k);
    if (k + by <= args.size())
      ip.macros.set_local(name, args[k + by - 1]);
    else
      ip.macros.drop_local(name);
  }
  return 0;
}

}  // namespace

rc_t cmd_macro(Interp& ip) {
  std::string_view rest = ip.reader.rest();
  std::string_view sub = next_word(rest);
  if (sub == "dir") {
    if (!trim(rest).empty()) return msg_invalid(ip, "syntax");
    show_all(ip);
    return 0;
  }
  if (abbreviates(sub, "list", 1)) return macro_list(ip, rest);
  if (sub == "drop") return macro_drop(ip, rest);
  if (sub == "shift") return macro_shift(ip, rest);
  return msg_invalid(ip, "syntax");
}

}  // namespace nuvra
