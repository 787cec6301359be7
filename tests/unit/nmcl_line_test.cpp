// Line mode: wrapping, the tag table, chunking, the reset line, links,
// asis and s6hlp.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "output/nmcl_stream.h"

namespace nuvra::output {
namespace {

struct Out {
  std::vector<DecodedLine> lines;
  std::vector<std::string> text;  // plain text of each finished line
  static int sink(void* arg, const uint8_t* rec, int kind) {
    auto* o = static_cast<Out*>(arg);
    if (kind == kSinkLine) {
      o->lines.push_back(decode_line_record(rec));
      o->text.push_back(plain_text(rec));
    }
    return ' ';
  }
};

struct Harness {
  Out out;
  NmclStream s;
  explicit Harness(int width = 79) {
    s.set_sink(Out::sink, &out);
    s.set_width(width);
  }
  Harness& feed(std::string_view chunk) {
    s.feed(chunk);
    return *this;
  }
};

std::vector<std::string> render(std::string_view text, int width = 79) {
  Harness h(width);
  h.feed(text);
  return h.out.text;
}

using Lines = std::vector<std::string>;

TEST(NmclLine, LongTextWrapsWithContinuationMarks) {
  auto lines = render(std::string(300, 'a') + "\n");
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], std::string(79, 'a'));
  EXPECT_EQ(lines[1], "> " + std::string(77, 'a'));
  EXPECT_EQ(lines[2], "> " + std::string(77, 'a'));
  EXPECT_EQ(lines[3], "> " + std::string(67, 'a'));
  // A line that exactly fills the width does not spill an empty line.
  EXPECT_EQ(render(std::string(79, 'b') + "\nc\n"), (Lines{std::string(79, 'b'), "c"}));
}

TEST(NmclLine, TabsAndNewlines) {
  EXPECT_EQ(render("abc\tx\n"), Lines{"abc     x"});
  EXPECT_EQ(render("12345678\tx\n"), Lines{"12345678        x"});
  EXPECT_EQ(render("a{tab}b\n\n"), (Lines{"a       b", ""}));
  // {...} swallows the next newline; the one after ends the line.
  EXPECT_EQ(render("a{...}\nb\nc\n"), (Lines{"ab", "c"}));
}

TEST(NmclLine, HorizontalRules) {
  Harness h;
  h.feed("0123456789{hline}\n{hline -5}\n{hline 3}{hline +2}\n{hline 300}\n{hline -80}\n");
  const auto& t = h.out.text;
  ASSERT_EQ(t.size(), 5u);
  EXPECT_EQ(t[0], "0123456789" + std::string(69, '-'));
  EXPECT_EQ(h.out.lines[0].style[10], kColourText | kStyleDrawing);
  EXPECT_EQ(h.out.lines[0].text[10], static_cast<char>(kDrawHorizontal));
  EXPECT_EQ(t[1], std::string(74, '-'));
  EXPECT_EQ(t[2], "-----");
  EXPECT_EQ(t[3], "{hline 300}");
  EXPECT_EQ(t[4], "{hline -80}");  // would be negative
  // {.-}: ends the open line, draws a full rule, swallows one newline.
  EXPECT_EQ(render("ab{.-}\ncd\n"), (Lines{"ab", std::string(79, '-'), "cd"}));
}

TEST(NmclLine, ColumnsAndSpaces) {
  EXPECT_EQ(render("{space 50}{col 41}x\n"), Lines{std::string(50, ' ') + "x"});
  EXPECT_EQ(render("{col 0}x\nab{col 5}x\n"), (Lines{"x", "ab  x"}));
  EXPECT_EQ(render("{col 256}\n{space 256}\n"), (Lines{"{col 256}", "{space 256}"}));
  EXPECT_EQ(render("{space 3}x{dup 3:ab}{dup 0:zz}\n"), Lines{"   xababab"});
}

