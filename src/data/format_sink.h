// The output side of the format renderers (numbers, strings, dates): text
// written into the caller's buffer with snprintf's convention.
#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace nuvra::data {

// Writes at most cap - 1 characters and a terminator while counting the
// full length, so a caller can ask with a null buffer how much it needs.
struct FormatSink {
  char* out;
  std::size_t cap;
  std::size_t n = 0;
  void put(char c) {
    if (n + 1 < cap) out[n] = c;
    ++n;
  }
  void fill(char c, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) put(c);
  }
  // The first `len` letters of a lower-case name: as written (casing 0),
  // capitalised (1) or all upper case (2).
  void name(const char* s, std::size_t len, int casing) {
    for (std::size_t i = 0; i < len && s[i]; ++i) {
      char c = s[i];
      if (casing == 2 || (casing == 1 && i == 0)) c = static_cast<char>(c - 32);
      put(c);
    }
  }
  // A whole number; with `zeros`, padded with zeros to `width` digits.
  void number(std::int64_t v, int width, bool zeros) {
    char buf[24];
    const long long x = static_cast<long long>(v);
    int len = zeros ? std::snprintf(buf, sizeof buf, "%0*lld", width, x) : std::snprintf(buf, sizeof buf, "%lld", x);
    for (int i = 0; i < len; ++i) put(buf[i]);
  }
  // Terminates the text; the full length, as snprintf returns it.
  std::size_t finish() {
    if (cap > 0) out[std::min(n, cap - 1)] = '\0';
    return n;
  }
};

}  // namespace nuvra::data
