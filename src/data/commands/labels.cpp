// label (data, variable, define, values, list, dir, drop, copy) and char
// (define, list, rename): the texts kept beside the data.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "data/commands/commands.h"
#include "data/missing.h"
#include "data/varlist.h"
#include "interp/builtins.h"
#include "interp/interp.h"
#include "interp/messages.h"
#include "data/names.h"
#include "interp/parse.h"

namespace nuvra {
namespace {

using datacmd::fail_quoting;
using datacmd::mark_changed;
using datacmd::next_word;

// Text as typed, with one pair of enclosing double quotes or compound
// quotes taken off. False when a quote is left open.
bool unquote(std::string_view s, std::string* out) {
  s = trim(s);
  if (s.starts_with("`\"")) {
    if (!s.ends_with("\"'") || s.size() < 4) return false;
    *out = std::string(s.substr(2, s.size() - 4));
    return true;
  }
  if (s.starts_with("\"")) {
    if (s.size() < 2 || !s.ends_with("\"")) return false;
    *out = std::string(s.substr(1, s.size() - 2));
    return true;
  }
  *out = std::string(s);
  return true;
}

// Splits "words , options" at the first comma outside quotes.
void split_comma(std::string_view s, std::string_view* body, std::string_view* opts) {
  bool q = false;
  int cq = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s.substr(i, 2) == "`\"") ++cq, ++i;
    else if (cq && s.substr(i, 2) == "\"'") --cq, ++i;
    else if (!cq && s[i] == '"') q = !q;
    else if (!q && !cq && s[i] == ',') {
      *body = trim(s.substr(0, i));
      *opts = trim(s.substr(i + 1));
      return;
    }
  }
  *body = trim(s);
  *opts = {};
}

// Next item of a label definition: a quoted string (quotes removed) or a
// blank-delimited word. False for an open quote.
bool next_item(std::string_view& s, std::string* out, bool* quoted) {
  s = trim(s);
  *quoted = false;
  if (s.starts_with("`\"")) {
    int depth = 0;
    for (size_t i = 0; i + 1 < s.size(); ++i) {
      if (s.substr(i, 2) == "`\"") ++depth, ++i;
      else if (s.substr(i, 2) == "\"'" && --depth == 0) {
        *out = std::string(s.substr(2, i - 2));
        s = s.substr(i + 2);
        *quoted = true;
        return true;
      }
    }
    return false;
  }
  if (s.starts_with("\"")) {
    size_t close = s.find('"', 1);
    if (close == std::string_view::npos) return false;
    *out = std::string(s.substr(1, close - 1));
    s = s.substr(close + 1);
    *quoted = true;
    return true;
  }
  *out = std::string(next_word(s));
  return true;
}

// Option words of the small sub-commands: each must be one of `known`
// (name, minimum length); *seen gets a bit per option found.
rc_t read_flags(Interp& ip, std::string_view opts, std::initializer_list<std::pair<const char*, size_t>> known, unsigned* seen) {
  *seen = 0;
  while (!opts.empty()) {
    std::string_view w = next_word(opts);
    unsigned bit = 1;
    bool ok = false;
    for (const auto& [name, min] : known) {
      if (abbreviates(w, name, min)) {
        *seen |= bit;
        ok = true;
        break;
      }
      bit <<= 1;
    }
    if (!ok) return fail_quoting(ip, "option ", w, " not allowed\n", 198);
  }
  return 0;
}

rc_t label_not_found(Interp& ip, std::string_view name) {
  return fail_quoting(ip, "value label ", name, " not found\n", 111);
}

rc_t label_data(Interp& ip, std::string_view rest) {
  std::string text;
  if (!unquote(rest, &text)) return msg_invalid(ip, "syntax");
  if (text.size() > data::kMaxDataLabelLength) {
    ip.out.set_class(output::OutClass::Text);
    ip.out.printf_markup("note: label truncated to %zu characters\n", data::kMaxDataLabelLength);
  }
  ip.dataset.set_data_label(text);
  mark_changed(ip);
  return 0;
}

rc_t label_variable(Interp& ip, std::string_view rest) {
  std::string_view name = next_word(rest);
  if (name.empty()) return msg_required(ip, "varname");
  int j = 0;
  std::string msg;
  if (rc_t rc = ip.dataset.find(name, &j, &msg)) return fail_quoting(ip, "", msg, "\n", rc);
  std::string text;
  if (!unquote(rest, &text)) return msg_invalid(ip, "syntax");
  if (text.size() > data::kMaxVarLabelLength) {
    ip.out.set_class(output::OutClass::Text);
    ip.out.printf_markup("note: label truncated to %zu characters\n", data::kMaxVarLabelLength);
  }
  ip.dataset.set_label(j, text);
  mark_changed(ip);
  return 0;
}

