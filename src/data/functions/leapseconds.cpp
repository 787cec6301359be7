// Reading the leap-second file and holding the process's table.
#include "data/functions/leapseconds.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "data/functions/dates.h"
#include "data/missing.h"

namespace nuvra::dates {

int LeapTable::before(std::int64_t d) const {
  // The end marker stops the search without a bounds test.
  return static_cast<int>(std::lower_bound(day, day + n, d) - day);
}

bool LeapTable::is_leap_day(std::int64_t d) const {
  const std::int32_t* at = std::lower_bound(day, day + n, d);
  return at != day + n && *at == d;
}

void read_leap_file(const std::string& path, LeapTable* t, LeapNote note, void* ctx) {
  t->n = 0;
  t->day[0] = kLeapEndMarker;
  if (path.empty()) {
    note(ctx, "system file leapseconds.maint not found\n");
    return;
  }
  std::FILE* f = std::fopen(path.c_str(), "r");
  if (!f) {
    note(ctx, "system file leapseconds.maint could not be opened\n");
    return;
  }
  char line[121];
  bool full = false;
  while (!full && std::fgets(line, sizeof line, f)) {
    size_t len = std::strlen(line);
    if (len > 0 && line[len - 1] == '\n') line[--len] = '\0';
    for (size_t i = 0; i < len; ++i)
      if (line[i] == '\t' || line[i] == '\r') line[i] = ' ';
    if (len == 0 || line[0] == '*') continue;
    char* save = nullptr;
    for (char* tok = strtok_r(line, " ", &save); tok; tok = strtok_r(nullptr, " ", &save)) {
      double d = parse('d', tok, "dmy", data::kMissing);
      if (data::is_missing(d)) {
        note(ctx, "invalid token in system file leapseconds.maint\n");
        break;
      }
      if (t->n == kMaxLeapDays) {
        note(ctx, "system file leapseconds.maint too long\n");
        full = true;
        break;
      }
      t->day[t->n++] = static_cast<std::int32_t>(d);
    }
  }
  std::fclose(f);
  std::sort(t->day, t->day + t->n);
  t->n = static_cast<int>(std::unique(t->day, t->day + t->n) - t->day);
  // A date at or past the marker would never be reached by a search.
  while (t->n > 0 && t->day[t->n - 1] >= kLeapEndMarker) --t->n;
  t->day[t->n] = kLeapEndMarker;
}

namespace {

// The interpreter's thread is the only one that evaluates expressions and
// renders values, so the table needs no lock.
struct Shared {
  LeapTable table;
  bool loaded = false;
  LeapLoader loader = nullptr;
  void* ctx = nullptr;
};

Shared& shared() {
  static Shared s;
  return s;
}

}  // namespace

void set_leap_loader(LeapLoader loader, void* ctx) {
  shared().loader = loader;
  shared().ctx = ctx;
}

void clear_leap_loader(void* ctx) {
  if (shared().ctx == ctx) {
    shared().loader = nullptr;
    shared().ctx = nullptr;
  }
}

const LeapTable& leap_table() {
  Shared& s = shared();
  if (!s.loaded && s.loader) {
    s.loaded = true;
    s.loader(s.ctx, &s.table);
  }
  return s.table;
}

void forget_leap_table() {
  shared().loaded = false;
  shared().table = LeapTable{};
}

}  // namespace nuvra::dates
