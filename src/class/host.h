// What the class engine needs from the system around it.  The `class`
// command supplies the interpreter-backed host; unit tests and the fuzz
// target supply their own.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "base/rc.h"

namespace nuvra::cls {

enum class Style { Result, Text, Error };

class Host {
 public:
  virtual ~Host() = default;
  virtual void Print(Style style, std::string_view nmcl) = 0;
  // Prints the standard message of a return code and returns the code.
  virtual rc_t Fail(rc_t code) = 0;
  // Runs the defined program `name` with `args` as its command line.
  virtual rc_t RunProgram(const std::string& name, std::string_view args) = 0;
  // Defines (or replaces) a program that a class file carries.
  virtual rc_t DefineProgram(const std::string& name, const std::vector<std::string>& lines) = 0;
  virtual void DropProgram(const std::string& name) = 0;
  // Finds a file along the ado path.
  virtual bool FindFile(const std::string& name, std::string* path) = 0;
  // Identifies the running program: 0 at top level and in do-files, the
  // program nesting depth inside a program.
  virtual int ContextId() = 0;
  // Evaluates an expression to a number or a string.
  virtual rc_t Evaluate(std::string_view expr, bool* is_string, double* num, std::string* str) = 0;
  // Runs a line as a built-in command of the interpreter (`class nuvra`).
  virtual rc_t RunCommand(std::string_view line) = 0;
  // The interpreter's `exit`, with the rest of the line.
  virtual rc_t Exit(std::string_view rest) = 0;
  // Sets an r() result (describe).
  virtual void SetResult(const std::string& name, const std::string& value) = 0;
};

}  // namespace nuvra::cls
