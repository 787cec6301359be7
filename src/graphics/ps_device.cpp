#include "graphics/ps_device.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>

namespace nuvra::graphics {

namespace {

constexpr double kPageHeightPoints = 792;  // the letter page a PostScript file is laid on

// The drawing procedures.  @C is the colour kind (rgb or cmyk) and @S its
// operator; every procedure scales x arguments by xratio and y by yratio.
constexpr const char* kPrologue[] = {
    "/Sx {xratio mul} def",
    "/Sy {yratio mul} def",
    "/Sline {Sl@C @S Slw setlinewidth} def",
    "/Sfill {Ss@C @S} def",
    "/Stext {St@C @S} def",
    "/Sbgfill {4 dict begin /y1 exch def /x1 exch def /y0 exch def /x0 exch def newpath x0 y0 moveto "
    "x1 y0 lineto x1 y1 lineto x0 y1 lineto closepath fill end} def",
    "/Spaint {f 1 eq {gsave Sfill fill grestore} if Sline stroke} def",
    "/Spt {Sy exch Sx exch Sline 1 setlinecap newpath moveto Slw 2 div neg 0 rmoveto Slw 0 rlineto stroke} def",
    "/Sln {4 dict begin /y1 exch Sy def /x1 exch Sx def /y0 exch Sy def /x0 exch Sx def Sline newpath "
    "x0 y0 moveto x1 y1 lineto stroke end} def",
    "/Stxt {5 dict begin /s exch def /sz exch def /a exch def /y exch Sy def /x exch Sx def gsave Stext "
    "x y translate a rotate sz yratio mul fntsize 0 0 moveto} def",
    "/Stxtl {Stxt s show grestore end} def",
    "/Stxtc {Stxt s stringwidth pop 2 div neg 0 rmoveto s show grestore end} def",
    "/Stxtr {Stxt s stringwidth pop neg 0 rmoveto s show grestore end} def",
    "/Srect {5 dict begin /f exch def /y1 exch Sy def /x1 exch Sx def /y0 exch Sy def /x0 exch Sx def "
    "newpath x0 y0 moveto x1 y0 lineto x1 y1 lineto x0 y1 lineto closepath Spaint end} def",
    "/Smk {6 dict begin /f exch def /r exch def /y exch Sy def /x exch Sx def /rx r Sx def /ry r Sy def} def",
    "/Stri {Smk newpath x y ry add moveto x rx 0.866025 mul sub y ry 2 div sub lineto "
    "x rx 0.866025 mul add y ry 2 div sub lineto closepath Spaint end} def",
    "/Soldtri {Smk newpath x rx sub y ry sub moveto x rx add y ry sub lineto x y ry add lineto closepath "
    "Spaint end} def",
    "/Sdia {Smk newpath x y ry add moveto x rx add y lineto x y ry sub lineto x rx sub y lineto closepath "
    "Spaint end} def",
    "/Scc {Smk newpath x rx add y moveto x y rx 0 360 arc closepath Spaint end} def",
    "/Spie {6 dict begin /f exch def /a1 exch def /a0 exch def /r exch Sx def /y exch Sy def /x exch Sx def "
    "newpath x y moveto x y r a0 a1 arc closepath Spaint end} def",
    "/Splu {0 Smk Sline newpath x rx sub y moveto x rx add y lineto x y ry sub moveto x y ry add lineto "
    "stroke end} def",
    "/Scro {0 Smk Sline newpath x rx sub y ry sub moveto x rx add y ry add lineto x rx sub y ry add moveto "
    "x rx add y ry sub lineto stroke end} def",
    "/Sm {Sy exch Sx exch moveto} def",
    "/Sl {Sy exch Sx exch Sline 1 setlinecap lineto currentpoint stroke moveto} def",
    "/SPl {Sy exch Sx exch lineto} def",
    "/Sbp {newpath} def",
    "/Sep {1 dict begin /f exch def closepath f 1 eq {gsave Sfill fill grestore} if Sline 1 setlinecap "
    "stroke end} def",
    "/Lcs {/Slcsave currentlinecap def 1 setlinecap} def",
    "/Lcr {Slcsave setlinecap} def",
};

constexpr const char* kAbbreviations[] = {
    "/cp {currentpoint} def",
    "/M {moveto} def",
    "/rm {rmoveto} def",
    "/S {stroke} def",
    "/L {Sline lineto currentpoint stroke moveto} def",
    "/PL {Sline lineto} def",
};

}  // namespace

const char* const kMakeFont =
    "/MF {exch findfont dup length dict begin {1 index /FID ne {def} {pop pop} ifelse} forall "
    "/Encoding ISOLatin1Encoding def currentdict end definefont pop} def";

double ps_xratio(const PsPage& page, int width_units) {
  return 72.0 * page.xsize / width_units * (page.mag / 100) * (page.xmag / 100);
}

double ps_yratio(const PsPage& page, int height_units) {
  return 72.0 * page.ysize / height_units * (page.mag / 100) * (page.ymag / 100);
}

void append_ps_string(std::string* out, std::string_view text) {
  char buf[8];
  for (unsigned char c : text) {
    if (c == '(' || c == ')' || c == '\\') {
      out->push_back('\\');
      out->push_back(static_cast<char>(c));
    } else if (c >= 128) {
      std::snprintf(buf, sizeof buf, "\\%3o", c);
      out->append(buf);
    } else if (c < 32 || c == 127) {
      std::snprintf(buf, sizeof buf, "\\%03o", c);
      out->append(buf);
    } else {
      out->push_back(static_cast<char>(c));
    }
  }
}

void cmyk_from_rgb(Rgb c, double cmyk[4]) {
  double r = c.r / 255.0, g = c.g / 255.0, b = c.b / 255.0;
  double k = 1 - std::max({r, g, b});
  if (k >= 1) {
    cmyk[0] = cmyk[1] = cmyk[2] = 0;
    cmyk[3] = 1;
    return;
  }
  cmyk[0] = (1 - r - k) / (1 - k);
  cmyk[1] = (1 - g - k) / (1 - k);
  cmyk[2] = (1 - b - k) / (1 - k);
  cmyk[3] = k;
}

PsDevice::PsDevice(const PsPage& page, int width, int height, Rgb background, std::string* out)
    : page_(page), width_(width), height_(height), background_(background), out_(out) {}

void append_vprintf(std::string* out, const char* fmt, va_list ap) {
  char buf[512];
  int n = std::vsnprintf(buf, sizeof buf, fmt, ap);
  if (n > 0) out->append(buf, std::min<std::size_t>(static_cast<std::size_t>(n), sizeof buf - 1));
}

void PsDevice::printf(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  append_vprintf(out_, fmt, ap);
  va_end(ap);
}

// "/Sl<kind> {...} def" for one of the colour variables (l line, s fill,
// t text).
void PsDevice::colour_def(const char* var, Rgb c) {
  if (page_.cmyk) {
    double k[4];
    cmyk_from_rgb(c, k);
    printf("/%scmyk {%.3f %.3f %.3f %.3f} def\n", var, k[0], k[1], k[2], k[3]);
  } else {
    printf("/%srgb {%.3f %.3f %.3f} def\n", var, c.r / 255.0, c.g / 255.0, c.b / 255.0);
  }
}

void PsDevice::begin_file() {
  const double xr = ps_xratio(page_, width_), yr = ps_yratio(page_, height_);
  const double w = width_ * xr, h = height_ * yr;
  const double bw = page_.landscape ? h : w, bh = page_.landscape ? w : h;
  const double left = page_.lmargin * 72;
  const double bottom = page_.eps ? page_.tmargin * 72 : kPageHeightPoints - page_.tmargin * 72 - bh;
  if (page_.eps) {
    out_->append("%!PS-Adobe-2.0 EPSF-2.0\n");
    out_->append("%% This is a Nuvra generated postscript file\n");
    printf("%%%%BoundingBox: %d %d %d %d\n", static_cast<int>(std::floor(left)), static_cast<int>(std::floor(bottom)),
           static_cast<int>(std::ceil(left + bw)), static_cast<int>(std::ceil(bottom + bh)));
    printf("%%%%HiResBoundingBox: %.3f %.3f %.3f %.3f\n", left, bottom, left + bw, bottom + bh);
    printf("%%%%DocumentNeededResources: font %s\n", page_.fontface.c_str());
  } else {
    out_->append("%!PS-Adobe-2.0\n");
    out_->append("%% This is a Nuvra generated postscript file\n");
  }
  printf("/xratio %.6f def\n", xr);
  printf("/yratio %.6f def\n", yr);
  colour_def("Sl", line_);
  colour_def("Ss", fill_);
  colour_def("St", text_);
  printf("/Slw %.3f def\n", line_width_);
  const char* kind = page_.cmyk ? "cmyk" : "rgb";
  const char* op = page_.cmyk ? "setcmykcolor" : "setrgbcolor";
  for (const char* line : kPrologue) {
    for (const char* p = line; *p; ++p) {
      if (p[0] == '@' && p[1] == 'C') {
        out_->append(kind);
        ++p;
      } else if (p[0] == '@' && p[1] == 'S') {
        out_->append(op);
        ++p;
      } else {
        out_->push_back(*p);
      }
    }
    out_->push_back('\n');
  }
  for (const char* line : kAbbreviations) {
    out_->append(line);
    out_->push_back('\n');
  }
  out_->append(kMakeFont);
  out_->push_back('\n');
  const char* f = page_.fontface.c_str();
  printf("/%s /%s-Latin1 MF\n", f, f);
  printf("/reg {/%s-Latin1 findfont 1 scalefont setfont } def \n", f);
  printf("/fntsize {/%s-Latin1 findfont exch scalefont setfont } def \n", f);
  // In landscape the drawing's top edge runs down the left of the box.
  printf("%.4f %.4f translate\n", left, page_.landscape ? bottom + bh : bottom);
  if (page_.landscape) out_->append("-90 rotate\n");
  if (page_.cmyk) {
    double k[4];
    cmyk_from_rgb(background_, k);
    printf("%.3f %.3f %.3f %.3f setcmykcolor\n", k[0], k[1], k[2], k[3]);
  } else {
    printf("%.3f %.3f %.3f setrgbcolor\n", background_.r / 255.0, background_.g / 255.0, background_.b / 255.0);
  }
  printf("%d %d %.3f %.3f Sbgfill\n", 0, 0, w, h);
}

void PsDevice::end_file() { out_->append("S showpage\n%%EOF\n"); }

void PsDevice::marker(const DrawState& s, int r, int fill) {
  switch (s.symbol) {
    case kMarkPoint:
      printf("%d %d Spt\n", s.x0, s.y0);
      break;
    case kMarkCircle:
      printf("%d %d %d %d Scc\n", s.x0, s.y0, r, fill);
      break;
    case kMarkTriangle:
      printf("%d %d %d %d Stri\n", s.x0, s.y0, r, fill);
      break;
    case kMarkOldTriangle:
      printf("%d %d %d %d Soldtri\n", s.x0, s.y0, r, fill);
      break;
    case kMarkDiamond:
      printf("%d %d %d %d Sdia\n", s.x0, s.y0, r, fill);
      break;
    case kMarkPlus:
      printf("%d %d %d Splu\n", s.x0, s.y0, r);
      break;
    case kMarkCross:
      printf("%d %d %d Scro\n", s.x0, s.y0, r);
      break;
    case kMarkSquare:
      printf("%d %d %d %d %d Srect\n", s.x0 - r, s.y0 - r, s.x0 + r, s.y0 + r, fill);
      break;
    default:
      break;
  }
}

void PsDevice::text(const DrawState& s) {
  static constexpr const char* kProc[] = {"Stxtl", "Stxtc", "Stxtr"};
  printf("%d %d %.3f %d (", s.x0, s.y0, static_cast<double>(s.angle), s.size);
  append_ps_string(out_, s.text_value);
  out_->append(") ");
  out_->append(kProc[s.align <= kAlignRight ? s.align : 0]);
  out_->push_back('\n');
}

rc_t PsDevice::entry(int code, const DrawState& s) {
  switch (code) {
    case kOpBeginFile:
      begin_file();
      armed_ = true;
      break;
    case kOpEndPage:
      end_file();
      armed_ = false;
      break;
    case kOpRearm:
      armed_ = true;
      break;
    case kOpEndOnce:
      if (armed_) end_file();
      armed_ = false;
      break;
    case kOpLine:
      printf("%d %d %d %d Sln\n", s.x0, s.y0, s.x1, s.y1);
      break;
    case kOpBeginPolyline:
      first_vertex_ = true;
      polygon_ = false;
      break;
    case kOpBeginPolygon:
      first_vertex_ = true;
      polygon_ = true;
      out_->append("Sbp\n");
      break;
    case kOpVertex:
      printf(first_vertex_ ? "%d %d Sm\n" : polygon_ ? "%d %d SPl\n" : "%d %d Sl\n", s.x0, s.y0);
      first_vertex_ = false;
      break;
    case kOpMoveTo:
      printf("%d %d Sm\n", s.x0, s.y0);
      first_vertex_ = false;
      break;
    case kOpRect:
      printf("%d %d %d %d %d Srect\n", s.x0, s.y0, s.x1, s.y1, s.fill ? 1 : 0);
      break;
    case kOpMarker:
    case kOpMarkerSized:
    case kOpMarkerFilled:
      marker(s, marker_size(code, s), marker_filled(code, s) ? 1 : 0);
      break;
    case kOpText:
    case kOpTextBox:
      text(s);
      break;
    case kOpPolyClose:
      printf("%d Sep\n", s.fill ? 1 : 0);
      first_vertex_ = true;
      polygon_ = false;
      break;
    case kOpAttribute:
      if (s.sub == kAttrLine) {
        if (!(s.line == line_)) colour_def("Sl", s.line);
        if (s.line_width != line_width_) printf("/Slw %.3f def\n", static_cast<double>(s.line_width));
        line_ = s.line;
        line_width_ = s.line_width;
      } else if (s.sub == kAttrFill) {
        if (!(s.fill_colour == fill_)) colour_def("Ss", s.fill_colour);
        fill_ = s.fill_colour;
      } else if (s.sub == kAttrText) {
        if (!(s.text_colour == text_)) colour_def("St", s.text_colour);
        text_ = s.text_colour;
      }
      break;
    case kOpPie:
      printf("%d %d %d %.3f %.3f %d Spie\n", s.x0, s.y0, s.r, static_cast<double>(s.a0), static_cast<double>(s.a1),
             s.fill ? 1 : 0);
      break;
    default:
      break;
  }
  return 0;
}

void render_postscript(const Recording& rec, const PsPage& page, std::string* out) {
  PsDevice dev(page, rec.width, rec.height, rec.background, out);
  rec.replay(dev);
}

}  // namespace nuvra::graphics