TEST(NmclLine, AlignmentAndCentring) {
  EXPECT_EQ(render("{ralign 8:123456789}|\n"), Lines{"123456789|"});
  EXPECT_EQ(render("{ralign 8:123}|{lalign 5:ab}|\n"), Lines{"     123|ab   |"});
  // Measuring looks through tags: three visible characters.
  EXPECT_EQ(render("{ralign 6:{bf:ab}c}|\n"), Lines{"   abc|"});
  // Ten columns free: centre puts 3 spaces first, rcenter 4.
  EXPECT_EQ(render("{space 30}{center:abc}|\n", 40), Lines{std::string(33, ' ') + "abc|"});
  EXPECT_EQ(render("{space 30}{rcenter:abc}|\n", 40), Lines{std::string(34, ' ') + "abc|"});
  EXPECT_EQ(render("{center 9:ab}|{rcentre 9:ab}|\n"), Lines{"   ab    |    ab   |"});
  EXPECT_EQ(render("{center 2:abc}|\n"), Lines{"abc|"});
}

TEST(NmclLine, RightAlignedText) {
  EXPECT_EQ(render("xy{right:abc}\n", 40), Lines{"xy" + std::string(35, ' ') + "abc"});
  // Does not fit after column 38: a new line is started first.
  EXPECT_EQ(render("{space 38}{right:abc}\n", 40),
            (Lines{std::string(38, ' '), std::string(37, ' ') + "abc"}));
}

TEST(NmclLine, TitleBoldOverRuleOrBoldUnderlined) {
  Harness h;
  h.feed("{space 2}{title:Syntax}\n");
  ASSERT_EQ(h.out.text, (Lines{"  Syntax", "  ------"}));
  EXPECT_EQ(h.out.lines[0].style[2], kColourText | kStyleBold);
  EXPECT_EQ(h.out.lines[1].style[2], kColourText | kStyleDrawing);
  EXPECT_EQ(h.out.lines[1].style[0], kColourText);

  Harness r;
  r.s.set_title_style(true);
  r.feed("{space 2}{title:Syntax}\nnext\n");
  ASSERT_EQ(r.out.text, (Lines{"  Syntax", "next"}));
  EXPECT_EQ(r.out.lines[0].style[2], kColourText | kStyleBold | kStyleUnderline);
  EXPECT_EQ(r.out.lines[1].style[0], kColourText);
}

TEST(NmclLine, StylesNestAndRestoreOnlyTheirOwnBits) {
  Harness h;
  h.feed("{bf:{it:x}y}z{res:a}b{bf}{res:c}d{ul:u}v{ul on}w{ul off}{reset}e\n");
  ASSERT_EQ(h.out.text, Lines{"xyzabcduvwe"});
  const auto& st = h.out.lines[0].style;
  EXPECT_EQ(st[0], kColourText | kStyleItalic);
  EXPECT_EQ(st[1], kColourText | kStyleBold);
  EXPECT_EQ(st[2], kColourText);
  EXPECT_EQ(st[3], kColourResult);
  EXPECT_EQ(st[4], kColourText);
  EXPECT_EQ(st[5], kColourResult | kStyleBold);
  EXPECT_EQ(st[6], kColourText | kStyleBold);
  EXPECT_EQ(st[7], kColourText | kStyleBold | kStyleUnderline);
  EXPECT_EQ(st[8], kColourText | kStyleBold);
  EXPECT_EQ(st[9], kColourText | kStyleBold | kStyleUnderline);
  EXPECT_EQ(st[10], kColourText);
  NmclStream s;
  s.feed("{err}{it}");
  EXPECT_EQ(s.style(), kColourError | kStyleItalic);
  s.feed("{hi}{sf}");
  EXPECT_EQ(s.style(), kColourHilite);
}

TEST(NmclLine, CharacterNamesAndCharsets) {
  EXPECT_EQ(render("{c 0x41}{c -(}{c )-}{c 'g}{c S|}{c $|}\n"), Lines{"A{}`$$"});
  Harness h;
  h.feed("{c e'}{c C=}{c Y'}{c L-}{c ss}{c a'g}{char TLC}\n");
  h.s.set_charset(NmclCharset::MacRoman);
  h.feed("{c e'}{c C=}{c Y'}{c L-}{c ss}{c a'g}{char TLC}\n");
  ASSERT_EQ(h.out.lines.size(), 2u);
  EXPECT_EQ(h.out.lines[0].text, "\xE9\x80\xDD\xA3\xDF\xE0\x08");
  EXPECT_EQ(h.out.lines[1].text, "\x8E" "EY\xA3\xA7\x88\x08");
  EXPECT_EQ(h.out.lines[1].style[6], kColourText | kStyleDrawing);
  EXPECT_EQ(h.out.lines[1].style[0], kColourText);
  EXPECT_EQ(render("{c xyz}{c 0x4}{c 0xG1}{c}\n"), Lines{"{c xyz}{c 0x4}{c 0xG1}{c}"});
}

