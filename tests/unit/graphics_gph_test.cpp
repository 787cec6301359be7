// Saved graph files: what is written reads back to the same graph and the
// same PostScript; every truncation, every changed byte, trailing bytes,
// other versions and counts larger than the file are refused.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "data/missing.h"
#include "graphics/drawing.h"
#include "graphics/gph_file.h"
#include "graphics/ps_device.h"

namespace nuvra::graphics {
namespace {

const std::uint8_t* bytes(const std::string& s) { return reinterpret_cast<const std::uint8_t*>(s.data()); }

SavedGraph sample_graph() {
  SavedGraph g;
  g.name = "g_1";
  g.command = "graph twoway scatter y x, title(\"caf\xe9\")";
  g.drawing.width = 5500;
  g.drawing.height = 4000;
  g.drawing.background = Rgb{250, 240, 230};
  Canvas c(&g.drawing);
  c.begin();
  c.set_line(Rgb{255, 0, 0}, 2.5f);
  c.set_fill(Rgb{0, 0, 255});
  c.line(-100, 200, 300, 400);
  c.polygon({{0, 0}, {100, 0}, {50, 80}}, true);
  for (int m = 0; m < kMarkerCount; ++m) c.marker(static_cast<Marker>(m), 500, 600, 30, m % 2 == 1);
  c.text(1000, 2000, "caf\xe9 (a\\b)", 120, kAlignCentre, 90);
  c.text(1000, 2100, "", 100, kAlignRight);
  c.pie(3000, 2000, 500, 12.5f, 97.25f, true);
  c.end();
  g.has_serset = true;
  g.serset.nobs = 3;
  SersetVar x;
  x.name = "x";
  x.format = "%9.0g";
  x.num = {0.1, -2.5e300, data::missing_value(3)};  // exact bits, and .c
  SersetVar s;
  s.name = "label";
  s.format = "%-9s";
  s.is_string = true;
  s.str = {"", "a b", std::string(244, 'z')};
  g.serset.vars = {x, s};
  g.facts.texts = {{"title", "caf\xe9"}, {"xaxis.scale", ""}};
  g.facts.numbers = {{"legend.shown", 1}, {"plotregion.plots", -0.5}};
  g.facts.lists = {{"legend.keys", {"y", "", "z z"}}, {"plotregion.kinds", {}}};
  return g;
}

std::string postscript(const Recording& r) {
  PsPage page;
  std::string out;
  render_postscript(r, page, &out);
  return out;
}

// A file around `payload` with the header made to match it.
std::string wrap(const std::string& payload, int version = 2) {
  std::string f = "*! nuvra graph file " + std::to_string(version) + "\n";
  std::uint64_t n = payload.size();
  for (int i = 0; i < 8; ++i) f.push_back(static_cast<char>(n >> (8 * i)));
  std::uint32_t crc = static_cast<std::uint32_t>(crc32(0L, bytes(payload), static_cast<uInt>(payload.size())));
  for (int i = 0; i < 4; ++i) f.push_back(static_cast<char>(crc >> (8 * i)));
  return f + payload;
}

void put32(std::string* s, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) s->push_back(static_cast<char>(v >> (8 * i)));
}
void put64(std::string* s, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) s->push_back(static_cast<char>(v >> (8 * i)));
}

// The payload up to the serset flag: name "g", no command, 100 x 100,
// white.
std::string payload_head() {
  std::string p;
  put32(&p, 1);
  p += "g";
  put32(&p, 0);
  put32(&p, 100);
  put32(&p, 100);
  p += "\xff\xff\xff";
  return p;
}

GphFault read(const std::string& file, SavedGraph* g = nullptr) {
  SavedGraph scratch;
  std::string why;
  return read_gph(bytes(file), file.size(), g ? g : &scratch, &why);
}

