#include "interp/parse.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "base/text.h"
#include "data/expr/sample.h"
#include "interp/builtins.h"
#include "interp/interp.h"
#include "interp/messages.h"
#include "data/names.h"

namespace nuvra {

namespace {

bool is_operator_char(char c, bool list_mode) {
  return std::strchr("|&=><+-*/^:!~#", c) != nullptr || (list_mode && (c == '\\' || c == ','));
}

rc_t not_allowed(Interp& ip, std::string_view what) {
  return msg_quoting(ip.out, "", what, " not allowed\n", 101);
}

size_t skip_blanks(std::string_view s, size_t i) {
  while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
  return i;
}

// End of the word starting at i: up to a blank or one of `stops`.
size_t word_end(std::string_view s, size_t i, const char* stops) {
  while (i < s.size() && s[i] != ' ' && s[i] != '\t' && !std::strchr(stops, s[i])) ++i;
  return i;
}

bool starts_word(std::string_view s, size_t i, std::string_view w) {
  if (s.substr(i, w.size()) != w) return false;
  size_t after = i + w.size();
  return after >= s.size() || s[after] == ' ' || s[after] == '\t';
}

// Position of the ')' closing the '(' at `open`, quotes respected.
size_t matching_paren(std::string_view s, size_t open) {
  int depth = 0;
  bool quote = false;
  for (size_t i = open; i < s.size(); ++i) {
    if (s[i] == '"') quote = !quote;
    if (quote) continue;
    if (s[i] == '(') ++depth;
    if (s[i] == ')' && --depth == 0) return i;
  }
  return std::string_view::npos;
}

bool parse_double(std::string_view w, double* v) {
  std::string t(trim(w));
  if (t.empty()) return false;
  char* end = nullptr;
  *v = std::strtod(t.c_str(), &end);
  return *end == '\0';
}

// Words inside an option's parentheses: blanks or commas separate; quoted
// and compound-quoted strings are one word, their quotes removed.
std::vector<std::string> option_words(std::string_view s, bool commas) {
  std::vector<std::string> out;
  size_t i = 0;
  while (true) {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || (commas && s[i] == ','))) ++i;
    if (i >= s.size()) break;
    if (s[i] == '"') {
      size_t close = s.find('"', i + 1);
      size_t end = close == std::string_view::npos ? s.size() : close;
      out.emplace_back(s.substr(i + 1, end - i - 1));
      i = end + 1;
    } else if (s.substr(i, 2) == "`\"") {
      size_t close = s.rfind("\"'");
      size_t end = close == std::string_view::npos || close < i + 2 ? s.size() : close;
      out.emplace_back(s.substr(i + 2, end - i - 2));
      i = end + 2;
    } else {
      size_t end = i;
      while (end < s.size() && s[end] != ' ' && s[end] != '\t' && !(commas && s[end] == ',')) ++end;
      out.emplace_back(s.substr(i, end - i));
      i = end;
    }
  }
  return out;
}

