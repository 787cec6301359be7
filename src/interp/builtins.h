// The built-in command table and the handlers it names.
#pragma once
#include <string>
#include <string_view>

#include "interp/rc.h"

namespace nuvra {

class Interp;
using Handler = rc_t (*)(Interp&);

enum VersionCondition : int { kAnyVersion, kFrom6, kFrom8, kBelow6 };

struct Builtin {
  const char* name;
  int min_abbrev;
  Handler handler;
  VersionCondition condition;
};

// Handlers, one per distinct behaviour of the table.
#define BUILTIN(name, ab, handler, cond) rc_t handler(Interp&);
#include "interp/builtins.def"
#undef BUILTIN

// Puts back the settings the preferences file keeps (`set ..., permanently`).
void apply_preferences(Interp& ip);

// The table in its documented order.
const Builtin* builtin_table(size_t* count);

// The first entry that `token` names under `version`, or null.
const Builtin* find_builtin(std::string_view token, int version);

// Loads the ado-file of the command `token` along the search path and
// finds the program it defines, without running it; prints the message
// and returns 199 (or the loading error) when that fails.
struct Program;
rc_t load_ado_program(Interp& ip, const std::string& token, Program** out);

// True when `word` abbreviates `name` to at least `min` characters.
bool abbreviates(std::string_view word, std::string_view name, size_t min);

}  // namespace nuvra
