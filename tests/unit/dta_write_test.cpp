// The dataset file writer against byte images put together by hand from the
// documented layout, and the safety of the write (602, 608, a failing disk,
// a killed process).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

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

// The header of formats 113 and 114 is 109 bytes; the typlist follows.
constexpr std::size_t kHeaderOffsetTyplist = 109;

std::vector<std::uint8_t> slurp(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(f), {});
}

// A directory of its own for each test, removed afterwards.
class DtaWrite : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/dta-write-XXXXXX";
    dir = mkdtemp(tmpl);
  }
  void TearDown() override { std::filesystem::remove_all(dir); }
  std::vector<std::string> listing() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  std::string dir;
};

// Every storage type, `.`, `.a` and `.z`, a str244 value of exactly 244
// bytes, labels, characteristics and a sort list.
//   b byte   7      .      .z
//   i int   -2      .a     32740
//   l long  100000  .      .z
//   f float 2.5     .a     .
//   d double 1.5    .z     -2
//   s str244 x*244  ""     "ab"
//   t str3  "abc"   "q"    ""
void fill(Dataset& ds) {
  const char* names[] = {"b", "i", "l", "f", "d", "s", "t"};
  int types[] = {data::kByte, data::kInt, data::kLong, data::kFloat, data::kDouble, 244, 3};
  for (int k = 0; k < 7; ++k) ASSERT_EQ(ds.add_variable(names[k], types[k]), 0);
  ASSERT_EQ(ds.set_obs(3), 0);
  double a = data::missing_value(1), z = data::missing_value(26), dot = data::kMissing;
  double vals[5][3] = {{7, dot, z}, {-2, a, 32740}, {100000, dot, z}, {2.5, a, dot}, {1.5, z, -2}};
  for (int j = 1; j <= 5; ++j)
    for (int i = 1; i <= 3; ++i) ds.store(j, i, vals[j - 1][i - 1]);
  ds.store_str(6, 1, std::string(244, 'x'));
  ds.store_str(6, 3, "ab");
  ds.store_str(7, 1, "abc");
  ds.store_str(7, 2, "q");
  ASSERT_EQ(ds.set_format(3, "%tc"), 0);
  ASSERT_EQ(ds.set_format(4, "%9.2f"), 0);
  ASSERT_EQ(ds.set_format(5, "%td"), 0);
  ds.set_label(2, "An int");
  ASSERT_EQ(ds.set_value_label_name(1, "yn"), 0);
  ASSERT_EQ(ds.value_labels().define("yn", 1, "yes"), 0);
  ASSERT_EQ(ds.value_labels().define("yn", 2, "no"), 0);
  ASSERT_EQ(ds.value_labels().define("orph", 5, "five"), 0);
  ASSERT_EQ(ds.set_char("_dta", "note1", "hello"), 0);
  ASSERT_EQ(ds.set_char("d", "unit", "days"), 0);
  ds.set_data_label("Test data");
  ds.set_sort_list({1, 2});
}

std::tm stamp() {
  std::tm t{};
  t.tm_mday = 6;
  t.tm_mon = 11;
  t.tm_year = 126;
  t.tm_hour = 9;
  t.tm_min = 5;
  return t;
}

// The file as the layout tables describe it, with `format` 114 or 113.
std::vector<std::uint8_t> expected_image(int format, bool orphans, bool nolabel) {
  Bytes f;
  // Header: format, byteorder LOHI, filetype 1, unused, nvar, nobs, label, stamp.
  f.u8(format).u8(2).u8(1).u8(0).u16(7).u32(3).field("Test data", 81).field(" 6 Dec 2026 09:05", 18);
  // typlist
  f.u8(251).u8(252).u8(253).u8(254).u8(255).u8(244).u8(3);
  for (const char* n : {"b", "i", "l", "f", "d", "s", "t"}) f.field(n, 33);
  f.u16(1).u16(2).u16(0).u16(0).u16(0).u16(0).u16(0).u16(0);  // srtlist: nvar + 1 entries
  if (format == 114) {
    for (const char* m : {"%8.0g", "%8.0g", "%tc", "%9.2f", "%td", "%244s", "%9s"}) f.field(m, 49);
  } else {
    // The clock format has no older form and becomes %15.0g.
    for (const char* m : {"%8.0g", "%8.0g", "%15.0g", "%9.2f", "%td", "%244s", "%9s"}) f.field(m, 12);
  }
  f.field("yn", 33);
  for (int k = 0; k < 6; ++k) f.field("", 33);
  f.field("", 81).field("An int", 81);
  for (int k = 0; k < 5; ++k) f.field("", 81);
  // Expansion fields: type 1, len = 66 + text + 1, owner, name, text.
  f.u8(1).u32(66 + 5 + 1).field("_dta", 33).field("note1", 33).field("hello", 6);
  f.u8(1).u32(66 + 4 + 1).field("d", 33).field("unit", 33).field("days", 5);
  f.u8(0).u32(0);
  // Data, record width 1 + 2 + 4 + 4 + 8 + 244 + 3 = 266.
  // byte: 7, `.` = 101, `.z` = 127
  // int: -2 = 0xFFFE, `.a` = 32742, 32740
  // long: 100000, `.` = 2147483621, `.z` = 2147483647
  // float: 2.5 = 0x40200000, `.a` = 0x7F000800, `.` = 0x7F000000
  // double: 1.5 = 0x3FF8000000000000, `.z` = 0x7FE01A0000000000, -2 = 0xC000000000000000
  f.u8(7).u16(0xFFFE).u32(100000).u32(0x40200000).u64(0x3FF8000000000000ULL).raw(std::string(244, 'x')).raw("abc");
  f.u8(101).u16(32742).u32(2147483621u).u32(0x7F000800).u64(0x7FE01A0000000000ULL).zeros(244).field("q", 3);
  f.u8(127).u16(32740).u32(2147483647u).u32(0x7F000000).u64(0xC000000000000000ULL).field("ab", 244).zeros(3);
  // Value labels: len, name (33), 3 padding, then n, txtlen, off[], val[], txt.
  if (!nolabel) {
    if (orphans) f.u32(8 + 8 + 5).field("orph", 33).zeros(3).u32(1).u32(5).u32(0).u32(5).field("five", 5);
    f.u32(8 + 16 + 7).field("yn", 33).zeros(3).u32(2).u32(7).u32(0).u32(4).u32(1).u32(2).field("yes", 4).field("no", 3);
  }
  return f.b;
}