rc_t read_weight(Interp& ip, const ParseSettings& st, std::string_view s, size_t* pos, CommandLine* out) {
  size_t i = skip_blanks(s, *pos);
  if (i < s.size() && s[i] == ']') {  // "[]" is no weight
    *pos = i + 1;
    return 0;
  }
  if (st.weights == 0) return not_allowed(ip, "weights");
  if (out->has_weight) return msg_quoting(ip.out, "too many weights\n", "", "", 198);
  size_t e = word_end(s, i, "=]");
  std::string_view w = s.substr(i, e - i);
  int type = -1;
  const char* type_name = nullptr;
  if (abbreviates(w, "weight", 1)) {
    type = st.default_weight;
  } else if (abbreviates(w, "cellsize", 4)) {
    type = kAweight;
    type_name = "aweight";
  } else if (abbreviates(w, "frequency", 4)) {
    type = kFweight;
    type_name = "fweight";
  } else {
    static const struct {
      const char* name;
      int code;
    } kTypes[] = {{"fweight", kFweight}, {"aweight", kAweight}, {"pweight", kPweight}, {"iweight", kIweight}};
    for (const auto& t : kTypes)
      if (abbreviates(w, t.name, 2)) {
        type = t.code;
        type_name = t.name;
        break;
      }
  }
  if (type < 0) return msg_quoting(ip.out, "", w, " unknown weight type\n", 198);
  if (type_name && !(st.weights & type)) return not_allowed(ip, type_name);
  i = skip_blanks(s, e);
  if (i >= s.size() || s[i] != '=') return msg_invalid(ip, "syntax");
  size_t start = skip_blanks(s, i + 1);
  // The clause ends at the "]" that balances the one that opened it.
  size_t close = start;
  int depth = 0;
  bool quote = false;
  for (; close < s.size(); ++close) {
    if (s[close] == '"') quote = !quote;
    if (quote) continue;
    if (s[close] == '[') ++depth;
    if (s[close] == ']' && depth-- == 0) break;
  }
  if (close >= s.size()) return msg_invalid(ip, "syntax");
  size_t used = 0;
  if (rc_t rc = gather_expression(ip, s.substr(start, close - start), &used)) return rc;
  if (used == 0 || skip_blanks(s, start + used) != close) return msg_invalid(ip, "syntax");
  out->has_weight = true;
  out->weight_type = type;
  out->weight_text = std::string(trim(s.substr(start, used)));
  *pos = close + 1;
  return 0;
}

rc_t read_options(Interp& ip, std::string_view s, size_t* pos, CommandLine* out) {
  size_t i = *pos;
  while (true) {
    i = skip_blanks(s, i);
    if (i >= s.size() || s[i] == ',') break;
    size_t e = i;
    while (e < s.size() && s[e] != ' ' && s[e] != '\t' && s[e] != '(' && s[e] != ',') ++e;
    OptionWord w;
    w.name = std::string(s.substr(i, e - i));
    if (e < s.size() && s[e] == '(') {
      size_t close = matching_paren(s, e);
      if (close == std::string_view::npos)
        return msg_quoting(ip.out, "too few ')' or ']'\n", "", "", 132);
      w.has_args = true;
      w.args = std::string(s.substr(e + 1, close - e - 1));
      e = close + 1;
    }
    if (w.name.empty()) return msg_invalid(ip, "syntax");
    if (out->options.size() >= kMaxOptionWords) return rc_message(ip, 1003);
    out->options.push_back(std::move(w));
    i = e;
  }
  *pos = i;
  return 0;
}

}  // namespace

rc_t gather_expression(Interp& ip, std::string_view s, size_t* end, bool list_mode) {
  size_t i = skip_blanks(s, 0);
  size_t last = i;  // end of the last token taken
  bool want_operand = true;
  while (true) {
    i = skip_blanks(s, i);
    if (i >= s.size()) break;
    char c = s[i];
    if (c == ')' || c == ']') return msg_quoting(ip.out, "too many ')' or ']'\n", "", "", 132);
    if (!list_mode && c == ',') break;
    if (is_operator_char(c, list_mode)) {
      ++i;
      while (i < s.size() && std::strchr("=<>&|", s[i]) && std::strchr("=!~<>", c)) ++i;
      last = i;
      want_operand = true;
      continue;
    }
    if (!want_operand) break;
    if (c == '"') {
      size_t close = s.find('"', i + 1);
      if (close == std::string_view::npos) return msg_quoting(ip.out, "too few quotes\n", "", "", 132);
      i = close + 1;
    } else if (c == '`' && i + 1 < s.size() && s[i + 1] == '"') {
      size_t end = base::compound_quote_end(s, i);
      if (end == std::string_view::npos) return msg_quoting(ip.out, "too few quotes\n", "", "", 132);
      i = end;
    } else {
      // A name, number or bracketed group, with any brackets that follow
      // it directly (function calls and subscripts).
      if (c != '(' && c != '[') {
        bool number = (c >= '0' && c <= '9') || c == '.';
        while (i < s.size() && (is_name_char(s[i]) || s[i] == '.')) {
          char prev = s[i];
          ++i;
          // The sign of a number's exponent belongs to the number.
          if (number && i < s.size() && (s[i] == '-' || s[i] == '+') && std::strchr("eEdD", prev) &&
              i + 1 < s.size() && s[i + 1] >= '0' && s[i + 1] <= '9')
            ++i;
        }
      }
      while (i < s.size() && (s[i] == '(' || s[i] == '[')) {
        char open = s[i], close_c = open == '(' ? ')' : ']';
        int depth = 0;
        bool quote = false;
        size_t j = i;
        for (; j < s.size(); ++j) {
          if (s[j] == '"') quote = !quote;
          if (quote) continue;
          if (s[j] == '(' || s[j] == '[') ++depth;
          if (s[j] == ')' || s[j] == ']') {
            if (--depth == 0) break;
          }
        }
        (void)close_c;
        if (j >= s.size()) return msg_quoting(ip.out, "too few ')' or ']'\n", "", "", 132);
        i = j + 1;
      }
      if (i == last) return msg_invalid(ip, "syntax");
    }
    last = i;
    want_operand = false;
  }
  *end = last;
  return 0;
}

