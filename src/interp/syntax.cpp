// syntax: the argument parser of programs.  The pattern names what
// the program accepts; the program's command line (the local 0) is read
// against it with the standard parse, and the parts land in locals.
#include <cctype>
#include <string>
#include <vector>

#include "data/expr/ts_varlist.h"
#include "data/varlist.h"
#include "interp/builtins.h"
#include "interp/interp.h"
#include "interp/messages.h"
#include "data/names.h"
#include "interp/numlist.h"
#include "interp/parse.h"

namespace nuvra {

namespace {

enum class Lead { None, Varlist, Varname, NewVarlist, NewVarname, Namelist, Name, Anything };

enum class OptKind { Flag, NoFlag, Integer, Real, String, Passthru, Varlist, Numlist, Name, Asis };

struct OptPattern {
  std::string name;  // lower case, the local it fills
  size_t min = 0;    // characters that must be typed
  OptKind kind = OptKind::Flag;
  std::string deflt;  // default of integer and real options
  bool required = false;
  int min_items = 1, max_items = 0;  // list options; 0: no upper bound
};

struct Pattern {
  Lead lead = Lead::None;
  bool lead_required = false;
  bool numeric = false, string = false;
  int min_vars = 1, max_vars = 0;  // 0: no upper bound
  bool default_none = false;
  bool equalok = false;
  bool ts = false;  // time-series operators allowed in the varlist
  std::string result_name;  // name=: the local the lead part goes into
  bool allow_if = false, allow_in = false, allow_using = false, allow_exp = false;
  bool if_required = false, in_required = false, using_required = false, exp_required = false;
  int weights = 0;
  std::vector<OptPattern> options;
  bool star = false;  // "*" collects what no option took
};

rc_t bad_pattern(Interp& ip) { return rc_message(ip, 197); }

// The count of a typed list against the pattern's min= and max=.
rc_t check_count(Interp& ip, int n, int min, int max, bool names) {
  if (max > 0 && n > max)
    return names ? msg_quoting(ip.out, "too many names specified", "", "\n", 103) : rc_message(ip, 103);
  if (n < min) return names ? msg_quoting(ip.out, "too few names specified", "", "\n", 102) : rc_message(ip, 102);
  return 0;
}

int count_words(std::string_view s) {
  int n = 0;
  for (size_t i = 0; i < s.size();) {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    if (i >= s.size()) break;
    ++n;
    while (i < s.size() && s[i] != ' ' && s[i] != '\t') ++i;
  }
  return n;
}

// Reads "min=#" and "max=#" among the words of a list option's pattern.
void list_bounds(std::string_view words, OptPattern* o) {
  std::string buf(words);
  for (size_t pos = 0;;) {
    std::string_view rest = trim(std::string_view(buf).substr(pos));
    if (rest.empty()) return;
    std::string item(rest.substr(0, rest.find(' ')));
    pos = buf.size() - rest.size() + item.size();
    if (item.rfind("min=", 0) == 0) o->min_items = std::atoi(item.c_str() + 4);
    else if (item.rfind("max=", 0) == 0) o->max_items = std::atoi(item.c_str() + 4);
  }
}

// "NAme" → name "name", minimum 2 (the capitals); all lower case means the
// whole word.
void option_name(std::string_view word, std::string* name, size_t* min) {
  size_t caps = 0;
  while (caps < word.size() && std::isupper(static_cast<unsigned char>(word[caps]))) ++caps;
  name->clear();
  for (char c : word) name->push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
  *min = caps == 0 ? word.size() : caps;
}

rc_t read_option_pattern(Interp& ip, std::string_view w, bool required, Pattern* pat) {
  if (w == "*") {
    pat->star = true;
    return 0;
  }
  OptPattern o;
  o.required = required;
  size_t paren = w.find('(');
  std::string_view head = w.substr(0, paren);
  if (head.empty()) return bad_pattern(ip);
  if (paren == std::string_view::npos) {
    // noNAme: the local is the name without "no", filled with the word.
    if (head.size() > 2 && head.substr(0, 2) == "no" && std::isupper(static_cast<unsigned char>(head[2]))) {
      option_name(head.substr(2), &o.name, &o.min);
      o.min += 2;
      o.kind = OptKind::NoFlag;
    } else {
      option_name(head, &o.name, &o.min);
    }
    pat->options.push_back(o);
    return 0;
  }
  if (w.back() != ')') return bad_pattern(ip);
  option_name(head, &o.name, &o.min);
  std::string inner(trim(w.substr(paren + 1, w.size() - paren - 2)));
  std::string kind = inner.substr(0, inner.find(' '));
  std::string rest(trim(std::string_view(inner).substr(kind.size())));
  if (kind == "integer") o.kind = OptKind::Integer, o.deflt = rest;
  else if (kind == "real") o.kind = OptKind::Real, o.deflt = rest;
  else if (kind == "string" || kind == "str") o.kind = OptKind::String;
  else if (kind == "passthru") o.kind = OptKind::Passthru;
  else if (kind == "varlist" || kind == "varname") o.kind = OptKind::Varlist;
  else if (kind == "numlist") o.kind = OptKind::Numlist;
  else if (kind == "name" || kind == "namelist") o.kind = OptKind::Name;
  else if (kind == "asis") o.kind = OptKind::Asis;
  else return bad_pattern(ip);
  if (kind == "varname" || kind == "name") o.max_items = 1;
  if (o.kind == OptKind::Varlist || o.kind == OptKind::Numlist || o.kind == OptKind::Name) list_bounds(rest, &o);
  pat->options.push_back(o);
  return 0;
}

// Reads the words of a pattern; brackets make a part optional.
rc_t read_pattern(Interp& ip, std::string_view text, Pattern* pat) {
  size_t i = 0;
  bool in_options = false, options_optional = false;
  auto skip = [&] {
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  };
  while (true) {
    skip();
    if (i >= text.size()) break;
    bool optional = false;
    if (text[i] == '[') {
      optional = true;
      ++i;
      skip();
    }
    if (i < text.size() && text[i] == ',') {
      in_options = true;
      options_optional = optional;
      ++i;
      continue;
    }
    if (i < text.size() && text[i] == ']') {  // the close of "[, ... ]"
      ++i;
      continue;
    }
    // A word, with its parenthesised part.
    size_t start = i;
    int depth = 0;
    while (i < text.size() && (depth > 0 || (text[i] != ' ' && text[i] != '\t' && text[i] != ']'))) {
      if (text[i] == '(') ++depth;
      if (text[i] == ')') --depth;
      ++i;
    }
    std::string_view w = text.substr(start, i - start);
    // An optional single part ends at its "]"; several weights share one.
    std::vector<std::string_view> words{w};
    if (optional && !in_options) {
      while (true) {
        skip();
        if (i >= text.size()) return bad_pattern(ip);
        if (text[i] == ']') {
          ++i;
          break;
        }
        size_t s2 = i;
        while (i < text.size() && text[i] != ' ' && text[i] != ']') ++i;
        words.push_back(text.substr(s2, i - s2));
      }
    }
    if (in_options) {
      for (std::string_view ow : words)
        if (rc_t rc = read_option_pattern(ip, ow, !options_optional && !optional, pat)) return rc;
      continue;
    }
    std::string_view head = w.substr(0, w.find('('));
    Lead lead = Lead::None;
    if (head == "varlist") lead = Lead::Varlist;
    else if (head == "varname") lead = Lead::Varname;
    else if (head == "newvarlist") lead = Lead::NewVarlist;
    else if (head == "newvarname") lead = Lead::NewVarname;
    else if (head == "namelist") lead = Lead::Namelist;
    else if (head == "name") lead = Lead::Name;
    else if (head == "anything") lead = Lead::Anything;
    if (lead != Lead::None) {
      if (pat->lead != Lead::None || words.size() != 1) return bad_pattern(ip);
      pat->lead = lead;
      pat->lead_required = !optional;
      if (lead == Lead::Varname || lead == Lead::NewVarname || lead == Lead::Name) pat->max_vars = 1;
      size_t paren = w.find('(');
      if (paren != std::string_view::npos) {
        if (w.back() != ')') return bad_pattern(ip);
        std::string inner(w.substr(paren + 1, w.size() - paren - 2));
        std::string buf = inner;
        for (size_t pos = 0;;) {
          std::string_view rest = trim(std::string_view(buf).substr(pos));
          if (rest.empty()) break;
          size_t e = rest.find(' ');
          std::string item(rest.substr(0, e));
          pos = buf.size() - rest.size() + item.size();
          if (item == "numeric") pat->numeric = true;
          else if (item == "string") pat->string = true;
          else if (item == "default=none") pat->default_none = true;
          else if (item.rfind("name=", 0) == 0 && item.size() > 5) {
            std::string n = item.substr(5);
            if (!is_valid_name(n) || n.size() > 31) return bad_pattern(ip);
            pat->result_name = n;
          }
          else if (item == "ts") pat->ts = true;
          else if (item == "equalok" || item == "everything" || item == "fv" || item == "generate" || item == "id=" || item.rfind("id=", 0) == 0)
            pat->equalok = pat->equalok || item == "equalok";
          else if (item.rfind("min=", 0) == 0) pat->min_vars = std::atoi(item.c_str() + 4);
          else if (item.rfind("max=", 0) == 0) pat->max_vars = std::atoi(item.c_str() + 4);
          else return bad_pattern(ip);
        }
      }
      continue;
    }
    for (std::string_view q : words) {
      if (q == "if") pat->allow_if = true, pat->if_required = !optional;
      else if (q == "in") pat->allow_in = true, pat->in_required = !optional;
      else if (q == "using/" || q == "using") pat->allow_using = true, pat->using_required = !optional;
      else if (q == "=/exp" || q == "=exp") pat->allow_exp = true, pat->exp_required = !optional;
      else if (q == "fweight") pat->weights |= kFweight;
      else if (q == "aweight") pat->weights |= kAweight;
      else if (q == "pweight") pat->weights |= kPweight;
      else if (q == "iweight") pat->weights |= kIweight;
      else if (q == "/") continue;
      else return bad_pattern(ip);
    }
  }
  return 0;
}

std::string join_names(const data::Dataset& ds, const std::vector<int>& vars) {
  std::string out;
  for (int j : vars) {
    if (!out.empty()) out.push_back(' ');
    out += ds.name(j);
  }
  return out;
}

}  // namespace

// syntax pattern: reads the local 0 against it.
rc_t cmd_syntax(Interp& ip) {
  Pattern pat;
  if (rc_t rc = read_pattern(ip, ip.reader.rest(), &pat)) return rc;
  const std::string* zero = ip.macros.local("0");
  std::string line = "syntax " + (zero ? *zero : std::string());

  // Everything is checked before any local is set, so a failing syntax
  // leaves the caller's macros as they were.
  std::vector<std::pair<std::string, std::string>> results;

  ParseSettings st;
  st.varlist = pat.lead != Lead::None;
  st.allow_if = pat.allow_if;
  st.allow_in = pat.allow_in;
  st.allow_using = pat.allow_using;
  st.allow_eq_exp = pat.allow_exp;
  st.weights = pat.weights;
  st.default_weight = pat.weights & kAweight ? kAweight : pat.weights & kFweight ? kFweight
                      : pat.weights & kPweight ? kPweight : kIweight;
  st.allow_options = !pat.options.empty() || pat.star;
  CommandLine cl;
  std::string saved_buf = ip.cmdbuf;
  size_t saved_pos = ip.reader.pos();
  ip.cmdbuf = line;
  ip.reader.attach(&ip.cmdbuf, 6);
  rc_t rc = standard_parse(ip, st, &cl);
  ip.cmdbuf = saved_buf;
  ip.reader.attach(&ip.cmdbuf, saved_pos);
  if (rc) return rc;

  // The leading list.
  const data::Dataset& ds = ip.dataset;
  std::string lead_text = cl.varlist_text;
  // "=exp" is read as a weight by the parse when the pat takes it.
  std::string exp_text;
  if (pat.allow_exp && cl.has_weight && pat.weights == 0) {
    exp_text = cl.weight_text;
    cl.has_weight = false;
  }
  switch (pat.lead) {
    case Lead::None:
      break;
    case Lead::Varlist:
    case Lead::Varname: {
      std::vector<int> vars;
      std::string terms;  // the list as the program sees it
      if (lead_text.empty()) {
        if (pat.lead_required) return msg_required(ip, pat.lead == Lead::Varname ? "varname" : "varlist");
        if (!pat.default_none)
          for (int j = 1; j <= ds.nvar(); ++j) vars.push_back(j);
        terms = join_names(ds, vars);
      } else if (pat.ts) {
        // Operated terms stay written as terms (L.x L2.x), count lists
        // and bracketed targets expanded; each is checked like a variable.
        std::vector<expr::TsVarTerm> ts;
        data::VarlistFailure fail;
        if (expr::read_ts_varlist(ds, lead_text, &ts, &fail) != 0)
          return msg_quoting(ip.out, "", fail.message, "\n", fail.rc);
        for (const auto& t : ts) {
          vars.push_back(t.var);
          if (!terms.empty()) terms += ' ';
          terms += expr::ts_term_name(t.ops, ds.name(t.var));
        }
      } else {
        data::VarlistFailure fail;
        if (data::read_varlist(ds, lead_text, &vars, &fail) != 0)
          return msg_quoting(ip.out, "", fail.message, "\n", fail.rc);
        terms = join_names(ds, vars);
      }
      if (!lead_text.empty()) {
        if (rc_t rc = check_count(ip, static_cast<int>(vars.size()), pat.min_vars, pat.max_vars, false)) return rc;
      } else if (pat.max_vars > 0 && static_cast<int>(vars.size()) > pat.max_vars) {
        return rc_message(ip, 103);
      }
      for (int j : vars) {
        if (pat.numeric && ds.is_string(j)) return msg_quoting(ip.out, "", "", "string variables not allowed\n", 109);
        if (pat.string && !pat.numeric && !ds.is_string(j))
          return msg_quoting(ip.out, "", "", "numeric variables not allowed\n", 109);
      }
      results.emplace_back(pat.result_name.empty() ? "varlist" : pat.result_name, terms);
      break;
    }
    case Lead::NewVarlist:
    case Lead::NewVarname: {
      if (lead_text.empty()) {
        if (pat.lead_required) return msg_required(ip, "varlist");
        results.emplace_back("varlist", "");
        break;
      }
      std::vector<data::NewVariable> nv;
      data::VarlistFailure fail;
      if (data::read_new_varlist(ds, lead_text, data::kFloat, &nv, &fail) != 0)
        return msg_quoting(ip.out, "", fail.message, "\n", fail.rc);
      if (rc_t rc = check_count(ip, static_cast<int>(nv.size()), pat.min_vars, pat.max_vars, false)) return rc;
      std::string names, types;
      for (const auto& v : nv) {
        if (!names.empty()) names += ' ', types += ' ';
        names += v.name;
        types += data::type_name(v.type);
      }
      results.emplace_back("varlist", names);
      results.emplace_back("typlist", types);
      break;
    }
    case Lead::Namelist:
    case Lead::Name: {
      if (lead_text.empty() && pat.lead_required) return msg_required(ip, pat.lead == Lead::Name ? "name" : "namelist");
      std::string buf = lead_text;
      int count = 0;
      for (size_t p = 0;;) {
        std::string_view rest = trim(std::string_view(buf).substr(p));
        if (rest.empty()) break;
        std::string_view w = rest.substr(0, rest.find(' '));
        if (!is_valid_name(w)) return msg_quoting(ip.out, "", w, " invalid name\n", 198);
        ++count;
        p = buf.size() - rest.size() + w.size();
      }
      if (!lead_text.empty()) {
        if (rc_t rc = check_count(ip, count, pat.min_vars, pat.max_vars, true)) return rc;
      }
      results.emplace_back(pat.result_name.empty() ? "namelist" : pat.result_name, lead_text);
      break;
    }
    case Lead::Anything:
      if (lead_text.empty() && pat.lead_required) return msg_required(ip, "something");
      results.emplace_back(pat.result_name.empty() ? "anything" : pat.result_name, lead_text);
      break;
  }

  if (pat.allow_if) {
    if (pat.if_required && !cl.has_if) return msg_required(ip, "if exp");
    results.emplace_back("if", cl.has_if ? "if " + cl.if_text : "");
  }
  if (pat.allow_in) {
    if (pat.in_required && !cl.has_in) return msg_required(ip, "in range");
    results.emplace_back("in", cl.has_in ? "in " + std::to_string(cl.in_first) + "/" + std::to_string(cl.in_last) : "");
  }
  if (pat.allow_using) {
    if (pat.using_required && !cl.has_using) return msg_required(ip, "using");
    results.emplace_back("using", cl.using_file);
  }
  if (pat.allow_exp) {
    if (pat.exp_required && exp_text.empty()) return msg_required(ip, "=exp");
    results.emplace_back("exp", exp_text);
  }
  if (pat.weights) {
    static const char* const kNames[] = {"", "aweight", "fweight", "", "pweight", "", "", "", "iweight"};
    results.emplace_back("weight", cl.has_weight ? kNames[cl.weight_type] : "");
    results.emplace_back("exp", cl.has_weight ? "= " + cl.weight_text : "");
  }

  // Options, each matched by its minimum abbreviation.
  for (const OptPattern& o : pat.options) {
    std::string value;
    bool found = false;
    for (OptionWord& w : cl.options) {
      if (w.status & 1) continue;
      std::string fullname = o.kind == OptKind::NoFlag ? "no" + o.name : o.name;
      if (!abbreviates(w.name, fullname, o.min)) continue;
      found = true;
      bool takes_args = o.kind != OptKind::Flag && o.kind != OptKind::NoFlag;
      if (takes_args != w.has_args) {
        w.status |= 2;
        break;
      }
      switch (o.kind) {
        case OptKind::Flag: value = o.name; break;
        case OptKind::NoFlag: value = "no" + o.name; break;
        case OptKind::Passthru: value = o.name + "(" + w.args + ")"; break;
        case OptKind::String:
        case OptKind::Asis: value = w.args; break;
        case OptKind::Name:
          value = std::string(trim(w.args));
          if (!value.empty()) {
            if (rc_t rc = check_count(ip, count_words(value), o.min_items, o.max_items, true)) return rc;
          }
          break;
        case OptKind::Integer:
        case OptKind::Real: {
          std::string a(trim(w.args));
          char* end = nullptr;
          double v = std::strtod(a.c_str(), &end);
          bool ok = !a.empty() && *end == '\0' && (o.kind == OptKind::Real || v == static_cast<long long>(v));
          if (!ok) {
            w.status |= 2;
            continue;
          }
          value = a;
          break;
        }
        case OptKind::Varlist: {
          std::vector<int> vars;
          data::VarlistFailure fail;
          if (data::read_varlist(ds, w.args, &vars, &fail) != 0)
            return msg_quoting(ip.out, "", fail.message, "\n", fail.rc);
          if (!vars.empty()) {
            if (rc_t rc = check_count(ip, static_cast<int>(vars.size()), o.min_items, o.max_items, false)) return rc;
          }
          value = join_names(ds, vars);
          break;
        }
        case OptKind::Numlist: {
          std::vector<double> nums;
          NumlistOptions nopt;
          nopt.min = o.min_items;
          if (o.max_items > 0) nopt.max = o.max_items;
          if (rc_t r = read_numlist(ip, w.args, nopt, &nums)) return r;
          value = format_numlist(nums);
          break;
        }
      }
      w.status = 3;
      break;
    }
    if (!found && o.required) return msg_quoting(ip.out, "option ", o.name + "()", " required\n", 198);
    if (!found || value.empty()) value = (o.kind == OptKind::Integer || o.kind == OptKind::Real) ? o.deflt : value;
    results.emplace_back(o.name, value);
  }
  if (pat.star) {
    std::string rest;
    for (OptionWord& w : cl.options) {
      // Options a pat entry recognised but could not accept are reported,
      // not passed on.
      if (w.status & 3) continue;
      if (!rest.empty()) rest.push_back(' ');
      rest += w.has_args ? w.name + "(" + w.args + ")" : w.name;
      w.status = 3;
    }
    results.emplace_back("options", rest);
  }
  if (rc_t r = cl.leftover(ip)) return r;

  for (const auto& [name, value] : results) {
    if (value.empty()) ip.macros.drop_local(name);
    else ip.macros.set_local(name, value);
  }
  return 0;
}

}  // namespace nuvra