void expect_same(const std::vector<std::uint8_t>& got, const std::vector<std::uint8_t>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (std::size_t k = 0; k < want.size(); ++k)
    ASSERT_EQ(int{got[k]}, int{want[k]}) << "first difference at byte " << k;
}

TEST_F(DtaWrite, Formats114And113MatchTheLayoutByteForByte) {
  Dataset ds;
  fill(ds);
  if (HasFatalFailure()) return;
  dta::SaveOptions opt;
  opt.stamp = stamp();
  std::string p = dir + "/a.dta";
  ASSERT_EQ(dta::save_file(ds, p, opt), 0);
  expect_same(slurp(p), expected_image(114, false, false));

  opt.oldformat = true;
  opt.replace = true;
  ASSERT_EQ(dta::save_file(ds, p, opt), 0);
  expect_same(slurp(p), expected_image(113, false, false));

  opt.oldformat = false;
  opt.orphans = true;
  ASSERT_EQ(dta::save_file(ds, p, opt), 0);
  expect_same(slurp(p), expected_image(114, true, false));

  opt.orphans = false;
  opt.nolabel = true;
  ASSERT_EQ(dta::save_file(ds, p, opt), 0);
  expect_same(slurp(p), expected_image(114, false, true));
  EXPECT_EQ(listing(), std::vector<std::string>{"a.dta"});  // no temporary file left
}

TEST_F(DtaWrite, EstimationSampleOnlyWithAll) {
  Dataset ds;
  fill(ds);
  if (HasFatalFailure()) return;
  ASSERT_EQ(ds.ensure_esample(), 0);
  ds.store(8, 2, 1);
  dta::SaveOptions opt;
  opt.stamp = stamp();
  std::string p = dir + "/e.dta";
  ASSERT_EQ(dta::save_file(ds, p, opt), 0);
  expect_same(slurp(p), expected_image(114, false, false));

  opt.all = true;
  opt.replace = true;
  ASSERT_EQ(dta::save_file(ds, p, opt), 0);
  std::vector<std::uint8_t> got = slurp(p);
  // nvar 8; the eighth type is byte, the eighth name "(e)", and each
  // record one byte longer.
  ASSERT_GT(got.size(), 200u);
  EXPECT_EQ(got[4], 8);
  EXPECT_EQ(got[kHeaderOffsetTyplist + 7], 251);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&got[kHeaderOffsetTyplist + 8 + 7 * 33])), "(e)");
  EXPECT_EQ(got.size(), expected_image(114, false, false).size() + 1 /*typ*/ + 33 + 2 + 49 + 33 + 81 + 3);

  // Loading it back keeps the hidden variable hidden, with its values.
  testing::CaptureSide side;
  Interp ip(&side);
  Dataset back;
  dta::LoadResult res;
  ASSERT_EQ(dta::load_bytes(ip, got.data(), got.size(), {}, &back, &res), 0);
  EXPECT_EQ(back.nvar(), 7);
  ASSERT_EQ(back.esample_var(), 8);
  EXPECT_EQ(back.fetch(8, 1), 0);
  EXPECT_EQ(back.fetch(8, 2), 1);
}

