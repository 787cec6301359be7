#include "interp/word_reader.h"

#include <cstring>

namespace nuvra {

// The standard set in its documented order; the numeric set is the same
// without the two signs, so "-3" reads as one word where a number is wanted.
static constexpr char kStandard[] = " \\\"'`~:;,<>/?!@|#$%^&*()-+=[]{}";

bool is_standard_delim(char c) { return c != '\0' && std::strchr(kStandard, c) != nullptr; }
bool is_numeric_delim(char c) { return c != '-' && c != '+' && is_standard_delim(c); }

std::string_view WordReader::scan(size_t& pos, Delims set) const {
  if (!buf_) return {};
  const std::string& b = *buf_;
  while (pos < b.size() && (b[pos] == ' ' || b[pos] == '\t')) ++pos;
  if (pos >= b.size()) return {};
  auto delim = set == Delims::Standard ? is_standard_delim : is_numeric_delim;
  size_t start = pos;
  if (delim(b[pos])) {
    ++pos;
    return std::string_view(b).substr(start, 1);
  }
  while (pos < b.size() && b[pos] != '\t' && !delim(b[pos])) ++pos;
  return std::string_view(b).substr(start, pos - start);
}

std::string_view WordReader::next(Delims set) { return scan(pos_, set); }

std::string_view WordReader::peek(Delims set) const {
  size_t p = pos_;
  return scan(p, set);
}

std::string_view WordReader::rest() const {
  if (!buf_) return {};
  size_t p = pos_;
  while (p < buf_->size() && ((*buf_)[p] == ' ' || (*buf_)[p] == '\t')) ++p;
  return std::string_view(*buf_).substr(p < buf_->size() ? p : buf_->size());
}

bool WordReader::at_end() const { return rest().empty(); }

}  // namespace nuvra
