// The character names of {c name} / {char name}.
#pragma once
#include <cstdint>
#include <string_view>

#include "output/nmcl_stream.h"

namespace nuvra::output {

// Looks up a character name. On success sets *byte and *drawing (true when
// the byte is a line-drawing code) and returns true; unknown names and
// malformed 0xHH forms return false.
bool lookup_nmcl_char(std::string_view name, NmclCharset charset, uint8_t* byte, bool* drawing);

}  // namespace nuvra::output
