// libFuzzer target for reading dates and times from text and for the date
// display formats. The input is split into a mask and a text (and a few
// control bytes) and read as every kind of date; a date that reads is
// written back under a full format and must read again as the same value.
// Any format text that parses must render values of every kind without
// overrunning its buffer. Anything but a value or `.` is a failure: a
// crash, a sanitizer report, a hang, or a failed round trip (abort).
//
// Built and run by `make fuzz` (a clang build with coverage hooks), from
// the seeds in tests/fuzz/corpus/<target>/.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "data/format.h"
#include "data/functions/dates.h"
#include "data/missing.h"

namespace {

using nuvra::data::kMissing;
namespace dates = nuvra::dates;

void install_leap_table() {
  static bool done = false;
  if (done) return;
  done = true;
  static int ctx;
  dates::set_leap_loader(
      [](void*, dates::LeapTable* t) {
        t->day[0] = 4564;   // 30jun1972
        t->day[1] = 20819;  // 31dec2016
        t->day[2] = dates::kLeapEndMarker;
        t->n = 2;
      },
      &ctx);
}

void render_all(const nuvra::data::Format& f) {
  static const double kValues[] = {0,     -1,     14669,   1516026612345.0, 2936549, -679350, 1e300,
                                   -1e300, kMissing, nuvra::data::missing_value(26), NAN, 2547.5, 1e15};
  char buf[nuvra::data::kRenderBufferSize];
  for (double v : kValues) {
    size_t n = nuvra::data::render_number(f, v, buf, sizeof buf);
    if (n >= sizeof buf || std::strlen(buf) != n) std::abort();
    // A small buffer is never overrun and still terminated.
    char small[4];
    nuvra::data::render_number(f, v, small, sizeof small);
    if (std::strlen(small) > 3) std::abort();
  }
  (void)nuvra::data::format_display_width(f);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  install_leap_table();
  const std::string in(reinterpret_cast<const char*>(data) + 2, size - 2);
  // The text after the first '|' is the text to read; before it, the mask.
  size_t bar = in.find('|');
  std::string mask = bar == std::string::npos ? std::string("DMY") : in.substr(0, bar);
  std::string text = bar == std::string::npos ? in : in.substr(bar + 1);
  static const char kUnits[] = "dcCyhqmw";
  const char unit = kUnits[data[0] % 8];
  const double top = (data[1] & 0x80) ? kMissing : 1900 + (data[1] & 0x7F) * 2;

  const double v = dates::parse(unit, text, mask, top);
  if (std::isnan(v) || (!nuvra::data::is_missing(v) && v != std::floor(v) && unit != 'c' && unit != 'C'))
    std::abort();
  if (!nuvra::data::is_missing(v) && unit == 'd') {
    // Written in full and read back, a daily date is itself again.
    std::string s = nuvra::data::format_number("%tdDD_Month_CCYY", v);
    if (dates::parse('d', s, "DMY", kMissing) != v) {
      std::fprintf(stderr, "round trip of %.17g failed: \"%s\"\n", v, s.c_str());
      std::abort();
    }
  }
  if (!nuvra::data::is_missing(v) && unit == 'c') {
    std::string s = nuvra::data::format_number("%tcDDmonCCYY_HH:MM:SS.sss", v);
    double back = dates::parse('c', s, "DMYhms", kMissing);
    if (back != std::floor(v)) {
      std::fprintf(stderr, "clock round trip of %.17g failed: \"%s\"\n", v, s.c_str());
      std::abort();
    }
  }

  // The same bytes as a display format.
  nuvra::data::Format f;
  std::string ftext = "%t" + std::string(1, unit) + in;
  if (nuvra::data::parse_format(ftext, &f, true)) render_all(f);
  if (nuvra::data::parse_format("%d" + in, &f, true)) render_all(f);
  if (nuvra::data::parse_format(in, &f, true)) render_all(f);
  return 0;
}
