// Interp: all interpreter state in one object, handed to every command.
#pragma once
#include <sys/types.h>

#include <array>
#include <chrono>
#include <map>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "data/dataset.h"
#include "data/expr/env.h"
#include "data/functions/random.h"
#include "data/functions/regex.h"
#include "data/sort.h"
#include "gui/window_side.h"
#include "data/by_state.h"
#include "interp/expr_cache.h"
#include "interp/file_handles.h"
#include "interp/macros.h"
#include "interp/preferences.h"
#include "interp/preserve.h"
#include "interp/programs.h"
#include "interp/rc.h"
#include "interp/word_reader.h"
#include "output/output.h"
#include "stats/matrix.h"

namespace nuvra {

class LineSource;

using expr::ScalarValue;

// The clock that `sleep` and `timer` read, and the way `sleep` waits. A
// test puts in one of its own, so that what it checks does not depend on
// how busy the machine is.
class SessionClock {
 public:
  virtual ~SessionClock() = default;
  virtual std::chrono::steady_clock::time_point now() { return std::chrono::steady_clock::now(); }
  virtual void wait(std::chrono::steady_clock::duration d);
};

// One of the `timer` command's stopwatches.
struct TimerStopwatch {
  double total = 0;  // seconds in completed on-off intervals
  long long count = 0;
  bool on = false;
  std::chrono::steady_clock::time_point started;
};

// This executable's own version (x 100) and build date (yyyymmdd).
inline constexpr int kExecutableVersion = 1010;
int executable_build_date();

// Limits of the command line and of one macro's text.
inline constexpr size_t kCommandLengthLimit = 165216;
inline constexpr size_t kMacroLengthLimit = 165200;
inline constexpr int kMaxFrames = 64;
inline constexpr int kMaxLoopNesting = 999;

// Start-up settings taken from the command line of the executable.
struct StartupSettings {
  int64_t data_memory = 0;  // bytes; 0 means the default
  int maxvar = 5000;
  bool logo = true;
  bool batch = false;
  bool swap = false;
  std::string swap_dir;
};

// The interpreter is the expression engines' environment: they reach the
// dataset, scalars, matrices and saved results through expr::Env alone.
class Interp : public expr::Env {
 public:
  explicit Interp(gui::WindowSide* window_side);
  ~Interp() override;
  Interp(const Interp&) = delete;
  Interp& operator=(const Interp&) = delete;

  // Runs one command line as a command of the running program or file:
  // macro expansion, then dispatch.  The caller's command buffer and
  // reader position are restored afterwards.
  rc_t execute_line(std::string_view line);
  // Runs the command named by `token` with the rest of the line in the
  // command buffer after the reader position.
  rc_t dispatch();
  // Reads the next word after a prefix (skipping one ":" word), makes it
  // the command token and dispatches it.
  rc_t run_rest_of_line();
  // Runs a built-in's handler: an allocation failure escaping it becomes
  // 909 with its message.
  rc_t run_handler(rc_t (*handler)(Interp&));

  // Shows a line of a running program under `set trace on`: "-" marks
  // the line as written, "=" the line after macro expansion.
  void trace_line(char mark, std::string_view text);

  // True when a Break has been requested and Break is allowed; commands
  // that loop call this and return 1.
  bool poll_break();

  // Top-level loop pieces.
  rc_t execute_top_level(std::string_view line);
  void end_of_command_report(rc_t rc);

  // Observations in the dataset.
  int64_t nobs() const { return dataset.nobs(); }
  // The observations a command works on when it is given no `in` range:
  // all of them, or under `by` the current group.
  int64_t obs_first() const { return by.applied ? by.first : 1; }
  int64_t obs_last() const { return by.applied ? by.last : dataset.nobs(); }

  // ---- expr::Env (defined in expr_env.cpp)
  data::Dataset& data_in_memory() override { return dataset; }
  output::Output& message_stream() override { return out; }
  rc_t report(rc_t code) override;
  rc_t report_quoting(std::string_view before, std::string_view user, std::string_view after,
                      rc_t code) override;
  bool break_requested() override { return poll_break(); }
  int run_version() const override { return version; }
  bool missing_values_modern() const override { return modern_missing; }
  double rc_variable() const override { return captured_rc; }
  const ScalarValue* find_scalar(std::string_view name) const override;
  const stats::Matrix* find_matrix(std::string_view name) const override;
  bool saved_number(char cls, std::string_view name, double* out) override;
  bool saved_text(char cls, std::string_view name, std::string* out) override;
  bool no_estimation_results() const override { return e_results.empty(); }
  const std::string* estimation_macro(std::string_view name) const override;
  const std::string* find_local(std::string_view name) const override { return macros.local(name); }
  rng::RandomState& random_state() override { return random; }
  RegexMatch& regex_state() override { return last_regex; }
  const ByState& by_state() const override { return by; }
  int program_depth() const override { return frame_depth; }
  expr::MatrixSettings matrix_settings() const override;

  // ---- output
  output::Output out;
  gui::WindowSide* ws;
  // Lines the side could not take for lack of memory since the last
  // command ended; output never fails a command whose work is done.
  long output_lines_lost = 0;

