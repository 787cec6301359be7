// The table of return codes and their standard messages, kept apart from
// the printing so that it can be looked up (and checked) on its own.
#pragma once
#include <string>

#include "interp/rc.h"

namespace nuvra {

// The settings that some messages quote or depend on.
struct RcLimits {
  int matsize = 400;
  int maxvar = 5000;
};

// What the message routine does for one code.
struct RcMessage {
  std::string text;  // NMCL markup; empty when the code prints nothing
  rc_t code = 0;     // the code the caller should return
  bool note = false; // printed in the text class instead of the error class
};

// Looks `code` up: its message (with the memory-limit explanations filled
// in from `limits`), the code it maps to, and its output class.  Codes
// 3001 to 3999 get the Lumo run-time suffix.  Unknown codes, 0 and 1 give
// an empty text and the code itself.
RcMessage rc_message_text(rc_t code, const RcLimits& limits = {});

}  // namespace nuvra
