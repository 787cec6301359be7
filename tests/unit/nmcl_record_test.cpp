// LineRecord byte layout, sink kinds, flush/detach and the more prompt.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "output/nmcl_stream.h"

namespace nuvra::output {
namespace {

struct Capture {
  struct Event {
    int kind;
    std::vector<uint8_t> rec;
  };
  std::vector<Event> events;
  std::vector<int> keys;  // answers to the more prompt, in order
  size_t next_key = 0;
  int breaks = 0;

  static int sink(void* arg, const uint8_t* rec, int kind) {
    auto* c = static_cast<Capture*>(arg);
    Event e{kind, {}};
    if (rec) e.rec.assign(rec, rec + (rec[0] | (rec[1] << 8)));
    c->events.push_back(std::move(e));
    if (kind == kSinkMore && c->next_key < c->keys.size()) return c->keys[c->next_key++];
    return ' ';
  }
  static void on_break(void* arg) { ++static_cast<Capture*>(arg)->breaks; }

  std::vector<int> kinds() const {
    std::vector<int> k;
    for (const auto& e : events) k.push_back(e.kind);
    return k;
  }
  std::vector<std::vector<uint8_t>> records(int kind = kSinkLine) const {
    std::vector<std::vector<uint8_t>> r;
    for (const auto& e : events)
      if (e.kind == kind) r.push_back(e.rec);
    return r;
  }
  std::vector<std::string> lines() const {
    std::vector<std::string> out;
    for (const auto& r : records()) out.push_back(plain_text(r.data()));
    return out;
  }
};

using Bytes = std::vector<uint8_t>;

TEST(NmclRecord, TwoStyleRunsLaidOutByteForByte) {
  Capture cap;
  NmclStream s;
  s.set_sink(Capture::sink, &cap);
  s.feed("{res}ab{txt}c\n");
  auto recs = cap.records();
  ASSERT_EQ(recs.size(), 1u);
  // header | links: count, two zeros | markers: final NUL | runs | text
  Bytes want = {24, 0, 13, 0, 14, 0, 20, 0, 0, 4,
                0,  0, 0,
                0,
                1,  0, 1, 2, 2, 3,
                'a', 'b', 'c', 0};
  EXPECT_EQ(recs[0], want);
}

TEST(NmclRecord, EmptyLineHasOneRunInTheCurrentStyle) {
  Capture cap;
  NmclStream s;
  s.set_sink(Capture::sink, &cap);
  s.feed("\n");
  auto recs = cap.records();
  ASSERT_EQ(recs.size(), 1u);
  Bytes want = {19, 0, 13, 0, 14, 0, 18, 0, 0, 1, 0, 0, 0, 0, 0, 0, 2, 0, 0};
  EXPECT_EQ(recs[0], want);
}

TEST(NmclRecord, LinkEntryAndMarkerSections) {
  Capture cap;
  NmclStream s;
  s.set_sink(Capture::sink, &cap);
  s.feed("{marker top}{help regress:reg}x\n");
  auto recs = cap.records();
  ASSERT_EQ(recs.size(), 1u);
  Bytes want = {41, 0, 25, 0, 30, 0, 36, 0, 0, 5,
                // one entry: columns 0..3, kind 12, target "regress" + NUL
                1, 0, 3, 12, 8, 'r', 'e', 'g', 'r', 'e', 's', 's', 0, 0, 0,
                't', 'o', 'p', 0, 0,
                1, 0, kColourLink, 3, kColourText, 4,
                'r', 'e', 'g', 'x', 0};
  EXPECT_EQ(recs[0], want);
}

TEST(NmclRecord, MarkerNameEndsAtAnEmbeddedNul) {
  // Marker names are stored NUL-terminated one after another, ended by one
  // more NUL: a NUL inside a name must end the name, not leave the rest as
  // a second name after an empty one.
  Capture cap;
  NmclStream s;
  s.set_sink(Capture::sink, &cap);
  s.feed(std::string("{marker ab\0cd}{marker e}x\n", 26));
  auto recs = cap.records();
  ASSERT_EQ(recs.size(), 1u);
  const Bytes& r = recs[0];
  unsigned marker_off = r[2] | (r[3] << 8), style_off = r[4] | (r[5] << 8);
  Bytes markers(r.begin() + marker_off, r.begin() + style_off);
  Bytes want = {'a', 'b', 0, 'e', 0, 0};
  EXPECT_EQ(markers, want);
}

TEST(NmclRecord, MorePromptIsPreRenderedAsAClearmoreLink) {
  NmclStream s;  // at least one stream exists, so the prompt does too
  const uint8_t* rec = NmclStream::more_prompt_record();
  ASSERT_NE(rec, nullptr);
  const uint8_t dash = kColourLink | kStyleDrawing;
  Bytes want = {36, 0, 18, 0, 19, 0, 27, 0, 0, 9,
                1, 0, 8, kLinkClearMore, 1, 0, 0, 0,
                0,
                2, 0, dash, 2, kColourLink, 6, dash, 8,
                45, 45, 'm', 'o', 'r', 'e', 45, 45, 0};
  EXPECT_EQ(Bytes(rec, rec + 36), want);
  EXPECT_EQ(plain_text(rec), "--more--");
}

TEST(NmclRecord, FullWidthLineDecodesDespiteTheByteLength) {
  Capture cap;
  NmclStream s;
  s.set_sink(Capture::sink, &cap);
  s.set_width(255);
  s.feed(std::string(255, 'x') + "\n");
  auto recs = cap.records();
  ASSERT_EQ(recs.size(), 1u);
  EXPECT_EQ(recs[0][9], 0);  // 256 does not fit the byte
  EXPECT_EQ(decode_line_record(recs[0].data()).text, std::string(255, 'x'));
}

TEST(NmclRecord, PlainTextReducesDrawingCodes) {
  Capture cap;
  NmclStream s;
  s.set_sink(Capture::sink, &cap);
  s.feed("{c TT}{c BT}{c LT}{c RT}{c BRC}{c BLC}{c TRC}{c TLC}{c -}{c |}{c +}"
         "{c 0x01}\n");
  auto recs = cap.records();
  ASSERT_EQ(recs.size(), 1u);
  // The last byte is a letter code 1, not a drawing code, and stays.
  EXPECT_EQ(plain_text(recs[0].data()), std::string("--||++++-|+\x01"));
  DecodedLine d = decode_line_record(recs[0].data());
  EXPECT_EQ(static_cast<uint8_t>(d.text[0]), kDrawTopTee);
  EXPECT_EQ(d.style[0], kColourText | kStyleDrawing);
  EXPECT_EQ(d.style[11], kColourText);
}

TEST(NmclSink, FlushSendsTheOpenLineAndKeepsIt) {
  Capture cap;
  {
    NmclStream s;
    s.set_sink(Capture::sink, &cap);
    s.feed("abc");
    s.flush();
    s.feed("def\n");
    s.flush();  // nothing open now: only the burst end
  }
  EXPECT_EQ(cap.kinds(), (std::vector<int>{kSinkPartial, kSinkFlush, kSinkLine, kSinkFlush,
                                           kSinkFlush, kSinkDestroy}));
  EXPECT_EQ(plain_text(cap.events[0].rec.data()), "abc");
  EXPECT_EQ(plain_text(cap.events[2].rec.data()), "abcdef");
}

TEST(NmclSink, DetachSilencesAndReattachRestores) {
  Capture cap;
  NmclStream s;
  s.set_sink(Capture::sink, &cap);
  s.feed("one\n");
  s.detach();
  s.feed("two\n");
  s.reattach();
  s.feed("three\n");
  EXPECT_EQ(cap.lines(), (std::vector<std::string>{"one", "three"}));
  // detach flushed (kind 3); reattach flushed while detached, so nothing.
  EXPECT_EQ(cap.kinds(), (std::vector<int>{kSinkLine, kSinkFlush, kSinkLine}));
}

TEST(NmclSink, WidthRequestsAreClamped) {
  NmclStream s;
  EXPECT_EQ(s.width(), 79);
  s.set_width(10);
  EXPECT_EQ(s.width(), 40);
  s.set_width(1000);
  EXPECT_EQ(s.width(), 255);
  s.set_width(100);
  EXPECT_EQ(s.width(), 100);
}

TEST(NmclSink, HasPendingCoversHeldTagsAndWords) {
  NmclStream s;
  EXPECT_FALSE(s.has_pending());
  s.feed("abc{hli");
  EXPECT_TRUE(s.has_pending());
  s.feed("ne 2}\n");
  EXPECT_FALSE(s.has_pending());
  s.feed("{p 0 0}word");
  EXPECT_TRUE(s.has_pending());
  s.feed(" ");
  EXPECT_FALSE(s.has_pending());
}

std::string lines_of(int n) {
  std::string text;
  for (int i = 0; i < n; ++i) text += "line\n";
  return text;
}

// Positions (counted in lines sent so far) at which the prompt appeared.
std::vector<int> prompt_positions(const Capture& cap) {
  std::vector<int> at;
  int lines = 0;
  for (const auto& e : cap.events) {
    if (e.kind == kSinkLine) ++lines;
    if (e.kind == kSinkMore) at.push_back(lines);
  }
  return at;
}

TEST(NmclMore, SpaceGivesAnotherPageEnterOneMoreLine) {
  Capture cap;
  cap.keys = {' ', '\n', ' '};
  NmclStream s;
  s.set_sink(Capture::sink, &cap);
  s.set_page_length(23);
  s.feed(lines_of(70));
  EXPECT_EQ(prompt_positions(cap), (std::vector<int>{23, 46, 47, 70}));
  // The prompt is handed the pre-rendered record.
  for (const auto& e : cap.events) {
    if (e.kind == kSinkMore) {
      EXPECT_EQ(plain_text(e.rec.data()), "--more--");
    }
  }
  EXPECT_FALSE(s.take_more_break());
}

TEST(NmclMore, QuitRaisesTheBreakAndPageLengthZeroNeverPauses) {
  Capture cap;
  cap.keys = {'q'};
  NmclStream s;
  s.set_sink(Capture::sink, &cap);
  s.set_break_hook(Capture::on_break, &cap);
  s.set_page_length(5);
  s.feed(lines_of(6));
  EXPECT_EQ(prompt_positions(cap), (std::vector<int>{5}));
  EXPECT_EQ(cap.breaks, 1);
  EXPECT_TRUE(s.take_more_break());
  EXPECT_FALSE(s.take_more_break());

  Capture quiet;
  NmclStream t;
  t.set_sink(Capture::sink, &quiet);
  t.feed(lines_of(100));
  t.set_page_length(3);
  t.set_more_enabled(false);
  t.feed(lines_of(10));
  EXPECT_TRUE(prompt_positions(quiet).empty());
}

TEST(NmclMore, InterruptKeyResetsTheCounter) {
  Capture cap;
  cap.keys = {3, ' '};
  NmclStream s;
  s.set_sink(Capture::sink, &cap);
  s.set_page_length(4);
  s.feed(lines_of(8));
  EXPECT_EQ(prompt_positions(cap), (std::vector<int>{4, 8}));
  EXPECT_TRUE(s.take_more_break());
}

}  // namespace
}  // namespace nuvra::output
