#include "data/varlist.h"

#include <algorithm>
#include <unordered_set>

#include "base/wildcard.h"

namespace nuvra::data {

namespace {

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

// Blank-separated words, with '-' a word of its own so that "a-b" and
// "a - b" read alike.
std::vector<std::string_view> split(std::string_view text) {
  std::vector<std::string_view> out;
  std::size_t i = 0;
  while (i < text.size()) {
    if (is_space(text[i])) {
      ++i;
      continue;
    }
    if (text[i] == '-') {
      out.push_back(text.substr(i, 1));
      ++i;
      continue;
    }
    std::size_t k = i;
    while (k < text.size() && !is_space(text[k]) && text[k] != '-') ++k;
    out.push_back(text.substr(i, k - i));
    i = k;
  }
  return out;
}

rc_t fail_with(VarlistFailure* f, rc_t rc, std::string msg) {
  if (f) {
    f->rc = rc;
    f->message = std::move(msg);
  }
  return rc;
}

bool has_wildcard(std::string_view w) { return w.find_first_of("*?~") != std::string_view::npos; }

// A pattern is a name with wildcards standing in for some of its
// characters: a wildcard, '_' or a letter first, and no character the name
// rules forbid.
bool valid_pattern(std::string_view w) {
  auto wild = [](char c) { return c == '*' || c == '?' || c == '~'; };
  char f = w[0];
  if (!(wild(f) || f == '_' || (f >= 'a' && f <= 'z') || (f >= 'A' && f <= 'Z'))) return false;
  return std::all_of(w.begin(), w.end(), [&](char c) {
    return wild(c) || (!is_space(c) && std::string_view("\\!@#$%^&()-+=[]{}:;,'\"<>/|.").find(c) == std::string_view::npos);
  });
}

// A word written as an operated variable (L.x, L2D.x, L(1/3).x, L.(x):
// operator letters, counts and count lists before the last dot), which
// a plain list refuses as such rather than as a bad name.
bool ts_operated(std::string_view w) {
  size_t dot = w.rfind('.');
  if (dot == std::string_view::npos || dot == 0) {
    dot = w.find(".(");
    if (dot == std::string_view::npos || dot == 0) return false;
  }
  if (std::string_view("LlFfDdSs").find(w[0]) == std::string_view::npos) return false;
  for (size_t k = 0; k < dot; ++k)
    if (std::string_view("LlFfDdSs0123456789()/,.").find(w[k]) == std::string_view::npos) return false;
  return true;
}

rc_t lookup(const Dataset& ds, std::string_view w, int* j, VarlistFailure* fail) {
  std::string msg;
  if (ts_operated(w)) return fail_with(fail, 101, "time-series operators not allowed");
  if (w.size() > kMaxNameLength || validate_name(w) != 0) return fail_with(fail, 198, std::string(w) + " invalid name");
  rc_t rc = ds.find(w, j, &msg);
  return rc ? fail_with(fail, rc, msg) : 0;
}

// stub followed by digits: the stub and the number, or false.
bool split_number(std::string_view w, std::string_view* stub, long* n) {
  std::size_t k = w.size();
  while (k > 0 && w[k - 1] >= '0' && w[k - 1] <= '9') --k;
  if (k == 0 || k == w.size() || w.size() - k > 9) return false;
  *stub = w.substr(0, k);
  *n = std::stol(std::string(w.substr(k)));
  return true;
}

}  // namespace

bool varlist_pattern_match(std::string_view p, std::string_view s) {
  return base::wildcard_match(s, p, true);
}

rc_t read_varlist(const Dataset& ds, std::string_view text, std::vector<int>* out,
                  VarlistFailure* fail, unsigned flags) {
  std::vector<std::string_view> w = split(text);
  std::vector<int> got;
  for (std::size_t k = 0; k < w.size(); ++k) {
    std::string_view t = w[k];
    if (t == "-") return fail_with(fail, 198, "invalid syntax");
    bool range = k + 1 < w.size() && w[k + 1] == "-";
    if (range) {
      if (k + 2 >= w.size() || w[k + 2] == "-") return fail_with(fail, 198, "invalid syntax");
      std::string_view u = w[k + 2];
      if (has_wildcard(t)) return fail_with(fail, 198, std::string(t) + " invalid name");
      if (has_wildcard(u)) return fail_with(fail, 198, std::string(u) + " invalid name");
      int a = 0, b = 0;
      if (rc_t rc = lookup(ds, t, &a, fail)) return rc;
      if (rc_t rc = lookup(ds, u, &b, fail)) return rc;
      if (a > b) return fail_with(fail, 198, "variables out of order");
      for (int j = a; j <= b; ++j) got.push_back(j);
      k += 2;
      continue;
    }
    if (t == "_all") {
      for (int j = 1; j <= ds.nvar(); ++j) got.push_back(j);
      continue;
    }
    if (has_wildcard(t)) {
      if (!valid_pattern(t)) return fail_with(fail, 198, std::string(t) + " invalid name");
      bool unique = t.find('~') != std::string_view::npos;
      std::size_t before = got.size();
      for (int j = 1; j <= ds.nvar(); ++j)
        if (varlist_pattern_match(t, ds.name(j))) got.push_back(j);
      std::size_t n = got.size() - before;
      if (n == 0) return fail_with(fail, 111, "variable " + std::string(t) + " not found");
      if (unique && n > 1) return fail_with(fail, 111, std::string(t) + " ambiguous abbreviation");
      continue;
    }
    int j = 0;
    if (rc_t rc = lookup(ds, t, &j, fail)) return rc;
    got.push_back(j);
  }
  if (flags & kVarlistUnique) {
    std::unordered_set<int> seen;
    std::vector<int> u;
    for (int j : got)
      if (seen.insert(j).second) u.push_back(j);
    got = std::move(u);
  }
  *out = std::move(got);
  return 0;
}

rc_t read_new_varlist(const Dataset& ds, std::string_view text, int default_type,
                      std::vector<NewVariable>* out, VarlistFailure* fail) {
  std::vector<std::string_view> w = split(text);
  std::vector<NewVariable> got;
  std::unordered_set<std::string> seen;
  auto add = [&](std::string_view name, int type) -> rc_t {
    std::string msg;
    if (rc_t rc = ds.check_new_name(name, &msg)) return fail_with(fail, rc, msg);
    if (!seen.insert(std::string(name)).second) return fail_with(fail, 110, std::string(name) + " already defined");
    got.push_back(NewVariable{std::string(name), type});
    return 0;
  };
  int pending = 0;
  for (std::size_t k = 0; k < w.size(); ++k) {
    std::string_view t = w[k];
    if (t == "-") return fail_with(fail, 198, "invalid syntax");
    if (!pending) {
      if (int ty = parse_type_name(t)) {
        pending = ty;
        continue;
      }
    }
    int type = pending ? pending : default_type;
    pending = 0;
    if (k + 1 < w.size() && w[k + 1] == "-") {
      if (k + 2 >= w.size() || w[k + 2] == "-") return fail_with(fail, 198, "invalid syntax");
      std::string_view u = w[k + 2], s1, s2;
      long a = 0, b = 0;
      if (!split_number(t, &s1, &a) || !split_number(u, &s2, &b) || s1 != s2 || a > b || b - a >= kMaxMaxvar)
        return fail_with(fail, 198, std::string(t) + "-" + std::string(u) + " invalid name");
      for (long n = a; n <= b; ++n)
        if (rc_t rc = add(std::string(s1) + std::to_string(n), type)) return rc;
      k += 2;
      continue;
    }
    if (rc_t rc = add(t, type)) return rc;
  }
  if (pending) return fail_with(fail, 198, "nothing found where name expected");
  *out = std::move(got);
  return 0;
}

}  // namespace nuvra::data
