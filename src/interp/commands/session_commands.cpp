// Commands about the session itself: error, exit, set, about, shell.
#include <omp.h>
#include <unistd.h>

#include <algorithm>

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "data/commands/commands.h"
#include "data/format.h"
#include "interp/builtins.h"
#include "interp/creturn.h"
#include "interp/interp.h"
#include "interp/messages.h"
#include "interp/parse.h"
#include "data/names.h"
#include "interp/simple_expr.h"
#include "output/commands/log_commands.h"

namespace nuvra {

namespace {

using datacmd::next_word;

// Splits "args, options" at the first comma.
void split_options(std::string_view rest, std::string_view* args, std::string_view* options) {
  size_t comma = rest.find(',');
  *args = trim(rest.substr(0, comma));
  *options = comma == std::string_view::npos ? std::string_view() : trim(rest.substr(comma + 1));
}

rc_t option_not_allowed(Interp& ip, std::string_view opt) {
  return msg_quoting(ip.out, "option ", opt, " not allowed\n", 198);
}

// An integer argument given as an expression; false when it is not one.
bool integer_argument(Interp& ip, std::string_view text, long* out, rc_t* rc) {
  ExprValue v;
  size_t used = 0;
  *rc = eval_expression(ip, text, &v, &used);
  if (*rc) return false;
  if (v.is_string || !trim(text.substr(used)).empty() || is_missing(v.num) ||
      v.num != std::floor(v.num) || std::fabs(v.num) > 2147483647.0) {
    *rc = msg_invalid(ip, "syntax");
    return false;
  }
  *out = static_cast<long>(v.num);
  return true;
}

rc_t set_on_off(Interp& ip, std::string_view value, bool* flag) {
  if (value == "on")
    *flag = true;
  else if (value == "off")
    *flag = false;
  else
    return msg_invalid(ip, "syntax");
  return 0;
}

}  // namespace

// error # : prints the standard message of the code and returns it.
rc_t cmd_error(Interp& ip) {
  std::string_view rest = ip.reader.rest();
  if (rest.empty()) return rc_message(ip, 198);
  long code;
  rc_t rc;
  if (!integer_argument(ip, rest, &code, &rc)) return rc;
  if (code < 0) return msg_invalid(ip, "syntax");
  return rc_message(ip, static_cast<rc_t>(code));
}

// exit [#] [, clear NUVRA prefs]
rc_t cmd_exit(Interp& ip) {
  std::string_view args, options;
  split_options(ip.reader.rest(), &args, &options);
  bool clear = false, whole = false;
  while (!options.empty()) {
    std::string_view opt = next_word(options);
    if (opt.empty()) break;
    if (opt == "clear")
      clear = true;
    else if (opt == "NUVRA")
      whole = true;
    else if (abbreviates(opt, "prefs", 4))
      continue;
    else
      return option_not_allowed(ip, opt);
  }
  long code = 0;
  if (!args.empty()) {
    rc_t rc;
    if (!integer_argument(ip, args, &code, &rc)) return rc;
  }
  if (ip.frame_depth == 0 || whole) {
    if (ip.data_changed && !clear) return rc_message(ip, 4);
    ip.exit_request = true;
    ip.leave_at_once = whole;
    return 0;
  }
  ip.frame_exit = true;
  ip.frame_exit_code = static_cast<rc_t>(code);
  return static_cast<rc_t>(code);
}

namespace {

// set seed #|state: a number from 0 to 2147483647 seeds the generators
// afresh; the text c(seed) gave puts them back where they were.
rc_t set_seed(Interp& ip, std::string_view value) {
  if (value.empty()) return msg_invalid(ip, "syntax");
  if (value[0] == 'X') {
    if (ip.random.restore(value)) return 0;
  } else {
    char* end = nullptr;
    std::string v(value);
    double d = std::strtod(v.c_str(), &end);
    if (end && *end == '\0' && d >= 0 && d <= rng::RandomState::kMaxSeed && d == static_cast<double>(static_cast<long>(d))) {
      ip.random.seed(static_cast<std::uint32_t>(d));
      return 0;
    }
  }
  return msg_quoting(ip.out, "seed ", value, " invalid\n", 198);
}

}  // namespace

namespace {

std::string full_setting_name(std::string_view name) {
  const Setting* s = find_set_name(name);
  return s ? std::string(s->name) : std::string(name);
}

// Whether `word` is one of the blank-separated `words`.
bool one_of(std::string_view word, std::string_view words) {
  while (!words.empty()) {
    std::string_view w = next_word(words);
    if (!w.empty() && w == word) return true;
  }
  return false;
}

// A range bound as a message shows it: 99.99, 2147483647.
std::string bound_text(double x) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.15g", x);
  return buf;
}

// The settings `permanently` keeps in the preferences file, and that
// start-up puts back.
bool is_permanent_setting(std::string_view name) {
  const Setting* s = find_setting(name);
  return s && s->permanent;
}

rc_t apply_setting(Interp& ip, std::string_view name, std::string_view value);

}  // namespace

