// c(): the system's values (settings, limits, the dataset's shape, the
// clock), read by `creturn list`, by expressions and by the {ccl} tag.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace nuvra {

class Interp;

struct CValue {
  bool is_string = false;
  double num = 0;
  std::string str;
};

// False when `name` is no c() value.
bool c_value(Interp& ip, std::string_view name, CValue* out);

// The value as text, as `{ccl name}` shows it.
std::string c_text(Interp& ip, std::string_view name);

// A setting of `set`, read back by c(name) and shown by `query`.
struct Setting {
  const char* name;
  const char* query_group;  // nullptr: not shown by query
  bool permanent;           // kept in the preferences file by `, permanently`
  CValue (*value)(Interp& ip);
};
extern const Setting kSettings[];
extern const std::size_t kSettingCount;
const Setting* find_setting(std::string_view name);

}  // namespace nuvra
