// Prefix commands: each runs the rest of its line under changed conditions
// and puts them back on every return path.
#include <cctype>
#include <cstdio>
#include <cstring>

#include "interp/builtins.h"
#include "interp/interp.h"
#include "interp/messages.h"
#include "interp/parse.h"
#include "data/names.h"

namespace nuvra {

namespace {

// Runs the rest of the line with the output threshold at `level`; the old
// threshold comes back unless the command set one of its own.
rc_t run_at_threshold(Interp& ip, int level) {
  int saved = ip.out.threshold();
  ip.out.set_threshold(level);
  rc_t rc = ip.run_rest_of_line();
  if (ip.out.threshold() == level) ip.out.set_threshold(saved);
  return rc;
}

rc_t run_with_break_allowed(Interp& ip, bool allowed) {
  bool saved = ip.break_allowed;
  ip.break_allowed = allowed;
  rc_t rc = ip.run_rest_of_line();
  ip.break_allowed = saved;
  return rc;
}

// Reads "10", "10.1", "8.25": up to two integer digits and two decimals.
bool parse_version_number(std::string_view w, int* out) {
  size_t dot = w.find('.');
  std::string_view whole = w.substr(0, dot);
  std::string_view frac = dot == std::string_view::npos ? std::string_view() : w.substr(dot + 1);
  if (whole.empty() || whole.size() > 2 || frac.size() > 2) return false;
  if (dot != std::string_view::npos && frac.empty()) return false;
  int v = 0;
  for (char c : whole) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    v = v * 10 + (c - '0');
  }
  int f = 0;
  for (char c : frac) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    f = f * 10 + (c - '0');
  }
  if (frac.size() == 1) f *= 10;
  *out = v * 100 + f;
  return true;
}

// A date written day, month name, year ("05dec2006", "5 Dec 2006",
// "5-dec-2006") as yyyymmdd; 0 when it cannot be read.
int parse_dmy(std::string_view s) {
  static const char* const kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                        "jul", "aug", "sep", "oct", "nov", "dec"};
  size_t i = 0;
  auto skip_sep = [&] {
    while (i < s.size() && (s[i] == ' ' || s[i] == '-' || s[i] == '/')) ++i;
  };
  skip_sep();
  int day = 0, digits = 0;
  while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])) && digits < 2) {
    day = day * 10 + (s[i++] - '0');
    ++digits;
  }
  if (digits == 0) return 0;
  skip_sep();
  size_t m0 = i;
  while (i < s.size() && std::isalpha(static_cast<unsigned char>(s[i]))) ++i;
  if (i - m0 < 3) return 0;
  char mon[4] = {0};
  for (int k = 0; k < 3; ++k)
    mon[k] = static_cast<char>(std::tolower(static_cast<unsigned char>(s[m0 + k])));
  int month = 0;
  for (int k = 0; k < 12; ++k)
    if (std::strcmp(mon, kMonths[k]) == 0) month = k + 1;
  if (month == 0) return 0;
  skip_sep();
  int year = 0;
  digits = 0;
  while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
    year = year * 10 + (s[i++] - '0');
    ++digits;
  }
  skip_sep();
  if (digits != 4 || i != s.size()) return 0;
  static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (day < 1 || day > kDays[month - 1]) return 0;
  if (month == 2 && day == 29 && !(year % 4 == 0 && (year % 100 != 0 || year % 400 == 0))) return 0;
  return year * 10000 + month * 100 + day;
}

void print_version_number(Interp& ip, int v) {
  // One decimal unless the second is needed: 8.0, 10.1, 8.25.
  if (v % 10 == 0)
    ip.out.printf_markup("%d.%d", v / 100, (v % 100) / 10);
  else
    ip.out.printf_markup("%d.%02d", v / 100, v % 100);
}

}  // namespace

rc_t cmd_capture(Interp& ip) {
  int saved = ip.out.threshold();
  ip.out.set_threshold(output::kSilent);
  rc_t rc = ip.run_rest_of_line();
  ip.out.set_threshold(saved);
  if (ip.exec_flag) {
    ip.captured_rc = rc;
    ip.break_request = false;
  }
  return 0;
}

