#include "data/names.h"

#include "data/dataset.h"

namespace nuvra {

bool is_valid_name(std::string_view s) { return data::validate_name(s) == 0; }

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
    s.remove_suffix(1);
  return s;
}

std::string_view cut_name(std::string_view& s) {
  s = trim(s);
  std::size_t n = 0;
  while (n < s.size() && is_name_char(s[n])) ++n;
  std::string_view name = s.substr(0, n);
  s = trim(s.substr(n));
  return name;
}

}  // namespace nuvra