TEST(GphFile, WritesTheDocumentedHeaderAndReadsBackTheSameGraph) {
  SavedGraph g = sample_graph();
  std::string file = write_gph(g);
  const std::string magic = "*! nuvra graph file 2\n";
  ASSERT_GT(file.size(), magic.size() + 12);
  EXPECT_EQ(file.substr(0, magic.size()), magic);
  std::uint64_t length = 0;
  for (int i = 0; i < 8; ++i) length |= std::uint64_t(std::uint8_t(file[magic.size() + i])) << (8 * i);
  EXPECT_EQ(length, file.size() - magic.size() - 12);
  // The payload opens with the name as a length and its bytes.
  EXPECT_EQ(file.substr(magic.size() + 12, 7), std::string("\x03\x00\x00\x00g_1", 7));

  SavedGraph h;
  ASSERT_EQ(read(file, &h), GphFault::kNone);
  EXPECT_EQ(h.name, g.name);
  EXPECT_EQ(h.command, g.command);
  EXPECT_EQ(h.drawing.width, 5500);
  EXPECT_EQ(h.drawing.height, 4000);
  EXPECT_EQ(h.drawing.background, (Rgb{250, 240, 230}));
  ASSERT_EQ(h.drawing.size(), g.drawing.size());
  for (std::size_t i = 0; i < g.drawing.size(); ++i) {
    EXPECT_EQ(h.drawing.code(i), g.drawing.code(i));
    EXPECT_EQ(std::memcmp(&h.drawing.operands(i).angle, &g.drawing.operands(i).angle, sizeof(float)), 0);
  }
  ASSERT_TRUE(h.has_serset);
  ASSERT_EQ(h.serset.nobs, 3);
  ASSERT_EQ(h.serset.vars.size(), 2u);
  EXPECT_EQ(h.serset.vars[0].name, "x");
  EXPECT_EQ(h.serset.vars[0].format, "%9.0g");
  EXPECT_FALSE(h.serset.vars[0].is_string);
  EXPECT_EQ(h.serset.vars[0].num[0], 0.1);
  EXPECT_EQ(h.serset.vars[0].num[1], -2.5e300);
  EXPECT_EQ(data::missing_code(h.serset.vars[0].num[2]), 3);
  EXPECT_TRUE(h.serset.vars[1].is_string);
  EXPECT_EQ(h.serset.vars[1].str, g.serset.vars[1].str);
  EXPECT_EQ(h.facts, g.facts);
  // The drawing replays to the very same PostScript, and writes the very
  // same file again.
  EXPECT_EQ(postscript(h.drawing), postscript(g.drawing));
  EXPECT_EQ(write_gph(h), file);
}

TEST(GphFile, AGraphWithoutASersetRoundTrips) {
  SavedGraph g = sample_graph();
  g.has_serset = false;
  SavedGraph h;
  ASSERT_EQ(read(write_gph(g), &h), GphFault::kNone);
  EXPECT_FALSE(h.has_serset);
  EXPECT_EQ(postscript(h.drawing), postscript(g.drawing));
}

TEST(GphFile, EveryTruncationAndEveryChangedByteIsRefused) {
  std::string file = write_gph(sample_graph());
  for (std::size_t n = 0; n < file.size(); ++n) {
    GphFault f = read(file.substr(0, n));
    ASSERT_TRUE(f == GphFault::kTruncated || f == GphFault::kNotGraph) << "truncated to " << n;
  }
  for (std::size_t i = 0; i < file.size(); ++i) {
    std::string bad = file;
    bad[i] = static_cast<char>(bad[i] ^ 0x20);
    ASSERT_NE(read(bad), GphFault::kNone) << "byte " << i << " changed";
  }
  EXPECT_EQ(read(file + "x"), GphFault::kCorrupt);
}

