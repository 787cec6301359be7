// The runner shared by do-files (and, later, programs): frames, the search
// path, and running the lines of a source until it ends or a command fails.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "interp/rc.h"

namespace nuvra {

class Interp;
class LineSource;

enum class RunMode { Do, Run, Include };

// A running do-file or program: saves what a frame restores, starts with
// no loop and execution on, raises the local level (not for an include,
// whose locals stay visible to the caller), and on the way out removes the
// frame's temporary files and puts everything back.  Check the frame limit
// before opening one.
class Frame {
 public:
  Frame(Interp& ip, bool shares_locals);
  ~Frame();
  Frame(const Frame&) = delete;
  Frame& operator=(const Frame&) = delete;
  // The frame's result: an `exit #` from inside replaces what the lines gave.
  rc_t result(rc_t rc);

 private:
  Interp& ip_;
  bool shares_locals_;
  int threshold_, noisy_level_, version_, loop_depth_, loop_exit_;
  bool modern_missing_, in_program_, rmsg_, last_if_, exec_flag_;
};

// Reads a file name from the front of `rest`: double-quoted, compound-
// quoted, or up to the first blank or comma.
std::string_view read_file_name(std::string_view& rest);
// `name` with ".do" appended unless its file part has an extension.
std::string do_file_name(std::string_view name);

// Finds name along the ado search path (each directory, then its
// one-letter subdirectory); `which` picks the n-th match.
bool find_file_along_path(Interp& ip, const std::string& name, int which, std::string* path);

// The system directory names of the search path, in their listing order.
extern const char* const kSystemDirectoryNames[6];
// The directory a system name stands for ("" when it is not set).
std::string system_directory(Interp& ip, std::string_view name);

// The directories of the search path, resolved, each ending in "/".
std::vector<std::string> search_path_dirs(Interp& ip);

// Runs a do-file: pushes a frame, sets the argument locals from `args`,
// runs its lines and pops the frame.
rc_t run_file(Interp& ip, const std::string& path, RunMode mode, std::string_view args,
              bool stop = true);

// Runs every line of `src` (already on the source stack) until it ends,
// a Break, an exit request, or (with stop) a failing command.
rc_t run_lines(Interp& ip, LineSource& src, bool stop, bool file_prompts);

// Splits the argument text into the locals 0, 1, 2, ...
rc_t set_argument_locals(Interp& ip, std::string_view args);

}  // namespace nuvra
