// Regular expressions through <regex.h>.
#include "data/functions/regex.h"

#include <regex.h>

#include <algorithm>

namespace nuvra {

struct CompiledRegex {
  std::string pattern;
  regex_t re{};
  bool ok = false;
  ~CompiledRegex() {
    if (ok) regfree(&re);
  }
};

RegexMatch::RegexMatch() = default;
RegexMatch::~RegexMatch() = default;

namespace {

constexpr size_t kSlots = 10;  // \0 .. \9

// The compiled form of pattern, reusing the last one when it is the same.
const CompiledRegex* compiled(RegexMatch& st, std::string_view pattern) {
  if (st.compiled && st.compiled->pattern == pattern) return st.compiled->ok ? st.compiled.get() : nullptr;
  auto c = std::make_unique<CompiledRegex>();
  c->pattern.assign(pattern);
  // A pattern holding a zero byte cannot reach the C library whole.
  if (c->pattern.find('\0') == std::string::npos) c->ok = regcomp(&c->re, c->pattern.c_str(), REG_EXTENDED) == 0;
  st.compiled = std::move(c);
  return st.compiled->ok ? st.compiled.get() : nullptr;
}

// One search of text[from, end); REG_STARTEND lets the text hold any byte
// and start anywhere. Returns REG_NOMATCH, 0, or an error.
int search(const CompiledRegex& c, std::string_view text, size_t from, regmatch_t* m) {
  m[0].rm_so = static_cast<regoff_t>(from);
  m[0].rm_eo = static_cast<regoff_t>(text.size());
  int flags = REG_STARTEND | (from > 0 ? REG_NOTBOL : 0);
  // An empty view may have no storage; any valid pointer will do.
  const char* base = text.data() ? text.data() : "";
  return regexec(&c.re, base, kSlots, m, flags);
}

void keep(RegexMatch& st, const CompiledRegex& c, std::string_view text, const regmatch_t* m) {
  st.groups = c.re.re_nsub;
  st.subs.clear();
  if (!m) return;
  size_t n = std::min(kSlots, c.re.re_nsub + 1);
  for (size_t k = 0; k < n; ++k) {
    if (m[k].rm_so < 0)
      st.subs.emplace_back();
    else
      st.subs.emplace_back(text.substr(static_cast<size_t>(m[k].rm_so), static_cast<size_t>(m[k].rm_eo - m[k].rm_so)));
  }
}

void forget(RegexMatch& st) {
  st.groups = 0;
  st.subs.clear();
}

void append_replacement(std::string& out, std::string_view repl, std::string_view text, const regmatch_t* m,
                        size_t nsub) {
  for (size_t i = 0; i < repl.size(); ++i) {
    char c = repl[i];
    if (c == '\\' && i + 1 < repl.size()) {
      char n = repl[i + 1];
      if (n >= '0' && n <= '9') {
        size_t k = static_cast<size_t>(n - '0');
        if (k <= nsub && k < kSlots && m[k].rm_so >= 0)
          out.append(text.substr(static_cast<size_t>(m[k].rm_so), static_cast<size_t>(m[k].rm_eo - m[k].rm_so)));
        ++i;
        continue;
      }
      if (n == '\\') {
        out.push_back('\\');
        ++i;
        continue;
      }
    }
    out.push_back(c);
  }
}

}  // namespace

RegexStatus regex_search(RegexMatch& st, std::string_view text, std::string_view pattern, bool* found) {
  *found = false;
  const CompiledRegex* c = compiled(st, pattern);
  if (!c) {
    forget(st);
    return RegexStatus::kInvalid;
  }
  regmatch_t m[kSlots];
  int r = search(*c, text, 0, m);
  if (r != 0 && r != REG_NOMATCH) {
    forget(st);
    return RegexStatus::kTooComplex;
  }
  *found = r == 0;
  keep(st, *c, text, *found ? m : nullptr);
  return RegexStatus::kOk;
}

RegexStatus regex_replace(RegexMatch& st, std::string_view text, std::string_view pattern, std::string_view repl,
                          bool all, std::string* out) {
  const CompiledRegex* c = compiled(st, pattern);
  if (!c) {
    forget(st);
    return RegexStatus::kInvalid;
  }
  std::string result;
  size_t at = 0;
  bool first = true;
  bool after_match = false;  // `at` sits right after a non-empty match
  regmatch_t m[kSlots];
  while (at <= text.size()) {
    int r = search(*c, text, at, m);
    if (r == REG_NOMATCH) break;
    if (r != 0) {
      forget(st);
      return RegexStatus::kTooComplex;
    }
    size_t so = static_cast<size_t>(m[0].rm_so), eo = static_cast<size_t>(m[0].rm_eo);
    if (so == eo && so == at && after_match) {
      // An empty match touching the previous match is not a new one.
      if (at == text.size()) break;
      result.push_back(text[at++]);
      after_match = false;
      continue;
    }
    if (first) keep(st, *c, text, m);
    first = false;
    result.append(text.substr(at, so - at));
    append_replacement(result, repl, text, m, c->re.re_nsub);
    at = eo;
    if (!all) break;
    after_match = eo > so;
    if (!after_match) {
      // An empty match replaces nothing: step over one character so the
      // next search starts further on.
      if (at == text.size()) break;
      result.push_back(text[at++]);
    }
  }
  if (first) keep(st, *c, text, nullptr);
  if (at < text.size()) result.append(text.substr(at));
  *out = std::move(result);
  return RegexStatus::kOk;
}

}  // namespace nuvra
