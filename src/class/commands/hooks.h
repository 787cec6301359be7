// The interpreter's ways into the class system: a command line that
// starts with ".", a `.name' reference in macro expansion, the end of a
// program, whose context of class objects ends with it, and the engine
// itself for commands that keep objects there.
#pragma once
#include <string>
#include <string_view>

#include "base/rc.h"

namespace nuvra {

class Interp;
namespace cls {
class Engine;
}

// Runs the command whose token starts with "." as a dotted statement.
rc_t RunDottedCommand(Interp& ip);
// The text of `text' (starting with "."), or empty text when it does not
// resolve.
void ClassMacroText(Interp& ip, std::string_view text, std::string* out);
// The session's class engine, made on first use (the graph commands keep
// their graphs in it).
cls::Engine& ClassEngine(Interp& ip);
// The program at nesting depth `depth` has returned.
void EndClassContext(Interp& ip, int depth);

}  // namespace nuvra