TEST(NmclLine, DiaeresisNamesEndInTheColon) {
  // The colon that would start a tag's text is part of these names.
  // Latin-1: A: 0xC4, a: 0xE4, O: 0xD6, y: 0xFF, u: 0xFC; Mac Roman:
  // A: 0x80, a: 0x8A, y: 0xD8.
  EXPECT_EQ(render("{c A:}{c a:}{c O:}{c y:}{c u:}\n"), Lines{"\xC4\xE4\xD6\xFF\xFC"});
  Harness h;
  h.s.set_charset(NmclCharset::MacRoman);
  h.feed("{c A:}{c a:}{c y:}\n");
  ASSERT_EQ(h.out.lines.size(), 1u);
  EXPECT_EQ(h.out.lines[0].text, "\x80\x8A\xD8");
  // Text after the colon, a name without a diaeresis form, or a longer
  // name still leave the tag invalid.
  EXPECT_EQ(render("{c a:x}{c q:}{c ab:}\n"), Lines{"{c a:x}{c q:}{c ab:}"});
}

TEST(NmclLine, InvalidTagsShowAsTyped) {
  const char* invalid[] = {
      "{txt 3}",       "{bf x}",       "{hline abc}",   "{}",
      "{zed}",         "{abcdefghijklmn}", "{space -3}", "{dup 1000:x}",
      "{reset:x}",     "{ul maybe}",   "{help}",        "{back}",
      "{back foo:x}",  "{nmcl}",       "{p_end 3}",     "{c \"open}",
      "{newtag}",      "{marker}",     "{ralign 256:x}", "{p2colset 5 5 9 2}",
  };
  for (const char* tag : invalid) {
    EXPECT_EQ(render(std::string(tag) + "|\n"), Lines{std::string(tag) + "|"}) << tag;
  }
  // Inside another tag's text, and an outermost-only tag nested.
  Harness h;
  h.feed("{bf:{zed}}{bf:a{break}}\n");
  ASSERT_EQ(h.out.text, Lines{"{zed}a{break}"});
  EXPECT_EQ(h.out.lines[0].style[0], kColourText | kStyleBold);
}

TEST(NmclLine, OptionalTagsAndComments) {
  Harness h;
  h.feed("{?newtag:text}|{?newtag}|{?bf:x}|{* a comment: with {braces}}|\n");
  ASSERT_EQ(h.out.text, Lines{"text||x||"});
  EXPECT_EQ(h.out.lines[0].style[6], kColourText | kStyleBold);
  EXPECT_EQ(h.out.lines[0].style[0], kColourText);
  EXPECT_EQ(render("{?c xyz}|\n"), Lines{"{?c xyz}|"});  // known tag, bad argument
}

TEST(NmclChunks, PartialTagHeldAcrossChunks) {
  Harness h;
  h.feed("ab{hli");
  EXPECT_TRUE(h.s.has_pending());
  EXPECT_TRUE(h.out.text.empty());
  h.feed("ne 3}cd\n");
  h.feed("{hl").feed("ine").feed(" 2}x\n");
  h.feed("a{b").feed("f:x}{it:y}\n");
  ASSERT_EQ(h.out.text, (Lines{"ab---cd", "--x", "axy"}));
  EXPECT_EQ(h.out.lines[2].style[1], kColourText | kStyleBold);
  EXPECT_EQ(h.out.lines[2].style[2], kColourText | kStyleItalic);
}

TEST(NmclChunks, UnclosedBraceShowsWhenTheChunkEndsALineOrIsTooLong) {
  EXPECT_EQ(render("ab{hli\n"), Lines{"ab{hli"});
  Harness h;
  h.feed("x{" + std::string(1100, 'y'));
  EXPECT_FALSE(h.s.has_pending());
  h.feed("\n");
  ASSERT_FALSE(h.out.text.empty());
  EXPECT_EQ(h.out.text[0], "x{" + std::string(77, 'y'));
}

