// The dataset file reader on files of every accepted format, in both byte
// orders, put together here from the layout table of each format (name,
// format and label widths, header shapes, expansion record heads, the three
// value-label forms, letter or numeric type codes), independently of the
// writer. Also the refusals, and what a failed load leaves in memory.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>
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
using testing::build;
using testing::Rec;
using testing::Recipe;
using testing::standard;

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
  Recipe sp;
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
  Recipe sp = standard(105, false);
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
  Recipe sp = standard(114, true);
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
  Recipe sp = standard(114, false);
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

  Recipe sp = standard(114, false);
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

namespace nuvra {
namespace {

// Through the command: a file that fails at any stage leaves the dataset in
// memory, its labels and characteristics exactly as they were.
TEST(DtaUse, FailedLoadsLeaveMemoryAlone) {
  testing::CaptureSide side;
  Interp ip(&side);
  ASSERT_EQ(ip.dataset.add_variable("keep", data::kDouble), 0);
  ASSERT_EQ(ip.dataset.set_obs(4), 0);
  ip.dataset.store(1, 3, 42);
  ASSERT_EQ(ip.dataset.value_labels().define("mine", 1, "kept"), 0);
  ASSERT_EQ(ip.dataset.set_char("_dta", "c", "kept"), 0);
  ip.dataset.set_changed(false);
  const std::uint64_t before = ip.dataset.checksum();

  char dir_tmpl[] = "/tmp/dta-use-XXXXXX";
  std::string dir = mkdtemp(dir_tmpl);
  std::string path = dir + "/bad.dta";
  std::vector<std::uint8_t> good = testing::build(testing::standard(114, true));
  auto write = [&](const std::vector<std::uint8_t>& b) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(b.data(), 1, b.size(), f);
    std::fclose(f);
  };
  struct Case {
    std::size_t cut;  // keep this many bytes (0: all)
    std::size_t at;   // then set this byte (0: none)
    std::uint8_t value;
    rc_t rc;
  };
  const Case cases[] = {
      {0, 2, 2, 609},                // filetype
      {50, 0, 0, 610},               // inside the header
      {400, 0, 0, 612},              // inside the descriptors
      {good.size() - 30, 0, 0, 612}, // inside the value labels
      {0, 109, 250, 688},            // a legacy code is no type of a file
  };
  for (const Case& c : cases) {
    std::vector<std::uint8_t> b = good;
    if (c.cut) b.resize(c.cut);
    if (c.at) b[c.at] = c.value;
    write(b);
    EXPECT_EQ(ip.execute_line("use \"" + path + "\", clear"), c.rc) << c.cut << " " << c.at;
    EXPECT_EQ(ip.dataset.checksum(), before);
  }
  // The same file whole loads; then a changed dataset refuses without clear.
  write(good);
  ASSERT_EQ(ip.execute_line("use \"" + path + "\", clear"), 0);
  EXPECT_EQ(ip.dataset.nvar(), 3);
  EXPECT_EQ(ip.dataset.value_labels().get("mine"), nullptr);  // use replaces everything
  EXPECT_EQ(*ip.macros.global("S_FN"), path);
  EXPECT_EQ(*ip.macros.global("S_FNDATE"), " 3 Mar 1999 10:20");
  ASSERT_EQ(ip.execute_line("replace x = 1 in 1"), 0);
  const std::uint64_t changed = ip.dataset.checksum();
  EXPECT_EQ(ip.execute_line("use \"" + path + "\""), 4);
  EXPECT_EQ(ip.dataset.checksum(), changed);
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace nuvra
