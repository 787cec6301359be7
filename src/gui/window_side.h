// WindowSide: what the command loop and the main output stream need from
// whatever shows the system to the user (a terminal, a batch log, windows).
#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace nuvra::graphics {
class Recording;
}

namespace nuvra::gui {

// Key codes beyond plain bytes.
inline constexpr int kKeyEndOfInput = -1;
inline constexpr int kKeySilent = 0xFF;  // the line is submitted without echo
inline constexpr int kKeyEndOfLine = 10;
inline constexpr int kKeyKillLine = 0x15;  // discard what the line holds so far
inline constexpr int kKeyF1 = 351;         // F1..F10 are 351..360

// One row of the variables list a side may show.
struct VariableRow {
  std::string name, label, type;
  bool operator==(const VariableRow&) const = default;
};

// Reads and writes "name value" pairs of the preferences file.
using PrefGetter = std::function<const std::string*(const std::string& name)>;
using PrefSetter = std::function<void(const std::string& name, const std::string& value)>;

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
  // A graph was drawn under `name`: a side with graph windows shows it (a
  // second drawing under the same name replaces the first); the console
  // and batch sides have nowhere to show it.  The side keeps its own copy.
  virtual void show_graph(const std::string& name, const graphics::Recording& drawing) {
    (void)name;
    (void)drawing;
  }
  // A Break requested since the last call (Ctrl-C, a Break button).
  virtual bool take_break() { return false; }

  // A side with a variables list asks for the rows before each prompt.
  virtual bool wants_variables() const { return false; }
  virtual void show_variables(const std::vector<VariableRow>& rows) { (void)rows; }
  // Shows an NMCL file in a viewer of the side's own; false when the side
  // has none and the file is to be rendered in the results instead.
  virtual bool show_file(const std::string& path, std::string_view title) {
    (void)path;
    (void)title;
    return false;
  }
  // Opens the do-file editor: on `path` when given (a file that does not
  // exist yet opens as an empty text under that name), else as it is.
  // 0 when open; kNoEditor when the side has none; kCannotRead when the
  // file exists but cannot be read.
  static constexpr int kNoEditor = -1, kCannotRead = 603;
  virtual int edit_file(const std::string& path) {
    (void)path;
    return kNoEditor;
  }
  // Window layout kept in the preferences file between sessions.
  virtual void restore_layout(const PrefGetter& get) { (void)get; }
  virtual void save_layout(const PrefSetter& set) { (void)set; }
  // What to save when the side has to end the process itself (the display
  // went away) rather than return to the orderly exit.
  virtual void set_session_saver(std::function<void()> save) { (void)save; }
};

}  // namespace nuvra::gui
