#include "graphics/nmcl_printer.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <vector>

#include "graphics/drawing.h"
#include "graphics/ps_device.h"
#include "output/nmcl_stream.h"

namespace nuvra::graphics {

namespace {

using output::DecodedLine;

constexpr double kPoints = 72;
constexpr double kCourierAdvance = 0.6;  // Courier's advance width, in ems
constexpr double kLineSpacing = 1.2;     // line height, in ems
constexpr double kHeaderGap = 2;         // lines between the header and the text

// A style name for each colour class of the style byte (0 and 3 do not
// occur and print as standard).
constexpr const char* kStyleNames[8] = {"standard", "results", "standard", "standard",
                                        "error",    "input",   "link",     "hilite"};

struct StyleColour {
  const char* name;
  Rgb colour;
};
constexpr StyleColour kStyleColours[] = {
    {"standard", {0, 0, 0}},   {"results", {0, 0, 0}},  {"input", {0, 0, 0}},
    {"error", {176, 0, 0}},    {"hilite", {0, 0, 0}},   {"link", {0, 0, 160}},
};

// The stroke procedure of a line-drawing code, or null.
const char* drawing_proc(unsigned char code) {
  switch (code) {
    case output::kDrawHorizontal: return "dash";
    case output::kDrawVertical: return "bar";
    case output::kDrawCross: return "plus";
    case output::kDrawTopTee: return "topt";
    case output::kDrawBottomTee: return "bott";
    case output::kDrawLeftTee: return "ltee";
    case output::kDrawRightTee: return "rtee";
    case output::kDrawTopLeft: return "tlc";
    case output::kDrawTopRight: return "trc";
    case output::kDrawBottomLeft: return "blc";
    case output::kDrawBottomRight: return "brc";
    default: return nullptr;
  }
}

// The stroke procedures draw in the character cell whose baseline starts
// at the current point: cw wide, from a quarter of a line below the
// baseline to three quarters above, so that vertical strokes of
// neighbouring lines meet.  Each is built from the four arms of a cross.
constexpr const char* kStrokeProcs =
    "/cell {currentpoint lh 0.25 mul add /cy exch def cw 2 div add /cx exch def newpath} def\n"
    "/armL {cx cy moveto cw 2 div neg 0 rlineto} def\n"
    "/armR {cx cy moveto cw 2 div 0 rlineto} def\n"
    "/armU {cx cy moveto 0 lh 0.5 mul rlineto} def\n"
    "/armD {cx cy moveto 0 lh 0.5 mul neg rlineto} def\n"
    "/arms {gsave cell exec 0.5 setlinewidth 0 setlinecap stroke grestore} def\n"
    "/dash {{armL armR} arms} def\n"
    "/bar {{armU armD} arms} def\n"
    "/plus {{armL armR armU armD} arms} def\n"
    "/topt {{armL armR armD} arms} def\n"
    "/bott {{armL armR armU} arms} def\n"
    "/ltee {{armU armD armR} arms} def\n"
    "/rtee {{armU armD armL} arms} def\n"
    "/tlc {{armR armD} arms} def\n"
    "/trc {{armL armD} arms} def\n"
    "/blc {{armR armU} arms} def\n"
    "/brc {{armL armU} arms} def\n"
    "/uldash {gsave 0.5 setlinewidth [1 1] 0 setdash newpath moveto 0 rlineto stroke grestore} def\n";

class Printer {
 public:
  Printer(const TextPage& page, std::string* out) : page_(page), out_(out) {
    cw_ = page.fontsize * kCourierAdvance;
    lh_ = page.fontsize * kLineSpacing;
  }

