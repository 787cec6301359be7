// Macro expansion of command lines, and the commands that define macros.
#pragma once
#include <string>

#include "interp/rc.h"

namespace nuvra {

class Interp;

// Replaces every macro reference in `buf` in place.  Returns 0, or 920
// when the line would grow past the command-length limit or a reference
// re-expands itself more than 20 times.
rc_t expand_macros(Interp& ip, std::string& buf);

}  // namespace nuvra
