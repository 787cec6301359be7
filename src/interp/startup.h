// Process entry: options, the system directory, the banner and notes, the
// profile do-files, the command loop and the orderly exit.
#pragma once
#include <memory>
#include <string>
#include <vector>

namespace nuvra {

namespace gui {
class WindowSide;
}
class Interp;

enum class Edition { Console, Windowed };

// Opens the windowed edition's windows; null when the display cannot be
// opened.  May take toolkit options out of the argument vector.
using WindowSideFactory = std::unique_ptr<gui::WindowSide> (*)(int* argc, char*** argv);

// Runs the whole process; returns its exit status.  The windowed edition
// gets its windows from `windows` (the console side when null).
int run_process(int argc, char** argv, Edition edition, WindowSideFactory windows = nullptr);

// The top-level loop: one line at a time from the window side, until `exit`
// succeeds or input ends.
void run_command_loop(Interp& ip);

// Option parsing, exposed for tests.  Returns -1 (bad option: show the
// usage text), 0 (no command on the command line) or 1 (`command` holds
// the command built from the arguments).
struct ParsedOptions {
  long long data_memory = 0;
  int maxvar = 5000;
  bool logo = true;
  bool batch = false;
  bool dp_comma = false;
  bool swap = false;
  std::string swap_dir;
  std::string command;
};
int parse_options(const std::vector<std::string>& args, Edition edition, ParsedOptions* out);

// The command line built from the arguments left after the options.
std::string build_command_line(const std::vector<std::string>& args);

// The usage text, line by line as it is printed.
const char* usage_text();

}  // namespace nuvra