  void prologue() {
    out_->append("%!PS-Adobe-2.0\n%% This is a Nuvra generated postscript file\n%%Pages: (atend)\n");
    printf("%%%%BoundingBox: 0 0 %d %d\n", static_cast<int>(std::lround(page_.width * kPoints)),
           static_cast<int>(std::lround(page_.height * kPoints)));
    out_->append("%%EndComments\n");
    out_->append(kMakeFont);
    out_->push_back('\n');
    for (const char* f : {"Courier", "Courier-Oblique", "Courier-Bold", "Courier-BoldOblique", "Helvetica"})
      printf("/%s /%s-Latin1 MF\n", f, f);
    const int sz = page_.fontsize;
    printf("/reg {/Courier-Latin1 findfont %i scalefont setfont } def\n", sz);
    printf("/it {/Courier-Oblique-Latin1 findfont %i scalefont setfont } def\n", sz);
    printf("/bf {/Courier-Bold-Latin1 findfont %i scalefont setfont} def\n", sz);
    printf("/bfit {/Courier-BoldOblique-Latin1 findfont %i scalefont setfont} def\n", sz);
    printf("/hdr {/Helvetica-Latin1 findfont %i scalefont setfont} def\n", sz);
    printf("/cw %.4f def /lh %.4f def\n", cw_, lh_);
    out_->append("/M {moveto} def\n");
    for (const StyleColour& s : kStyleColours) {
      Rgb c = page_.colour ? s.colour : Rgb{0, 0, 0};
      if (page_.cmyk) {
        double k[4];
        cmyk_from_rgb(c, k);
        printf("/%s {%.3f %.3f %.3f %.3f setcmykcolor} def\n", s.name, k[0], k[1], k[2], k[3]);
      } else {
        printf("/%s {%.3f %.3f %.3f setrgbcolor} def\n", s.name, c.r / 255.0, c.g / 255.0, c.b / 255.0);
      }
    }
    out_->append(kStrokeProcs);
    out_->append("%%EndProlog\n");
  }

  void page_begin() {
    ++pages_;
    printf("%%%%Page: Page %d\n", pages_);
    line_on_page_ = 0;
    if (page_.header) {
      double y = page_.height * kPoints - page_.tmargin * kPoints + kHeaderGap * lh_;
      double x0 = page_.lmargin * kPoints, x1 = (page_.width - page_.rmargin) * kPoints;
      out_->append("standard hdr ");
      printf("%.2f %.2f M (", x0, y);
      append_ps_string(out_, page_.title);
      out_->append(") show\n");
      char num[32];
      std::snprintf(num, sizeof num, "Page %d", pages_);
      printf("(%s) dup stringwidth pop %.2f exch sub %.2f M show\n", num, x1, y);
      printf("gsave 0.5 setlinewidth newpath %.2f %.2f M %.2f %.2f lineto stroke grestore\n", x0, y - 0.4 * lh_, x1,
             y - 0.4 * lh_);
    }
  }

  void page_end() { out_->append("showpage\n"); }

  // One display line at the next position, starting a page when needed.
  void line(const DecodedLine& d, int lines_per_page) {
    bool newpage = std::any_of(d.markers.begin(), d.markers.end(), [](const std::string& m) { return m == "\f"; });
    if (pages_ == 0 || line_on_page_ >= lines_per_page || (newpage && line_on_page_ > 0)) {
      if (pages_ > 0) page_end();
      page_begin();
    }
    const double y = page_.height * kPoints - page_.tmargin * kPoints - (line_on_page_ + 1) * lh_;
    const double x0 = page_.lmargin * kPoints;
    ++line_on_page_;
    const std::size_t n = d.text.size();
    for (std::size_t i = 0; i < n;) {
      const std::uint8_t st = i < d.style.size() ? d.style[i] : output::kColourText;
      std::size_t j = i + 1;
      while (j < n && (j < d.style.size() ? d.style[j] : output::kColourText) == st) ++j;
      const double x = x0 + static_cast<double>(i) * cw_;
      const char* style = kStyleNames[st & output::kStyleColourMask];
      if (st & output::kStyleDrawing) {
        printf("%s", style);
        for (std::size_t k = i; k < j; ++k) {
          const char* proc = drawing_proc(static_cast<unsigned char>(d.text[k]));
          if (proc) printf(" %.2f %.2f M %s", x0 + static_cast<double>(k) * cw_, y, proc);
        }
        out_->push_back('\n');
      } else {
        bool blank = std::all_of(d.text.begin() + static_cast<std::ptrdiff_t>(i),
                                 d.text.begin() + static_cast<std::ptrdiff_t>(j), [](char c) { return c == ' '; });
        if (!blank || (st & output::kStyleUnderline)) {
          const int font = st & output::kStyleFontMask;
          const char* f = font == (output::kStyleBold | output::kStyleItalic) ? "bfit"
                          : font == output::kStyleBold                         ? "bf"
                          : font == output::kStyleItalic                       ? "it"
                                                                               : "reg";
          printf("%s %s %.2f %.2f M (", style, f, x, y);
          append_ps_string(out_, std::string_view(d.text).substr(i, j - i));
          out_->append(") show\n");
          if ((st & output::kStyleUnderline) || (st & output::kStyleColourMask) == output::kColourLink)
            printf("%.2f %.2f %.2f uldash\n", static_cast<double>(j - i) * cw_, x, y - 0.15 * lh_);
        }
      }
      i = j;
    }
  }

