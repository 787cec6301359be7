// Display formats: the one module that turns numbers and strings into the
// text that display, list, summarize, matrix list, Lumo's printf and every
// command's tables show.
//
// A format is parsed once into a small plain struct and then applied to
// any number of values; rendering writes into the caller's buffer and never
// allocates, so the loops over observations can format value after value.
//
// Forms accepted (the text is below 49 bytes and begins with `%`):
//   %[-]w.de   %[-]w.df[c]   %[-]w.dg[c]    numeric; a `,` in place of the
//                                           `.` makes the comma the decimal
//                                           sign; 1 <= w <= 244, 0 <= d < w
//   %[-|~]ws                                strings (`~` centres, accepted
//                                           only where the caller allows it)
//   %21x  %16H  %16L  %8H  %8L              dumps of the stored bits
//   %[-|~]t...  %[-|~]d...                  date and time formats: a unit
//                                           letter and detail codes
// A width written with a leading zero (`%09.2f`) is not a form of this
// system and is refused.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace nuvra::data {

enum class FormatKind : uint8_t {
  kGeneral,      // %w.dg
  kFixed,        // %w.df
  kExponential,  // %w.de
  kString,       // %ws
  kHexDouble,    // %21x: sign, hexadecimal mantissa, X, hexadecimal exponent
  kHexBits64,    // %16H / %16L: the 8 bytes of the double
  kHexBits32,    // %8H / %8L: the 4 bytes of the value stored as a float
  kDate,         // %t... / %d...
};

enum class FormatAlign : uint8_t { kRight, kLeft, kCentre };

inline constexpr size_t kFormatMaxBytes = 48;

struct Format {
  FormatKind kind = FormatKind::kGeneral;
  FormatAlign align = FormatAlign::kRight;
  uint8_t width = 9;       // 1 .. 244; 21, 16 or 8 for the hex forms; 0 for dates
  uint8_t decimals = 0;    // d of the numeric forms
  bool thousands = false;  // `c`: group the integer digits by three
  bool comma = false;      // `,` written for `.`: comma is the decimal sign
  bool big_endian = false; // H rather than L
  char date_unit = 0;      // the letter after %t (c C d w m q h y g), 'd' for %d
  bool date_old = false;   // %d...: the older detail codes
  // The detail codes after the unit ("DDmonCCYY"), empty for the unit's
  // default; kept in the struct so that rendering needs no allocation.
  char date_detail[kFormatMaxBytes] = {};
};
inline constexpr int kMaxFormatWidth = 244;

// A buffer of this many bytes always holds a rendered value with its
// terminator, whatever the format and value (the widest case is a
// %244.243fc of the largest double).
inline constexpr size_t kRenderBufferSize = 1024;

// Reads `text` as a display format.  Returns false, leaving *out
// unspecified, when the text is not exactly one of the forms above.  `~`
// (centring) is refused unless allow_centre is set.
bool parse_format(std::string_view text, Format* out, bool allow_centre = false);

inline bool is_numeric_format(const Format& f) { return f.kind != FormatKind::kString; }
inline bool is_string_format(const Format& f) { return f.kind == FormatKind::kString; }

// Whether the format may be given to a variable (or value) of the kind
// described: string formats go with strings, every other form with numbers.
inline bool valid_for_type(const Format& f, bool is_string) {
  return is_string == is_string_format(f);
}

// Renders a number under a numeric format other than a date format into
// `out`, padded to the width (right-aligned, left-aligned under `-`).  A
// value wider than the width is written whole, never cut.  Missing values
// are written ".", ".a" .. ".z" (the hex forms dump their bits instead).
// Returns the length of the whole text; like snprintf, writes at most
// cap - 1 characters and a terminator when cap > 0.  A date format writes
// the date or time (no padding: date formats have no width; a value
// outside the calendar falls back to %9.0g); a string format renders the
// value under %9.0g, so a caller never gets nothing.
size_t render_number(const Format& f, double value, char* out, size_t cap);

// The date side of the module (format_date.cpp).
// Whether `detail` is a valid run of detail codes for the unit ('d' with
// old for the %d form).
bool valid_date_detail(char unit, bool old, std::string_view detail);
// Renders v under a date format, with render_number's conventions.
size_t render_date(const Format& f, double v, char* out, size_t cap);
// The widest text a format writes (the width of the numeric and string
// forms; for dates, of the longest names and numbers).
int format_display_width(const Format& f);

// Renders text under a string format: padded to the width on the left
// (default), on the right (`-`) or both (`~`, the odd blank going to the
// right).  Text longer than the width is written whole.  Same return and
// buffer convention as render_number; the text itself may be of any length.
size_t render_string(const Format& f, std::string_view text, char* out, size_t cap);
// The same into a string of whatever length it takes.
std::string render_string(const Format& f, std::string_view text);

// Conveniences for callers off the hot paths: parse, then render.  An
// invalid format, or one of the wrong kind, gives the empty string.
std::string format_number(std::string_view fmt, double value);
std::string format_string(std::string_view fmt, std::string_view text);

// Numbers shown to the user (display, list, the tables of every command)
// follow the decimal-point setting: with the comma chosen, each numeric
// format writes as its `,` form, a comma for the decimal sign and a period
// between groups of thousands.  Date and hex formats are left alone.  Text
// that is read back as a number (macro values, string(), files written for
// other programs) keeps the period and uses render_number directly.
//
// The setting is the session's one decimal-point choice; it is read and
// written only on the interpreter's thread.
void set_decimal_comma(bool on);
bool decimal_comma();
Format shown_format(const Format& f);
size_t render_shown(const Format& f, double value, char* out, size_t cap);
std::string format_shown(std::string_view fmt, double value);

}  // namespace nuvra::data
