// The message routine for return codes and the shared message routines
// that every command uses for its common failures.
#pragma once
#include <string_view>

#include "interp/rc.h"
#include "interp/rc_table.h"

namespace nuvra {

class Interp;
namespace output {
class Output;
}

// Prints the standard message of `code` in the error class (the notes
// 8001, 8002 and 8005 in the text class), restores the previous class, and
// returns the code the caller should return: normally
// `code` itself, but a few codes print and map to another (2000 -> 0,
// 5101 -> 101, ...).
rc_t rc_message(Interp& ip, rc_t code);

// "invalid <what>\n", returns 198.
rc_t msg_invalid(Interp& ip, std::string_view what);
// "<what> required\n", returns 100.
rc_t msg_required(Interp& ip, std::string_view what);
// "<what> already defined\n", returns 110.
rc_t msg_already_defined(Interp& ip, std::string_view what);
// "<what> ambiguous abbreviation\n", returns 111.
rc_t msg_ambiguous(Interp& ip, std::string_view what);
// "<what> not found\n", returns 111.
rc_t msg_not_found(Interp& ip, std::string_view what);
// "program error:  code follows on the same line as open|close brace\n", 198.
rc_t msg_brace_line(Interp& ip, bool open);
// "command <command> not yet available\n" and 199: the honest failure of
// a built-in whose implementation has not landed.
rc_t msg_not_available(Interp& ip, std::string_view command);

// The same routines on a bare output stream, for code that has an Output
// but no interpreter at hand.  The Interp forms above call these.
rc_t rc_message(output::Output& out, rc_t code, const RcLimits& limits);
rc_t msg_invalid(output::Output& out, std::string_view what);
rc_t msg_required(output::Output& out, std::string_view what);
rc_t msg_already_defined(output::Output& out, std::string_view what);
rc_t msg_ambiguous(output::Output& out, std::string_view what);
rc_t msg_not_found(output::Output& out, std::string_view what);
rc_t msg_brace_line(output::Output& out, bool open);
rc_t msg_not_available(output::Output& out, std::string_view command);

// Prints `before` (markup), `user` (shown literally, braces and all) and
// `after` (markup) in the error class, restores the previous class, and
// returns `code`: the shape of every message that quotes user text.
rc_t msg_quoting(output::Output& out, std::string_view before, std::string_view user,
                 std::string_view after, rc_t code);

}  // namespace nuvra
