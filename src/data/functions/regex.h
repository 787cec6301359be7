// Regular expressions for the expression functions regexm(), regexr() and
// regexs() and the macro functions regexmatch, regexreplace and
// regexsubexp: POSIX extended syntax through the C library's matcher
// (leftmost-longest), with the subexpressions of the last match kept in
// the interpreter so that a later call can fetch them.
#pragma once
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace nuvra {

struct CompiledRegex;

// The remembered match and the last compiled expression (kept compiled, so
// an observation loop over one pattern compiles it once).
struct RegexMatch {
  RegexMatch();
  ~RegexMatch();
  RegexMatch(const RegexMatch&) = delete;
  RegexMatch& operator=(const RegexMatch&) = delete;

  size_t groups = 0;              // subexpressions of the last expression used
  std::vector<std::string> subs;  // the whole match, then each group; empty after no match
  std::unique_ptr<CompiledRegex> compiled;
};

enum class RegexStatus { kOk, kInvalid, kTooComplex };

// Searches text for the expression; remembers the match (or its absence).
RegexStatus regex_search(RegexMatch& st, std::string_view text, std::string_view pattern, bool* found);

// Replaces the first match (every match with all) by repl, in which \0 ..
// \9 stand for the subexpressions and \\ for a backslash. The first match
// is remembered. Text without a match comes back unchanged.
RegexStatus regex_replace(RegexMatch& st, std::string_view text, std::string_view pattern, std::string_view repl,
                          bool all, std::string* out);

}  // namespace nuvra