rc_t label_define(Interp& ip, std::string_view rest) {
  std::string_view body, opts;
  split_comma(rest, &body, &opts);
  unsigned seen;
  if (rc_t rc = read_flags(ip, opts, {{"add", 3}, {"modify", 3}, {"replace", 7}, {"nofix", 5}}, &seen)) return rc;
  bool add = seen & 1, modify = seen & 2, replace = seen & 4;
  if ((add || modify) && replace) return fail_quoting(ip, "options add and modify may not be combined with replace", "", "\n", 198);
  std::string_view name = next_word(body);
  if (name.empty()) return msg_required(ip, "label name");
  std::string msg;
  if (data::validate_name(name, &msg)) return fail_quoting(ip, "", msg, "\n", 198);
  data::ValueLabelStore& store = ip.dataset.value_labels();
  const data::ValueLabel* old = store.get(name);
  if (old && !add && !modify && !replace) return fail_quoting(ip, "label ", name, " already defined\n", 110);
  std::map<std::int32_t, std::string> entries;
  if (old && !replace) entries = old->decode();
  // Pairs of value and text; everything is read before anything changes.
  while (!trim(body).empty()) {
    std::string vtext, text;
    bool quoted;
    if (!next_item(body, &vtext, &quoted) || quoted) return msg_invalid(ip, "syntax");
    char* end = nullptr;
    double v;
    if (vtext.size() == 2 && vtext[0] == '.' && vtext[1] >= 'a' && vtext[1] <= 'z') {
      v = data::missing_value(vtext[1] - 'a' + 1);
    } else {
      v = std::strtod(vtext.c_str(), &end);
      if (vtext.empty() || *end) return fail_quoting(ip, "", vtext, " invalid label value\n", 198);
    }
    std::int32_t value;
    if (!data::label_key(v, &value))
      return fail_quoting(ip, "may not label ", vtext, "; values must be integers\n", 198);
    if (trim(body).empty()) return fail_quoting(ip, "label for ", vtext, " missing\n", 198);
    if (!next_item(body, &text, &quoted)) return fail_quoting(ip, "too few quotes", "", "\n", 132);
    if (text.size() > data::kMaxValueLabelText) text.resize(data::kMaxValueLabelText);
    if (add && !modify && entries.count(value)) return fail_quoting(ip, "invalid attempt to modify label", "", "\n", 180);
    if (text.empty() && (modify || replace || !old)) entries.erase(value);
    else if (text.empty()) return fail_quoting(ip, "invalid attempt to modify label", "", "\n", 180);
    else entries[value] = text;
  }
  data::ValueLabel table;
  if (rc_t rc = data::ValueLabel::encode(entries, &table)) return rc_message(ip, rc);
  if (rc_t rc = store.put(name, std::move(table), &msg)) return msg.empty() ? rc_message(ip, rc) : fail_quoting(ip, "", msg, "\n", rc);
  mark_changed(ip);
  return 0;
}

rc_t label_values(Interp& ip, std::string_view rest) {
  std::string_view body, opts;
  split_comma(rest, &body, &opts);
  unsigned seen;
  if (rc_t rc = read_flags(ip, opts, {{"nofix", 5}}, &seen)) return rc;
  // The last word is the label name unless it names a variable and the
  // list would otherwise be empty; `.` detaches as well.
  std::vector<std::string_view> words;
  for (std::string_view b = body; !b.empty();) words.push_back(next_word(b));
  if (words.empty()) return msg_required(ip, "varlist");
  std::string lname;
  std::string list;
  if (words.size() >= 2) {
    lname = words.back();
    words.pop_back();
  }
  for (auto w : words) list += std::string(w) + " ";
  if (lname == ".") lname.clear();
  std::string msg;
  if (!lname.empty() && data::validate_name(lname, &msg)) return fail_quoting(ip, "", msg, "\n", 198);
  std::vector<int> vars;
  if (rc_t rc = datacmd::varlist_required(ip, list, &vars, data::kVarlistUnique)) return rc;
  data::Dataset& ds = ip.dataset;
  for (int j : vars)
    if (ds.is_string(j)) return fail_quoting(ip, "may not label strings", "", "\n", 181);
  for (int j : vars)
    if (rc_t rc = ds.set_value_label_name(j, lname, &msg)) return fail_quoting(ip, "", msg, "\n", rc);
  mark_changed(ip);
  return 0;
}

