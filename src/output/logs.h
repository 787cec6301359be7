// Logs and the command log: the records of the open logs (the unnamed one
// and any named ones), the command log, the log type setting, and the
// clock the log blocks are stamped with.
#pragma once
#include <ctime>
#include <map>
#include <string>
#include <string_view>

namespace nuvra::output {

class Output;

struct LogRecord {
  int fd = -1;        // -1 when no log is open under this record
  bool nmcl = false;  // NMCL log, else text log
  bool on = false;    // receiving output (else paused)
  std::string file;   // as opened, suffix included
  std::string name;   // empty for the unnamed log
  bool is_open() const { return fd >= 0; }
};

struct CommandLog {
  int fd = -1;
  bool on = false;
  bool write_enabled = false;
  std::string file;
  bool is_open() const { return fd >= 0; }
};

// The `logtype` setting's values.
inline constexpr int kLogTypeText = 1, kLogTypeNmcl = 2;

class Logs {
 public:
  // The record of a log name ("" for the unnamed log); null when a named
  // log of that name is not open.
  LogRecord* find(std::string_view name);
  // The record to open a log under (created for a new name).
  LogRecord& record(std::string_view name);
  // Forgets the record after its file has been closed.
  void clear(LogRecord& r);
  // Every open record, the unnamed first.
  template <typename F>
  void each(F f) {
    if (unnamed_.is_open()) f(unnamed_);
    for (auto& [n, r] : named_) f(r);
  }

  // Appends a line typed at the keyboard to the command log, unless the
  // line is a cmdlog command itself or input is suppressed.
  void record_command(const Output& out, std::string_view line);

  // Closes every file (at the end of the session); buffers must have been
  // written out first.
  void close_files();

  int logtype = kLogTypeNmcl;
  CommandLog cmdlog;

 private:
  LogRecord unnamed_;
  std::map<std::string, LogRecord, std::less<>> named_;
};

// The time log blocks are stamped with: now, or the fixed time that the
// environment variable NUVRA_FIXED_TIME gives as YYYY-MM-DDTHH:MM:SS (so
// that test transcripts do not change from run to run).
std::tm log_clock();
// " 6 Dec 2026" and "12:00:00".
std::string log_date(const std::tm& t);
std::string log_time(const std::tm& t);

// Prints the block that marks an event ("opened", "closed", "paused",
// "resumed") in a log: the file, its type and the date and time, with the
// rules around it that the event calls for.
void print_log_block(Output& out, const LogRecord& r, std::string_view event);

// True when the file name's last component has a suffix.
bool has_suffix(std::string_view file);

}  // namespace nuvra::output