  void trailer() {
    if (pages_ == 0) page_begin();  // an empty input still prints one page
    page_end();
    printf("%%%%Trailer\n%%%%Pages: %d\n%%%%EOF\n", pages_);
  }

  int pages() const { return pages_; }

 private:
  void printf(const char* fmt, ...) __attribute__((format(printf, 2, 3))) {
    va_list ap;
    va_start(ap, fmt);
    append_vprintf(out_, fmt, ap);
    va_end(ap);
  }

  const TextPage& page_;
  std::string* out_;
  double cw_, lh_;
  int pages_ = 0;
  int line_on_page_ = 0;
};

struct Collector {
  std::vector<DecodedLine> lines;
  bool have_partial = false;
  DecodedLine partial;
  static int sink(void* arg, const std::uint8_t* rec, int kind) {
    auto* self = static_cast<Collector*>(arg);
    if (kind == output::kSinkLine && rec) {
      self->lines.push_back(output::decode_line_record(rec));
      self->have_partial = false;
    } else if (kind == output::kSinkPartial && rec) {
      self->partial = output::decode_line_record(rec);
      self->have_partial = true;
    }
    return 0;
  }
};

// Plain text: lines as they are, tabs to the next multiple of 8, a line
// longer than the page continued on the next with "> " as the renderer
// does; a form feed starts a new page.
std::vector<DecodedLine> plain_lines(std::string_view text, int columns) {
  std::vector<DecodedLine> lines;
  DecodedLine cur;
  auto finish = [&]() {
    cur.style.assign(cur.text.size(), output::kColourText);
    lines.push_back(std::move(cur));
    cur = DecodedLine();
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\n') {
      finish();
      continue;
    }
    if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    if (c == '\f') {
      if (!cur.text.empty()) finish();
      cur.markers.push_back("\f");
      continue;
    }
    if (static_cast<int>(cur.text.size()) >= columns) {
      finish();
      cur.text = "> ";
    }
    if (c == '\t') {
      do cur.text.push_back(' ');
      while (cur.text.size() % 8 != 0 && static_cast<int>(cur.text.size()) < columns);
    } else {
      cur.text.push_back(static_cast<unsigned char>(c) < 32 ? ' ' : c);
    }
  }
  if (!cur.text.empty() || !cur.markers.empty()) finish();
  return lines;
}

}  // namespace

int text_columns(const TextPage& page) {
  double room = (page.width - page.lmargin - page.rmargin) * kPoints;
  double cols = room / (page.fontsize * kCourierAdvance);
  if (!(cols >= 40)) return 40;
  return cols > 255 ? 255 : static_cast<int>(cols);
}

int text_lines(const TextPage& page) {
  double room = (page.height - page.tmargin - page.bmargin) * kPoints;
  double lines = room / (page.fontsize * kLineSpacing);
  return lines >= 1 ? static_cast<int>(std::min(lines, 10000.0)) : 1;
}

void nmcl_to_postscript(std::string_view text, bool plain, const TextPage& page, std::string* out, int* pages) {
  const int columns = text_columns(page);
  std::vector<DecodedLine> lines;
  if (plain) {
    lines = plain_lines(text, columns);
  } else {
    Collector c;
    output::NmclStream s;
    s.set_sink(Collector::sink, &c);
    s.set_width(columns);
    s.set_page_length(0);
    s.feed(text);
    s.finish();
    if (c.have_partial) c.lines.push_back(std::move(c.partial));
    lines = std::move(c.lines);
  }
  Printer p(page, out);
  p.prologue();
  const int per_page = text_lines(page);
  for (const DecodedLine& d : lines) p.line(d, per_page);
  p.trailer();
  *pages = p.pages();
}

}  // namespace nuvra::graphics
