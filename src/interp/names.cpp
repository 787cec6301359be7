#include "interp/names.h"

namespace nuvra {

bool is_valid_name(std::string_view s) {
  if (s.empty() || s.size() > 32 || !is_name_start(s[0])) return false;
  for (char c : s)
    if (!is_name_char(c)) return false;
  return true;
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
    s.remove_suffix(1);
  return s;
}

}  // namespace nuvra
