// The commands of the output subsystem: log and cmdlog (one handler, told
// apart by the command name), view, and chelp/man (one handler), with the
// pieces the interpreter calls elsewhere.
#pragma once
#include <string>
#include <string_view>

#include "interp/rc.h"

namespace nuvra {

class Interp;

// log using|close|off|on|query|translate|html|webhtml|texman and
// cmdlog using|close|off|on|query.
rc_t cmd_log(Interp& ip);
// view [file] filename | view help topic: renders an NMCL file in the
// results.
rc_t cmd_view(Interp& ip);
// chelp [topic], man [topic]: the help file of a topic found along the ado
// path, or the contents page.
rc_t cmd_chelp(Interp& ip);

// `set logtype text|nmcl`.
rc_t set_logtype(Interp& ip, std::string_view value);

// Renders the NMCL markup in `source` to plain text in `target` at
// `width` columns, exactly as a text log of that width would receive it.
// Returns 0, or 601/603/693 after printing the message.
rc_t translate_to_text(Interp& ip, const std::string& source, const std::string& target,
                       int width);

}  // namespace nuvra
