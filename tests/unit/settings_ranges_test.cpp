// `set` refuses values outside what each setting allows, with the
// setting's own message and 198, and leaves the setting as it was; the
// bounds themselves are accepted. The defaults the settings table states
// are what a new session starts with.
#include <gtest/gtest.h>

#include <string>

#include "interp/creturn.h"
#include "interp/interp.h"
#include "test_side.h"

namespace nuvra {
namespace {

class SettingsRangesTest : public ::testing::Test {
 protected:
  SettingsRangesTest() : ip(&side) {}

  rc_t run(const std::string& line) {
    side.text.clear();
    rc_t rc = ip.execute_line(line);
    ip.out.flush();
    printed = side.text;
    return rc;
  }

  testing::CaptureSide side;
  Interp ip;
  std::string printed;
};

TEST_F(SettingsRangesTest, OutOfRangeValuesAreRefusedWithTheirMessages) {
  struct Case {
    const char* line;
    const char* message;
  };
  const Case refused[] = {
      {"set linesize 39", "linesize must be between 40 and 255\n"},
      {"set linesize 256", "linesize must be between 40 and 255\n"},
      {"set lines 30", "linesize must be between 40 and 255\n"},
      {"set pagesize 9", "pagesize must be between 10 and 10000\n"},
      {"set pagesize 10001", "pagesize must be between 10 and 10000\n"},
      {"set tracedepth 0", "tracedepth must be between 1 and 32000\n"},
      {"set tracedepth 32001", "tracedepth must be between 1 and 32000\n"},
      {"set level 9.99", "set level must be between 10 and 99.99 inclusive\n"},
      {"set level 99.991", "set level must be between 10 and 99.99 inclusive\n"},
      {"set maxvar 2047", "# must be between 2048 and 32767\n"},
      {"set maxvar 32768", "# must be between 2048 and 32767\n"},
      {"set matsize 9", "# must be between 10 and 11000\n"},
      {"set mat 11001", "# must be between 10 and 11000\n"},
      {"set sortseed -1", "sortseed must be between 0 and 2147483647\n"},
      {"set type long", "type must be float or double\n"},
      {"set more maybe", "invalid syntax\n"},
      {"set varabbrev yes", "invalid syntax\n"},
      {"set dp point", "invalid syntax\n"},
      {"set linesize", "invalid syntax\n"},
      {"set maxvar 5000.5", "invalid syntax\n"},
      {"set level 50x", "invalid syntax\n"},
  };
  for (const Case& c : refused) {
    EXPECT_EQ(run(c.line), 198) << c.line;
    EXPECT_EQ(printed, c.message) << c.line;
  }
  EXPECT_EQ(run("set processors 0"), 198);
  EXPECT_EQ(printed.rfind("processors must be between 1 and ", 0), 0u) << printed;

  // Nothing changed on the way.
  EXPECT_EQ(c_text(ip, "linesize"), "79");
  EXPECT_EQ(c_text(ip, "pagesize"), "23");
  EXPECT_EQ(c_text(ip, "maxvar"), "5000");
  EXPECT_EQ(c_text(ip, "matsize"), "400");
  EXPECT_EQ(c_text(ip, "level"), "95");
  EXPECT_EQ(c_text(ip, "type"), "float");
  EXPECT_EQ(c_text(ip, "more"), "on");
}

TEST_F(SettingsRangesTest, TheBoundsAreAllowed) {
  const char* const accepted[] = {
      "set linesize 40", "set linesize 255",  "set pagesize 10",     "set pagesize 10000",
      "set tracedepth 1", "set tracedepth 32000", "set level 10",     "set level 99.99",
      "set maxvar 2048",  "set maxvar 32767",  "set matsize 10",      "set matsize 11000",
      "set sortseed 0",   "set sortseed 2147483647", "set processors 1", "set type double",
      "set dp comma",     "set dp period",     "set linesize 10*8",
  };
  for (const char* line : accepted) EXPECT_EQ(run(line), 0) << line << ": " << printed;
  EXPECT_EQ(c_text(ip, "linesize"), "80");  // an expression, 10*8
  EXPECT_EQ(ip.level, 99.99);
  EXPECT_EQ(c_text(ip, "matsize"), "11000");
  EXPECT_EQ(c_text(ip, "sortseed"), "2147483647");
}

TEST_F(SettingsRangesTest, TheTableDefaultsAreWhatASessionStartsWith) {
  int checked = 0;
  for (std::size_t k = 0; k < kSettingCount; ++k) {
    const Setting& s = kSettings[k];
    if (*s.default_value == '\0') continue;  // depends on the machine or the moment
    EXPECT_EQ(c_text(ip, s.name), s.default_value) << s.name;
    ++checked;
  }
  EXPECT_GE(checked, 13);
}

}  // namespace
}  // namespace nuvra
