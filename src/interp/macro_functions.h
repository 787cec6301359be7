// Extended macro functions (`local name : function ...` and the reference
// form `:function ...'), and the `macro` command.
#pragma once
#include <string>
#include <string_view>

#include "interp/rc.h"

namespace nuvra {

class Interp;

// Evaluates the extended macro function written in `text` (what follows
// the ":") into *out.  On failure prints its own message and returns the
// code; *out is then empty.
rc_t macro_function(Interp& ip, std::string_view text, std::string* out);

// The text display would show for the directives in `text` (strings,
// expressions, %fmt, _n, _col, _skip, _dup, _char, _tab), with a '\n' for
// each new line and without the closing one.  Prints and returns the code
// on failure.
rc_t display_text(Interp& ip, std::string_view text, std::string* out);

// macro dir | list [names] | drop names | shift [#]
rc_t cmd_macro(Interp& ip);

// Records a temporary file name made by `tempfile`: the running frame
// deletes the file when it ends (the session, at the top level).
void register_tempfile(Interp& ip, std::string path);

}  // namespace nuvra
