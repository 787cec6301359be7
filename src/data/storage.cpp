#include "data/storage.h"

namespace nuvra::data {

std::string type_name(int t) {
  if (is_string_type(t)) return "str" + std::to_string(t);
  switch (modern_type(t)) {
    case kByte: return "byte";
    case kInt: return "int";
    case kLong: return "long";
    case kFloat: return "float";
    case kDouble: return "double";
    default: return "";
  }
}

int parse_type_name(std::string_view s) {
  if (s == "byte") return kByte;
  if (s == "int") return kInt;
  if (s == "long") return kLong;
  if (s == "float") return kFloat;
  if (s == "double") return kDouble;
  if (s.size() < 4 || s.size() > 6 || s.substr(0, 3) != "str" || s[3] == '0') return 0;
  int n = 0;
  for (char c : s.substr(3)) {
    if (c < '0' || c > '9') return 0;
    n = n * 10 + (c - '0');
  }
  return n >= 1 && n <= kStrMax ? n : 0;
}

std::string default_format(int t) {
  if (is_string_type(t)) return t <= 9 ? "%9s" : "%" + std::to_string(t) + "s";
  switch (modern_type(t)) {
    case kByte:
    case kInt: return "%8.0g";
    case kLong: return "%12.0g";
    case kFloat: return "%9.0g";
    default: return "%10.0g";
  }
}

void store_missing(int type, void* p) {
  if (is_string_type(type)) {
    std::memset(p, 0, static_cast<std::size_t>(type));
    return;
  }
  store_value(type, p, kMissing);
}

}  // namespace nuvra::data
