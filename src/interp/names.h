// Name rules shared by commands, macros and variables.
#pragma once
#include <string_view>

namespace nuvra {

inline bool is_name_start(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}
inline bool is_name_char(char c) { return is_name_start(c) || (c >= '0' && c <= '9'); }

// A letter or underscore, then letters, digits and underscores; at most 32.
bool is_valid_name(std::string_view s);

// Removes blanks and tabs at both ends.
std::string_view trim(std::string_view s);

}  // namespace nuvra
