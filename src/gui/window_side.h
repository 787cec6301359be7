// WindowSide: what the command loop and the main output stream need from
// whatever shows the system to the user (a terminal, a batch log, windows).
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace nuvra::gui {

// Key codes beyond plain bytes.
inline constexpr int kKeyEndOfInput = -1;
inline constexpr int kKeySilent = 0xFF;  // the line is submitted without echo
inline constexpr int kKeyEndOfLine = 10;
inline constexpr int kKeyKillLine = 0x15;  // discard what the line holds so far
inline constexpr int kKeyF1 = 351;         // F1..F10 are 351..360

class WindowSide {
 public:
  virtual ~WindowSide() = default;

  // Called before the key codes of a new line are read; a side that edits
  // lines itself (a terminal with line editing) shows the prompt there.
  virtual void begin_line(std::string_view prompt) { (void)prompt; }
  // Blocking read of one key code; kKeyEndOfInput when input has ended.
  virtual int read_key() = 0;
  virtual void append_char(int code) { (void)code; }
  virtual void process_events() {}
  virtual void busy(bool on) { (void)on; }
  virtual void alert(const std::array<std::string, 4>& lines) = 0;
  virtual void review_add(std::string_view line) { (void)line; }
  // The sink of the main output stream.
  virtual int sink(const uint8_t* rec, int kind) = 0;
  // True when the side already shows the prompt and the typed line, so the
  // loop must not draw them a second time on this side.
  virtual bool shows_own_echo() const { return false; }
  // A Break requested since the last call (Ctrl-C, a Break button).
  virtual bool take_break() { return false; }
};

}  // namespace nuvra::gui