rc_t check_setting(Interp& ip, const Setting& s, std::string_view value, double* number) {
  value = trim(value);
  auto out_of_range = [&] {
    double hi = s.hi == kProcessorsAvailable ? std::max(1, omp_get_num_procs()) : s.hi;
    char buf[160];
    std::snprintf(buf, sizeof buf, s.message, bound_text(s.lo).c_str(), bound_text(hi).c_str());
    return msg_quoting(ip.out, buf, "", "\n", 198);
  };
  auto in_range = [&](double v) {
    double hi = s.hi == kProcessorsAvailable ? std::max(1, omp_get_num_procs()) : s.hi;
    return v >= s.lo && v <= hi;
  };
  switch (s.allowed) {
    case Allowed::kOnOff:
    case Allowed::kWords:
      if (one_of(value, s.words)) return 0;
      if (s.message) return msg_quoting(ip.out, s.message, "", "\n", 198);
      return msg_invalid(ip, "syntax");
    case Allowed::kInteger: {
      long n;
      rc_t rc;
      if (value.empty()) return msg_invalid(ip, "syntax");
      if (!integer_argument(ip, value, &n, &rc)) return rc;
      if (!in_range(static_cast<double>(n))) return out_of_range();
      *number = static_cast<double>(n);
      return 0;
    }
    case Allowed::kWhole: {
      long long n;
      if (!read_whole_number(value, &n)) return msg_invalid(ip, "syntax");
      if (!in_range(static_cast<double>(n))) return out_of_range();
      *number = static_cast<double>(n);
      return 0;
    }
    case Allowed::kReal: {
      double v = 0;
      char* end = nullptr;
      std::string text(value);
      if (!text.empty()) v = std::strtod(text.c_str(), &end);
      if (text.empty() || end != text.c_str() + text.size()) return msg_invalid(ip, "syntax");
      if (!in_range(v)) return out_of_range();
      *number = v;
      return 0;
    }
    case Allowed::kOwn:
      return 0;
  }
  return 0;
}

// set setting value [, permanently]
rc_t cmd_set(Interp& ip) {
  std::string_view rest = ip.reader.rest();
  std::string_view args, options;
  split_options(rest, &args, &options);
  std::string_view name = next_word(args);
  if (name.empty()) return msg_invalid(ip, "syntax");
  std::string full = full_setting_name(name);
  // A command to run is one value, blanks and all, quoted or not.
  std::string_view value = full == "printcommand" ? unquote_whole(trim(args)) : next_word(args);
  if (full == "printcommand") args = {};
  if (!trim(args).empty()) return msg_invalid(ip, "syntax");
  bool permanently = !options.empty();
  if (permanently && !abbreviates(trim(options), "permanently", 4)) return option_not_allowed(ip, options);
  if (permanently && !is_permanent_setting(full)) return option_not_allowed(ip, options);
  if (rc_t rc = apply_setting(ip, name, value)) return rc;
  if (permanently) {
    ip.prefs.set(full, std::string(value));
    if (!ip.prefs.save()) {
      ip.out.set_class(output::OutClass::Text);
      ip.out.print_markup("{txt}(note: the preferences file could not be written; the setting lasts for this session only)\n");
    }
  }
  return 0;
}

