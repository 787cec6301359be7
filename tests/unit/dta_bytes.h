// Byte images of dataset files for tests, put together field by field from
// the documented layouts (never by the writer): a little builder with
// either byte order, and fixed zero-padded fields.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace nuvra::testing {

struct Bytes {
  std::vector<std::uint8_t> b;
  bool hilo = false;

  Bytes& u8(unsigned v) {
    b.push_back(static_cast<std::uint8_t>(v));
    return *this;
  }
  Bytes& uint(std::uint64_t v, int n) {
    for (int k = 0; k < n; ++k) {
      int shift = hilo ? 8 * (n - 1 - k) : 8 * k;
      b.push_back(static_cast<std::uint8_t>(v >> shift));
    }
    return *this;
  }
  Bytes& u16(unsigned v) { return uint(v, 2); }
  Bytes& u32(std::uint32_t v) { return uint(v, 4); }
  Bytes& u64(std::uint64_t v) { return uint(v, 8); }
  // Text then zeros up to the width (the text must be shorter, or exactly
  // the width for a field that needs no terminator).
  Bytes& field(std::string_view s, std::size_t width) {
    b.insert(b.end(), s.begin(), s.end());
    b.insert(b.end(), width - s.size(), 0);
    return *this;
  }
  Bytes& raw(std::string_view s) {
    b.insert(b.end(), s.begin(), s.end());
    return *this;
  }
  Bytes& zeros(std::size_t n) {
    b.insert(b.end(), n, 0);
    return *this;
  }
};

}  // namespace nuvra::testing
