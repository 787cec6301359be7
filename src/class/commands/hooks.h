// The interpreter's three ways into the class system: a command line that
// starts with ".", a `.name' reference in macro expansion, and the end of
// a program, whose context of class objects ends with it.
#pragma once
#include <string>
#include <string_view>

#include "base/rc.h"

namespace nuvra {

class Interp;

// Runs the command whose token starts with "." as a dotted statement.
rc_t RunDottedCommand(Interp& ip);
// The text of `text' (starting with "."), or empty text when it does not
// resolve.
void ClassMacroText(Interp& ip, std::string_view text, std::string* out);
// The program at nesting depth `depth` has returned.
void EndClassContext(Interp& ip, int depth);

}  // namespace nuvra
