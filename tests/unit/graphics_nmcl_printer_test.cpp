// The NMCL-to-PostScript printer: the file's frame, fonts and styles, page
// breaks by length and by {newpage}, line-drawing strokes, octal escapes,
// plain text, and the page geometry; every file is handed to Ghostscript
// when it is installed.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "graphics/nmcl_printer.h"

namespace nuvra::graphics {
namespace {

std::size_t count(const std::string& hay, const std::string& needle) {
  std::size_t n = 0;
  for (std::size_t p = hay.find(needle); p != std::string::npos; p = hay.find(needle, p + 1)) ++n;
  return n;
}

std::string print(const std::string& text, bool plain, const TextPage& page, int* pages) {
  std::string out;
  nmcl_to_postscript(text, plain, page, &out, pages);
  return out;
}

// Empty when Ghostscript accepted the program (or is not installed).
std::string ghostscript(const std::string& ps) {
  if (std::system("command -v gs >/dev/null 2>&1") != 0) return "";
  char path[] = "/tmp/nuvra-nmclps-XXXXXX";
  int fd = mkstemp(path);
  if (fd < 0) return "no temporary file";
  if (write(fd, ps.data(), ps.size()) != static_cast<ssize_t>(ps.size())) return "write failed";
  close(fd);
  std::string cmd = std::string("gs -q -dSAFER -dNOPAUSE -dBATCH -sDEVICE=nullpage ") + path + " 2>&1";
  std::string result;
  if (FILE* p = popen(cmd.c_str(), "r")) {
    char buf[256];
    while (std::fgets(buf, sizeof buf, p)) result += buf;
    if (pclose(p) != 0 && result.empty()) result = "gs failed";
  }
  unlink(path);
  return result;
}

TEST(NmclPrinter, FrameFontsAndStyles) {
  TextPage page;
  page.title = "results.nmcl";
  int pages = 0;
  std::string ps = print(
      "{nmcl}\n{txt}standard {res}result {err}error {com}input {hilite:hi} {help regress:link}\n"
      "{txt}{bf:bold} {it:italic}\n",
      false, page, &pages);
  EXPECT_EQ(pages, 1);
  EXPECT_EQ(ps.rfind("%!PS-Adobe-2.0\n%% This is a Nuvra generated postscript file\n%%Pages: (atend)\n", 0), 0u);
  for (const char* f : {"Courier", "Courier-Oblique", "Courier-Bold", "Courier-BoldOblique", "Helvetica"})
    EXPECT_NE(ps.find(std::string("/") + f + " /" + f + "-Latin1 MF\n"), std::string::npos) << f;
  EXPECT_NE(ps.find("/reg {/Courier-Latin1 findfont 9 scalefont setfont } def"), std::string::npos);
  EXPECT_NE(ps.find("/it {/Courier-Oblique-Latin1 findfont 9 scalefont setfont } def"), std::string::npos);
  EXPECT_NE(ps.find("/bf {/Courier-Bold-Latin1 findfont 9 scalefont setfont} def"), std::string::npos);
  EXPECT_NE(ps.find("/bfit {/Courier-BoldOblique-Latin1 findfont 9 scalefont setfont} def"), std::string::npos);
  // Run by run, each in its style and font; the first run starts at the
  // left margin (72 points) on the first line (one line of 10.8 points
  // below the top margin: 792 - 72 - 10.8).
  EXPECT_NE(ps.find("standard reg 72.00 709.20 M (standard ) show"), std::string::npos) << ps;
  EXPECT_NE(ps.find("results reg "), std::string::npos);
  EXPECT_NE(ps.find("error reg "), std::string::npos);
  EXPECT_NE(ps.find("input reg "), std::string::npos);
  EXPECT_NE(ps.find("hilite reg "), std::string::npos);
  EXPECT_NE(ps.find(" (link) show\n"), std::string::npos);
  EXPECT_NE(ps.find("uldash"), std::string::npos);
  EXPECT_NE(ps.find("standard bf 72.00 698.40 M (bold) show"), std::string::npos);
  EXPECT_NE(ps.find("standard it 99.00 698.40 M (italic) show"), std::string::npos);
  EXPECT_NE(ps.find("hdr 72.00 741.60 M (results.nmcl) show"), std::string::npos);
  EXPECT_NE(ps.find("%%Page: Page 1\n"), std::string::npos);
  EXPECT_TRUE(ps.ends_with("showpage\n%%Trailer\n%%Pages: 1\n%%EOF\n")) << ps.substr(ps.size() - 80);
  EXPECT_EQ(ghostscript(ps), "");
}

TEST(NmclPrinter, PagesBreakByLengthAndAtNewpage) {
  TextPage page;
  page.header = false;
  // 9 inches of 10.8-point lines: 60 lines a page.
  ASSERT_EQ(text_lines(page), 60);
  std::string text = "{nmcl}\n";
  for (int i = 1; i <= 121; ++i) text += "line " + std::to_string(i) + "\n";
  int pages = 0;
  std::string ps = print(text, false, page, &pages);
  EXPECT_EQ(pages, 3);
  EXPECT_EQ(count(ps, "showpage\n"), 3u);
  EXPECT_NE(ps.find("%%Page: Page 3\n"), std::string::npos);
  // Line 61 is the first of page 2, at the top.
  std::size_t p2 = ps.find("%%Page: Page 2\n");
  ASSERT_NE(p2, std::string::npos);
  EXPECT_NE(ps.find("M (line 61) show", p2), std::string::npos);
  EXPECT_LT(ps.find("(line 60)"), p2);
  EXPECT_TRUE(ps.ends_with("%%Trailer\n%%Pages: 3\n%%EOF\n"));

  ps = print("{nmcl}\nfirst\n{newpage}second\nthird\n", false, page, &pages);
  EXPECT_EQ(pages, 2);
  std::size_t second = ps.find("%%Page: Page 2\n");
  ASSERT_NE(second, std::string::npos);
  EXPECT_LT(ps.find("(first)"), second);
  EXPECT_GT(ps.find("(second)"), second);
  EXPECT_EQ(ghostscript(ps), "");
}

TEST(NmclPrinter, DrawingCharactersAreStrokesAndHighBytesOctal) {
  TextPage page;
  int pages = 0;
  std::string ps = print("{nmcl}\n{hline 3}{c +}{c |}{c TT}{c BT}{c TLC}{c TRC}{c BLC}{c BRC}\ncaf\xe9 (x) \\\n", false,
                         page, &pages);
  for (const char* proc : {"dash", "plus", "bar", "topt", "bott", "tlc", "trc", "blc", "brc"})
    EXPECT_NE(ps.find(std::string(" M ") + proc), std::string::npos) << proc;
  EXPECT_EQ(count(ps, " M dash"), 3u);
  EXPECT_NE(ps.find("(caf\\351 \\(x\\) \\\\) show"), std::string::npos);
  EXPECT_EQ(ghostscript(ps), "");
}

TEST(NmclPrinter, PlainTextShowsBracesAndWrapsLongLines) {
  TextPage page;
  page.colour = false;
  ASSERT_EQ(text_columns(page), 90);  // 6.75 inches of 5.4-point characters
  int pages = 0;
  std::string text = "{res}not a tag\n\tx\n" + std::string(100, 'a') + "\n";
  std::string ps = print(text, true, page, &pages);
  EXPECT_NE(ps.find("({res}not a tag) show"), std::string::npos);
  EXPECT_NE(ps.find("(        x) show"), std::string::npos);
  EXPECT_NE(ps.find("(" + std::string(90, 'a') + ") show"), std::string::npos);
  EXPECT_NE(ps.find("(> " + std::string(10, 'a') + ") show"), std::string::npos);
  // Without colour every style is black.
  EXPECT_NE(ps.find("/error {0.000 0.000 0.000 setrgbcolor} def"), std::string::npos);
  EXPECT_EQ(ghostscript(ps), "");
}

TEST(NmclPrinter, PageGeometryAndColourKinds) {
  TextPage page;
  page.width = 8.27;
  page.height = 11.69;
  page.lmargin = page.rmargin = 0.5;
  page.fontsize = 10;
  page.cmyk = true;
  // 7.27 inches of 6-point characters: 87 columns; 9.69 inches of
  // 12-point lines: 58 lines.
  EXPECT_EQ(text_columns(page), 87);
  EXPECT_EQ(text_lines(page), 58);
  int pages = 0;
  std::string ps = print("{nmcl}\n{err}oops\n", false, page, &pages);
  EXPECT_NE(ps.find("%%BoundingBox: 0 0 595 842"), std::string::npos);
  EXPECT_NE(ps.find("/reg {/Courier-Latin1 findfont 10 scalefont setfont } def"), std::string::npos);
  EXPECT_EQ(ps.find("setrgbcolor"), std::string::npos);
  EXPECT_NE(ps.find("error reg 36.00 "), std::string::npos);
  EXPECT_EQ(ghostscript(ps), "");
  // Text that never ends its line still prints, and nothing prints one
  // empty page.
  ps = print("no newline", true, page, &pages);
  EXPECT_NE(ps.find("(no newline) show"), std::string::npos);
  ps = print("", false, page, &pages);
  EXPECT_EQ(pages, 1);
  EXPECT_EQ(ghostscript(ps), "");
}

}  // namespace
}  // namespace nuvra::graphics
