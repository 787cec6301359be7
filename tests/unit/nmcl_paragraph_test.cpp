// Paragraph mode: word placement, separators, indents, paragraph ends,
// two-column layouts and the syntax-diagram tags.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "output/nmcl_stream.h"

namespace nuvra::output {
namespace {

struct Out {
  std::vector<DecodedLine> lines;
  std::vector<std::string> text;
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

using Lines = std::vector<std::string>;

Lines render(std::string_view text, int width = 79) {
  Harness h(width);
  h.feed(text);
  return h.out.text;
}

std::string words(const char* w, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) {
    if (i) out += ' ';
    out += w;
  }
  return out;
}

TEST(NmclParagraph, SentenceEndsKeepTwoSpacesOnlyWhenTyped) {
  EXPECT_EQ(render("{p 0 0}One.  Two. Three\nFour.\nFive\n\n"),
            (Lines{"One.  Two. Three Four. Five", ""}));
  EXPECT_EQ(render("{p 0 0}Done!  Next?   Yes:  ok  now\n\n"),
            (Lines{"Done!  Next?  Yes:  ok now", ""}));
  // A tab counts as two spaces.
  EXPECT_EQ(render("{p 0 0}x.\tNext a\tb\n\n"), (Lines{"x.  Next a b", ""}));
}

TEST(NmclParagraph, HangingIndentWrapsAndSetsContinuationFlags) {
  Harness h;
  h.feed("{phang}\n" + words("abcd", 20) + "\n\n");
  ASSERT_EQ(h.out.text.size(), 3u);
  EXPECT_EQ(h.out.text[0], "    " + words("abcd", 14));
  EXPECT_EQ(h.out.text[1], "        " + words("abcd", 6));
  EXPECT_EQ(h.out.text[2], "");
  EXPECT_FALSE(h.out.lines[0].continuation);
  EXPECT_TRUE(h.out.lines[1].continuation);
  EXPECT_FALSE(h.out.lines[2].continuation);
  // The indent is drawn in text colour whatever the current style.
  Harness r;
  r.feed("{res}{pstd}x\n\n");
  EXPECT_EQ(r.out.lines[0].style[0], kColourText);
  EXPECT_EQ(r.out.lines[0].style[4], kColourResult);
}

TEST(NmclParagraph, ParagraphArgumentsAreLimited) {
  // Subsequent indent 70 is cut to 79 - 20 = 59.
  Harness h;
  h.feed("{p 0 70}" + words("word", 20) + "\n\n");
  ASSERT_EQ(h.out.text.size(), 3u);
  EXPECT_EQ(h.out.text[0], words("word", 16));
  EXPECT_EQ(h.out.text[1], std::string(59, ' ') + words("word", 4));

  NmclStream s;
  s.feed("{p 0 0 0 30}");
  EXPECT_EQ(s.width(), 40);
  s.feed("{p_end}");
  EXPECT_EQ(s.width(), 79);
  s.feed("{p 0 4 2 30}");
  EXPECT_EQ(s.width(), 38);  // 40 less the right margin
  s.feed("{p 0 0 0 300}");
  EXPECT_EQ(s.width(), 255);
  s.feed("{p 0 0 0 41}");
  EXPECT_EQ(s.width(), 41);
  s.feed("{p_end}{pstd}");
  EXPECT_EQ(s.width(), 77);
  s.feed("{p_end}");
  EXPECT_EQ(s.mode(), NmclMode::Line);

  EXPECT_EQ(render("{p 300 0 0}\n{p 0 -1}\n{p 1 2 3 4 5}\n{bf:{p 0 0}}\n"),
            (Lines{"{p 300 0 0}", "{p 0 -1}", "{p 1 2 3 4 5}", "{p 0 0}"}));
}

TEST(NmclParagraph, WordsBuiltFromTaggedPieces) {
  Harness h;
  h.feed("{p 0 0}{bf:Note}s are {it:x}{res:y} a {bf:b}c d\n\n");
  ASSERT_EQ(h.out.text[0], "Notes are xy a bc d");
  const auto& st = h.out.lines[0].style;
  EXPECT_EQ(st[0], kColourText | kStyleBold);
  EXPECT_EQ(st[4], kColourText);
  EXPECT_EQ(st[10], kColourText | kStyleItalic);
  EXPECT_EQ(st[11], kColourResult);
}

TEST(NmclParagraph, HardSpacesAndBoundText) {
  EXPECT_EQ(render("{p 0 0}a{space 3}b c\n\n"), (Lines{"a   b c", ""}));
  // {bind} keeps "aa bb" together on the next line.
  EXPECT_EQ(render("{p 0 0}" + std::string(35, 'x') + " {bind:aa bb} cc\n\n", 40),
            (Lines{std::string(35, 'x'), "aa bb cc", ""}));
  EXPECT_EQ(render("{p 0 0}x {ralign 5:ab}|\n\n"), (Lines{"x    ab|", ""}));
  // Line-mode-only tags render their text plainly.
  EXPECT_EQ(render("{p 0 0}{center:ab} {right:c} {title:d}\n\n"), (Lines{"ab c d", ""}));
}

TEST(NmclParagraph, WordsLongerThanTheLine) {
  Harness h(40);
  h.feed("{p 0 0}ab " + std::string(90, 'x') + " cd\n\n");
  EXPECT_EQ(h.out.text, (Lines{"ab", std::string(40, 'x'), "> " + std::string(38, 'x'),
                               "> " + std::string(12, 'x') + " cd", ""}));
  // Beyond 255 characters the word goes out at once and the rest follows
  // without a separator.
  Harness k;
  k.feed("{p 0 0}ab " + std::string(300, 'x') + "\n\n");
  EXPECT_EQ(k.out.text, (Lines{"ab", std::string(79, 'x'), "> " + std::string(77, 'x'),
                               "> " + std::string(77, 'x'), "> " + std::string(67, 'x'), ""}));
}

TEST(NmclParagraph, HowParagraphsEnd) {
  // A blank line, inside one chunk or as a chunk of its own.
  EXPECT_EQ(render("{pstd}\nText\n\nLine mode\n"), (Lines{"    Text", "", "Line mode"}));
  Harness h;
  h.feed("{pstd}\n").feed("Text\n").feed("  \n").feed("after\n");
  EXPECT_EQ(h.out.text, (Lines{"    Text", "", "after"}));
  // {p_end}: no blank line and the newline after it is dropped, even when
  // it arrives in the next chunk.
  EXPECT_EQ(render("{pstd}Text{p_end}\nafter\n"), (Lines{"    Text", "after"}));
  Harness k;
  k.feed("{pstd}Text{p_end}").feed("\nafter\n");
  EXPECT_EQ(k.out.text, (Lines{"    Text", "after"}));
  // Outside a paragraph {p_end} does nothing.
  EXPECT_EQ(render("a{p_end}b\n"), (Lines{"ab"}));
  // The next paragraph tag ends the old one with a blank line.
  EXPECT_EQ(render("{pstd}one\n{pstd}two\n\n"), (Lines{"    one", "", "    two", ""}));
  // Open line-mode text is finished before the paragraph starts.
  EXPECT_EQ(render("abc{p 0 0}x\n\n"), (Lines{"abc", "x", ""}));
}

TEST(NmclParagraph, MarkersSurviveTheSwitchIntoAParagraph) {
  Harness h;
  h.feed("{marker m1}{pstd}\nText\n\n");
  ASSERT_EQ(h.out.lines.size(), 2u);
  EXPECT_EQ(h.out.lines[0].markers, std::vector<std::string>{"m1"});
}

TEST(NmclParagraph, BreakRestartsTheContinuationCount) {
  Harness h(40);
  std::string a, b;
  for (int i = 0; i < 10; ++i) a += "abcd ";
  for (int i = 0; i < 10; ++i) b += "efgh ";
  h.feed("{p 0 0}" + a + "{break}" + b + "\n\n");
  ASSERT_EQ(h.out.text, (Lines{words("abcd", 8), words("abcd", 2), words("efgh", 8),
                               words("efgh", 2), ""}));
  std::vector<bool> flags;
  for (const auto& l : h.out.lines) flags.push_back(l.continuation);
  EXPECT_EQ(flags, (std::vector<bool>{false, true, false, true, false}));
}

TEST(NmclParagraph, RulesColumnsAndDrawingInParagraphs) {
  EXPECT_EQ(render("{p 0 0}a{hline}\n\n"), (Lines{"a{hline}", ""}));
  EXPECT_EQ(render("{p 0 0}a{hline 3}b c\n\n"), (Lines{"a---b c", ""}));
  EXPECT_EQ(render("{p 0 0}ab{col 10}cd ef\n\n"), (Lines{"ab       cd ef", ""}));
  EXPECT_EQ(render("{pstd}ab{.-}\ncd\n\n"),
            (Lines{"    ab", "    " + std::string(73, '-'), "    cd", ""}));
}

TEST(NmclParagraph, LinkEntryContinuesOnTheNextParagraphLine) {
  Harness h(40);
  h.feed("{p 0 0}" + std::string(30, 'a') + " {help t:bbbbb ccccc} end\n\n");
  ASSERT_EQ(h.out.text, (Lines{std::string(30, 'a') + " bbbbb", "ccccc end", ""}));
  ASSERT_EQ(h.out.lines[0].links.size(), 1u);
  EXPECT_EQ(h.out.lines[0].links[0].start, 31);
  EXPECT_EQ(h.out.lines[0].links[0].end, 36);
  ASSERT_EQ(h.out.lines[1].links.size(), 1u);
  EXPECT_EQ(h.out.lines[1].links[0].start, 0);
  EXPECT_EQ(h.out.lines[1].links[0].end, 5);
  EXPECT_EQ(h.out.lines[1].links[0].target, "t");
  EXPECT_TRUE(h.out.lines[1].continuation);
  EXPECT_TRUE(h.out.lines[2].links.empty());
}

TEST(NmclParagraph, LinksGluedToWordsKeepTheirOwnEntries) {
  Harness h;
  h.feed("{p 0 0}see {help a:x}{help b:y}s\n\n");
  ASSERT_EQ(h.out.text[0], "see xys");
  const auto& links = h.out.lines[0].links;
  ASSERT_EQ(links.size(), 2u);
  EXPECT_EQ(links[0].start, 4);
  EXPECT_EQ(links[0].end, 5);
  EXPECT_EQ(links[0].target, "a");
  EXPECT_EQ(links[1].start, 5);
  EXPECT_EQ(links[1].end, 6);
  EXPECT_EQ(links[1].target, "b");
  EXPECT_EQ(h.out.lines[0].style[6], kColourText);
}

TEST(NmclTwoColumn, SecondColumnFlowsAndHangs) {
  Harness h;
  h.feed("{p2colset 5 20 22 2}{p2col:{opt foo}}" + words("aaaa", 15) + "{p_end}\nnext\n");
  ASSERT_EQ(h.out.text, (Lines{"    foo" + std::string(12, ' ') + words("aaaa", 11),
                               std::string(21, ' ') + words("aaaa", 4), "next"}));
  EXPECT_EQ(h.out.lines[0].style[4], kColourHilite);
  // A first column that reaches the second starts a new line.
  EXPECT_EQ(render("{p2colset 5 10 12 0}{p2col:longoptionname}desc{p_end}\n"),
            (Lines{"    longoptionname", std::string(11, ' ') + "desc"}));
  // Explicit columns, then the defaults again after {p2colreset}.
  EXPECT_EQ(render("{p2col 3 8 8 0:ab}cd{p_end}\n{p2colreset}{p2col:x}y{p_end}\n"),
            (Lines{"  ab   cd", "x" + std::string(29, ' ') + "y"}));
}

TEST(NmclTwoColumn, OptionTables) {
  Harness h;
  h.feed("{synoptset 20 tabbed}{synopthdr}\n{synoptline}\n{syntab:Model}\n"
         "{synopt:{opt nocons:tant}}suppress constant{p_end}\n");
  ASSERT_EQ(h.out.text.size(), 4u);
  EXPECT_EQ(h.out.text[0], "    options" + std::string(15, ' ') + "description");
  EXPECT_EQ(h.out.text[1], "    " + std::string(20, '-') + "  " + std::string(51, '-'));
  EXPECT_EQ(h.out.text[2], "    Model");
  EXPECT_EQ(h.out.lines[2].style[4], kColourText | kStyleUnderline);
  EXPECT_EQ(h.out.text[3], "      noconstant" + std::string(10, ' ') + "suppress constant");

  EXPECT_EQ(render("{synoptset}{synopt:a}b{p_end}\n{synoptset 10 notes}{synopt:a}b{p_end}\n"),
            (Lines{"    a" + std::string(21, ' ') + "b", "        a" + std::string(9, ' ') + "b"}));
  EXPECT_EQ(render("{synoptset 250}{synoptset 5 wide}\n"),
            (Lines{"{synoptset 250}{synoptset 5 wide}"}));
  EXPECT_EQ(render("{p2colset 5 20 22 2}{p2line}\n{p2linedent}\n"),
            (Lines{"    " + std::string(13, '-') + "  " + std::string(58, '-'),
                   "      " + std::string(11, '-') + "  " + std::string(58, '-')}));
}

TEST(NmclSyntax, OptionMarkup) {
  Harness h;
  h.feed("{opt level(#)}|{opt nocons:tant}|{opt name()}|{opt ab:rest(x)}\n");
  ASSERT_EQ(h.out.text[0], "level(#)|noconstant|name()|abrest(x)");
  const auto& st = h.out.lines[0].style;
  EXPECT_EQ(st[0], kColourHilite);
  EXPECT_EQ(st[5], kColourHilite);
  EXPECT_EQ(st[6], kColourText | kStyleItalic);
  EXPECT_EQ(st[7], kColourHilite);
  EXPECT_EQ(st[9], kColourHilite);   // n of nocons
  EXPECT_EQ(st[15], kColourText);    // t of tant
  EXPECT_EQ(st[25], kColourHilite);  // ) of name()
  EXPECT_EQ(st[27], kColourHilite);  // a of ab
  EXPECT_EQ(st[29], kColourText);    // r of rest
  EXPECT_EQ(st[33], kColourHilite);  // (
  EXPECT_EQ(st[34], kColourText | kStyleItalic);

  Harness t;
  t.s.set_title_style(true);
  t.feed("{cmdab:reg:ress}\n");
  EXPECT_EQ(t.out.lines[0].style[0], kColourHilite | kStyleUnderline);
  EXPECT_EQ(t.out.lines[0].style[3], kColourHilite);

  Harness o;
  o.feed("{opth vce(vcetype)}\n");
  ASSERT_EQ(o.out.text[0], "vce(vcetype)");
  ASSERT_EQ(o.out.lines[0].links.size(), 1u);
  EXPECT_EQ(o.out.lines[0].links[0].start, 4);
  EXPECT_EQ(o.out.lines[0].links[0].end, 11);
  EXPECT_EQ(o.out.lines[0].links[0].target, "vcetype");
  EXPECT_EQ(o.out.lines[0].style[4], kColourLink | kStyleItalic);
}

TEST(NmclSyntax, ManualReferencesAndSyntaxElements) {
  Harness h;
  h.feed("{manhelp regress R}\n{manhelpi regress R:reg}\n{depvar} {depvars} {var:1}\n"
         "{ifin} {weight} {dtype}\n{cmdab:reg:ress}\n");
  ASSERT_EQ(h.out.text, (Lines{"[R] regress", "[R] reg", "depvar depvarlist varname1",
                               "[if] [in] [weight] [type]", "regress"}));
  const auto& m = h.out.lines[0];
  ASSERT_EQ(m.links.size(), 1u);
  EXPECT_EQ(m.links[0].end, 11);
  EXPECT_EQ(m.links[0].target, "regress");
  EXPECT_EQ(m.style[0], kColourLink | kStyleBold);
  const auto& mi = h.out.lines[1];
  EXPECT_EQ(mi.style[2], kColourLink | kStyleBold);
  EXPECT_EQ(mi.style[3], kColourLink);
  EXPECT_EQ(mi.style[4], kColourLink | kStyleItalic);
  const auto& v = h.out.lines[2];
  ASSERT_EQ(v.links.size(), 3u);
  EXPECT_EQ(v.links[1].target, "depvarlist");
  EXPECT_EQ(v.links[2].target, "varname");
  EXPECT_EQ(v.style[0], kColourLink | kStyleItalic);
  const auto& f = h.out.lines[3];
  ASSERT_EQ(f.links.size(), 4u);
  EXPECT_EQ(f.links[0].start, 1);
  EXPECT_EQ(f.links[0].end, 3);
  EXPECT_EQ(f.links[3].target, "datatypes");
  EXPECT_EQ(f.style[0], kColourText);
  EXPECT_EQ(h.out.lines[4].style[2], kColourHilite);
  EXPECT_EQ(h.out.lines[4].style[3], kColourText);
}

TEST(NmclSyntax, DialogTabHeadings) {
  EXPECT_EQ(render("{dlgtab:Model}\n{dlgtab 4 2:Main}\n"),
            (Lines{"-- Model " + std::string(70, '-'), "    -- Main " + std::string(65, '-')}));
}

}  // namespace
}  // namespace nuvra::output
