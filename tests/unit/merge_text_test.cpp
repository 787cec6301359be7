// merge against a reference built here by brute force from the rule (keys
// matched, one master observation joined with every using observation of
// its key), failures that must leave memory and files alone, and the
// outsheet/insheet round trip over many values.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "data/missing.h"
#include "interp/interp.h"
#include "test_side.h"

namespace nuvra {
namespace {

class MergeText : public ::testing::Test {
 protected:
  MergeText() : ip(&side) {
    char tmpl[] = "/tmp/merge-text-XXXXXX";
    dir = mkdtemp(tmpl);
  }
  ~MergeText() override { std::filesystem::remove_all(dir); }
  rc_t run(const std::string& line) { return ip.execute_line(line); }
  std::string file(const std::string& name) const { return "\"" + dir + "/" + name + "\""; }
  // A dataset of keys k and values v (v = 100 * position + 1).
  void make(const std::vector<int>& keys, const char* v) {
    ASSERT_EQ(run("clear"), 0);
    ASSERT_EQ(run("set obs " + std::to_string(keys.size())), 0);
    ASSERT_EQ(run("generate k = ."), 0);
    for (std::size_t i = 0; i < keys.size(); ++i)
      ASSERT_EQ(run("replace k = " + std::to_string(keys[i]) + " in " + std::to_string(i + 1)), 0);
    ASSERT_EQ(run(std::string("generate ") + v + " = 100 * _n + 1"), 0);
  }
  testing::CaptureSide side;
  Interp ip;
  std::string dir;
};

TEST_F(MergeText, MatchMergeAgreesWithBruteForce) {
  // A small generator (LCG) so that the case is the same every run.
  std::uint32_t seed = 12345;
  auto next = [&](int n) {
    seed = seed * 1103515245u + 12345u;
    return static_cast<int>((seed >> 16) % static_cast<std::uint32_t>(n));
  };
  for (int round = 0; round < 20; ++round) {
    std::vector<int> mk, uk;
    for (int key = 0; key < 30; ++key) {
      if (next(2)) mk.push_back(key);  // unique in the master data
      int copies = next(4) - 1;         // 0 to 2 copies in the using data
      for (int c = 0; c < copies; ++c) uk.push_back(key);
    }
    make(uk, "w");
    ASSERT_EQ(run("save " + file("u") + ", replace"), 0);
    make(mk, "v");
    ASSERT_EQ(run("merge k using " + file("u") + ", uniqmaster"), 0);

    // The expected rows, key by key.
    struct Want {
      double k, v, w;
      int code;
    };
    std::vector<Want> want;
    for (int key = 0; key < 30; ++key) {
      double v = data::kMissing;
      for (std::size_t i = 0; i < mk.size(); ++i)
        if (mk[i] == key) v = 100.0 * static_cast<double>(i + 1) + 1;
      std::vector<double> ws;
      for (std::size_t i = 0; i < uk.size(); ++i)
        if (uk[i] == key) ws.push_back(100.0 * static_cast<double>(i + 1) + 1);
      bool in_m = !data::is_missing(v);
      if (ws.empty() && in_m) want.push_back({double(key), v, data::kMissing, 1});
      for (double w : ws) want.push_back({double(key), v, w, in_m ? 3 : 2});
    }
    const data::Dataset& ds = ip.dataset;
    ASSERT_EQ(ds.nobs(), static_cast<std::int64_t>(want.size())) << "round " << round;
    ASSERT_EQ(ds.nvar(), 4);
    for (std::size_t r = 0; r < want.size(); ++r) {
      auto i = static_cast<std::int64_t>(r + 1);
      EXPECT_EQ(ds.fetch(1, i), want[r].k) << "round " << round << " row " << i;
      EXPECT_EQ(ds.fetch(2, i), want[r].v) << "round " << round << " row " << i;
      EXPECT_EQ(ds.fetch(3, i), want[r].w) << "round " << round << " row " << i;
      EXPECT_EQ(ds.fetch(4, i), want[r].code) << "round " << round << " row " << i;
    }
    ASSERT_EQ(ds.sort_list().size(), 1u);
    EXPECT_EQ(ds.sort_list()[0], 1);
  }
}

TEST_F(MergeText, FailuresLeaveMemoryAndFilesAlone) {
  make({1, 2, 2}, "w");
  ASSERT_EQ(run("save " + file("dup")), 0);
  make({3, 1}, "w");
  ASSERT_EQ(run("save " + file("unsorted")), 0);
  ASSERT_EQ(run("clear"), 0);
  ASSERT_EQ(run("set obs 2"), 0);
  ASSERT_EQ(run("generate str3 k = \"a\""), 0);
  ASSERT_EQ(run("save " + file("strkey")), 0);
  make({1, 2, 3}, "v");
  ASSERT_EQ(run("label define lv 1 \"one\""), 0);
  ASSERT_EQ(run("label values v lv"), 0);
  const std::uint64_t before = ip.dataset.checksum();
  struct Case {
    std::string line;
    rc_t rc;
  };
  const Case cases[] = {
      {"merge k using " + file("dup") + ", unique", 459},
      {"merge k using " + file("dup") + ", uniqusing", 459},
      {"merge k using " + file("unsorted"), 5},
      {"merge k using " + file("strkey"), 106},
      {"merge k using " + file("nothere"), 601},
      {"merge v using " + file("dup"), 111},
      {"merge k using " + file("dup") + ", keep(nosuch)", 111},
      {"insheet using " + file("nothere.csv") + ", clear", 601},
      {"infile a b using " + file("nothere") + ", clear", 601},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(run(c.line), c.rc) << c.line;
    EXPECT_EQ(ip.dataset.checksum(), before) << c.line;
    EXPECT_NE(ip.dataset.value_labels().get("lv"), nullptr) << c.line;
  }
  ASSERT_EQ(run("generate _merge = 1"), 0);
  const std::uint64_t with_merge = ip.dataset.checksum();
  EXPECT_EQ(run("merge k using " + file("dup")), 110);
  EXPECT_EQ(ip.dataset.checksum(), with_merge);

  // outsheet and outfile without replace: the file keeps its bytes, and
  // no temporary file is left beside it.
  {
    std::ofstream(dir + "/old.csv") << "old contents\n";
  }
  EXPECT_EQ(run("outsheet using " + file("old.csv")), 602);
  EXPECT_EQ(run("outfile using " + file("old.csv")), 602);
  std::ifstream in(dir + "/old.csv");
  std::stringstream got;
  got << in.rdbuf();
  EXPECT_EQ(got.str(), "old contents\n");
  ASSERT_EQ(run("outsheet using " + file("old.csv") + ", replace"), 0);
  int entries = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir))
    if (e.path().filename().string().starts_with(".")) ++entries;
  EXPECT_EQ(entries, 0);
}

