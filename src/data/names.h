// Name rules shared by commands, macros and variables.
#pragma once
#include <string_view>

namespace nuvra {

inline bool is_name_start(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}
// A character that continues a name when a name is read out of a line:
// letters, digits, '_' and the bytes above 127 (accented letters).
inline bool is_name_char(char c) {
  return is_name_start(c) || (c >= '0' && c <= '9') || static_cast<unsigned char>(c) > 127;
}

// The name rule of the dataset, for every kind of name: at most 32 bytes,
// an ASCII letter or '_' first, and no blank or character of
// \!@#$%^&*()-+=[]{}:;,'"~<>?/|. anywhere.
bool is_valid_name(std::string_view s);

// Removes blanks and tabs at both ends.
std::string_view trim(std::string_view s);

// The run of name characters at the start of s (after any blanks), taken
// off s together with the blanks that follow it.
std::string_view cut_name(std::string_view& s);

}  // namespace nuvra
