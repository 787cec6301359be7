// A window side with no window behind it: no keys, no alerts, and output
// thrown away.  For programs that drive the interpreter with no user at
// the screen (benchmarks, fuzz targets).
#pragma once
#include <array>
#include <cstdint>
#include <string>

#include "gui/window_side.h"

namespace nuvra::gui {

class NullSide : public WindowSide {
 public:
  int read_key() override { return kKeyEndOfInput; }
  void alert(const std::array<std::string, 4>&) override {}
  int sink(const uint8_t*, int) override { return 0; }
};

}  // namespace nuvra::gui
