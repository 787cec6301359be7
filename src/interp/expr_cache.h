// Expressions the interpreter evaluates once per command (conditions of
// if and while, =exp in macros, display) are often the same text again and
// again inside a loop. The cache keeps the compiled program of such a text
// when nothing but the text decides what it compiles to: no variable,
// scalar, matrix, saved result or time-series setting was consulted, so no
// later change to the data or the session can change its meaning. The
// settings that change what any text means (version, missing-value
// comparison) are part of the key.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "data/expr/env.h"
#include "data/expr/expr.h"

namespace nuvra {

class ExpressionCache {
 public:
  // The program cached for `text` under these settings, or null.
  const expr::Program* find(std::string_view text, int version, bool modern_missing) const;
  // Compiles `text` (messages as expr::compile gives them) into *out; when
  // the result depends on the text alone it is also kept, and *cached then
  // points at the kept copy (null otherwise).
  rc_t compile(expr::Env& env, std::string_view text, expr::Program* out,
               const expr::Program** cached);
  void clear();

  // A number literal (optional minus, up to 15 decimal digits, no leading
  // zero) read exactly as the compiler reads it; false for anything else.
  static bool integer_literal(std::string_view text, double* v);

 private:
  struct Entry {
    std::string text;
    int version = 0;
    bool modern_missing = true;
    bool used = false;
    expr::Program program;
  };
  static constexpr std::size_t kEntries = 16;
  std::array<Entry, kEntries> entries_;
  std::size_t next_ = 0;  // the entry replaced next, round robin
};

}  // namespace nuvra
