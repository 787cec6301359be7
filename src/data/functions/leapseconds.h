// The leap-second table behind the clock that counts leap seconds.
//
// The table lists the days whose last minute had 61 seconds, read from the
// system file leapseconds.maint the first time a leap-second clock needs
// it. It always ends with an end marker, a day in December 9999 that no
// real date reaches, so a search needs no bounds test.
//
// The table is process-wide: it is a copy of a system file, the same for
// every interpreter. Whoever can find files (the interpreter) installs a
// loader; until one is installed the table is only its end marker.
#pragma once
#include <cstdint>
#include <string>

namespace nuvra::dates {

inline constexpr std::int32_t kLeapEndMarker = 2936530;  // 12dec9999
inline constexpr int kMaxLeapDays = 200;

struct LeapTable {
  // day[0 .. n-1] ascending, then day[n] == kLeapEndMarker.
  std::int32_t day[kMaxLeapDays + 1] = {kLeapEndMarker};
  int n = 0;

  // Leap seconds inserted before day d begins (days before d that are
  // leap days).
  int before(std::int64_t d) const;
  bool is_leap_day(std::int64_t d) const;
};

// Reads a leap-second file into *t. `path` empty means the file was not
// found. Each message (one line, ending in "\n") goes to note(ctx, text).
// The rules: lines of up to 120 bytes, tabs read as blanks, empty lines and
// lines starting with `*` skipped, every blank-separated token a date in
// day-month-year order, at most kMaxLeapDays dates.
using LeapNote = void (*)(void* ctx, const char* text);
void read_leap_file(const std::string& path, LeapTable* t, LeapNote note, void* ctx);

// The process's table, read through the installed loader on first need.
using LeapLoader = void (*)(void* ctx, LeapTable* t);
void set_leap_loader(LeapLoader loader, void* ctx);
// Removes the loader if ctx is the one installed (an interpreter going away).
void clear_leap_loader(void* ctx);
const LeapTable& leap_table();
// Forgets the table, so the next need reads the file again.
void forget_leap_table();

}  // namespace nuvra::dates
