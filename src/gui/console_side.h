// The window side of the console edition: key codes from standard input
// (with line editing and history on a terminal), output as text lines on
// standard output or, in batch mode, in a log file.
#pragma once
#include <cstdio>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "gui/window_side.h"

namespace nuvra::gui {

class ConsoleSide : public WindowSide {
 public:
  // `out` receives the rendered lines; `line_editing` turns on the line
  // editor (stdin a terminal); `colour` writes terminal colour codes.
  ConsoleSide(std::FILE* out, bool line_editing, bool colour);
  ~ConsoleSide() override;

  void begin_line(std::string_view prompt) override;
  int read_key() override;
  void append_char(int code) override;
  void alert(const std::array<std::string, 4>& lines) override;
  int sink(const uint8_t* rec, int kind) override;
  bool shows_own_echo() const override { return editor_ != nullptr; }
  bool take_break() override;

  // Ends a partly written line so the terminal or log ends cleanly.
  void finish();
  bool line_editing() const { return editor_ != nullptr; }

  // Installs the Ctrl-C handler that requests a Break.
  static void install_break_handler();

 private:
  void fill_from_editor();
  void fill_from_stream();
  void write_styled(const std::string& text, const std::vector<uint8_t>& style, size_t from);

  std::FILE* out_;
  bool colour_;
  struct Editor;
  std::unique_ptr<Editor> editor_;
  std::deque<int> keys_;
  std::string prompt_;
  std::string preinsert_;  // text the loop fed into the edit line
  size_t written_ = 0;     // columns of the current line already written
  bool eof_ = false;
};

}  // namespace nuvra::gui