TEST(NmclChunks, ResetLineSplitAtEveryPointEndsAsis) {
  const std::string reset = "{nmcl}\n";
  for (size_t k = 1; k < reset.size(); ++k) {
    Harness h;
    h.feed("{asis}{bf:x}\n" + reset.substr(0, k));
    EXPECT_EQ(h.s.mode(), NmclMode::Asis) << k;
    h.feed(reset.substr(k) + "{bf:y}\n");
    EXPECT_EQ(h.s.mode(), NmclMode::Line) << k;
    ASSERT_EQ(h.out.text, (Lines{"{bf:x}", "y"})) << k;
    EXPECT_EQ(h.out.lines[1].style[0], kColourText | kStyleBold) << k;
  }
}

TEST(NmclChunks, FalseResetPrefixIsReleased) {
  EXPECT_EQ(render("ab{nm"), Lines{});
  Harness h;
  h.feed("ab{nm").feed("x}\n");
  h.feed("c{").feed("bf:d}\n");
  EXPECT_EQ(h.out.text, (Lines{"ab{nmx}", "cd"}));
}

TEST(NmclChunks, ResetLineEndsAParagraphWithABlankLine) {
  Harness h;
  h.feed("{p 0 0}one two");
  EXPECT_EQ(h.s.mode(), NmclMode::Paragraph);
  h.feed("{nmcl}\nthree\n");
  EXPECT_EQ(h.s.mode(), NmclMode::Line);
  EXPECT_EQ(h.out.text, (Lines{"one two", "", "three"}));
}

TEST(NmclLinks, EntryContinuesAcrossAWrappedLine) {
  Harness h(40);
  h.feed(std::string(35, 'a') + "{help t:0123456789}z\n");
  ASSERT_EQ(h.out.text, (Lines{std::string(35, 'a') + "01234", "> 56789z"}));
  ASSERT_EQ(h.out.lines[0].links.size(), 1u);
  EXPECT_EQ(h.out.lines[0].links[0].start, 35);
  EXPECT_EQ(h.out.lines[0].links[0].end, 40);
  EXPECT_EQ(h.out.lines[0].links[0].kind, kLinkHelp);
  EXPECT_EQ(h.out.lines[0].links[0].target, "t");
  ASSERT_EQ(h.out.lines[1].links.size(), 1u);
  EXPECT_EQ(h.out.lines[1].links[0].start, 0);
  EXPECT_EQ(h.out.lines[1].links[0].end, 7);
  EXPECT_EQ(h.out.lines[1].links[0].target, "t");
  EXPECT_EQ(h.out.lines[1].style[7], kColourText);
  EXPECT_EQ(h.out.lines[1].style[2], kColourLink);
}

TEST(NmclLinks, NewlineInsideLinkTextAndEmptyRemainder) {
  Harness h;
  h.feed("{help t:ab\ncd}\n{help u:ab\n}x\n");
  ASSERT_EQ(h.out.text, (Lines{"ab", "cd", "ab", "x"}));
  EXPECT_EQ(h.out.lines[1].links.size(), 1u);
  EXPECT_EQ(h.out.lines[1].links[0].end, 2);
  // Nothing of the link lands on the last line, so no entry is left there.
  EXPECT_TRUE(h.out.lines[3].links.empty());
}

TEST(NmclLinks, ArgumentRulesKindsAndTargets) {
  Harness h;
  h.feed("{help a:{help b}}\n");
  h.feed("{browse \"http://x.org/a b\":site}\n");
  h.feed("{help `\"a \"b\" c\"':x}\n");
  h.feed("{nuvra display 1:run}{lumocmd x}{update}{dialog regress}{helpb r}{news:n}\n");
  ASSERT_EQ(h.out.text.size(), 4u);
  EXPECT_EQ(h.out.text[0], "{help b}");
  ASSERT_EQ(h.out.lines[0].links.size(), 1u);
  EXPECT_EQ(h.out.lines[0].links[0].end, 8);
  EXPECT_EQ(h.out.lines[1].text, "site");
  EXPECT_EQ(h.out.lines[1].links[0].kind, kLinkBrowse);
  EXPECT_EQ(h.out.lines[1].links[0].target, "http://x.org/a b");
  EXPECT_EQ(h.out.lines[2].links[0].target, "a \"b\" c");
  const auto& l = h.out.lines[3];
  EXPECT_EQ(l.text, "runxupdateregressrn");
  ASSERT_EQ(l.links.size(), 6u);
  EXPECT_EQ(l.links[0].kind, kLinkNuvra);
  EXPECT_EQ(l.links[0].target, "display 1");
  EXPECT_EQ(l.links[1].kind, kLinkLumo);
  EXPECT_EQ(l.links[2].kind, kLinkUpdate);
  EXPECT_EQ(l.links[2].target, "");
  EXPECT_EQ(l.links[3].kind, kLinkDialog);
  EXPECT_EQ(l.links[4].start, 17);
  EXPECT_EQ(l.style[17], kColourLink | kStyleBold);
  EXPECT_EQ(l.links[5].kind, kLinkNews);

  Harness k;
  k.s.set_link_kinds(22, 24);
  k.feed("{nuvra a}{lumocmd b}\n");
  EXPECT_EQ(k.out.lines[0].links[0].kind, 22);
  EXPECT_EQ(k.out.lines[0].links[1].kind, 24);
}