TEST_F(DtaWrite, RoundTripGivesTheSameDataset) {
  Dataset ds;
  fill(ds);
  if (HasFatalFailure()) return;
  dta::SaveOptions opt;
  opt.stamp = stamp();
  opt.orphans = true;
  std::string p = dir + "/r.dta";
  ASSERT_EQ(dta::save_file(ds, p, opt), 0);
  testing::CaptureSide side;
  Interp ip(&side);
  Dataset back;
  dta::LoadResult res;
  ASSERT_EQ(dta::load_file(ip, p, {}, &back, &res), 0);
  EXPECT_EQ(back.checksum(), ds.checksum());
  EXPECT_EQ(res.time_stamp, " 6 Dec 2026 09:05");
  EXPECT_EQ(res.format, 114);

  // Zero observations: every descriptor comes back.
  ASSERT_EQ(ds.set_obs(0), 0);
  ds.set_sort_list({1});
  opt.replace = true;
  ASSERT_EQ(dta::save_file(ds, p, opt), 0);
  Dataset empty;
  ASSERT_EQ(dta::load_file(ip, p, {}, &empty, &res), 0);
  EXPECT_EQ(empty.nobs(), 0);
  EXPECT_EQ(empty.checksum(), ds.checksum());
}

TEST_F(DtaWrite, RefusalsLeaveTheFileAlone) {
  Dataset ds;
  fill(ds);
  if (HasFatalFailure()) return;
  std::string p = dir + "/k.dta";
  {
    std::ofstream f(p);
    f << "previous contents";
  }
  dta::SaveOptions opt;
  opt.stamp = stamp();
  EXPECT_EQ(dta::save_file(ds, p, opt), 602);
  EXPECT_EQ(slurp(p), (std::vector<std::uint8_t>{'p', 'r', 'e', 'v', 'i', 'o', 'u', 's', ' ', 'c', 'o', 'n',
                                                  't', 'e', 'n', 't', 's'}));

  // A full disk part way through the data: 699, the old file intact, no
  // temporary file left, whatever point the failure strikes.
  opt.replace = true;
  for (std::int64_t limit : {0, 100, 1000, 1500}) {
    opt.fail_after = limit;
    EXPECT_EQ(dta::save_file(ds, p, opt), 699) << limit;
    EXPECT_EQ(slurp(p).size(), 17u);
    EXPECT_EQ(listing(), std::vector<std::string>{"k.dta"});
  }

  // Read-only: 608 and untouched, whoever runs the test.
  opt.fail_after = -1;
  ASSERT_EQ(::chmod(p.c_str(), 0444), 0);
  EXPECT_EQ(dta::save_file(ds, p, opt), 608);
  EXPECT_EQ(slurp(p).size(), 17u);
  ASSERT_EQ(::chmod(p.c_str(), 0644), 0);

  // A directory that does not exist: the temporary file cannot be made.
  EXPECT_EQ(dta::save_file(ds, dir + "/none/k.dta", opt), 603);
}

// A child saves a large dataset over an existing file and is killed while
// writing; the file is the previous one, whole. The child stops itself part
// way through the write and says so through a pipe, so the kill always
// lands in the middle, however busy the machine.
TEST_F(DtaWrite, KilledSaveKeepsThePreviousFile) {
  std::string p = dir + "/big.dta";
  Dataset small;
  ASSERT_EQ(small.add_variable("x", data::kDouble), 0);
  ASSERT_EQ(small.set_obs(10), 0);
  dta::SaveOptions opt;
  opt.stamp = stamp();
  ASSERT_EQ(dta::save_file(small, p, opt), 0);
  std::vector<std::uint8_t> before = slurp(p);

  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(fds[0]);
    Dataset big;
    for (int k = 0; k < 4; ++k)
      if (big.add_variable("v" + std::to_string(k), data::kDouble)) _exit(2);
    if (big.set_obs(1000000)) _exit(3);
    for (int k = 1; k <= 4; ++k) {
      data::Column c = big.column(k);
      for (std::int64_t r = 0; r < big.nobs(); ++r) c.store(r, static_cast<double>(r));
    }
    dta::SaveOptions o;
    o.replace = true;
    o.stamp = stamp();
    static int ready_fd;
    ready_fd = fds[1];
    o.on_written = [](std::int64_t bytes, void*) {
      if (bytes < 4000000) return;
      char c = 'w';
      if (::write(ready_fd, &c, 1) != 1) _exit(4);
      for (;;) pause();
    };
    dta::save_file(big, p, o);
    _exit(5);  // the hook never let the save finish
  }
  ::close(fds[1]);
  // Wait (at most a minute) for the child to stop in the middle of its write.
  pollfd pf{fds[0], POLLIN, 0};
  char c = 0;
  bool stopped = ::poll(&pf, 1, 60000) == 1 && ::read(fds[0], &c, 1) == 1 && c == 'w';
  ::close(fds[0]);
  bool part_written = false;
  for (const auto& e : std::filesystem::directory_iterator(dir))
    if (e.path().filename().string().starts_with(".big.dta.") && e.file_size() >= 4000000) part_written = true;
  ::kill(child, SIGKILL);
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_TRUE(stopped) << "the child never got to write";
  EXPECT_TRUE(part_written) << "no partly written temporary file beside the target";
  EXPECT_EQ(slurp(p), before);
}

}  // namespace
}  // namespace nuvra
