// Block commands: if/else, while, forvalues, foreach, continue and brace
// blocks.  A block's lines are collected from the current source up to the
// matching "}" and then run (or passed over) as a body.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "interp/rc.h"

namespace nuvra {

class Interp;

// Position of the "{" that opens a block on this line: the first one
// outside double quotes and compound quotes at bracket depth 0; npos if none.
size_t find_open_brace(std::string_view line);

// True when the first word of the line, after capture/noisily/quietly
// prefixes, starts a loop; such lines are not macro-expanded before dispatch.
bool starts_loop(std::string_view line);

// Reads lines from the top source up to the matching "}".
rc_t collect_block(Interp& ip, std::vector<std::string>& body);
// Runs collected lines in order; stops at a failure or a `continue`.
rc_t run_body(Interp& ip, const std::vector<std::string>& body);
// Collects a block and throws it away (the block is being skipped).
rc_t skip_block(Interp& ip);

rc_t cmd_brace_block(Interp& ip);

}  // namespace nuvra
