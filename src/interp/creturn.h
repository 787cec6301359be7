// c(): the system's values (settings, limits, the dataset's shape, the
// clock), read by `creturn list`, by expressions and by the {ccl} tag.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

#include "base/rc.h"

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

// What `set` accepts for a setting (see settings.def).
enum class Allowed : unsigned char { kOnOff, kWords, kInteger, kWhole, kReal, kOwn };

// A range bound that stands for the number of processors of the machine.
inline constexpr double kProcessorsAvailable = -1;

// A setting of `set`, read back by c(name) and shown by `query`.
struct Setting {
  const char* name;
  int shortest;             // fewest letters `set` accepts; 0: the whole name
  const char* query_group;  // nullptr: not shown by query
  bool permanent;           // kept in the preferences file by `, permanently`
  const char* default_value;  // as `set` takes it; "" when it depends on the machine
  Allowed allowed;
  double lo, hi;            // kInteger, kWhole, kReal
  const char* words;        // kOnOff, kWords: blank-separated
  const char* message;      // out of range or not one of the words; nullptr: invalid syntax
  CValue (*value)(Interp& ip);
};
extern const Setting kSettings[];
extern const std::size_t kSettingCount;
const Setting* find_setting(std::string_view name);
// The setting a name given to `set` stands for, abbreviations included.
const Setting* find_set_name(std::string_view name);
// Checks a value for `set` against what the table allows, before anything
// changes: prints the setting's message and returns the code when it is
// not allowed; *number gets the value of a numeric setting. Defined with
// `set` (commands/session_commands.cpp).
rc_t check_setting(Interp& ip, const Setting& s, std::string_view value, double* number);

}  // namespace nuvra
