// Every setting of the table, walked: set through `set`, read back through
// c(), shown by `query` under its group, and, when it is permanent, kept
// in the preferences file and put back by the next session's start-up.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include "interp/builtins.h"
#include "interp/creturn.h"
#include "interp/interp.h"
#include "test_side.h"

namespace nuvra {
namespace {

// A value each setting can take other than its default, and what c() then
// gives (as c_text shows it).
struct Choice {
  std::string set_to;
  std::string reads;
};
const std::map<std::string, Choice> kChoices = {
    {"more", {"off", "off"}},          {"rmsg", {"on", "on"}},
    {"linesize", {"100", "100"}},      {"pagesize", {"50", "50"}},
    {"trace", {"on", "on"}},           {"tracedepth", {"7", "7"}},
    {"memory", {"2m", "2097152"}},     {"maxvar", {"6000", "6000"}},
    {"matsize", {"500", "500"}},       {"varabbrev", {"off", "off"}},
    {"type", {"double", "double"}},    {"level", {"90", "90"}},
    {"dp", {"comma", "comma"}},        {"seed", {"", ""}},
    {"sortseed", {"7", "7"}},          {"processors", {"1", "1"}},
    {"printcommand", {"lp -d office", "lp -d office"}},
    {"lumolib", {"base;io", "base;io"}},
};

class SettingsTableTest : public ::testing::Test {
 protected:
  SettingsTableTest() {
    dir = std::filesystem::temp_directory_path() / ("nuvra-settings-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
  }
  ~SettingsTableTest() override { std::filesystem::remove_all(dir); }

  static std::string run(Interp& ip, testing::CaptureSide& side, const std::string& line, rc_t* rc) {
    side.text.clear();
    *rc = ip.execute_line(line);
    ip.out.flush();
    return side.text;
  }

  std::filesystem::path dir;
};

TEST_F(SettingsTableTest, EverySettingSetsReadsBackAndShows) {
  // What a session without preferences starts with.
  std::map<std::string, std::string> defaults;
  {
    testing::CaptureSide quiet;
    Interp fresh(&quiet);
    for (std::size_t k = 0; k < kSettingCount; ++k) defaults[kSettings[k].name] = c_text(fresh, kSettings[k].name);
  }
  testing::CaptureSide side;
  Interp ip(&side);
  ASSERT_TRUE(ip.prefs.load(dir.string()));
  int walked = 0;
  for (std::size_t k = 0; k < kSettingCount; ++k) {
    const Setting& s = kSettings[k];
    auto it = kChoices.find(s.name);
    ASSERT_NE(it, kChoices.end()) << s.name << " has no test value";
    ++walked;
    rc_t rc = 0;
    if (std::string(s.name) == "seed") {
      // The seed reads back as the generator's state: setting one changes it.
      std::string before = c_text(ip, "seed");
      run(ip, side, "set seed 12345", &rc);
      EXPECT_EQ(rc, 0);
      EXPECT_NE(c_text(ip, "seed"), before);
      continue;
    }
    std::string line = "set " + std::string(s.name) + " " + it->second.set_to;
    if (s.permanent) line += ", permanently";
    std::string printed = run(ip, side, line, &rc);
    ASSERT_EQ(rc, 0) << line << ": " << printed;
    EXPECT_EQ(c_text(ip, s.name), it->second.reads) << s.name;
    std::string shown = run(ip, side, "query", &rc);
    ASSERT_EQ(rc, 0);
    bool listed = shown.find("    " + std::string(s.name)) != std::string::npos;
    EXPECT_EQ(listed, s.query_group != nullptr) << s.name;
    if (s.query_group) {
      char row[64];
      std::snprintf(row, sizeof row, "    %-16s%s\n", s.name, it->second.reads.c_str());
      EXPECT_NE(shown.find(row), std::string::npos) << row << "in:\n" << shown;
      size_t heading = shown.find(std::string("---- ") + s.query_group);
      ASSERT_NE(heading, std::string::npos) << s.query_group;
      EXPECT_LT(heading, shown.find(row)) << s.name;
    }
    // Settings that are not permanent refuse the option.
    if (!s.permanent) {
      run(ip, side, "set " + std::string(s.name) + " " + it->second.set_to + ", permanently", &rc);
      EXPECT_EQ(rc, 198) << s.name;
    }
  }
  EXPECT_EQ(walked, static_cast<int>(kChoices.size()));
  rc_t rc = 0;
  run(ip, side, "set trace off", &rc);

  // The next session reads the permanent ones back, and only those.
  testing::CaptureSide side2;
  Interp next(&side2);
  ASSERT_TRUE(next.prefs.load(dir.string()));
  apply_preferences(next);
  for (std::size_t k = 0; k < kSettingCount; ++k) {
    const Setting& s = kSettings[k];
    if (std::string(s.name) == "seed") continue;
    std::string reads = c_text(next, s.name);
    if (s.permanent)
      EXPECT_EQ(reads, kChoices.at(s.name).reads) << s.name;
    else
      EXPECT_EQ(reads, defaults[s.name]) << s.name << " came back though not permanent";
  }
}

}  // namespace
}  // namespace nuvra