rc_t read_in_range(Interp& ip, std::string_view text, int64_t nobs, int64_t* first, int64_t* last) {
  return expr::read_in_range(ip, text, nobs, first, last);
}

rc_t standard_parse(Interp& ip, const ParseSettings& st, CommandLine* out) {
  *out = CommandLine{};
  std::string_view s = ip.reader.rest();
  int64_t nobs = ip.nobs();
  // Without `in` a command works on the observations it is given: all of
  // them, or under `by` the current group.
  out->in_first = ip.obs_first();
  out->in_last = ip.obs_last();
  size_t i = 0;
  if (st.varlist) {
    // The varlist runs to the first qualifier, weight or comma.
    size_t start = i;
    while (i < s.size()) {
      size_t j = skip_blanks(s, i);
      if (j >= s.size() || s[j] == ',' || s[j] == '[' || s[j] == '=' || starts_word(s, j, "if") ||
          starts_word(s, j, "in") || starts_word(s, j, "using"))
        break;
      i = word_end(s, j, ",[=");
    }
    out->varlist_text = std::string(trim(s.substr(start, i - start)));
  }
  while (true) {
    i = skip_blanks(s, i);
    if (i >= s.size()) break;
    if (starts_word(s, i, "if")) {
      if (!st.allow_if) return not_allowed(ip, "if");
      if (out->has_if) return msg_invalid(ip, "syntax");
      size_t start = skip_blanks(s, i + 2);
      size_t used = 0;
      if (rc_t rc = gather_expression(ip, s.substr(start), &used)) return rc;
      if (used == 0) return msg_invalid(ip, "syntax");
      out->has_if = true;
      out->if_text = std::string(trim(s.substr(start, used)));
      i = start + used;
    } else if (starts_word(s, i, "in")) {
      if (!st.allow_in) return not_allowed(ip, "in range");
      if (ip.by_active) return msg_quoting(ip.out, "'in' may not be combined with 'by'\n", "", "", 190);
      size_t start = skip_blanks(s, i + 2);
      size_t e = word_end(s, start, ",[");
      if (rc_t rc = read_in_range(ip, s.substr(start, e - start), nobs, &out->in_first, &out->in_last))
        return rc;
      out->has_in = true;
      i = e;
    } else if (starts_word(s, i, "using")) {
      if (!st.allow_using) return not_allowed(ip, "using");
      size_t start = skip_blanks(s, i + 5);
      size_t e;
      if (start < s.size() && s[start] == '"') {
        size_t close = s.find('"', start + 1);
        if (close == std::string_view::npos) return msg_invalid(ip, "syntax");
        out->using_file = std::string(s.substr(start + 1, close - start - 1));
        e = close + 1;
      } else {
        e = word_end(s, start, ",");
        out->using_file = std::string(s.substr(start, e - start));
      }
      if (out->using_file.empty()) return msg_invalid(ip, "syntax");
      out->has_using = true;
      i = e;
    } else if (s[i] == '[') {
      ++i;
      if (rc_t rc = read_weight(ip, st, s, &i, out)) return rc;
    } else if (s[i] == '=') {
      if (!st.allow_eq_exp && st.weights == 0) return not_allowed(ip, "=exp");
      if (out->has_weight) return msg_invalid(ip, "syntax");
      size_t start = skip_blanks(s, i + 1);
      size_t used = 0;
      if (rc_t rc = gather_expression(ip, s.substr(start), &used)) return rc;
      if (used == 0) return msg_invalid(ip, "syntax");
      out->has_weight = true;
      out->weight_type = st.default_weight;
      out->weight_text = std::string(trim(s.substr(start, used)));
      i = start + used;
    } else if (s[i] == ',') {
      if (!st.allow_options) return not_allowed(ip, "options");
      ++i;
      if (rc_t rc = read_options(ip, s, &i, out)) return rc;
      if (i < s.size() && s[i] == ',') return msg_invalid(ip, "syntax");
    } else {
      return msg_invalid(ip, "syntax");
    }
  }
  if (st.require_in && !out->has_in) return msg_required(ip, "in range");
  if (st.require_varlist_or_in && out->varlist_text.empty() && !out->has_in)
    return msg_required(ip, "varlist or in range");
  return 0;
}

