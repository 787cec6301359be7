// Commands that work on posted estimation results: `ereturn post`,
// `ereturn repost` and `ereturn display` (reached through the ereturn
// command), `test`, `lincom` and `estimates`.
#pragma once
#include <string_view>

#include "interp/rc.h"

namespace nuvra {

class Interp;

// `rest` is the line after the subcommand word.
rc_t ereturn_post(Interp& ip, std::string_view rest);
rc_t ereturn_repost(Interp& ip, std::string_view rest);
rc_t ereturn_display(Interp& ip, std::string_view rest);

}  // namespace nuvra
