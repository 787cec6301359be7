// Files of many records, built byte by byte here: loads that go straight
// into the data area (in either byte order) or record by record through a
// buffer (subsets, records wider in memory than in the file), a file cut
// short inside its data, and saves of datasets whose records lie in every
// arrangement the data area allows. Each value is a function of its
// observation number, so every one can be checked.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "data/dataset.h"
#include "data/dta/dta_read.h"
#include "data/dta/dta_write.h"
#include "dta_bytes.h"
#include "interp/interp.h"
#include "test_side.h"

namespace nuvra {
namespace {

using data::Dataset;
using testing::Bytes;
using testing::Recipe;

// More records than one 1 MB read or write holds, and not a multiple of it.
constexpr int kRecords = 150001;

// The values of observation i (0-based).
int x_of(int i) { return i % 30000 - 15000; }          // int
double y_of(int i) { return i * 0.5 + 0.25; }            // double
std::int32_t z_of(int i) { return i * 7 - 1000000; }    // long
std::string s_of(int i, int width) {                     // str4 or str5
  std::string s = {static_cast<char>('a' + i % 26), static_cast<char>('A' + i / 26 % 26),
                   static_cast<char>('0' + i % 10)};
  if (i % 3 == 0) s.resize(static_cast<std::size_t>(width), 'w');  // fills the field, no terminator
  return s;
}

// x int, y double, z long, s str`width`: 18 bytes a record with str4 (as
// tight in memory as in the file), 19 with str5 (20 in memory).
Recipe bulk(bool hilo, int width) {
  Recipe sp;
  sp.format = 114;
  sp.hilo = hilo;
  sp.label = "";
  sp.vars = {{"x", 'i', 2, "%8.0g", "", ""},
             {"y", 'd', 8, "%10.0g", "", ""},
             {"z", 'l', 4, "%12.0g", "", ""},
             {"s", 's', width, "%9s", "", ""}};
  sp.records.reserve(kRecords);
  for (int i = 0; i < kRecords; ++i) {
    Bytes r;
    r.hilo = hilo;
    r.u16(static_cast<std::uint16_t>(x_of(i))).u64(std::bit_cast<std::uint64_t>(y_of(i)));
    r.u32(static_cast<std::uint32_t>(z_of(i))).field(s_of(i, width), static_cast<std::size_t>(width));
    sp.records.emplace_back(r.b.begin(), r.b.end());
  }
  return sp;
}

class DtaBulk : public ::testing::Test {
 protected:
  DtaBulk() : ip(&side) {}
  void SetUp() override {
    char tmpl[] = "/tmp/dta-bulk-XXXXXX";
    dir = mkdtemp(tmpl);
  }
  void TearDown() override { std::filesystem::remove_all(dir); }
  void write(const std::string& path, const std::vector<std::uint8_t>& b) {
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
  }
  // Observation `obs` (1-based) holds the values of record i.
  void expect_record(int obs, int i, int width) {
    const Dataset& d = ip.dataset;
    ASSERT_EQ(d.fetch(1, obs), x_of(i)) << "observation " << obs;
    ASSERT_EQ(d.fetch(2, obs), y_of(i)) << "observation " << obs;
    ASSERT_EQ(d.fetch(3, obs), z_of(i)) << "observation " << obs;
    ASSERT_EQ(d.fetch_str(4, obs), s_of(i, width)) << "observation " << obs;
  }

