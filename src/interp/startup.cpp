#include "interp/startup.h"

#include <omp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "data/format.h"
#include "gui/console_side.h"
#include "interp/builtins.h"
#include "interp/interp.h"
#include "interp/line_source.h"
#include "interp/messages.h"
#include "data/names.h"
#include "interp/runner.h"

namespace nuvra {

namespace {


// Start-up stages, recorded so that the orderly exit undoes only what was
// set up.
enum Stage : int {
  kStageOptions = 1,
  kStageSwap = 2,
  kStagePrefs = 3,
  kStageStream = 4,
  kStageSysdir = 7,
  kStageBanner = 8,
  kStageProcessors = 10,
  kStageMemory = 12,
  kStageNotes = 13,
  kStageMacros = 14,
  kStageInit15 = 15,
  kStageInit16 = 16,
  kStageLumoLib = 17,
  kStageMemoryNotes = 18,
  kStageDone = 19,
};

bool all_digits(const std::string& s) {
  if (s.empty() || s.size() > 18) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

bool is_number(const std::string& s) {
  if (s.empty()) return false;
  char* end = nullptr;
  std::strtod(s.c_str(), &end);
  return *end == '\0';
}

bool file_exists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

std::string with_slash(std::string d) {
  if (d.empty() || d.back() != '/') d += '/';
  return d;
}

// Looks for the system directory; `marker_failed` tells whether a
// directory was found without its marker file.
bool find_system_directory(std::string* out) {
  char marker[32];
  std::snprintf(marker, sizeof marker, "isnuvra.%03d", 100);
  std::vector<std::string> candidates;
  if (const char* env = std::getenv("SYSDIR_NUVRA")) candidates.push_back(with_slash(env));
  char buf[64];
  std::snprintf(buf, sizeof buf, "/usr/local/nuvra%d.%d/", kExecutableVersion / 100,
                (kExecutableVersion % 100) / 10);
  candidates.push_back(buf);
  std::snprintf(buf, sizeof buf, "/usr/local/nuvra%d.0/", kExecutableVersion / 100);
  candidates.push_back(buf);
  std::snprintf(buf, sizeof buf, "/usr/local/nuvra%d/", kExecutableVersion / 100);
  candidates.push_back(buf);
  candidates.push_back("/usr/local/nuvra/");
  if (const char* path = std::getenv("PATH")) {
    std::string p = path;
    size_t start = 0;
    while (start <= p.size()) {
      size_t colon = p.find(':', start);
      std::string dir =
          p.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
      start = colon == std::string::npos ? p.size() + 1 : colon + 1;
      if (dir.empty()) continue;
      char resolved[PATH_MAX];
      if (::realpath(dir.c_str(), resolved)) candidates.push_back(with_slash(resolved));
    }
  }
  char cwd[PATH_MAX];
  if (::getcwd(cwd, sizeof cwd)) candidates.push_back(with_slash(cwd));
  for (const std::string& c : candidates) {
    if (file_exists(c + marker)) {
      *out = c;
      return true;
    }
  }
  return false;
}

// Checks that arithmetic behaves as the numerical code expects before
// anything is computed: IEEE doubles, round to nearest, no flush to zero.
bool floating_point_ok() {
  volatile double third = 1.0 / 3.0;
  volatile double tiny = 4.9406564584124654e-324;
  volatile double big = 1.7976931348623157e308;
  volatile double one = 1.0, eps = 2.220446049250313e-16;
  if (third * 3.0 != 1.0) return false;
  if (!(tiny > 0.0) || tiny / 2.0 != 0.0) return false;
  if (!std::isinf(big * 2.0)) return false;
  if (one + eps == one || one + eps / 2 != one) return false;
  if (std::sqrt(2.0) * std::sqrt(2.0) == 2.0) return false;
  return true;
}

// Runs sysprofile.do or profile.do when one is found: along the search
// path, then in the current directory, then in the home directory.
void run_profile(Interp& ip, const char* name, bool command_waiting) {
  std::string path;
  if (!find_file_along_path(ip, name, 1, &path)) {
    if (file_exists(name)) {
      char cwd[PATH_MAX];
      path = ::getcwd(cwd, sizeof cwd) ? with_slash(cwd) + name : name;
    } else if (const char* home = std::getenv("HOME");
               home && file_exists(with_slash(home) + name)) {
      path = with_slash(home) + name;
    } else {
      return;
    }
  } else if (!path.empty() && path[0] != '/') {
    char cwd[PATH_MAX];
    if (::getcwd(cwd, sizeof cwd))
      path = with_slash(cwd) + (path.starts_with("./") ? path.substr(2) : path);
  }
  // A command from the command line waits in the buffer; it is kept in a
  // local macro while the profile runs.
  if (command_waiting) ip.macros.set_local("0", ip.cmdbuf);
  ip.out.set_class(output::OutClass::Text);
  ip.out.print_markup("\n");
  ip.out.print_markup("running ");
  ip.out.print_plain(path);
  ip.out.print_markup(" ...\n");
  ip.execute_top_level("run \"" + path + "\"");
  ip.cmdbuf.clear();
  if (command_waiting) {
    const std::string* saved = ip.macros.local("0");
    ip.cmdbuf = saved ? *saved : std::string();
    ip.macros.drop_local("0");
    ip.out.set_class(output::OutClass::Text);
    ip.out.print_markup("\n");
  }
}

void print_banner(Interp& ip) {
  int d = executable_build_date();
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  ip.out.set_class(output::OutClass::Text);
  ip.out.print_markup("\n{hline 56}\n");
  ip.out.printf_markup("  Nuvra/MP 10.1   interactive statistics and data analysis\n");
  ip.out.printf_markup("  %s edition, born %02d %s %04d\n", ip.windowed ? "windowed" : "console",
                       d % 100, kMonths[(d / 100) % 100 - 1], d / 10000);
  ip.out.print_markup("{hline 56}\n");
}

void print_notes(Interp& ip, bool line_editing) {
  ip.out.set_class(output::OutClass::Text);
  ip.out.print_markup("\nNotes:\n");
  int n = 0;
  char text[160];
  std::snprintf(text, sizeof text, "(-m# option or -set memory-) %.2f MB allocated to data",
                static_cast<double>(ip.data_memory) / 1048576.0);
  ip.out.printf_markup("     %2d.  ", ++n);
  ip.out.print_plain(text);
  ip.out.print_markup("\n");
  std::snprintf(text, sizeof text, "(-v# option or -set maxvar-) %d maximum variables", ip.maxvar);
  ip.out.printf_markup("     %2d.  ", ++n);
  ip.out.print_plain(text);
  ip.out.print_markup("\n");
  if (file_exists(ip.sysdir + "xnuvra-mp.bin")) {
    ip.out.printf_markup(
        "     %2d.  %s\n", ++n,
        "New executable previously downloaded; type {nuvra update swap} to install");
  }
  ip.out.printf_markup("     %2d.  Command line editing %sabled\n", ++n,
                       line_editing ? "en" : "en");
  std::FILE* msg = std::fopen((ip.sysdir + "nuvra.msg").c_str(), "rb");
  if (msg) {
    char buf[511];
    size_t got;
    while ((got = std::fread(buf, 1, sizeof buf, msg)) > 0)
      ip.out.print_markup(std::string_view(buf, got));
    std::fclose(msg);
  }
}

void set_system_macros(Interp& ip) {
  MacroStore& m = ip.macros;
  m.set_global("S_level", "95");
  m.set_global("S_MACH", "PC");
  m.set_global("S_OS", "Unix");
  m.set_global("S_FLAVOR", "MP");
  m.set_global("S_NuvraSE", "SE");
  m.set_global("S_NuvraMP", "MP");
  const char* ado = std::getenv("S_ADO");
  m.set_global("S_ADO", ado ? ado : "UPDATES;BASE;SITE;.;PERSONAL;PLUS;OLDPLACE");
  m.set_global("F1", "help ");
  m.set_global("F2", "#review;");
  m.set_global("F3", "describe;");
  m.set_global("F7", "save ");
  m.set_global("F8", "use ");
}

// The swap install: put a downloaded executable in place and start it.
int swap_install(const std::string& dir) {
  for (const char* name : {"xnuvra-mp", "nuvra-mp"}) {
    std::string from = dir + name + ".bin";
    std::string to = dir + name;
    if (std::rename(from.c_str(), to.c_str()) != 0) {
      std::fprintf(stderr, "Unable to rename %s to %s\n", from.c_str(), to.c_str());
      return 1;
    }
    if (::chmod(to.c_str(), 0755) != 0) {
      std::fprintf(stderr, "Unable to chmod 755 on %s\n", to.c_str());
      return 1;
    }
  }
  std::string exe = dir + "xnuvra-mp";
  ::execl(exe.c_str(), "xnuvra-mp", static_cast<char*>(nullptr));
  std::fprintf(stderr, "could not start %s: %s\n", exe.c_str(), std::strerror(errno));
  return 1;
}

// The log file of batch mode: the do-file's base name with ".log".
std::string batch_log_name(const std::string& command) {
  std::string buf = command;
  WordReader r(&buf);
  std::string_view verb = r.next();
  std::string_view rest = trim(r.rest());
  if ((verb == "do" || verb == "run") && !rest.empty()) {
    std::string file(rest);
    if (file.front() == '"') {
      size_t close = file.find('"', 1);
      file = file.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    } else {
      file = file.substr(0, file.find_first_of(" ,"));
    }
    size_t slash = file.find_last_of('/');
    std::string base = slash == std::string::npos ? file : file.substr(slash + 1);
    size_t dot = base.find_last_of('.');
    if (dot != std::string::npos && dot > 0) base = base.substr(0, dot);
    if (!base.empty()) return base + ".log";
  }
  return "nuvra.log";
}

}  // namespace

const char* usage_text() {
  return "\n"
         "xnuvra-mp:  usage:  xnuvra-mp [-h -k# -m# -q] [\"nuvra command\"]\n"
         "        where:\n"
         "            -h        show this display\n"
         "            -k#       set data memory to #k, default is 1024\n"
         "            -m#       set data memory to #m, -m1 same as -k1024\n"
         "            -q        suppress logo, initialization messages\n"
         "        Notes:\n"
         "            xnuvra-mp is the command to launch the GUI version of Nuvra/MP\n"
         "            nuvra-mp is the command to launch the console version of Nuvra/MP\n"
         "\n"
         "            Use nuvra-mp rather than xnuvra-mp if you want to run in batch mode\n"
         "\n";
}

std::string build_command_line(const std::vector<std::string>& args) {
  std::string cmd;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (i == 0 && !a.empty()) {
      std::string lower = a;
      for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      if (!lower.empty() && lower.back() == '"') lower.pop_back();
      const char* verb = nullptr;
      if (lower.ends_with(".dta"))
        verb = "use";
      else if (lower.ends_with(".do"))
        verb = "do";
      else if (lower.ends_with(".nmcl"))
        verb = "view";
      else if (lower.ends_with(".gph"))
        verb = "graph use";
      if (verb) {
        cmd += verb;
        cmd += ' ';
      }
    }
    cmd += a;
    cmd += ' ';
  }
  return cmd;
}

int parse_options(const std::vector<std::string>& args, Edition edition, ParsedOptions* out) {
  size_t i = 0;
  for (; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a.empty() || a[0] != '-') break;
    if (a.size() < 2) return -1;
    char letter = static_cast<char>(std::tolower(static_cast<unsigned char>(a[1])));
    std::string value = a.substr(2);
    switch (letter) {
      case 'c':
        if (!value.empty()) return -1;
        out->dp_comma = true;
        break;
      case 'k': {
        if (!all_digits(value)) return -1;
        long long k = std::stoll(value);
        if (k < 10) return -1;
        out->data_memory = k * 1024;
        break;
      }
      case 'l':
        break;
      case 'm': {
        if (!all_digits(value)) return -1;
        long long m = std::stoll(value);
        if (m < 1 || m > (1LL << 40)) return -1;
        out->data_memory = m * 1048576;
        break;
      }
      case 'o':
        if (!is_number(value)) return -1;
        break;
      case 'p': {
        // Only the processor count known while the options are read (1).
        if (!all_digits(value) || std::stoll(value) != 1) return -1;
        break;
      }
      case 'q':
        if (!value.empty()) return -1;
        out->logo = false;
        break;
      case 'u':
        if (!value.empty()) return -1;
        out->swap = true;
        break;
      case 'v': {
        if (!all_digits(value)) return -1;
        long long v = std::stoll(value);
        if (v < 2048 || v > 32767) return -1;
        out->maxvar = static_cast<int>(v);
        break;
      }
      case 'b':
        if (edition != Edition::Console || !value.empty()) return -1;
        out->batch = true;
        break;
      default:
        return -1;
    }
  }
  std::vector<std::string> rest(args.begin() + static_cast<long>(i), args.end());
  if (out->swap) {
    if (!rest.empty()) out->swap_dir = rest[0].substr(0, 499);
    return 1;
  }
  std::string cmd(trim(build_command_line(rest)));
  out->command = cmd;
  return cmd.empty() ? 0 : 1;
}

