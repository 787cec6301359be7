// The shared word reader over the command buffer: splits at the characters
// of a delimiter set, returns a non-blank delimiter as a word of its own,
// and can save and restore its position.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace nuvra {

enum class Delims { Standard, Numeric };

bool is_standard_delim(char c);
bool is_numeric_delim(char c);

class WordReader {
 public:
  explicit WordReader(const std::string* buffer = nullptr) : buf_(buffer) {}
  void attach(const std::string* buffer, size_t pos = 0) {
    buf_ = buffer;
    pos_ = pos;
  }

  // Next word, or an empty view at the end of the text.
  std::string_view next(Delims set = Delims::Standard);
  // The word that next() would return, without moving.
  std::string_view peek(Delims set = Delims::Standard) const;
  // The rest of the text from the first non-blank character on.
  std::string_view rest() const;
  bool at_end() const;

  size_t pos() const { return pos_; }
  void set_pos(size_t p) { pos_ = p; }
  const std::string* buffer() const { return buf_; }

 private:
  std::string_view scan(size_t& pos, Delims set) const;
  const std::string* buf_;
  size_t pos_ = 0;
};

}  // namespace nuvra