TEST(GphFile, VersionsAndForeignFiles) {
  SavedGraph plain = sample_graph();
  plain.facts = GraphFacts();
  std::string payload = write_gph(plain).substr(22 + 12);
  EXPECT_EQ(read(wrap(payload, 2)), GphFault::kNone);
  EXPECT_EQ(read(wrap(payload, 3)), GphFault::kNewer);
  EXPECT_EQ(read(wrap(payload, 0)), GphFault::kNotGraph);
  // The first version ends with the drawing: its files read without
  // facts, and a count of facts after the drawing is a byte too many.
  ASSERT_EQ(payload.substr(payload.size() - 4), std::string(4, '\0'));
  std::string first = payload.substr(0, payload.size() - 4);
  SavedGraph h;
  EXPECT_EQ(read(wrap(first, 1), &h), GphFault::kNone);
  EXPECT_TRUE(h.facts.texts.empty() && h.facts.numbers.empty() && h.facts.lists.empty());
  EXPECT_EQ(read(wrap(payload, 1)), GphFault::kCorrupt);
  EXPECT_EQ(read(wrap(first, 2)), GphFault::kCorrupt);
  EXPECT_EQ(read("*! nuvra graph file x\n"), GphFault::kNotGraph);
  EXPECT_EQ(read(std::string("\x72\x02\x01\x00", 4)), GphFault::kNotGraph);  // a dataset's first bytes
  EXPECT_EQ(read(""), GphFault::kNotGraph);
}

TEST(GphFile, CountsBeyondTheFileAreRefusedBeforeAnythingIsAllocated) {
  // Under the address sanitizer an attempt to allocate for any of these
  // counts aborts the test.
  // A serset of 2^40 observations of one variable, numeric and string,
  // whose values the file does not hold.
  for (char type : {'\0', '\1'}) {
    std::string p = payload_head() + "\x01";
    put64(&p, std::uint64_t{1} << 40);  // observations
    put32(&p, 1);
    put32(&p, 1);
    p += "x";
    put32(&p, 5);
    p += "%9.0g";
    p.push_back(type);
    p += std::string(64, '\0');
    EXPECT_EQ(read(wrap(p)), GphFault::kCorrupt);
  }

  std::string p = payload_head() + "\x01";
  put64(&p, 1);
  put32(&p, 101);  // variables
  EXPECT_EQ(read(wrap(p)), GphFault::kCorrupt);

  p = payload_head() + std::string(1, '\0');
  put32(&p, 0xFFFFFFFFu);  // texts
  EXPECT_EQ(read(wrap(p)), GphFault::kCorrupt);

  p = payload_head() + std::string(1, '\0');
  put32(&p, 1);
  put32(&p, 0xFFFFFFF0u);  // one text of 4 GB
  EXPECT_EQ(read(wrap(p)), GphFault::kCorrupt);

  p = payload_head() + std::string(1, '\0');
  put32(&p, 0);
  put32(&p, 0x7FFFFFFFu);  // operations
  EXPECT_EQ(read(wrap(p)), GphFault::kCorrupt);

  p = payload_head() + std::string(1, '\0');
  put32(&p, 0);
  put32(&p, 0);
  EXPECT_EQ(read(wrap(p)), GphFault::kCorrupt);  // an empty drawing is no page
}

TEST(GphFile, FactsBeyondTheFileOrOfAnUnknownKindAreRefused) {
  SavedGraph plain = sample_graph();
  plain.facts = GraphFacts();
  std::string payload = write_gph(plain).substr(22 + 12);
  const std::string drawing = payload.substr(0, payload.size() - 4);
  auto fact = [](char kind, const std::string& path) {
    std::string t;
    put32(&t, 1);
    t.push_back(kind);
    put32(&t, static_cast<std::uint32_t>(path.size()));
    return t + path;
  };
  SavedGraph h;
  std::string good = fact('\0', "k");
  put32(&good, 1);
  good += "v";
  ASSERT_EQ(read(wrap(drawing + good), &h), GphFault::kNone);
  EXPECT_EQ(h.facts.texts, (std::vector<std::pair<std::string, std::string>>{{"k", "v"}}));

  std::string t;
  put32(&t, 0xFFFFFFFFu);  // facts
  EXPECT_EQ(read(wrap(drawing + t)), GphFault::kCorrupt);
  t = fact('\2', "k");
  put32(&t, 0x7FFFFFFFu);  // items of a list
  EXPECT_EQ(read(wrap(drawing + t)), GphFault::kCorrupt);
  t = fact('\3', "k");  // no such kind
  put32(&t, 0);
  EXPECT_EQ(read(wrap(drawing + t)), GphFault::kCorrupt);
  t = fact('\1', "k");
  put64(&t, 0x7FF8000000000000u);  // a number that is NaN
  EXPECT_EQ(read(wrap(drawing + t)), GphFault::kCorrupt);
  t = fact('\0', "");  // no path
  put32(&t, 0);
  EXPECT_EQ(read(wrap(drawing + t)), GphFault::kCorrupt);
}