void list_one(Interp& ip, const std::string& name, const data::ValueLabel& vl) {
  ip.out.set_class(output::OutClass::Text);
  ip.out.print_plain(name);
  ip.out.print_markup(":\n");
  for (std::int32_t k = 0; k < vl.size(); ++k) {
    char num[24];
    std::snprintf(num, sizeof num, "%12s ", data::label_key_text(vl.value_at(k)).c_str());
    ip.out.print_markup("{res}");
    ip.out.print_plain(num);
    ip.out.print_markup("{txt}");
    ip.out.print_plain(vl.text_at(k));
    ip.out.print_markup("\n");
  }
}

rc_t label_list(Interp& ip, std::string_view rest) {
  const data::ValueLabelStore& store = ip.dataset.value_labels();
  std::vector<std::string> names;
  for (std::string_view r = rest; !r.empty();) names.emplace_back(next_word(r));
  if (names.empty()) names = store.names();
  for (const auto& n : names)
    if (!store.get(n)) return label_not_found(ip, n);
  ip.r_results.clear();
  for (const auto& n : names) {
    const data::ValueLabel* vl = store.get(n);
    list_one(ip, n, *vl);
    if (vl->size() > 0) {
      ip.r_results.scalars["k"] = vl->size();
      ip.r_results.scalars["min"] = vl->value_at(0);
      ip.r_results.scalars["max"] = vl->value_at(vl->size() - 1);
    }
  }
  return 0;
}

rc_t label_dir(Interp& ip, std::string_view rest) {
  if (!trim(rest).empty()) return msg_invalid(ip, "syntax");
  std::string all;
  ip.out.set_class(output::OutClass::Text);
  for (const auto& n : ip.dataset.value_labels().names()) {
    ip.out.print_plain(n);
    ip.out.print_markup("\n");
    all += (all.empty() ? "" : " ") + n;
  }
  ip.r_results.clear();
  ip.r_results.macros["names"] = all;
  return 0;
}

rc_t label_drop(Interp& ip, std::string_view rest) {
  data::ValueLabelStore& store = ip.dataset.value_labels();
  std::vector<std::string> names;
  for (std::string_view r = rest; !r.empty();) names.emplace_back(next_word(r));
  if (names.empty()) return msg_required(ip, "label name");
  if (names.size() == 1 && names[0] == "_all") {
    names = store.names();
  } else {
    for (const auto& n : names)
      if (!store.get(n)) return label_not_found(ip, n);
  }
  for (const auto& n : names) store.drop(n);
  if (!names.empty()) mark_changed(ip);
  return 0;
}

rc_t label_copy(Interp& ip, std::string_view rest) {
  std::string_view body, opts;
  split_comma(rest, &body, &opts);
  unsigned seen;
  if (rc_t rc = read_flags(ip, opts, {{"replace", 7}}, &seen)) return rc;
  std::string_view from = next_word(body);
  std::string_view to = next_word(body);
  if (from.empty() || to.empty() || !body.empty()) return msg_invalid(ip, "syntax");
  data::ValueLabelStore& store = ip.dataset.value_labels();
  const data::ValueLabel* src = store.get(from);
  if (!src) return label_not_found(ip, from);
  std::string msg;
  if (data::validate_name(to, &msg)) return fail_quoting(ip, "", msg, "\n", 198);
  if (store.get(to) && !(seen & 1)) return fail_quoting(ip, "label ", to, " already defined\n", 110);
  data::ValueLabel copy = *src;
  if (rc_t rc = store.put(to, std::move(copy), &msg)) return rc_message(ip, rc);
  mark_changed(ip);
  return 0;
}

// owner[name] split; false when the text is not of that form.
bool split_char_name(std::string_view w, std::string_view* owner, std::string_view* name) {
  size_t open = w.find('[');
  if (open == std::string_view::npos || w.back() != ']') return false;
  *owner = w.substr(0, open);
  *name = w.substr(open + 1, w.size() - open - 2);
  return true;
}

// The owner as stored: `_dta` or the variable's full name.
rc_t char_owner(Interp& ip, std::string_view owner, std::string* out) {
  if (owner == "_dta") {
    *out = "_dta";
    return 0;
  }
  int j = 0;
  std::string msg;
  if (rc_t rc = ip.dataset.find(owner, &j, &msg)) return fail_quoting(ip, "", msg, "\n", rc);
  *out = ip.dataset.name(j);
  return 0;
}

