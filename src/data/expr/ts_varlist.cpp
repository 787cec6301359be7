// Variable lists with time-series operators.  See ts_varlist.h.
#include "data/expr/ts_varlist.h"

#include <cstdlib>

namespace nuvra::expr {

namespace {

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_op_letter(char c) {
  switch (c) {
    case 'L': case 'l': case 'F': case 'f': case 'D': case 'd': case 'S': case 's': return true;
    default: return false;
  }
}

rc_t fail_with(data::VarlistFailure* f, rc_t rc, std::string msg) {
  if (f) {
    f->rc = rc;
    f->message = std::move(msg);
  }
  return rc;
}

// One operator letter with the counts it is written with: {1} for a bare
// letter, one entry for L2, several for L(1/3).
struct OpItem {
  char letter;
  std::vector<long long> counts;
};

// "1/3", "0 2 4", "1,2": whole numbers from 0 up; a/b counts up from a to b.
bool read_counts(std::string_view s, std::vector<long long>* out) {
  size_t i = 0;
  auto number = [&](long long* v) {
    size_t start = i;
    long long x = 0;
    while (i < s.size() && is_digit(s[i])) {
      x = x * 10 + (s[i] - '0');
      if (x > 2147483647LL) return false;
      ++i;
    }
    *v = x;
    return i > start;
  };
  while (true) {
    while (i < s.size() && (is_space(s[i]) || s[i] == ',')) ++i;
    if (i == s.size()) break;
    long long a = 0;
    if (!number(&a)) return false;
    while (i < s.size() && is_space(s[i])) ++i;
    if (i < s.size() && s[i] == '/') {
      ++i;
      while (i < s.size() && is_space(s[i])) ++i;
      long long b = 0;
      if (!number(&b) || b < a || b - a > 10000) return false;
      for (long long k = a; k <= b; ++k) out->push_back(k);
    } else {
      out->push_back(a);
    }
  }
  return !out->empty();
}

// The operator part before the target's dot.
rc_t read_ops(std::string_view s, std::vector<OpItem>* items, data::VarlistFailure* fail) {
  size_t i = 0;
  while (i < s.size()) {
    char c = s[i];
    if (c == '.' || is_space(c)) {
      ++i;
      continue;
    }
    if (!is_op_letter(c)) return fail_with(fail, 198, "operator invalid");
    ++i;
    OpItem item{c, {}};
    if (i < s.size() && s[i] == '(') {
      size_t close = s.find(')', i);
      if (close == std::string_view::npos) return fail_with(fail, 198, "operator invalid");
      if (!read_counts(s.substr(i + 1, close - i - 1), &item.counts)) return fail_with(fail, 121, "invalid numlist");
      i = close + 1;
    } else if (i < s.size() && is_digit(s[i])) {
      long long x = 0;
      while (i < s.size() && is_digit(s[i])) {
        x = x * 10 + (s[i++] - '0');
        if (x > 2147483647LL) return fail_with(fail, 198, "operator invalid");
      }
      item.counts.push_back(x);
    } else {
      item.counts.push_back(1);
    }
    items->push_back(std::move(item));
  }
  if (items->empty()) return fail_with(fail, 198, "operator invalid");
  return 0;
}

// Elements of the list: blank-separated, parentheses keeping their
// contents (and a dot joining an operator part to a bracketed target)
// together.
std::vector<std::string_view> elements(std::string_view text) {
  std::vector<std::string_view> out;
  size_t i = 0;
  while (i < text.size()) {
    if (is_space(text[i])) {
      ++i;
      continue;
    }
    size_t k = i;
    int depth = 0;
    while (k < text.size() && (depth > 0 || !is_space(text[k]))) {
      if (text[k] == '(') ++depth;
      if (text[k] == ')' && depth > 0) --depth;
      ++k;
    }
    out.push_back(text.substr(i, k - i));
    i = k;
  }
  return out;
}

// The dot that separates operators from their target: the last one
// outside parentheses.
size_t target_dot(std::string_view w) {
  int depth = 0;
  size_t dot = std::string_view::npos;
  for (size_t k = 0; k < w.size(); ++k) {
    if (w[k] == '(') ++depth;
    if (w[k] == ')' && depth > 0) --depth;
    if (w[k] == '.' && depth == 0) dot = k;
  }
  return dot;
}

}  // namespace

bool ts_canonical_ops(std::string_view ops, std::string* canonical, data::VarlistFailure* fail) {
  std::string t;
  for (char c : ops)
    if (c != '.' && !is_space(c)) t += c;
  if (t.size() >= 240) return fail_with(fail, 1000, "operator too long") == 0;
  long long lag = 0, diff = 0;
  std::vector<long long> seasonal;
  size_t i = 0;
  while (i < t.size()) {
    char c = static_cast<char>(t[i] & ~0x20);
    if (c != 'L' && c != 'F' && c != 'D' && c != 'S') return fail_with(fail, 198, "operator invalid") == 0;
    ++i;
    long long count = 1;
    if (i < t.size() && is_digit(t[i])) {
      count = 0;
      while (i < t.size() && is_digit(t[i])) {
        count = count * 10 + (t[i++] - '0');
        if (count > 2147483647LL) return fail_with(fail, 198, "operator invalid") == 0;
      }
    }
    if (c == 'L') lag += count;
    if (c == 'F') lag -= count;
    if (c == 'D') {
      diff += count;
      if (diff > 20) return fail_with(fail, 198, "operator invalid:  D20 is maximum allowed difference") == 0;
    }
    if (c == 'S' && count > 0) {
      if (seasonal.size() == 8) return fail_with(fail, 1000, "operator too long") == 0;
      auto at = seasonal.begin();
      while (at != seasonal.end() && *at <= count) ++at;
      seasonal.insert(at, count);
    }
  }
  std::string out;
  if (lag > 0) out += "L" + std::to_string(lag);
  if (lag < 0) out += "F" + std::to_string(-lag);
  if (diff > 0) out += "D" + std::to_string(diff);
  for (long long s : seasonal) out += "S" + std::to_string(s);
  if (out.size() >= 20) return fail_with(fail, 1000, "operator too long") == 0;
  *canonical = std::move(out);
  return true;
}

std::string ts_term_name(std::string_view ops, std::string_view varname) {
  std::string out;
  size_t i = 0;
  while (i < ops.size()) {
    out += ops[i++];
    size_t start = i;
    while (i < ops.size() && is_digit(ops[i])) ++i;
    std::string_view count = ops.substr(start, i - start);
    if (count != "1") out += count;
  }
  if (!out.empty()) out += '.';
  out += varname;
  return out;
}

rc_t read_ts_varlist(const data::Dataset& ds, std::string_view text, std::vector<TsVarTerm>* out,
                     data::VarlistFailure* fail) {
  data::VarlistFailure local;
  if (!fail) fail = &local;
  std::vector<TsVarTerm> got;
  std::string plain;  // ordinary elements waiting to be read together (ranges span words)
  auto flush = [&]() -> rc_t {
    if (plain.empty()) return 0;
    std::vector<int> vars;
    if (rc_t rc = data::read_varlist(ds, plain, &vars, fail)) return rc;
    for (int j : vars) got.push_back(TsVarTerm{j, {}});
    plain.clear();
    return 0;
  };
  for (std::string_view w : elements(text)) {
    size_t dot = target_dot(w);
    if (dot == std::string_view::npos || dot == 0 || !is_op_letter(w[0])) {
      plain += ' ';
      plain += w;
      continue;
    }
    if (rc_t rc = flush()) return rc;
    std::vector<OpItem> items;
    if (rc_t rc = read_ops(w.substr(0, dot), &items, fail)) return rc;
    std::string_view target = w.substr(dot + 1);
    if (target.size() >= 2 && target.front() == '(' && target.back() == ')') target = target.substr(1, target.size() - 2);
    if (target.find_first_of("()") != std::string_view::npos || target.find_first_not_of(" \t") == std::string_view::npos)
      return fail_with(fail, 198, "invalid syntax");
    std::vector<int> vars;
    if (rc_t rc = data::read_varlist(ds, target, &vars, fail)) return rc;
    // Every combination of the counts, the first item varying slowest.
    std::vector<std::string> combos{""};
    for (const OpItem& it : items) {
      std::vector<std::string> next;
      for (const std::string& c : combos)
        for (long long n : it.counts) next.push_back(c + it.letter + std::to_string(n));
      combos.swap(next);
    }
    std::vector<std::string> canon(combos.size());
    for (size_t k = 0; k < combos.size(); ++k)
      if (!ts_canonical_ops(combos[k], &canon[k], fail)) return fail->rc;
    for (int j : vars) {
      for (const std::string& c : canon) {
        if (!c.empty() && ds.is_string(j))
          return fail_with(fail, 109, ds.name(j) + ":  may not use time-series operators on string variables");
        got.push_back(TsVarTerm{j, c});
      }
    }
  }
  if (rc_t rc = flush()) return rc;
  *out = std::move(got);
  return 0;
}

}  // namespace nuvra::expr
