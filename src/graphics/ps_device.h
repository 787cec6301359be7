// The PostScript device: writes the driver's operations as a PostScript or
// Encapsulated PostScript program with a fixed prologue of procedures.
#pragma once
#include <cstdarg>
#include <string>
#include <string_view>

#include "base/rc.h"
#include "graphics/drawing.h"

namespace nuvra::graphics {

// The page an export lays the graph on.
struct PsPage {
  bool eps = true;
  bool cmyk = false;        // every colour written as CMYK
  double xsize = 6, ysize = 4;  // inches
  double tmargin = 0, lmargin = 0;  // inches
  double mag = 100, xmag = 100, ymag = 100;  // percent
  bool landscape = false;
  std::string fontface = "Helvetica";
};

// Points per graph unit along x and along y.
double ps_xratio(const PsPage& page, int width_units);
double ps_yratio(const PsPage& page, int height_units);

// Appends `text` as the inside of a PostScript string: parentheses and
// backslashes escaped, bytes from 128 (and control bytes) as a backslash
// and three octal digits.
void append_ps_string(std::string* out, std::string_view text);

// Appends printf-style text to *out, cut at 511 bytes: the PostScript
// writers' lines are all shorter.
void append_vprintf(std::string* out, const char* fmt, va_list ap);

// The procedure MF: "/Font /Font-Latin1 MF" defines a copy of Font with
// the ISO Latin-1 encoding.
extern const char* const kMakeFont;

// The CMYK form of an RGB colour (components 0 to 1).
void cmyk_from_rgb(Rgb c, double cmyk[4]);

class PsDevice {
 public:
  // Writes into *out; the graph spans width x height units.
  PsDevice(const PsPage& page, int width, int height, Rgb background, std::string* out);
  // The driver entry: one operation, its operands from `s`.  Unknown codes
  // are ignored.  Always 0: the device writes to memory.
  rc_t entry(int code, const DrawState& s);

 private:
  void begin_file();
  void end_file();
  void colour_def(const char* var, Rgb c);
  void marker(const DrawState& s, int r, int fill);
  void text(const DrawState& s);
  void printf(const char* fmt, ...) __attribute__((format(printf, 2, 3)));

  PsPage page_;
  int width_, height_;
  Rgb background_;
  std::string* out_;
  bool armed_ = true;
  bool first_vertex_ = true;
  bool polygon_ = false;
  // What the file last defined, so unchanged attributes are not rewritten.
  Rgb line_{0, 0, 0}, fill_{255, 255, 255}, text_{0, 0, 0};
  float line_width_ = 1;
};

// The whole recording as a PostScript program.
void render_postscript(const Recording& rec, const PsPage& page, std::string* out);

}  // namespace nuvra::graphics
