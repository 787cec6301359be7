// The NMCL-to-PostScript printer: results and logs laid out on pages of
// monospaced text, each style in its own font and colour, line-drawing
// characters drawn as strokes.
#pragma once
#include <string>
#include <string_view>

namespace nuvra::graphics {

// The page a printout is laid on; every length in inches.
struct TextPage {
  double width = 8.5, height = 11;
  double lmargin = 1, rmargin = 0.75, tmargin = 1, bmargin = 1;
  int fontsize = 9;          // points
  bool header = true;        // title and page number above each page
  bool colour = true;        // false: every style in black
  bool cmyk = false;         // colours written as CMYK
  std::string title;         // the header's text, usually the file's name
};

// Text columns a line holds on the page (40 to 255), and lines per page
// (at least 1).
int text_columns(const TextPage& page);
int text_lines(const TextPage& page);

// Lays `text` out as a PostScript program: NMCL markup (`plain` false) or
// plain text shown as it is (`plain` true).  A `{newpage}` starts a new
// page.  *pages gets the number of pages written.
void nmcl_to_postscript(std::string_view text, bool plain, const TextPage& page, std::string* out, int* pages);

}  // namespace nuvra::graphics
