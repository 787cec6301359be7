// The `lumo` environment's file commands: mosave (a function to an object
// file) and matsave, matuse, matdescribe (globals to and from a matrix
// file).  Each takes the text after its word.
#pragma once
#include <string_view>

#include "base/rc.h"

namespace nuvra {

class Interp;

// 3598 (with its message) while a command runs from inside Lumo code.
rc_t RefuseInsideLumo(Interp& ip);

rc_t lumo_mosave(Interp& ip, std::string_view args);
rc_t lumo_matsave(Interp& ip, std::string_view args);
rc_t lumo_matuse(Interp& ip, std::string_view args);
rc_t lumo_matdescribe(Interp& ip, std::string_view args);

}  // namespace nuvra