namespace {

void loop_over(Interp& ip, LineSource& window) {
  std::string line;
  while (next_command_line(ip, window, line)) {
    ip.execute_top_level(line);
    if (ip.exit_request) break;
    ip.out.end_command();
    ip.out.set_class(output::OutClass::Text);
    ip.out.print_markup("\n");
  }
}

}  // namespace

void run_command_loop(Interp& ip) {
  WindowSource window;
  SourceGuard window_guard(ip, &window);
  loop_over(ip, window);
}

int run_process(int argc, char** argv, Edition edition, WindowSideFactory windows) {
  int stage = 0;
  std::vector<std::string> args(argv + 1, argv + argc);

  if (edition == Edition::Windowed) {
    if (!std::getenv("DISPLAY")) {
      std::fputs("You need X-Windows for this version of Nuvra.\n", stderr);
      std::fputs("Either define the Unix environment variable DISPLAY or\n", stderr);
      std::fputs("invoke -nuvra- rather than -xnuvra-\n", stderr);
      return 0;
    }
    pid_t child = ::fork();
    if (child < 0)
      std::perror("could not fork");
    else if (child > 0)
      return 0;  // the shell prompt returns at once
  }

  stage = kStageOptions;
  ParsedOptions opts;
  int parsed = parse_options(args, edition, &opts);
  if (parsed < 0) {
    std::fputs(usage_text(), stderr);
    return 1;
  }
  if (opts.swap) {
    stage = kStageSwap;
    return swap_install(opts.swap_dir);
  }
  stage = kStagePrefs;

  // The window side: windows, a terminal, a pipe, or the batch log.
  std::unique_ptr<gui::WindowSide> side_owner;
  std::unique_ptr<gui::ConsoleSide> console;
  if (edition == Edition::Windowed && windows) {
    side_owner = windows(&argc, &argv);
    if (!side_owner) {
      const char* display = std::getenv("DISPLAY");
      std::fprintf(stderr, "xnuvra-mp: cannot open display %s\n", display ? display : "");
      return 1;
    }
  }
  bool tty_in = ::isatty(STDIN_FILENO) != 0;
  bool tty_out = ::isatty(STDOUT_FILENO) != 0;
  std::FILE* out = stdout;
  std::string log_name;
  if (opts.batch) {
    log_name = batch_log_name(opts.command);
    out = std::fopen(log_name.c_str(), "w");
    if (!out) {
      std::fprintf(stderr, "cannot open %s: %s\n", log_name.c_str(), std::strerror(errno));
      return 603;
    }
  }
  const char* term = std::getenv("TERM");
  bool colour = !opts.batch && tty_out && term && std::strcmp(term, "dumb") != 0;
  if (!side_owner) {
    console = std::make_unique<gui::ConsoleSide>(out, !opts.batch && tty_in && tty_out, colour);
    gui::ConsoleSide::install_break_handler();
  }
  gui::WindowSide& side = side_owner ? *side_owner : *console;
  bool line_editing = side_owner || console->line_editing();

  int status = 0;
  {
    Interp ip(&side);
    ip.windowed = edition == Edition::Windowed;
    ip.pid = static_cast<int>(::getpid());
    const char* tmp = std::getenv("NUVRATMP");
    if (!tmp) tmp = std::getenv("TMPDIR");
    ip.tmpdir = tmp ? tmp : "/tmp";
    mode_t mask = ::umask(022);
    ::umask(mask);
    ip.umask_value = mask;
    ip.settings.logo = opts.logo;
    ip.settings.batch = opts.batch;
    data::set_decimal_comma(opts.dp_comma);
    // A preferences directory that cannot be made costs only the saving of
    // settings; the session goes on.
    ip.prefs.load(Preferences::default_directory());
    stage = kStageStream;
    ip.out.stream().set_page_length(ip.pagesize);
    // Settings kept with `permanently` win over the start-up defaults.
    apply_preferences(ip);
    side.restore_layout([&ip](const std::string& name) { return ip.prefs.get(name); });
    auto save_session = [&ip, &side] {
      side.save_layout([&ip](const std::string& name, const std::string& value) { ip.prefs.set(name, value); });
      ip.prefs.save();
    };
    side.set_session_saver(save_session);

    if (!find_system_directory(&ip.sysdir)) {
      std::array<std::string, 4> lines{"cannot find Nuvra directory", "isnuvra.100 is missing", "",
                                       ""};
      side.alert(lines);
      return 1;
    }
    stage = kStageSysdir;
    if (!floating_point_ok()) {
      side.alert({"floating-point arithmetic failed the start-up self-test", "", "", ""});
      return 1;
    }
    if (opts.logo) print_banner(ip);
    stage = kStageBanner;
    stage = kStageProcessors;
    ip.processors = omp_get_num_procs();
    stage = kStageMemory;
    {
      // The data area is address space reserved now and committed as it is
      // used; a refused size falls back to the defaults with a note.
      rc_t rc = 0;
      if (opts.data_memory) rc = ip.dataset.set_memory(static_cast<size_t>(opts.data_memory));
      if (rc == 0 && opts.maxvar != ip.dataset.maxvar()) rc = ip.dataset.set_maxvar(opts.maxvar);
      if (rc != 0) {
        ip.out.set_class(output::OutClass::Text);
        ip.out.print_markup(
            "Could not initialize using set memory, set maxvar,\n"
            "and set matsize preferences and/or start-up options.\n"
            "Operating System refused to provide the memory.\n"
            "Trying again using defaults.\n");
        ip.dataset.set_memory(data::kDefaultMemory);
        ip.dataset.set_maxvar(5000);
      }
      ip.data_memory = static_cast<int64_t>(ip.dataset.memory());
      ip.maxvar = ip.dataset.maxvar();
    }
    if (opts.logo) {
      stage = kStageNotes;
      print_notes(ip, line_editing);
    }
    set_system_macros(ip);
    stage = kStageMacros;
    stage = kStageInit16;
    stage = kStageLumoLib;
    stage = kStageMemoryNotes;

    ip.cmdbuf = opts.command;
    bool waiting = parsed == 1;
    if (!waiting) stage = kStageDone;
    (void)stage;

    WindowSource window;
    SourceGuard window_guard(ip, &window);
    run_profile(ip, "sysprofile.do", waiting);
    run_profile(ip, "profile.do", waiting);

    rc_t command_rc = 0;
    if (waiting && !ip.exit_request) {
      std::string cmd = ip.cmdbuf;
      ip.out.set_class(output::OutClass::Input);
      ip.out.print_markup(". ");
      ip.out.print_plain(cmd);
      ip.out.print_markup("\n");
      command_rc = ip.execute_top_level(cmd);
    }
    if (opts.batch && waiting) {
      status = command_rc < 0 ? 1 : command_rc > 255 ? 255 : command_rc;
    } else if (!ip.exit_request) {
      ip.out.set_class(output::OutClass::Text);
      ip.out.print_markup("\n");
      loop_over(ip, window);
    }
    ip.out.flush();
    save_session();
    side.set_session_saver(nullptr);
  }
  console.reset();  // ends a partly written line before the log closes
  side_owner.reset();
  if (opts.batch) std::fclose(out);
  return status;
}

}  // namespace nuvra