rc_t char_define(Interp& ip, std::string_view rest) {
  rest = trim(rest);
  size_t end = 0;
  while (end < rest.size() && rest[end] != ' ' && rest[end] != '\t') ++end;
  std::string_view ref = rest.substr(0, end), o, n;
  if (!split_char_name(ref, &o, &n)) return msg_invalid(ip, "syntax");
  std::string owner;
  if (rc_t rc = char_owner(ip, o, &owner)) return rc;
  std::string text;
  if (!unquote(rest.substr(end), &text)) return msg_invalid(ip, "syntax");
  std::string msg;
  if (rc_t rc = data::validate_name(n, &msg)) return fail_quoting(ip, "", msg, "\n", rc);
  if (rc_t rc = ip.dataset.set_char(owner, n, text, &msg)) return msg.empty() ? rc_message(ip, rc) : fail_quoting(ip, "", msg, "\n", rc);
  mark_changed(ip);
  return 0;
}

void char_line(Interp& ip, const std::string& owner, const data::Characteristics::Entry& e) {
  std::string key = "  " + owner + "[" + e.name + "]:";
  if (key.size() < 31) key.resize(31, ' ');
  else key += ' ';
  ip.out.set_class(output::OutClass::Text);
  ip.out.print_plain(key);
  ip.out.print_markup("{res}");
  ip.out.print_plain(e.contents);
  ip.out.print_markup("{txt}\n");
}

rc_t char_list(Interp& ip, std::string_view rest) {
  const data::Characteristics& ch = ip.dataset.chars();
  std::vector<std::pair<std::string, std::string>> want;  // owner, name ("" = all)
  for (std::string_view r = trim(rest); !r.empty();) {
    std::string_view w = next_word(r), o, n;
    std::string owner;
    if (split_char_name(w, &o, &n)) {
      if (rc_t rc = char_owner(ip, o, &owner)) return rc;
      want.emplace_back(owner, std::string(n));
    } else {
      if (rc_t rc = char_owner(ip, w, &owner)) return rc;
      want.emplace_back(owner, "");
    }
  }
  if (want.empty()) {
    // _dta first, then the variables in dataset order.
    want.emplace_back("_dta", "");
    for (int j = 1; j <= ip.dataset.nvar(); ++j) want.emplace_back(ip.dataset.name(j), "");
  }
  for (const auto& [owner, name] : want)
    for (const auto& e : ch.entries(owner))
      if (name.empty() || e.name == name) char_line(ip, owner, e);
  return 0;
}

rc_t char_rename(Interp& ip, std::string_view rest) {
  std::string_view body, opts;
  split_comma(rest, &body, &opts);
  unsigned seen;
  if (rc_t rc = read_flags(ip, opts, {{"replace", 7}}, &seen)) return rc;
  std::string_view a = next_word(body), b = next_word(body);
  if (a.empty() || b.empty() || !body.empty()) return msg_invalid(ip, "syntax");
  std::string from, to;
  if (rc_t rc = char_owner(ip, a, &from)) return rc;
  if (rc_t rc = char_owner(ip, b, &to)) return rc;
  data::Characteristics& ch = ip.dataset.chars();
  if (from == to) return 0;
  if (!ch.entries(to).empty() && !(seen & 1))
    return fail_quoting(ip, "", to, " characteristics already exist; specify option replace\n", 110);
  ch.rename_owner(from, to);
  mark_changed(ip);
  return 0;
}

}  // namespace

rc_t cmd_label(Interp& ip) {
  std::string_view rest = ip.reader.rest();
  std::string_view sub = next_word(rest);
  if (sub.empty()) return msg_invalid(ip, "syntax");
  if (abbreviates(sub, "data", 1)) return label_data(ip, rest);
  if (abbreviates(sub, "variable", 3)) return label_variable(ip, rest);
  if (abbreviates(sub, "define", 3)) return label_define(ip, rest);
  if (abbreviates(sub, "values", 3)) return label_values(ip, rest);
  if (abbreviates(sub, "list", 1)) return label_list(ip, rest);
  if (sub == "dir") return label_dir(ip, rest);
  if (sub == "drop") return label_drop(ip, rest);
  if (sub == "copy") return label_copy(ip, rest);
  return fail_quoting(ip, "", sub, " invalid label subcommand\n", 198);
}

rc_t cmd_char(Interp& ip) {
  std::string_view rest = ip.reader.rest();
  std::string_view r2 = rest;
  std::string_view sub = next_word(r2);
  if (sub.empty()) return msg_invalid(ip, "syntax");
  if (abbreviates(sub, "define", 2)) return char_define(ip, r2);
  if (abbreviates(sub, "list", 1)) return char_list(ip, r2);
  if (sub == "rename") return char_rename(ip, r2);
  // `char owner[name] text` is define without the word.
  std::string_view o, n;
  if (split_char_name(sub, &o, &n)) return char_define(ip, rest);
  return fail_quoting(ip, "", sub, " invalid char subcommand\n", 198);
}

}  // namespace nuvra