  // ---- command buffer, its reader and the command token
  std::string cmdbuf;
  WordReader reader{&cmdbuf};
  std::string token;
  // Full name of the built-in being run (for shared handlers and messages).
  std::string command_name;
  // The line being run came out of macro expansion (loops refuse that
  // outside programs).
  bool line_was_expanded = false;

  // ---- settings
  int version = kExecutableVersion;  // command-interpretation version x 100
  bool modern_missing = true;
  bool rmsg = false;
  bool more = true;
  bool trace = false;
  int tracedepth = 32000;
  int linesize = 79;
  int pagesize = 23;
  int processors = 1;
  int64_t data_memory = 0;
  int maxvar = 5000;
  int matsize = 400;
  // `set sweeptrace on` writes one line per pivot of every sweep inverse;
  // `set sweeppivot off` sweeps pivots in index order (no selection).
  bool sweep_trace = false;
  bool sweep_select = true;
  int default_type = 254;  // `set type`: the storage type of new numeric variables (float)
  uint32_t sortseed = 1001;  // `set sortseed`: drives the shuffle before a sort
  double level = 95;  // `set level`: the confidence level of estimation tables

  // ---- dispatch and block state
  bool exec_flag = true;
  bool by_active = false;  // a by-group prefix is running
  ByState by;
  bool break_allowed = true;
  bool break_request = false;
  bool last_if = false;
  int loop_depth = 0;    // loops running or being collected
  int loop_exit = 0;     // 0 none, 1 continue, 2 continue, break
  uint32_t serial = 0;   // command serial number
  ExpressionCache expr_cache;  // programs of texts evaluated once per command
  rc_t captured_rc = 0;  // _rc
  rc_t last_rc = 0;
  int noisy_level = 0;
  bool exit_request = false;
  bool leave_at_once = false;
  bool data_changed = false;
  int frame_depth = 0;      // do-files and programs running
  bool in_program = false;  // a program (not a do-file) is running
  int load_depth = 0;       // ado-files being loaded
  bool frame_exit = false;  // `exit` asked the running do-file to end
  rc_t frame_exit_code = 0;

  // The stack of line sources: the window at the bottom, then files and
  // loop bodies being run.  Block commands read their bodies from the top.
  std::vector<LineSource*> sources;

  data::Dataset dataset;
  data::SortWorkspace sort_work;  // kept between sorts
  MacroStore macros;
  ProgramStore programs;
  std::map<std::string, ScalarValue> scalars;
  // Named matrices of the matrix command.
  std::map<std::string, stats::Matrix> matrices;
  // The programs running now, innermost last.
  std::vector<RunningProgram> program_stack;
  // Temporary files of the session (first) and of each running frame,
  // removed when the frame (or the session) ends.
  std::vector<std::vector<std::string>> temp_files{1};
  unsigned tempfile_counter = 0;
  // Variables named by tempvar in the session (first) and in each frame.
  std::vector<std::vector<std::string>> temp_vars{1};
  unsigned tempname_counter = 0;
  // Files held open by the file command, by handle.
  OpenFiles open_files;
  // Data kept by preserve, with the frame depth that kept it.
  std::vector<std::pair<int, SnapshotPtr>> preserved;
  // The last regular-expression match, shared by the expression and the
  // macro functions.
  RegexMatch last_regex;
  // The random-number generators (`set seed`, c(seed), runiform()...).
  rng::RandomState random;
  // The `timer` command's stopwatches 1..100 (0 unused).
  std::array<TimerStopwatch, 101> timers;
  // Saved results, and the r() an r-class program is building.
  SavedResults r_results, e_results, s_results;
  std::vector<SavedResults> pending_returns;
  // Estimation results kept by `estimates store`, in the order stored.
  std::vector<StoredEstimates> stored_estimates;
  // The constraints of the last `test` (for `accumulate`).
  bool has_last_test = false;
  std::vector<TestConstraint> last_test;
  // Frame depth of an ado-file being loaded (its own lines may only define
  // programs); -1 when none is.
  int ado_frame = -1;
  std::vector<std::string> review;
  // Values a statistical pass copied out of the data area for its second
  // pass; kept between commands so that its pages are not faulted in anew.
  std::vector<double> pass_scratch;

  // ---- process
  std::string sysdir;  // ends in "/"
  std::map<std::string, std::string> sysdir_overrides;  // `sysdir set`
  std::string tmpdir;
  std::string print_command = "lpr";  // the printer command, PostScript on its input
  int pid = 0;
  mode_t umask_value = 022;
  StartupSettings settings;
  Preferences prefs;
  bool windowed = false;  // the windowed edition is running
  std::string lumolib = "base;math;stat;io;eispack";
  // The Lumo environment, made by the first `lumo` command (its type
  // belongs to the Lumo command handler).
  std::shared_ptr<void> lumo_state;
  // The class system's store and engine, made on first use.
  std::shared_ptr<void> class_state;
  // The sersets and the graphs in memory, made on first use (their type
  // belongs to the graph command handlers).
  std::shared_ptr<void> graph_state;
  int startup_stage = 0;
  std::chrono::steady_clock::time_point command_start;
  double last_elapsed = 0.0;
  SessionClock real_clock;
  SessionClock* session_clock = &real_clock;
};

}  // namespace nuvra
