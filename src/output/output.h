// The print entry points every module uses: print markup, print plain
// text and set output class, filtered by the output threshold that
// quietly and capture raise.
#pragma once
#include <cstdarg>
#include <cstdint>
#include <string>
#include <string_view>

#include "output/logs.h"
#include "output/nmcl_stream.h"

namespace nuvra::output {

enum class OutClass : uint8_t { Result = 0, Text = 1, Text2 = 2, Error = 3, Input = 4 };

// Threshold values: everything shown, only errors and echo, nothing.
inline constexpr int kShowAll = 0, kQuiet = 3, kSilent = 5;

class Output {
 public:
  Output();
  // Writes out what the logs still buffer and closes their files.
  ~Output();
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  NmclStream& stream() { return stream_; }
  Logs& logs() { return logs_; }

  void set_class(OutClass cls);
  OutClass current_class() const { return class_; }
  int threshold() const { return threshold_; }
  void set_threshold(int t) { threshold_ = t; }
  // True when a print of the current class would be shown.
  bool showing() const { return static_cast<int>(class_) >= threshold_; }

  void print_markup(std::string_view text);
  void print_plain(std::string_view text);
  void printf_markup(const char* fmt, ...) __attribute__((format(printf, 2, 3)));

  // Starts the echo of a command line: back to line mode if anything is
  // pending or another mode is on, then the input colour, roman, no
  // underline (each only when not already so).
  void begin_echo();
  // Ends what a command's output left open: asis, s6hlp or paragraph mode,
  // or a partly read tag, go back to line mode.
  void end_command();
  // A rule across the rest of the line, in the class's style; `s6hlp`
  // writes the older help format's rule.
  void print_rule(OutClass cls, bool s6hlp = false);
  // A vertical bar character in the class's style.
  void print_bar(OutClass cls);
  // Highlighted text; in s6hlp form between two '^'.
  void print_hilite(std::string_view text, bool s6hlp = false);

  // While set, a switch to the error class first ends a partly written
  // line, so that a message never runs onto the output of the command
  // that failed.
  void set_break_before_error(bool on) { break_before_error_ = on; }
  bool break_before_error() const { return break_before_error_; }

  // Convenience: switch class, print markup.
  void markup(OutClass cls, std::string_view text) {
    set_class(cls);
    print_markup(text);
  }
  void flush() { stream_.flush(); }

 private:
  void put(std::string_view markup) {
    stream_.log_markup(markup);
    stream_.feed(markup);
  }

  NmclStream stream_;
  Logs logs_;
  OutClass class_ = OutClass::Text;
  int threshold_ = kShowAll;
  bool break_before_error_ = false;
};

// Puts back, when it goes, the output class that was current when it was
// made, so that a routine which changes the class for its own lines leaves
// later output the colour it had.  The second form also switches to `cls`.
class ClassScope {
 public:
  explicit ClassScope(Output& out) : out_(out), prev_(out.current_class()) {}
  ClassScope(Output& out, OutClass cls) : ClassScope(out) { out.set_class(cls); }
  ~ClassScope() { out_.set_class(prev_); }
  ClassScope(const ClassScope&) = delete;
  ClassScope& operator=(const ClassScope&) = delete;

 private:
  Output& out_;
  OutClass prev_;
};

}  // namespace nuvra::output