  testing::CaptureSide side;
  Interp ip;
  std::string dir;
};

TEST_F(DtaBulk, WholeFilesInEitherByteOrderAndWidth) {
  for (int width : {4, 5}) {
    for (bool hilo : {false, true}) {
      SCOPED_TRACE(::testing::Message() << "str" << width << (hilo ? " HILO" : " LOHI"));
      std::string path = dir + "/whole.dta";
      write(path, testing::build(bulk(hilo, width)));
      ASSERT_EQ(ip.execute_line("use \"" + path + "\", clear"), 0) << side.text;
      ASSERT_EQ(ip.dataset.nvar(), 4);
      ASSERT_EQ(ip.dataset.nobs(), kRecords);
      EXPECT_EQ(ip.dataset.used_width(), 14u + static_cast<unsigned>(width));
      for (int i = 0; i < kRecords; ++i) expect_record(i + 1, i, width);
    }
  }
}

TEST_F(DtaBulk, SubsetsKeepTheRightRecords) {
  std::string path = dir + "/subset.dta";
  write(path, testing::build(bulk(true, 4)));

  // An `in` range alone still reads straight into the data area.
  ASSERT_EQ(ip.execute_line("use in 70000/140000 using \"" + path + "\", clear"), 0) << side.text;
  ASSERT_EQ(ip.dataset.nobs(), 70001);
  for (int obs = 1; obs <= 70001; ++obs) expect_record(obs, 70000 + obs - 2, 4);

  // Records 1000 to 120000 (1-based) whose x is negative: x < 0 exactly
  // when i mod 30000 < 15000, i = record - 1. The variables come in file
  // order; z is left out, so the records are narrower than the file's.
  ASSERT_EQ(ip.execute_line("use s x y if x < 0 in 1000/120000 using \"" + path + "\", clear"), 0) << side.text;
  ASSERT_EQ(ip.dataset.nvar(), 3);
  EXPECT_EQ(ip.dataset.name(1), "x");
  EXPECT_EQ(ip.dataset.name(2), "y");
  EXPECT_EQ(ip.dataset.name(3), "s");
  int obs = 0;
  for (int i = 999; i < 120000; ++i) {
    if (i % 30000 >= 15000) continue;
    ++obs;
    ASSERT_LE(obs, ip.dataset.nobs());
    ASSERT_EQ(ip.dataset.fetch(1, obs), x_of(i)) << "record " << i;
    ASSERT_EQ(ip.dataset.fetch(2, obs), y_of(i)) << "record " << i;
    ASSERT_EQ(ip.dataset.fetch_str(3, obs), s_of(i, 4)) << "record " << i;
  }
  EXPECT_EQ(ip.dataset.nobs(), obs);
  // 999..14999, 30000..44999, 60000..74999, 90000..104999: 14001 + 3 * 15000.
  EXPECT_EQ(obs, 59001);
}

TEST_F(DtaBulk, FileCutInsideItsDataLeavesMemoryAlone) {
  ASSERT_EQ(ip.dataset.add_variable("keep", data::kDouble), 0);
  ASSERT_EQ(ip.dataset.set_obs(5), 0);
  ip.dataset.store(1, 2, 7.5);
  ip.dataset.set_changed(false);
  const std::uint64_t before = ip.dataset.checksum();
  for (bool hilo : {false, true}) {
    std::vector<std::uint8_t> b = testing::build(bulk(hilo, 4));
    // The data end exactly at the end of this file (no value labels):
    // cut in the middle of the data and one byte short of the end.
    for (std::size_t cut : {b.size() / 2, b.size() - 1}) {
      SCOPED_TRACE(::testing::Message() << (hilo ? "HILO" : "LOHI") << " cut at " << cut);
      std::string path = dir + "/short.dta";
      write(path, std::vector<std::uint8_t>(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(cut)));
      side.text.clear();
      EXPECT_EQ(ip.execute_line("use \"" + path + "\", clear"), 612);
      EXPECT_NE(side.text.find("unexpected end of file"), std::string::npos) << side.text;
      EXPECT_EQ(ip.dataset.checksum(), before);
      EXPECT_EQ(ip.execute_line("use in 2/3 using \"" + path + "\", clear"), 612);
      EXPECT_EQ(ip.dataset.checksum(), before);
    }
  }
}

// The records section of a saved file: the last nobs * width bytes when
// there are no value labels.
std::vector<std::uint8_t> saved_records(const std::string& path, std::size_t bytes) {
  std::ifstream f(path, std::ios::binary);
  std::vector<std::uint8_t> all((std::istreambuf_iterator<char>(f)), {});
  if (all.size() < bytes) return {};
  return std::vector<std::uint8_t>(all.end() - static_cast<std::ptrdiff_t>(bytes), all.end());
}

// Records of y double then z long, LOHI, for records order[0], order[1]...
std::vector<std::uint8_t> expected_records(const std::vector<int>& order) {
  Bytes b;
  for (int i : order) b.u64(std::bit_cast<std::uint64_t>(y_of(i))).u32(static_cast<std::uint32_t>(z_of(i)));
  return b.b;
}

TEST_F(DtaBulk, SavedRecordsFollowObservationOrder) {
  const int n = kRecords;
  std::vector<int> ascending(n), descending(n);
  for (int i = 0; i < n; ++i) ascending[static_cast<std::size_t>(i)] = i, descending[static_cast<std::size_t>(i)] = n - 1 - i;
  std::string path = dir + "/saved.dta";
  auto save = [&](const Dataset& ds, bool all) {
    dta::SaveOptions opt;
    opt.replace = true;
    opt.all = all;
    return dta::save_file(ds, path, opt);
  };

  // As the reader leaves it: tight records in slot order.
  Recipe sp;
  sp.label = "";
  sp.vars = {{"y", 'd', 8, "%10.0g", "", ""}, {"z", 'l', 4, "%12.0g", "", ""}};
  for (int i = 0; i < n; ++i) {
    Bytes r;
    r.u64(std::bit_cast<std::uint64_t>(y_of(i))).u32(static_cast<std::uint32_t>(z_of(i)));
    sp.records.emplace_back(r.b.begin(), r.b.end());
  }
  std::vector<std::uint8_t> image = testing::build(sp);
  dta::LoadResult res;
  ASSERT_EQ(dta::load_bytes(ip, image.data(), image.size(), {}, &ip.dataset, &res), 0);
  ASSERT_EQ(ip.dataset.allotted_width(), ip.dataset.used_width());
  ASSERT_EQ(save(ip.dataset, false), 0);
  EXPECT_EQ(saved_records(path, 12u * n), expected_records(ascending));

  // The slot table reversed: observation i now lies in slot n - i.
  std::uint32_t* slot = ip.dataset.slot_table();
  std::reverse(slot, slot + n);
  ASSERT_EQ(save(ip.dataset, false), 0);
  EXPECT_EQ(saved_records(path, 12u * n), expected_records(descending));

  // The hidden estimation-sample byte lies after each record: left out
  // without `all`, a 1 after each record with it.
  ASSERT_EQ(ip.dataset.ensure_esample(), 0);
  for (std::int64_t i = 1; i <= n; ++i) ip.dataset.store(ip.dataset.esample_var(), i, 1);
  ASSERT_EQ(save(ip.dataset, false), 0);
  EXPECT_EQ(saved_records(path, 12u * n), expected_records(descending));
  ASSERT_EQ(save(ip.dataset, true), 0);
  std::vector<std::uint8_t> with = saved_records(path, 13u * n);
  ASSERT_EQ(with.size(), 13u * n);
  std::vector<std::uint8_t> want = expected_records(descending);
  for (std::size_t r = 0; r < static_cast<std::size_t>(n); ++r) {
    ASSERT_TRUE(std::equal(want.begin() + 12 * r, want.begin() + 12 * r + 12, with.begin() + 13 * r)) << r;
    ASSERT_EQ(with[13 * r + 12], 1) << r;
  }

  // Built in memory: the width grown generously leaves slack after each
  // record.
  Dataset built;
  ASSERT_EQ(built.add_variable("y", data::kDouble), 0);
  ASSERT_EQ(built.set_obs(n), 0);
  ASSERT_EQ(built.add_variable("z", data::kLong), 0);
  ASSERT_GT(built.allotted_width(), built.used_width());
  for (int i = 0; i < n; ++i) {
    built.store(1, i + 1, y_of(i));
    built.store(2, i + 1, z_of(i));
  }
  ASSERT_EQ(save(built, false), 0);
  EXPECT_EQ(saved_records(path, 12u * n), expected_records(ascending));
}

}  // namespace
}  // namespace nuvra
