#include "interp/runner.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "base/text.h"
#include "interp/builtins.h"
#include "interp/interp.h"
#include "interp/line_source.h"
#include "interp/messages.h"
#include "interp/parse.h"
#include "data/names.h"
#include "interp/preserve.h"

namespace nuvra {

namespace {

bool file_exists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string home_dir() {
  const char* h = std::getenv("HOME");
  return h ? h : "";
}

// Reads a file name: a double-quoted or compound-quoted string, or text
// up to the first blank or comma.
std::string_view read_filename(std::string_view& rest) {
  rest = trim(rest);
  if (rest.size() >= 2 && rest[0] == '`' && rest[1] == '"') {
    size_t close = rest.find("\"'", 2);
    if (close != std::string_view::npos) {
      std::string_view name = rest.substr(2, close - 2);
      rest.remove_prefix(close + 2);
      return name;
    }
  }
  if (!rest.empty() && rest[0] == '"') {
    size_t close = rest.find('"', 1);
    if (close != std::string_view::npos) {
      std::string_view name = rest.substr(1, close - 1);
      rest.remove_prefix(close + 1);
      return name;
    }
  }
  size_t end = 0;
  while (end < rest.size() && rest[end] != ' ' && rest[end] != ',' && rest[end] != '\t') ++end;
  std::string_view name = rest.substr(0, end);
  rest.remove_prefix(end);
  return name;
}

// Appends ".do" unless the file part of the name has an extension.
std::string with_do_extension(std::string_view name) {
  std::string n(name);
  size_t slash = n.find_last_of("/\\");
  size_t dot = n.find('.', slash == std::string::npos ? 0 : slash + 1);
  if (dot == std::string::npos && !(!n.empty() && n.back() == ':')) n += ".do";
  return n;
}

rc_t start_file(Interp& ip, RunMode mode) {
  std::string_view rest = ip.reader.rest();
  std::string_view name = read_filename(rest);
  if (name.empty()) return rc_message(ip, 7197);
  bool stop = true;
  rest = trim(rest);
  std::string_view args;
  if (mode == RunMode::Include) {
    if (!rest.empty()) return rc_message(ip, 198);
  } else if (!rest.empty() && rest.front() == ',') {
    rest.remove_prefix(1);
    // Options: stop, nostop, delay(...)
    while (!(rest = trim(rest)).empty()) {
      std::string_view opt = take_option_word(rest);
      if (opt == "stop")
        stop = true;
      else if (opt == "nostop")
        stop = false;
      else if (abbreviates(opt.substr(0, opt.find('(')), "delay", 1))
        continue;  // pacing between lines matters only to the windowed edition
      else {
        return msg_quoting(ip.out, "option ", opt, " not allowed\n", 198);
      }
    }
  } else {
    args = rest;
  }
  std::string file = with_do_extension(name);
  std::string path = file;
  if (!file_exists(path)) {
    std::string found;
    if (file.find('/') == std::string::npos && find_file_along_path(ip, file, 1, &found)) {
      path = found;
    } else {
      return msg_quoting(ip.out, "file ", file, " not found\n", 601);
    }
  }
  return run_file(ip, path, mode, args, stop);
}

}  // namespace

std::string_view read_file_name(std::string_view& rest) { return read_filename(rest); }
std::string do_file_name(std::string_view name) { return with_do_extension(name); }

Frame::Frame(Interp& ip, bool shares_locals)
    : ip_(ip),
      shares_locals_(shares_locals),
      threshold_(ip.out.threshold()),
      noisy_level_(ip.noisy_level),
      version_(ip.version),
      loop_depth_(ip.loop_depth),
      loop_exit_(ip.loop_exit),
      modern_missing_(ip.modern_missing),
      in_program_(ip.in_program),
      rmsg_(ip.rmsg),
      last_if_(ip.last_if),
      exec_flag_(ip.exec_flag) {
  ip.loop_depth = 0;
  ip.loop_exit = 0;
  ip.exec_flag = true;
  ++ip.frame_depth;
  if (!shares_locals) {
    ip.macros.push_level();
    ip.temp_files.emplace_back();
    ip.temp_vars.emplace_back();
  }
}

Frame::~Frame() {
  if (!shares_locals_) {
    // Data kept by preserve come back first, so that temporary variables
    // made afterwards are not dropped from the restored data.
    restore_at_frame_end(ip_);
    drop_frame_tempvars(ip_);
    ip_.temp_vars.pop_back();
    for (const std::string& f : ip_.temp_files.back()) std::remove(f.c_str());
    ip_.temp_files.pop_back();
    ip_.macros.pop_level();
  }
  --ip_.frame_depth;
  ip_.out.set_threshold(threshold_);
  ip_.noisy_level = noisy_level_;
  ip_.version = version_;
  ip_.modern_missing = modern_missing_;
  ip_.in_program = in_program_;
  ip_.rmsg = rmsg_;
  ip_.last_if = last_if_;
  ip_.loop_depth = loop_depth_;
  ip_.loop_exit = loop_exit_;
  ip_.exec_flag = exec_flag_;
}

rc_t Frame::result(rc_t rc) {
  if (!ip_.frame_exit) return rc;
  ip_.frame_exit = false;
  return ip_.frame_exit_code;
}

const char* const kSystemDirectoryNames[] = {"UPDATES", "BASE", "SITE", "PLUS", "PERSONAL", "OLDPLACE"};

std::string system_directory(Interp& ip, std::string_view name) {
  auto over = ip.sysdir_overrides.find(std::string(name));
  if (over != ip.sysdir_overrides.end()) return over->second;
  std::string home = home_dir();
  const std::string& sys = ip.sysdir;
  // With no room left for the longest name below, none of the system
  // names is set.
  bool sys_ok = !sys.empty() && sys.size() + 12 <= 499;
  if (name == "UPDATES") return sys_ok ? sys + "ado/updates/" : std::string();
  if (name == "BASE") return sys_ok ? sys + "ado/base/" : std::string();
  if (name == "SITE") {
    if (!sys_ok) return {};
    size_t cut = sys.find_last_of('/', sys.size() >= 2 ? sys.size() - 2 : 0);
    return cut == std::string::npos ? std::string("ado/") : sys.substr(0, cut + 1) + "ado/";
  }
  if (name == "PLUS") return home + "/ado/plus/";
  if (name == "PERSONAL") return home + "/ado/personal/";
  if (name == "OLDPLACE") return home + "/ado/";
  return {};
}

std::vector<std::string> search_path_dirs(Interp& ip) {
  std::vector<std::string> dirs;
  const std::string* path = ip.macros.global("S_ADO");
  std::string list = path ? path->substr(0, 5400) : std::string();
  size_t start = 0;
  while (start <= list.size()) {
    size_t semi = list.find(';', start);
    std::string elem(trim(std::string_view(list).substr(
        start, semi == std::string::npos ? std::string::npos : semi - start)));
    start = semi == std::string::npos ? list.size() + 1 : semi + 1;
    if (elem.empty()) continue;
    std::string dir;
    bool named = false;
    for (const char* n : kSystemDirectoryNames)
      if (elem == n) named = true;
    if (named) {
      dir = system_directory(ip, elem);
    } else if (elem == ".") {
      dir = "./";
    } else {
      dir = elem;
      if (dir[0] == '~') dir = home_dir() + dir.substr(1);
      if (dir.back() != '/') dir += '/';
    }
    if (!dir.empty()) dirs.push_back(dir);
  }
  return dirs;
}

// sysdir [list] | sysdir set NAME path
rc_t cmd_sysdir(Interp& ip) {
  std::string buf(ip.reader.rest());
  WordReader r(&buf);
  std::string_view sub = r.next();
  if (sub.empty() || sub == "list") {
    if (!r.at_end()) return msg_invalid(ip, "syntax");
    ip.out.set_class(output::OutClass::Text);
    ip.out.print_markup("   NUVRA:  ");
    ip.out.print_plain(ip.sysdir);
    ip.out.print_markup("\n");
    for (const char* n : kSystemDirectoryNames) {
      ip.out.printf_markup("%8s:  ", n);
      ip.out.print_plain(system_directory(ip, n));
      ip.out.print_markup("\n");
    }
    return 0;
  }
  if (sub != "set") return msg_invalid(ip, "syntax");
  std::string name(r.next());
  bool known = false;
  for (const char* n : kSystemDirectoryNames)
    if (name == n) known = true;
  if (!known) return msg_quoting(ip.out, "", name, " invalid system directory name\n", 198);
  std::string_view rest = trim(r.rest());
  if (rest.size() >= 2 && rest.front() == '"' && rest.back() == '"') rest = rest.substr(1, rest.size() - 2);
  if (rest.empty()) return msg_invalid(ip, "syntax");
  std::string dir(rest);
  if (dir.back() != '/') dir += '/';
  ip.sysdir_overrides[name] = dir;
  return 0;
}

bool find_file_along_path(Interp& ip, const std::string& name, int which, std::string* path) {
  if (name.empty()) return false;
  int seen = 0;
  std::string letter = name.size() > 6 && name.ends_with(".style") ? "style" : name.substr(0, 1);
  for (const std::string& dir : search_path_dirs(ip)) {
    for (const std::string& cand : {dir + name, dir + letter + "/" + name}) {
      if (file_exists(cand) && ++seen == which) {
        *path = cand;
        return true;
      }
    }
  }
  return false;
}

rc_t set_argument_locals(Interp& ip, std::string_view args) {
  args = trim(args);
  if (args.size() >= kMacroLengthLimit) return rc_message(ip, 1004);
  ip.macros.set_local("0", args);
  int n = 0;
  size_t i = 0;
  while (i < args.size()) {
    while (i < args.size() && (args[i] == ' ' || args[i] == '\t')) ++i;
    if (i >= args.size()) break;
    std::string word;
    if (args[i] == '"') {
      size_t close = args.find('"', i + 1);
      size_t end = close == std::string_view::npos ? args.size() : close;
      word.assign(args.substr(i + 1, end - i - 1));
      i = close == std::string_view::npos ? args.size() : close + 1;
    } else if (args[i] == '`' && i + 1 < args.size() && args[i + 1] == '"') {
      // An unclosed compound quote runs to the end of the arguments.
      size_t end = base::compound_quote_end(args, i);
      if (end == std::string_view::npos) end = args.size() + 2;
      word.assign(args.substr(i + 2, end - i - 4));
      i = std::min(end, args.size());
    } else {
      size_t end = i;
      while (end < args.size() && args[end] != ' ' && args[end] != '\t') ++end;
      word.assign(args.substr(i, end - i));
      i = end;
    }
    if (word.size() >= kMacroLengthLimit) return rc_message(ip, 198);
    ip.macros.set_local(std::to_string(++n), word);
  }
  return 0;
}

rc_t run_lines(Interp& ip, LineSource& src, bool stop, bool file_prompts) {
  rc_t result = 0;
  for (;;) {
    ip.break_request = ip.break_request && !ip.break_allowed;
    if (file_prompts) {
      ip.out.set_class(output::OutClass::Text);
      ip.out.print_markup("\n");
    }
    std::string line;
    if (!next_command_line(ip, src, line)) break;
    if (ip.poll_break()) return kBreak;
    rc_t rc = ip.execute_line(line);
    if (ip.exit_request || ip.frame_exit) {
      result = rc;
      break;
    }
    if (rc == kBreak) return kBreak;
    if (rc && stop) return rc;
  }
  return result;
}

rc_t run_file(Interp& ip, const std::string& path, RunMode mode, std::string_view args, bool stop) {
  if (ip.frame_depth >= kMaxFrames) return rc_message(ip, 1000);
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) {
    return msg_quoting(ip.out, "file ", path, " could not be opened\n", 603);
  }
  FileSource src(f, mode == RunMode::Do);
  rc_t rc;
  {
    Frame frame(ip, mode == RunMode::Include);
    rc = mode == RunMode::Include ? 0 : set_argument_locals(ip, args);
    if (rc == 0) {
      SourceGuard guard(ip, &src);
      rc = run_lines(ip, src, stop, mode == RunMode::Do);
    }
    rc = frame.result(rc);
  }
  if (mode == RunMode::Do) {
    ip.out.set_class(output::OutClass::Text);
    ip.out.print_markup("\nend of do-file\n");
  }
  return rc;
}

rc_t cmd_do(Interp& ip) { return start_file(ip, RunMode::Do); }
rc_t cmd_run(Interp& ip) { return start_file(ip, RunMode::Run); }
rc_t cmd_include(Interp& ip) { return start_file(ip, RunMode::Include); }

}  // namespace nuvra