TEST_F(MergeText, SheetRoundTripKeepsEveryValue) {
  // Values whose display under %9.0g / %10.0g is exact: eighths, whole
  // numbers of every integer type's range, and every kind of missing.
  ASSERT_EQ(run("set obs 2000"), 0);
  ASSERT_EQ(run("generate byte b = mod(_n, 201) - 100"), 0);
  ASSERT_EQ(run("generate long l = (_n - 1000) * 1000003"), 0);
  ASSERT_EQ(run("generate double e = (_n - 1000) / 8"), 0);
  ASSERT_EQ(run("replace e = .z in 7"), 0);
  ASSERT_EQ(run("replace e = . in 8"), 0);
  ASSERT_EQ(run("replace b = .a in 9"), 0);
  ASSERT_EQ(run("generate str10 s = \"x\" + string(_n) + \",\" + char(34)"), 0);
  ASSERT_EQ(run("replace s = \"\" in 10"), 0);
  const data::Dataset& ds = ip.dataset;
  std::vector<double> b, l, e;
  std::vector<std::string> s;
  for (std::int64_t i = 1; i <= 2000; ++i) {
    b.push_back(ds.fetch(1, i));
    l.push_back(ds.fetch(2, i));
    e.push_back(ds.fetch(3, i));
    s.push_back(ds.fetch_str(4, i));
  }
  ASSERT_EQ(run("outsheet using " + file("rt.txt") + ", replace"), 0);
  ASSERT_EQ(run("outsheet using " + file("rt.csv") + ", comma replace"), 0);
  for (const char* name : {"rt.txt", "rt.csv"}) {
    ASSERT_EQ(run("insheet using " + file(name) + ", clear"), 0) << name;
    ASSERT_EQ(ds.nobs(), 2000);
    ASSERT_EQ(ds.nvar(), 4);
    EXPECT_EQ(ds.type(1), data::kByte);
    EXPECT_EQ(ds.type(2), data::kLong);
    EXPECT_EQ(ds.type(3), data::kFloat);
    for (std::int64_t i = 1; i <= 2000; ++i) {
      auto r = static_cast<std::size_t>(i - 1);
      EXPECT_EQ(ds.fetch(1, i), b[r]) << name << " " << i;
      EXPECT_EQ(ds.fetch(2, i), l[r]) << name << " " << i;
      EXPECT_EQ(ds.fetch(3, i), e[r]) << name << " " << i;
      EXPECT_EQ(ds.fetch_str(4, i), s[r]) << name << " " << i;
    }
  }
}

}  // namespace
}  // namespace nuvra