int CommandLine::find(std::string_view name, size_t min, size_t* index) {
  for (size_t k = 0; k < options.size(); ++k) {
    if (options[k].status & 1) continue;
    if (abbreviates(options[k].name, name, min)) {
      *index = k;
      return 1;
    }
  }
  return 0;
}

int CommandLine::flag(std::string_view name, size_t min, int def) {
  std::string no = "no" + std::string(name);
  for (int pass = 0; pass < 2; ++pass) {
    std::string_view want = pass == 0 ? name : std::string_view(no);
    size_t m = pass == 0 ? min : min + 2;
    for (size_t k = 0; k < options.size(); ++k) {
      OptionWord& w = options[k];
      if ((w.status & 1) || !abbreviates(w.name, want, m)) continue;
      if (w.has_args) {
        w.status |= 2;  // known, but a flag takes no argument
        continue;
      }
      w.status = 3;
      last_found = static_cast<int>(k) + 1;
      return pass == 0 ? 1 : 0;
    }
  }
  return def;
}

int CommandLine::number_list(std::string_view name, size_t min, double* out, int max) {
  size_t k;
  if (!find(name, min, &k)) return 0;
  OptionWord& w = options[k];
  w.status |= 2;
  if (!w.has_args) return 0;
  std::vector<std::string> words = option_words(w.args, true);
  if (words.empty() || static_cast<int>(words.size()) > max) return 0;
  for (size_t n = 0; n < words.size(); ++n)
    if (!parse_double(words[n], &out[n])) return 0;
  w.status = 3;
  last_found = static_cast<int>(k) + 1;
  return static_cast<int>(words.size());
}

long long CommandLine::integer(std::string_view name, size_t min, long long def) {
  double v;
  size_t k;
  if (!find(name, min, &k)) return def;
  if (number_list(name, min, &v, 1) != 1) return def;
  if (v != std::floor(v) || v < -2147483648.0 || v > 2147483647.0) {
    options[k].status = 2;
    return def;
  }
  return static_cast<long long>(v);
}

bool CommandLine::string(std::string_view name, size_t min, std::string* out, size_t max_len, int max_words) {
  out->clear();
  size_t k;
  if (!find(name, min, &k)) return false;
  OptionWord& w = options[k];
  w.status |= 2;
  if (!w.has_args) return false;
  std::vector<std::string> words = option_words(w.args, false);
  if (static_cast<int>(words.size()) > max_words) return false;
  std::string joined;
  for (const std::string& word : words) {
    if (!joined.empty()) joined += ' ';
    joined += word;
  }
  if (joined.size() >= max_len) return false;
  *out = std::move(joined);
  w.status = 3;
  last_found = static_cast<int>(k) + 1;
  return true;
}

rc_t CommandLine::leftover(Interp& ip) const {
  for (const OptionWord& w : options) {
    if (w.status & 1) continue;
    std::string after = w.has_args ? "() " : " ";
    after += (w.status & 2) ? "incorrectly specified\n" : "not allowed\n";
    return msg_quoting(ip.out, "option ", w.name, after, 198);
  }
  return 0;
}

}  // namespace nuvra
