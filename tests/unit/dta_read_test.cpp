// The dataset file reader on files of every accepted format, in both byte
// orders, put together here from the layout table of each format (name,
// format and label widths, header shapes, expansion record heads, the three
// value-label forms, letter or numeric type codes), independently of the
// writer. Also the refusals, and what a failed load leaves in memory.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "data/dataset.h"
#include "data/dta/dta_read.h"
#include "dta_bytes.h"
#include "interp/interp.h"
#include "test_side.h"

namespace nuvra {
namespace {

using data::Dataset;
using testing::Bytes;

// The widths each format uses, from the table of older formats.
struct Shape {
  std::size_t name, fmt, varlab, datalab;
  bool letters, legacy, stamp, expansion, len4;
  int labels;  // 0 oldest form, 1 with a 9-byte name, 2 with a 33-byte name
};

Shape shape_of(int f) {
  Shape s{};
  s.name = f >= 110 ? 33 : 9;
  s.fmt = f <= 104 ? 7 : f == 114 ? 49 : 12;
  s.varlab = f <= 106 ? 32 : 81;
  s.datalab = f <= 106 ? 32 : 81;
  s.letters = !(f == 111 || f == 113 || f == 114);
  s.legacy = f <= 111;
  s.stamp = f >= 105;
  s.expansion = f >= 105;
  s.len4 = f >= 110;
  s.labels = f <= 105 ? 0 : f <= 108 ? 1 : 2;
  return s;
}

struct Var {
  std::string name;
  char letter;   // b i l f d, or 's' for a string of width `width`
  int width;
  std::string fmt;
  std::string lab;    // value-label name
  std::string label;  // variable label
};

struct Table {
  std::string name;
  std::vector<std::pair<int, std::string>> entries;  // in value order
};

struct Spec {
  int format = 114;
  bool hilo = false;
  std::string label = "old data";
  std::vector<Var> vars;
  std::vector<int> sort;
  std::vector<std::string> records;  // each already in the file's byte order
  std::vector<Table> tables;
  std::vector<std::pair<std::string, std::string>> dta_chars;  // _dta[name] = text
  int filetype = 1;
  std::uint8_t stamp_last = 0;
};

int code_of(const Var& v) {
  switch (v.letter) {
    case 'b': return 251;
    case 'i': return 252;
    case 'l': return 253;
    case 'f': return 254;
    case 'd': return 255;
    default: return v.width;
  }
}

std::vector<std::uint8_t> build(const Spec& sp) {
  Shape s = shape_of(sp.format);
  Bytes f;
  f.hilo = sp.hilo;
  int nv = static_cast<int>(sp.vars.size());
  if (sp.format == 102) {
    f.u8(102).u8(0).u16(sp.filetype).u16(nv).u16(static_cast<unsigned>(sp.records.size())).field(sp.label, 32);
  } else {
    f.u8(sp.format).u8(sp.hilo ? 1 : 2).u8(sp.filetype).u8(0).u16(nv).u32(static_cast<std::uint32_t>(sp.records.size()));
    f.field(sp.label, s.datalab);
    if (s.stamp) f.raw(" 3 Mar 1999 10:20").u8(sp.stamp_last);
  }
  for (const Var& v : sp.vars) f.u8(s.letters ? (v.letter == 's' ? 127 + v.width : v.letter) : code_of(v));
  for (const Var& v : sp.vars) f.field(v.name, s.name);
  for (int j : sp.sort) f.u16(j);
  for (std::size_t k = sp.sort.size(); k <= sp.vars.size(); ++k) f.u16(0);
  for (const Var& v : sp.vars) f.field(v.fmt, s.fmt);
  for (const Var& v : sp.vars) f.field(v.lab, s.name);
  for (const Var& v : sp.vars) f.field(v.label, s.varlab);
  if (s.expansion) {
    for (const auto& [name, text] : sp.dta_chars) {
      f.u8(1);
      f.uint(2 * s.name + text.size() + 1, s.len4 ? 4 : 2);
      f.field("_dta", s.name).field(name, s.name).field(text, text.size() + 1);
    }
    f.u8(0).uint(0, s.len4 ? 4 : 2);
  }
  for (const std::string& r : sp.records) f.raw(r);
  for (const Table& t : sp.tables) {
    if (s.labels == 0) {
      f.u16(static_cast<unsigned>(t.entries.size())).field(t.name, 10);
      for (const auto& e : t.entries) f.u16(static_cast<std::uint16_t>(e.first));
      for (const auto& e : t.entries) f.field(e.second, 8);
      continue;
    }
    std::uint32_t txtlen = 0;
    for (const auto& e : t.entries) txtlen += static_cast<std::uint32_t>(e.second.size() + 1);
    auto n = static_cast<std::uint32_t>(t.entries.size());
    f.u32(8 + 8 * n + txtlen).field(t.name, s.labels == 1 ? 9 : 33).zeros(3);
    f.u32(n).u32(txtlen);
    std::uint32_t off = 0;
    for (const auto& e : t.entries) {
      f.u32(off);
      off += static_cast<std::uint32_t>(e.second.size() + 1);
    }
    for (const auto& e : t.entries) f.u32(static_cast<std::uint32_t>(e.first));
    for (const auto& e : t.entries) f.field(e.second, e.second.size() + 1);
  }
  return f.b;
}

// One record's numbers in a byte order.
struct Rec {
  Bytes b;
  explicit Rec(bool hilo) { b.hilo = hilo; }
  Rec& i16(int v) {
    b.u16(static_cast<std::uint16_t>(v));
    return *this;
  }
  Rec& u8(int v) {
    b.u8(static_cast<unsigned>(v));
    return *this;
  }
  Rec& f64(std::uint64_t bits) {
    b.u64(bits);
    return *this;
  }
  Rec& str(std::string_view s, std::size_t w) {
    b.field(s, w);
    return *this;
  }
  std::string done() const { return std::string(b.b.begin(), b.b.end()); }
};

// x int, y double, s str5; x sorted and labelled.
Spec standard(int format, bool hilo) {
  Spec sp;
  sp.format = format;
  sp.hilo = hilo;
  sp.vars = {{"x", 'i', 2, "%8.0g", "lab", "the x"}, {"y", 'd', 8, "%10.0g", "", ""}, {"s", 's', 5, "%9s", "", ""}};
  sp.sort = {1};
  // The integer `.` of the older files is the type's largest value.
  int dot = format <= 111 ? 32767 : 32741;
  sp.records = {Rec(hilo).i16(-3).f64(0x4002000000000000ULL).str("hello", 5).done(),
                Rec(hilo).i16(dot).f64(0xC202A05F20000000ULL).str("hi", 5).done()};
  sp.tables = {{"lab", {{-2, "minus"}, {1, "one"}}}};
  sp.dta_chars = {{"note", "hi there"}};
  return sp;
}

class DtaRead : public ::testing::Test {
 protected:
  DtaRead() : ip(&side) {}
  rc_t load(const std::vector<std::uint8_t>& b, const dta::LoadOptions& opt = {}) {
    back = std::make_unique<Dataset>();
    res = dta::LoadResult{};
    newer = 0;
    return dta::load_bytes(ip, b.data(), b.size(), opt, back.get(), &res, &newer);
  }
  std::string notes() const {
    std::string s;
    for (const auto& n : res.notes) s += n.before + n.user + n.after;
    return s;
  }
  testing::CaptureSide side;
  Interp ip;
  std::unique_ptr<Dataset> back;
  dta::LoadResult res;
  int newer = 0;
};

TEST_F(DtaRead, EveryFormatInBothByteOrders) {
  for (int format : {102, 103, 104, 105, 106, 107, 108, 110, 111, 112, 113, 114}) {
    for (bool hilo : {false, true}) {
      if (format == 102 && hilo) continue;  // 102 has no byte-order mark
      SCOPED_TRACE(::testing::Message() << "format " << format << (hilo ? " HILO" : " LOHI"));
      ASSERT_EQ(load(build(standard(format, hilo))), 0) << side.text;
      const Dataset& d = *back;
      EXPECT_EQ(res.format, format);
      EXPECT_EQ(res.hilo, hilo);
      ASSERT_EQ(d.nvar(), 3);
      ASSERT_EQ(d.nobs(), 2);
      EXPECT_EQ(d.name(1), "x");
      EXPECT_EQ(d.name(3), "s");
      EXPECT_EQ(d.type(1), data::kInt);
      EXPECT_EQ(d.type(2), data::kDouble);
      EXPECT_EQ(d.type(3), 5);
      EXPECT_EQ(d.fetch(1, 1), -3);
      EXPECT_EQ(d.fetch(1, 2), data::kMissing);
      EXPECT_EQ(d.fetch(2, 1), 2.25);
      EXPECT_EQ(d.fetch(2, 2), -1e10);
      EXPECT_EQ(d.fetch_str(3, 1), "hello");  // five bytes, no terminator
      EXPECT_EQ(d.fetch_str(3, 2), "hi");
      EXPECT_EQ(d.format(1), "%8.0g");
      EXPECT_EQ(d.format(2), "%10.0g");
      EXPECT_EQ(d.label(1), "the x");
      EXPECT_EQ(d.data_label(), "old data");
      EXPECT_EQ(d.sort_list(), std::vector<std::uint16_t>{1});
      EXPECT_EQ(d.value_label_name(1), "lab");
      ASSERT_NE(d.value_labels().get("lab"), nullptr);
      EXPECT_STREQ(d.value_labels().get("lab")->find(-2), "minus");
      EXPECT_STREQ(d.value_labels().get("lab")->find(1), "one");
      if (format >= 105) {
        ASSERT_NE(d.chars().get("_dta", "note"), nullptr);
        EXPECT_EQ(*d.chars().get("_dta", "note"), "hi there");
        EXPECT_EQ(res.time_stamp, " 3 Mar 1999 10:20");
      }
      EXPECT_EQ(notes(), "(old data)\n");
      EXPECT_FALSE(d.changed());
    }
  }
}

TEST_F(DtaRead, LegacyIntegersAreSettled) {
  // Format 110 bytes: 127 was `.`, and 120 was a number that no longer
  // fits a byte: the variable becomes an int.
  Spec sp;
  sp.format = 110;
  sp.vars = {{"b", 'b', 1, "%8.0g", "", ""}, {"c", 'b', 1, "%8.0g", "", ""}};
  sp.records = {Rec(false).u8(120).u8(5).done(), Rec(false).u8(127).u8(127).done(), Rec(false).u8(101).u8(-127).done()};
  ASSERT_EQ(load(build(sp)), 0);
  EXPECT_EQ(back->type(1), data::kInt);
  EXPECT_EQ(back->fetch(1, 1), 120);
  EXPECT_EQ(back->fetch(1, 2), data::kMissing);
  EXPECT_EQ(back->fetch(1, 3), 101);
  EXPECT_EQ(back->type(2), data::kByte);
  EXPECT_EQ(back->fetch(2, 1), 5);
  EXPECT_EQ(back->fetch(2, 2), data::kMissing);
  EXPECT_EQ(back->fetch(2, 3), -127);
}

TEST_F(DtaRead, OldNamesAndSortInformation) {
  // Format 105: names with `.` are renamed; `_` first, then the next
  // character when that name is taken.
  Spec sp = standard(105, false);
  sp.vars[0].name = "a.b";
  sp.vars[1].name = "a_b";
  sp.tables.clear();
  ASSERT_EQ(load(build(sp)), 0);
  EXPECT_EQ(back->name(1), "a1b");
  EXPECT_EQ(notes(), "(old data)\nWarning:  renamed a.b to a1b\n");

  // Sorted by a double in a format of 107 or older: the order is cleared
  // with its warning.
  sp = standard(107, true);
  sp.sort = {2, 1};
  ASSERT_EQ(load(build(sp)), 0);
  EXPECT_TRUE(back->sort_list().empty());
  EXPECT_EQ(notes(),
            "(old data)\nWarning:  old-format data was sorted by y x\n"
            "because of changes in Nuvra, the sort information had to be cleared\n"
            "in this case; you must reissue the sort command if you care\n");

  // From 108 on the sort list stays.
  sp.format = 108;
  ASSERT_EQ(load(build(sp)), 0);
  EXPECT_EQ(back->sort_list(), (std::vector<std::uint16_t>{2, 1}));

  // A 113 file keeps its older date format.
  sp = standard(113, false);
  sp.vars[1].fmt = "%td";
  ASSERT_EQ(load(build(sp)), 0);
  EXPECT_EQ(back->format(2), "%td");
}

TEST_F(DtaRead, ValueLabelTables) {
  Spec sp = standard(114, true);
  // The same name twice: the second is reported and skipped; a table with
  // a text beyond 32000 bytes is dropped with its paragraphs.
  sp.tables.push_back({"lab", {{7, "seven"}}});
  sp.tables.push_back({"big", {{1, std::string(32001, 'w')}}});
  sp.tables.push_back({"ok", {{1, std::string(32000, 'w')}}});
  ASSERT_EQ(load(build(sp)), 0);
  EXPECT_EQ(back->value_labels().get("lab")->find(7), nullptr);
  EXPECT_EQ(back->value_labels().get("big"), nullptr);
  ASSERT_NE(back->value_labels().get("ok"), nullptr);
  EXPECT_EQ(notes(),
            "(old data)\n(label lab already defined)\n"
            "{p 0 4}value label big contains labels longer than 32000 characters{p_end}\n"
            "{p 0 4}The maximum length of labels in this version of Nuvra is 32000; "
            "the value labels named above were not loaded.{p_end}\n");

  dta::LoadOptions nolabel;
  nolabel.nolabel = true;
  ASSERT_EQ(load(build(sp), nolabel), 0);
  EXPECT_EQ(back->value_labels().count(), 0u);
  EXPECT_EQ(back->value_label_name(1), "lab");  // the attachment stays
}

TEST_F(DtaRead, Subsets) {
  Spec sp = standard(114, false);
  sp.records.push_back(Rec(false).i16(9).f64(0).str("z", 5).done());
  dta::LoadOptions opt;
  opt.varlist_text = "s x";
  opt.in_text = "2/3";
  ASSERT_EQ(load(build(sp), opt), 0);
  ASSERT_EQ(back->nvar(), 2);
  EXPECT_EQ(back->name(1), "x");  // file order
  EXPECT_EQ(back->name(2), "s");
  ASSERT_EQ(back->nobs(), 2);
  EXPECT_EQ(back->fetch(1, 1), data::kMissing);
  EXPECT_EQ(back->fetch_str(2, 2), "z");
  EXPECT_EQ(back->sort_list(), std::vector<std::uint16_t>{1});

  opt = {};
  opt.if_text = "y < 1";
  ASSERT_EQ(load(build(sp), opt), 0);
  ASSERT_EQ(back->nobs(), 2);
  EXPECT_EQ(back->fetch(2, 1), -1e10);
  EXPECT_EQ(back->fetch(2, 2), 0);
  EXPECT_EQ(back->fetch_str(3, 2), "z");
  EXPECT_EQ(ip.dataset.nvar(), 0);  // the condition ran on the dataset being built
}

TEST_F(DtaRead, Refusals) {
  auto with_first = [](std::uint8_t f) {
    std::vector<std::uint8_t> b = build(standard(114, false));
    b[0] = f;
    return b;
  };
  EXPECT_EQ(load(with_first(109)), 610);
  EXPECT_EQ(newer, 0);
  EXPECT_EQ(load(with_first(115)), 610);
  EXPECT_EQ(newer, 115);
  EXPECT_EQ(load(with_first(116)), 610);
  EXPECT_EQ(newer, 116);
  EXPECT_EQ(load(with_first(101)), 610);
  EXPECT_EQ(load(with_first(117)), 610);
  EXPECT_EQ(newer, 0);
  EXPECT_EQ(load({}), 610);

  Spec sp = standard(114, false);
  sp.stamp_last = 'x';
  EXPECT_EQ(load(build(sp)), 610);
  sp = standard(108, true);
  sp.filetype = 2;
  EXPECT_EQ(load(build(sp)), 609);

  std::vector<std::uint8_t> b = build(standard(114, false));
  EXPECT_EQ(load(std::vector<std::uint8_t>(b.begin(), b.begin() + 100)), 610);  // inside the header
  EXPECT_EQ(load(std::vector<std::uint8_t>(b.begin(), b.begin() + 200)), 612);  // inside the descriptors
  std::size_t data_end = b.size() - (4 + 36 + 8 + 16 + 10);
  EXPECT_EQ(load(std::vector<std::uint8_t>(b.begin(), b.begin() + static_cast<long>(data_end) - 1)), 612);
  EXPECT_EQ(load(std::vector<std::uint8_t>(b.begin(), b.begin() + static_cast<long>(data_end))), 0);
  EXPECT_EQ(load(std::vector<std::uint8_t>(b.begin(), b.begin() + static_cast<long>(data_end) + 10)), 612);

  std::vector<std::uint8_t> bad = b;
  bad[109] = 250;  // a legacy code is no type of a file
  EXPECT_EQ(load(bad), 688);
  sp = standard(114, false);
  sp.vars[1].name = "x";
  EXPECT_EQ(load(build(sp)), 688);  // two variables of one name
  sp.vars[1].name = "1y";
  EXPECT_EQ(load(build(sp)), 688);

  // More variables than maxvar allows.
  bad = b;
  bad[4] = 0xFF;
  bad[5] = 0x7F;
  EXPECT_EQ(load(bad), 900);
}

}  // namespace
}  // namespace nuvra
