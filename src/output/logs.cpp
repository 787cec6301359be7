#include "output/logs.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "output/output.h"

namespace nuvra::output {

LogRecord* Logs::find(std::string_view name) {
  if (name.empty()) return &unnamed_;
  auto it = named_.find(name);
  return it == named_.end() ? nullptr : &it->second;
}

LogRecord& Logs::record(std::string_view name) {
  if (name.empty()) return unnamed_;
  auto [it, added] = named_.try_emplace(std::string(name));
  it->second.name = std::string(name);
  return it->second;
}

void Logs::clear(LogRecord& r) {
  if (r.name.empty()) {
    unnamed_ = LogRecord{};
    return;
  }
  named_.erase(r.name);
}

void Logs::record_command(const Output& out, std::string_view line) {
  CommandLog& c = cmdlog;
  if (!c.is_open() || !c.on || !c.write_enabled) return;
  if (static_cast<int>(OutClass::Input) < out.threshold()) return;
  std::string_view t = line;
  while (!t.empty() && (t.front() == ' ' || t.front() == '\t')) t.remove_prefix(1);
  if (t.starts_with("cmdlog") && (t.size() == 6 || t[6] == ' ' || t[6] == '\t')) return;
  std::string text(line);
  text += '\n';
  // Positioned at the end each time, like the other logs, so that a file
  // shared with a log stays in order.
  if (::lseek(c.fd, 0, SEEK_END) < 0) {
    c.write_enabled = false;
    return;
  }
  const char* p = text.data();
  size_t n = text.size();
  while (n > 0) {
    ssize_t w = ::write(c.fd, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) {
      c.write_enabled = false;
      return;
    }
    p += w;
    n -= static_cast<size_t>(w);
  }
}

void Logs::close_files() {
  each([](LogRecord& r) {
    ::close(r.fd);
    r.fd = -1;
  });
  named_.clear();
  unnamed_ = LogRecord{};
  if (cmdlog.is_open()) ::close(cmdlog.fd);
  cmdlog = CommandLog{};
}

std::tm log_clock() {
  std::tm t{};
  if (const char* fixed = std::getenv("NUVRA_FIXED_TIME")) {
    int y, mo, d, h, mi, s;
    if (std::sscanf(fixed, "%d-%d-%dT%d:%d:%d", &y, &mo, &d, &h, &mi, &s) == 6 && mo >= 1 &&
        mo <= 12) {
      t.tm_year = y - 1900;
      t.tm_mon = mo - 1;
      t.tm_mday = d;
      t.tm_hour = h;
      t.tm_min = mi;
      t.tm_sec = s;
      return t;
    }
  }
  std::time_t now = std::time(nullptr);
  localtime_r(&now, &t);
  return t;
}

std::string log_date(const std::tm& t) {
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  char buf[32];
  std::snprintf(buf, sizeof buf, "%2d %s%5d", t.tm_mday, kMonths[t.tm_mon % 12], t.tm_year + 1900);
  return buf;
}

std::string log_time(const std::tm& t) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", t.tm_hour, t.tm_min, t.tm_sec);
  return buf;
}

void print_log_block(Output& out, const LogRecord& r, std::string_view event) {
  bool starts = event == "opened" || event == "resumed";
  std::tm now = log_clock();
  out.set_class(OutClass::Text);
  if (starts) out.print_markup("{.-}\n");
  // The labels end in column 13 so the values line up.
  out.print_markup("       log:  ");
  out.set_class(OutClass::Result);
  out.print_plain(r.file);
  out.print_markup("\n");
  out.set_class(OutClass::Text);
  out.print_markup("  log type:  ");
  out.set_class(OutClass::Result);
  out.print_markup(r.nmcl ? "nmcl\n" : "text\n");
  out.set_class(OutClass::Text);
  std::string label(event.size() < 7 ? 7 - event.size() : 0, ' ');
  label += event;
  label += " on:  ";
  out.print_markup(label);
  out.set_class(OutClass::Result);
  out.print_markup(log_date(now) + ", " + log_time(now));
  if (starts) {
    out.print_markup("\n");
    out.set_class(OutClass::Text);
    out.print_markup("\n");
  } else {
    out.print_markup("{txt}{.-}\n");
    out.set_class(OutClass::Text);
  }
}

bool has_suffix(std::string_view file) {
  size_t slash = file.find_last_of('/');
  std::string_view base = slash == std::string_view::npos ? file : file.substr(slash + 1);
  size_t dot = base.find_last_of('.');
  return dot != std::string_view::npos && dot > 0;
}

}  // namespace nuvra::output
