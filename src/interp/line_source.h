// Line sources: where command lines come from.  The window at the bottom
// of the stack; do-files and the bodies of loops and blocks above it.
// Block commands read their bodies from whichever source is on top.
#pragma once
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "interp/rc.h"

namespace nuvra {

class Interp;

class LineSource {
 public:
  virtual ~LineSource() = default;
  // Reads one line; false at the end of the source.  Sources that echo
  // show `prompt` first and the line after it.
  bool read(Interp& ip, std::string& line, std::string_view prompt);
  // Makes `line` the next line read (the rest of a line after a "}").
  void push_back(std::string line) { pending_ = std::move(line); }
  virtual bool is_window() const { return false; }
  virtual bool is_file() const { return false; }
  // The number continuation prompts of this source count from.
  int next_continuation = 2;

 protected:
  virtual bool read_raw(Interp& ip, std::string& line, std::string_view prompt) = 0;

 private:
  std::optional<std::string> pending_;
};

// Lines typed in the window, one key code at a time.
class WindowSource : public LineSource {
 public:
  bool is_window() const override { return true; }

 protected:
  bool read_raw(Interp& ip, std::string& line, std::string_view prompt) override;
};

// Lines of a do-file.
class FileSource : public LineSource {
 public:
  FileSource(std::FILE* f, bool echo) : file_(f), echo_(echo) {}
  ~FileSource() override;
  bool is_file() const override { return true; }

 protected:
  bool read_raw(Interp& ip, std::string& line, std::string_view prompt) override;

 private:
  bool physical_line(std::string& line);
  std::FILE* file_;
  bool echo_;
  bool semicolon_ = false;  // "#delimit ;" in force
  std::string carry_;       // text after a ';' still to be run
};

// Lines held in memory: the body of a loop or a block, run silently.
class BlockSource : public LineSource {
 public:
  explicit BlockSource(const std::vector<std::string>* lines) : lines_(lines) {}

 protected:
  bool read_raw(Interp& ip, std::string& line, std::string_view prompt) override;

 private:
  const std::vector<std::string>* lines_;
  size_t next_ = 0;
};

// Pushes a source on the interpreter's stack for the life of the guard.
class SourceGuard {
 public:
  SourceGuard(Interp& ip, LineSource* src);
  ~SourceGuard();
  SourceGuard(const SourceGuard&) = delete;
  SourceGuard& operator=(const SourceGuard&) = delete;

 private:
  Interp& ip_;
};

// Reads the next command line for the top level or a do-file: empty lines
// and comment lines are passed over.  False at the end of the source.
bool next_command_line(Interp& ip, LineSource& src, std::string& line);

}  // namespace nuvra