void apply_preferences(Interp& ip) {
  int saved = ip.out.threshold();
  ip.out.set_threshold(output::kSilent);
  for (std::size_t k = 0; k < kSettingCount; ++k) {
    const Setting& s = kSettings[k];
    if (!s.permanent) continue;
    // A value the file holds that is no longer valid is skipped.
    if (const std::string* v = ip.prefs.get(s.name)) (void)apply_setting(ip, s.name, *v);
  }
  ip.out.set_threshold(saved);
}

// more: waits for a key as a full page would, while the prompt is on.
rc_t cmd_more(Interp& ip) {
  if (!trim(ip.reader.rest()).empty()) return msg_invalid(ip, "syntax");
  ip.out.flush();
  ip.out.stream().more_now();
  if (ip.out.stream().take_more_break()) return 1;
  return 0;
}

namespace {

// Applies a setting; settings of the table have their value checked
// first (the data settings by set_data_setting), so that the branches
// below only store it.
rc_t apply_setting(Interp& ip, std::string_view name, std::string_view value) {
  {
    bool handled = false;
    rc_t rc = set_data_setting(ip, name, value, &handled);
    if (handled) return rc;
  }
  double n = 0;
  if (const Setting* s = find_set_name(name)) {
    if (rc_t rc = check_setting(ip, *s, value, &n)) return rc;
    name = s->name;
    value = trim(value);
  }
  if (name == "rmsg") return set_on_off(ip, value, &ip.rmsg);
  if (name == "trace") return set_on_off(ip, value, &ip.trace);
  if (name == "sweeptrace") return set_on_off(ip, value, &ip.sweep_trace);
  if (name == "sweeppivot") return set_on_off(ip, value, &ip.sweep_select);
  if (name == "tracedepth") {
    ip.tracedepth = static_cast<int>(n);
    return 0;
  }
  if (name == "logtype") return set_logtype(ip, value);
  if (name == "level") {
    ip.level = n;
    return 0;
  }
  if (name == "sortseed") {
    ip.sortseed = static_cast<uint32_t>(n);
    return 0;
  }
  if (name == "processors") {
    ip.processors = static_cast<int>(n);
    omp_set_num_threads(ip.processors);
    return 0;
  }
  if (name == "more") {
    if (rc_t rc = set_on_off(ip, value, &ip.more)) return rc;
    ip.out.stream().set_more_enabled(ip.more);
    return 0;
  }
  if (name == "linesize") {
    ip.linesize = static_cast<int>(n);
    ip.out.stream().set_width(ip.linesize);
    return 0;
  }
  if (name == "pagesize") {
    ip.pagesize = static_cast<int>(n);
    ip.out.stream().set_page_length(ip.pagesize);
    return 0;
  }
  if (name == "seed") return set_seed(ip, value);
  if (name == "printcommand") {
    ip.print_command = std::string(value);
    return 0;
  }
  if (name == "lumolib") {
    ip.lumolib = std::string(value);
    return 0;
  }
  if (name == "dp") {
    data::set_decimal_comma(value == "comma");
    return 0;
  }
  return msg_not_available(ip, "set " + std::string(name));
}

}  // namespace

rc_t cmd_about(Interp& ip) {
  ip.out.set_class(output::OutClass::Text);
  int d = executable_build_date();
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  ip.out.printf_markup("\nNuvra/MP 10.1 for Unix (%s edition)\n",
                       ip.windowed ? "windowed" : "console");
  ip.out.printf_markup("Born %02d %s %04d\n", d % 100, kMonths[(d / 100) % 100 - 1], d / 10000);
  ip.out.printf_markup("%d processor%s available to parallel loops\n", ip.processors,
                       ip.processors == 1 ? "" : "s");
  return 0;
}

// shell command, or "!" command: runs it through the system shell and
// shows what it prints.
rc_t cmd_shell(Interp& ip) {
  std::string command(ip.reader.rest());
  if (command.empty()) {
    if (!isatty(STDIN_FILENO)) return 0;
    const char* sh = std::getenv("SHELL");
    ip.out.flush();
    int status = std::system(sh ? sh : "/bin/sh");
    (void)status;
    return 0;
  }
  ip.out.flush();
  std::FILE* p = ::popen(command.c_str(), "r");
  if (!p) return rc_message(ip, 702);
  ip.out.set_class(output::OutClass::Text);
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) ip.out.print_plain(std::string_view(buf, n));
  ::pclose(p);
  return 0;
}

}  // namespace nuvra