TEST(NmclLinks, UnrecordableLinksStillShowInLinkColour) {
  Harness h(255);
  h.feed("{help " + std::string(300, 'x') + ":see}\n");
  ASSERT_EQ(h.out.text, Lines{"see"});
  EXPECT_TRUE(h.out.lines[0].links.empty());
  EXPECT_EQ(h.out.lines[0].style[0], kColourLink);

  // Entries of 6 bytes: 1 + 127 * 6 + 2 = 765 fills the section exactly.
  std::string many;
  for (int i = 0; i < 130; ++i) many += "{help t:a}";
  h.feed(many + "\n");
  ASSERT_EQ(h.out.lines.size(), 2u);
  EXPECT_EQ(h.out.lines[1].links.size(), 127u);
  EXPECT_EQ(h.out.lines[1].style[129], kColourLink);
}

TEST(NmclModes, AsisShowsTagsAndS6hlpReadsItsOwnMarkup) {
  Harness h;
  h.feed("{s6hlp}\nType ^help^ or @regress@ now^\n.-\n{bf:z}\n{nmcl}\n{bf:x}\n");
  ASSERT_EQ(h.out.text, (Lines{"Type help or regress now^", std::string(79, '-'), "{bf:z}", "x"}));
  const auto& l = h.out.lines[0];
  EXPECT_EQ(l.style[5], kColourHilite);
  EXPECT_EQ(l.style[4], kColourText);
  ASSERT_EQ(l.links.size(), 1u);
  EXPECT_EQ(l.links[0].start, 13);
  EXPECT_EQ(l.links[0].end, 20);
  EXPECT_EQ(l.links[0].kind, kLinkHelp);
  EXPECT_EQ(l.links[0].target, "regress");
  EXPECT_EQ(h.out.lines[3].style[0], kColourText | kStyleBold);
  // {asis} is outermost only.
  EXPECT_EQ(render("{bf:{asis}}\n"), Lines{"{asis}"});
}

TEST(NmclModes, CclHookSuppliesSettings) {
  EXPECT_EQ(render("{ccl linesize}|\n"), Lines{"|"});
  Harness h;
  h.s.set_ccl_hook([](std::string_view name) {
    return name == "linesize" ? std::string("79") : std::string(600, 'v');
  });
  h.feed("{ccl linesize}|{ralign 4:{ccl linesize}}\n{ccl other}\n");
  ASSERT_GE(h.out.text.size(), 2u);
  EXPECT_EQ(h.out.text[0], "79|  79");
  // Values are cut to 499 characters.
  std::string joined;
  for (size_t i = 1; i < h.out.lines.size(); ++i) joined += h.out.lines[i].text;
  EXPECT_EQ(joined.size(), 499u + 2u * 6u);  // six "> " continuation marks
}

TEST(NmclModes, MarkersAndPageBreaks) {
  Harness h;
  h.feed("{marker one}{marker " + std::string(40, 'm') + "}{newpage}x\n");
  ASSERT_EQ(h.out.lines.size(), 1u);
  EXPECT_EQ(h.out.lines[0].markers,
            (std::vector<std::string>{"one", std::string(32, 'm'), "\f"}));
  // Names with their NULs stay under 100 bytes: three 32-character names
  // take 99, so a fourth name is dropped.
  Harness k;
  k.feed("{marker " + std::string(32, 'a') + "}{marker " + std::string(32, 'b') + "}{marker " +
         std::string(32, 'c') + "}{marker d}\n");
  ASSERT_EQ(k.out.lines[0].markers.size(), 3u);
  EXPECT_EQ(k.out.lines[0].markers[2], std::string(32, 'c'));
}

}  // namespace
}  // namespace nuvra::output
