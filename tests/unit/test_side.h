// A window side for unit tests: scripted key input, output captured as
// plain text lines.
#pragma once
#include <deque>
#include <string>

#include "gui/window_side.h"
#include "output/nmcl_stream.h"

namespace nuvra::testing {

class CaptureSide : public gui::WindowSide {
 public:
  void type(const std::string& text) {
    for (unsigned char c : text) keys.push_back(c == '\n' ? gui::kKeyEndOfLine : c);
  }
  int read_key() override {
    if (keys.empty()) return gui::kKeyEndOfInput;
    int k = keys.front();
    keys.pop_front();
    return k;
  }
  void alert(const std::array<std::string, 4>&) override {}
  int sink(const uint8_t* rec, int kind) override {
    if (kind == output::kSinkLine) {
      text += output::plain_text(rec);
      text += '\n';
    }
    return 0;
  }
  std::deque<int> keys;
  std::string text;
};

}  // namespace nuvra::testing
