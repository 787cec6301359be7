// The commands built on expressions: generate, replace, assert.
// (display lives with the interpreter's own commands; count with the
// data commands, which narrow their sample through expr::mark_sample.)
#pragma once
#include "interp/rc.h"

namespace nuvra {

class Interp;

// generate [type] newvar[:lblname] = exp [if] [in]
rc_t cmd_generate(Interp& ip);
// replace oldvar = exp [if] [in] [, nopromote]
rc_t cmd_replace(Interp& ip);
// assert exp [if] [in] [, rc0 fast]
rc_t cmd_assert(Interp& ip);

}  // namespace nuvra