TEST(GphFile, ADrawingMustBeginAndEndThePageOnce) {
  auto file_of = [](const std::vector<int>& codes) {
    SavedGraph g = sample_graph();
    g.drawing.clear();
    DrawState s;
    for (int c : codes) g.drawing.issue(c, s);
    return write_gph(g);
  };
  EXPECT_EQ(read(file_of({kOpBeginFile, kOpLine, kOpEndOnce})), GphFault::kNone);
  EXPECT_EQ(read(file_of({kOpBeginFile, kOpEndPage})), GphFault::kNone);
  EXPECT_EQ(read(file_of({kOpLine, kOpEndOnce})), GphFault::kCorrupt);
  EXPECT_EQ(read(file_of({kOpBeginFile, kOpLine})), GphFault::kCorrupt);
  EXPECT_EQ(read(file_of({kOpBeginFile, kOpBeginFile, kOpEndOnce})), GphFault::kCorrupt);
  EXPECT_EQ(read(file_of({kOpBeginFile, kOpEndOnce, kOpLine, kOpEndOnce})), GphFault::kCorrupt);
  EXPECT_EQ(read(file_of({kOpBeginFile, kOpRearm, kOpEndOnce})), GphFault::kCorrupt);
}

TEST(GphFile, OperationsOutsideTheirRangesAreRefused) {
  // One text operation, then the field at `offset` within its record
  // overwritten by `value`.
  auto with = [](std::size_t offset, std::uint32_t value) {
    std::string p = payload_head() + std::string(1, '\0');
    put32(&p, 1);
    put32(&p, 2);
    p += "ab";
    put32(&p, 3);
    std::string op;
    put32(&op, kOpText);
    for (int i = 0; i < 7; ++i) put32(&op, 10);
    for (int i = 0; i < 3; ++i) put32(&op, 0);  // angles 0.0f
    op += std::string("\x00\x01\x00\x05", 4);
    op += std::string(9, '\x00');
    float w = 1;
    std::uint32_t wb;
    std::memcpy(&wb, &w, 4);
    put32(&op, wb);
    put32(&op, 0);  // text 0
    EXPECT_EQ(op.size(), kGphOpBytes);
    std::string begin = op, end = op;
    for (int i = 0; i < 4; ++i) begin[i] = static_cast<char>(i == 0 ? kOpBeginFile : 0);
    for (int i = 0; i < 4; ++i) end[i] = static_cast<char>(kOpEndOnce >> (8 * i));
    for (int i = 0; i < 4; ++i) op[offset + i] = static_cast<char>(value >> (8 * i));
    return wrap(p + begin + op + end, 1);
  };
  EXPECT_EQ(read(with(0, kOpText)), GphFault::kNone);
  EXPECT_EQ(read(with(0, 12345)), GphFault::kCorrupt);           // no such operation
  EXPECT_EQ(read(with(61, 1)), GphFault::kCorrupt);              // text index past the texts
  EXPECT_EQ(read(with(32, 0x7FC00000u)), GphFault::kCorrupt);    // angle NaN
  EXPECT_EQ(read(with(4, 0x7FFFFFFFu)), GphFault::kCorrupt);     // x beyond any page
  EXPECT_EQ(read(with(20, 0xFFFFFFFFu)), GphFault::kCorrupt);    // negative radius
  EXPECT_EQ(read(with(44, 0x000000C8u)), GphFault::kCorrupt);    // fill byte 200
  EXPECT_EQ(read(with(44, 0x00C80000u)), GphFault::kCorrupt);    // alignment 200
}

}  // namespace
}  // namespace nuvra::graphics