rc_t cmd_quietly(Interp& ip) {
  int level = ip.out.threshold() == output::kSilent ? output::kSilent : output::kQuiet;
  return run_at_threshold(ip, level);
}

rc_t cmd_noisily(Interp& ip) {
  return run_at_threshold(ip, ip.version < 220 ? output::kShowAll : ip.noisy_level);
}

rc_t cmd_nobreak(Interp& ip) { return run_with_break_allowed(ip, false); }
rc_t cmd_break(Interp& ip) { return run_with_break_allowed(ip, true); }

rc_t cmd_push(Interp& ip) {
  std::string line(ip.reader.rest());
  ip.ws->review_add(line);
  ip.review.push_back(std::move(line));
  return 0;
}

// version [#[, missing born(date)] [: command]]
rc_t cmd_version(Interp& ip) {
  std::string_view rest = ip.reader.rest();
  // Split off the command after a ":" that is outside parentheses.
  size_t colon = std::string_view::npos;
  int depth = 0;
  for (size_t i = 0; i < rest.size(); ++i) {
    if (rest[i] == '(')
      ++depth;
    else if (rest[i] == ')')
      --depth;
    else if (rest[i] == ':' && depth == 0) {
      colon = i;
      break;
    }
  }
  std::string_view head = trim(rest.substr(0, colon));
  bool has_command = colon != std::string_view::npos;

  if (!ip.exec_flag) {
    if (!has_command) return 0;
    ip.reader.set_pos(static_cast<size_t>(rest.data() - ip.cmdbuf.data()) + colon);
    return ip.run_rest_of_line();
  }
  if (head.empty()) {
    if (has_command) return msg_invalid(ip, "syntax");
    ip.out.set_class(output::OutClass::Result);
    ip.out.print_markup("version ");
    print_version_number(ip, ip.version);
    ip.out.print_markup("\n");
    return 0;
  }
  size_t comma = head.find(',');
  std::string_view number = trim(head.substr(0, comma));
  std::string_view options =
      comma == std::string_view::npos ? std::string_view() : head.substr(comma + 1);
  int v = 0;
  if (!parse_version_number(number, &v) || v < 100) return rc_message(ip, 198);
  if (v > kExecutableVersion) {
    ip.out.set_class(output::OutClass::Error);
    ip.out.print_markup("this is version ");
    print_version_number(ip, kExecutableVersion);
    ip.out.print_markup(" of Nuvra; it cannot run version ");
    print_version_number(ip, v);
    ip.out.print_markup(" programs\n");
    return 9;
  }
  bool keep_missing = false;
  while (!(options = trim(options)).empty()) {
    std::string_view opt = take_option_word(options);
    size_t paren = opt.find('(');
    std::string_view name = opt.substr(0, paren);
    if (paren == std::string_view::npos && abbreviates(name, "missing", 3)) {
      keep_missing = true;
    } else if (name == "born" && paren != std::string_view::npos && opt.back() == ')') {
      std::string_view date = opt.substr(paren + 1, opt.size() - paren - 2);
      int ymd = parse_dmy(date);
      if (ymd == 0) {
        return msg_quoting(ip.out, "\"", date, "\" invalid date\n", 198);
      }
      if (ymd > executable_build_date()) {
        ip.out.set_class(output::OutClass::Error);
        ip.out.print_markup("you must update the Nuvra executable to run this program\n");
        ip.out.print_markup(
            "{p 4 4 2}The program was written for an executable built on a later date than "
            "the one you are running.  Install the latest release of Nuvra and run the "
            "program again.{p_end}\n");
        return 9;
      }
    } else {
      return msg_quoting(ip.out, "option ", opt, " not allowed\n", 198);
    }
  }
  bool missing = v >= 800 || keep_missing;
  if (!has_command) {
    ip.version = v;
    ip.modern_missing = missing;
    return 0;
  }
  int saved_version = ip.version;
  bool saved_missing = ip.modern_missing;
  ip.version = v;
  ip.modern_missing = missing;
  ip.reader.set_pos(static_cast<size_t>(rest.data() - ip.cmdbuf.data()) + colon);
  rc_t rc = ip.run_rest_of_line();
  ip.version = saved_version;
  ip.modern_missing = saved_missing;
  return rc;
}

}  // namespace nuvra
