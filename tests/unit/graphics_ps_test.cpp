// The PostScript device: header, ratios, prologue, colour kinds, placement,
// text escapes and the driver entry codes; every file is also handed to
// Ghostscript when it is installed.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

#include "graphics/drawing.h"
#include "graphics/ps_device.h"

namespace nuvra::graphics {
namespace {

size_t count(const std::string& hay, const std::string& needle) {
  size_t n = 0;
  for (size_t p = hay.find(needle); p != std::string::npos; p = hay.find(needle, p + 1)) ++n;
  return n;
}

// One of every operation the device draws.
Recording every_operation() {
  Recording rec;
  rec.width = 6000;
  rec.height = 4000;
  Canvas c(&rec);
  c.begin();
  c.set_line(Rgb{255, 0, 0}, 2);
  c.set_fill(Rgb{0, 0, 255});
  c.set_text_colour(Rgb{0, 128, 0});
  c.line(100, 200, 300, 400);
  c.polyline({{10, 20}, {30, 40}, {50, 60}});
  c.polygon({{0, 0}, {100, 0}, {50, 80}}, true);
  c.rect(1, 2, 3, 4, true);
  for (int m = 0; m < kMarkerCount; ++m) c.marker(static_cast<Marker>(m), 500, 600, 30, m % 2 == 1);
  c.text(1000, 2000, "caf\xe9 (a\\b)", 120, kAlignCentre, 90);
  c.text(1000, 2100, "left", 100, kAlignLeft);
  c.text(1000, 2200, "right", 100, kAlignRight);
  c.pie(3000, 2000, 500, 0, 90, true);
  c.end();
  return rec;
}

std::string render(const Recording& rec, const PsPage& page) {
  std::string out;
  render_postscript(rec, page, &out);
  return out;
}

// Runs Ghostscript over the text: empty when it accepted the file, else
// its output.  Sets *skipped when gs is not installed.
std::string ghostscript_verdict(const std::string& ps, bool* skipped) {
  *skipped = std::system("command -v gs >/dev/null 2>&1") != 0;
  if (*skipped) return "";
  char path[] = "/tmp/nuvra-ps-test-XXXXXX";
  int fd = mkstemp(path);
  if (fd < 0) return "cannot make a temporary file";
  ssize_t n = write(fd, ps.data(), ps.size());
  close(fd);
  if (n != static_cast<ssize_t>(ps.size())) return "short write";
  std::string log = std::string(path) + ".log";
  std::string cmd = "gs -q -dSAFER -dNOPAUSE -dBATCH -sDEVICE=nullpage " + std::string(path) + " >" + log + " 2>&1";
  int rc = std::system(cmd.c_str());
  std::ifstream in(log);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::remove(path);
  std::remove(log.c_str());
  if (rc != 0 || !text.empty()) return "gs status " + std::to_string(rc) + ": " + text;
  return "";
}

void expect_ghostscript_accepts(const std::string& ps) {
  bool skipped = false;
  std::string verdict = ghostscript_verdict(ps, &skipped);
  if (skipped) GTEST_SKIP() << "Ghostscript (gs) is not installed; the files were not checked by it";
  EXPECT_EQ(verdict, "");
}

TEST(PsDevice, EpsHeaderRatiosAndBox) {
  PsPage page;  // 6 x 4 inches, EPS, RGB
  std::string ps = render(every_operation(), page);
  // 72 * 6 / 6000 = 0.072; 72 * 4 / 4000 = 0.072.
  EXPECT_EQ(ps.rfind("%!PS-Adobe-2.0 EPSF-2.0\n%% This is a Nuvra generated postscript file\n"
                     "%%BoundingBox: 0 0 432 288\n%%HiResBoundingBox: 0.000 0.000 432.000 288.000\n"
                     "%%DocumentNeededResources: font Helvetica\n/xratio 0.072000 def\n/yratio 0.072000 def\n",
                     0),
            0u)
      << ps.substr(0, 400);
  for (const char* want : {"/cp {currentpoint} def\n", "/M {moveto} def\n", "/rm {rmoveto} def\n",
                           "/S {stroke} def\n", "/Helvetica /Helvetica-Latin1 MF\n",
                           "/reg {/Helvetica-Latin1 findfont 1 scalefont setfont } def \n",
                           "/fntsize {/Helvetica-Latin1 findfont exch scalefont setfont } def \n",
                           "0.0000 0.0000 translate\n1.000 1.000 1.000 setrgbcolor\n0 0 432.000 288.000 Sbgfill\n"})
    EXPECT_NE(ps.find(want), std::string::npos) << want;
  for (const char* proc : {"/Sbgfill ", "/Spt ", "/Sln ", "/Stxtl ", "/Stxtc ", "/Stxtr ", "/Srect ", "/Stri ",
                           "/Soldtri ", "/Sdia ", "/Scc ", "/Spie ", "/Splu ", "/Scro ", "/Sm ", "/Sl ", "/SPl ",
                           "/Sbp ", "/Sep ", "/Lcs ", "/Lcr ", "/L ", "/PL "})
    EXPECT_EQ(count(ps, std::string("\n") + proc), 1u) << proc;
  EXPECT_EQ(ps.find("setcmykcolor"), std::string::npos);
  EXPECT_EQ(ps.substr(ps.size() - 17), "S showpage\n%%EOF\n");
  expect_ghostscript_accepts(ps);
}

TEST(PsDevice, RatiosFollowSizeAndMagnifications) {
  PsPage page;
  page.xsize = 3;
  page.ysize = 2;
  page.mag = 50;
  page.xmag = 200;
  page.ymag = 150;
  // 72 * 3 / 6000 * 0.5 * 2 = 0.036; 72 * 2 / 4000 * 0.5 * 1.5 = 0.027.
  EXPECT_DOUBLE_EQ(ps_xratio(page, 6000), 0.036);
  EXPECT_DOUBLE_EQ(ps_yratio(page, 4000), 0.027);
  std::string ps = render(every_operation(), page);
  EXPECT_NE(ps.find("/xratio 0.036000 def\n/yratio 0.027000 def\n"), std::string::npos);
}

TEST(PsDevice, DrawingCommands) {
  std::string ps = render(every_operation(), PsPage{});
  for (const char* want :
       {"/Slrgb {1.000 0.000 0.000} def\n/Slw 2.000 def\n", "/Ssrgb {0.000 0.000 1.000} def\n",
        "/Strgb {0.000 0.502 0.000} def\n", "100 200 300 400 Sln\n", "10 20 Sm\n30 40 Sl\n50 60 Sl\n",
        "Sbp\n0 0 Sm\n100 0 SPl\n50 80 SPl\n1 Sep\n", "1 2 3 4 1 Srect\n", "500 600 Spt\n", "500 600 30 1 Scc\n",
        "500 600 30 0 Stri\n", "500 600 30 1 Soldtri\n", "500 600 30 0 Sdia\n", "500 600 30 Splu\n",
        "500 600 30 Scro\n", "470 570 530 630 1 Srect\n", "1000 2000 90.000 120 (caf\\351 \\(a\\\\b\\)) Stxtc\n",
        "1000 2100 0.000 100 (left) Stxtl\n", "1000 2200 0.000 100 (right) Stxtr\n",
        "3000 2000 500 0.000 90.000 1 Spie\n"})
    EXPECT_NE(ps.find(want), std::string::npos) << want;
}

TEST(PsDevice, CmykFilesHoldNoRgb) {
  PsPage page;
  page.cmyk = true;
  std::string ps = render(every_operation(), page);
  EXPECT_EQ(ps.find("setrgbcolor"), std::string::npos);
  EXPECT_EQ(ps.find("rgb"), std::string::npos);
  // Red is 0 1 1 0; blue 1 1 0 0; the white background 0 0 0 0.
  EXPECT_NE(ps.find("/Slcmyk {0.000 1.000 1.000 0.000} def\n"), std::string::npos);
  EXPECT_NE(ps.find("/Sscmyk {1.000 1.000 0.000 0.000} def\n"), std::string::npos);
  EXPECT_NE(ps.find("0.000 0.000 0.000 0.000 setcmykcolor\n0 0 432.000 288.000 Sbgfill\n"), std::string::npos);
  // Green 0 128 0: k = 1 - 128/255 = 0.498, c = m... = (1 - 0 - k)/(1 - k) = 1, y 1, m 0.
  EXPECT_NE(ps.find("/Stcmyk {1.000 0.000 1.000 0.498} def\n"), std::string::npos);
  expect_ghostscript_accepts(ps);
}

TEST(PsDevice, LandscapeSwapsTheBoxAndRotates) {
  PsPage page;
  page.landscape = true;
  std::string ps = render(every_operation(), page);
  EXPECT_NE(ps.find("%%BoundingBox: 0 0 288 432\n%%HiResBoundingBox: 0.000 0.000 288.000 432.000\n"),
            std::string::npos);
  EXPECT_NE(ps.find("0.0000 432.0000 translate\n-90 rotate\n"), std::string::npos);
  expect_ghostscript_accepts(ps);
}

TEST(PsDevice, PlainPostScriptAndMargins) {
  PsPage page;
  page.eps = false;
  page.lmargin = 1;
  page.tmargin = 0.5;
  std::string ps = render(every_operation(), page);
  EXPECT_EQ(ps.rfind("%!PS-Adobe-2.0\n%% This is a Nuvra generated postscript file\n/xratio", 0), 0u);
  EXPECT_EQ(ps.find("%%BoundingBox"), std::string::npos);
  // Left 72 points; the top half an inch below the letter page's top: 792 - 36 - 288.
  EXPECT_NE(ps.find("72.0000 468.0000 translate\n"), std::string::npos);
  expect_ghostscript_accepts(ps);
}

TEST(PsDevice, StringEscapes) {
  std::string s;
  append_ps_string(&s, "\xe9");
  EXPECT_EQ(s, "\\351");
  s.clear();
  append_ps_string(&s, "\x80\xff()\\x\n");
  EXPECT_EQ(s, "\\200\\377\\(\\)\\\\x\\012");
}

TEST(PsDevice, EntryCodes) {
  std::string out;
  PsDevice dev(PsPage{}, 6000, 4000, Rgb{255, 255, 255}, &out);
  DrawState s;
  EXPECT_EQ(dev.entry(0, s), 0);
  size_t begun = out.size();
  // Codes the device does not know write nothing and succeed.
  for (int code : {1, 47, 62, 149, 4999, 5002, -1}) EXPECT_EQ(dev.entry(code, s), 0);
  EXPECT_EQ(out.size(), begun);
  dev.entry(kOpEndOnce, s);
  dev.entry(kOpEndOnce, s);
  EXPECT_EQ(count(out, "S showpage\n%%EOF\n"), 1u);
  dev.entry(kOpRearm, s);
  EXPECT_EQ(count(out, "%%EOF"), 1u);
  dev.entry(kOpEndOnce, s);
  EXPECT_EQ(count(out, "%%EOF"), 2u);
  dev.entry(kOpEndPage, s);
  EXPECT_EQ(count(out, "%%EOF"), 3u);
}

TEST(PsDevice, UnchangedAttributesAreNotRewritten) {
  Recording rec;
  Canvas c(&rec);
  c.begin();
  c.set_line(Rgb{0, 0, 0}, 1);  // what the prologue already set
  c.set_line(Rgb{10, 20, 30}, 1);
  c.set_line(Rgb{10, 20, 30}, 1);
  c.end();
  std::string ps = render(rec, PsPage{});
  EXPECT_EQ(count(ps, "/Slrgb "), 2u);  // the prologue's and one change
  EXPECT_EQ(count(ps, "/Slw "), 1u);
}

TEST(DriverTable, CodesAreTheDriverOperations) {
  for (int code : {0, 15, 48, 49, 50, 51, 52, 55, 56, 60, 61, 148, 150, 151, 5000, 5001}) EXPECT_TRUE(is_driver_op(code));
  for (int code : {1, 53, 149, 5002}) EXPECT_FALSE(is_driver_op(code));
  Marker m;
  ASSERT_TRUE(marker_from_name("diamond", &m));
  EXPECT_EQ(m, kMarkDiamond);
  EXPECT_FALSE(marker_from_name("star", &m));
}

}  // namespace
}  // namespace nuvra::graphics
