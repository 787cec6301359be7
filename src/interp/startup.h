// Process entry: options, the system directory, the banner and notes, the
// profile do-files, the command loop and the orderly exit.
#pragma once
#include <string>
#include <vector>

namespace nuvra {

enum class Edition { Console, Windowed };

// Runs the whole process; returns its exit status.
int run_process(int argc, char** argv, Edition edition);

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
