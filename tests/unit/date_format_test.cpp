// Date and time display formats: the default of every unit, the detail
// codes, the older %d codes, validation, widths, and the leap-second clock.
// Expected texts are written by hand from the calendar (29feb2000 was a
// Tuesday; 15jan2008 a Tuesday) and the day numbers noted in dates_test.
#include <gtest/gtest.h>

#include "data/format.h"
#include "data/functions/dates.h"
#include "data/missing.h"

namespace nuvra::data {
namespace {

std::string fmt(const char* f, double v) {
  Format parsed;
  EXPECT_TRUE(parse_format(f, &parsed, true)) << f;
  return format_number(f, v);
}

constexpr double kLeapDay = 14669;                 // 29feb2000
constexpr double kClock = 1516026612345.0;         // 15jan2008 14:30:12.345

TEST(DateFormats, DefaultsOfEveryUnit) {
  EXPECT_EQ(fmt("%td", kLeapDay), "29feb2000");
  EXPECT_EQ(fmt("%td", 0), "01jan1960");
  EXPECT_EQ(fmt("%td", -679350), "01jan0100");
  EXPECT_EQ(fmt("%tc", kClock), "15jan2008 14:30:12");
  EXPECT_EQ(fmt("%tc", -1), "31dec1959 23:59:59");
  EXPECT_EQ(fmt("%tw", 2547), "2008w52");
  EXPECT_EQ(fmt("%tm", 577), "2008m2");
  EXPECT_EQ(fmt("%tm", -1), "1959m12");
  EXPECT_EQ(fmt("%tq", 192), "2008q1");
  EXPECT_EQ(fmt("%th", 97), "2008h2");
  EXPECT_EQ(fmt("%ty", 2008), "2008");
  EXPECT_EQ(fmt("%tg", 12.5), "12.5");
  EXPECT_EQ(fmt("%d", kLeapDay), "29feb2000");
  EXPECT_EQ(fmt("%-td", kLeapDay), "29feb2000");  // no width, so alignment changes nothing
}

TEST(DateFormats, DetailCodes) {
  EXPECT_EQ(fmt("%tdDD/NN/CCYY", kLeapDay), "29/02/2000");
  EXPECT_EQ(fmt("%tdnn/dd/YY", dates::mdy(3, 5, 2007)), "3/5/07");
  EXPECT_EQ(fmt("%tdMonth_dd,_CCYY", kLeapDay), "February 29, 2000");
  EXPECT_EQ(fmt("%tdmonth!-Mon!-mon", kLeapDay), "february-Feb-feb");
  EXPECT_EQ(fmt("%tdDayname_Day_Da_day_da", kLeapDay), "Tuesday Tue Tu tue tu");
  EXPECT_EQ(fmt("%tdDAYNAME!|", kLeapDay), "Tuesday  |");  // padded to the longest name
  EXPECT_EQ(fmt("%tdjjj_JJJ", kLeapDay), "60 060");
  EXPECT_EQ(fmt("%tdCCYY!hh_q_WW_ww", kLeapDay), "2000h1 1 09 9");
  EXPECT_EQ(fmt("%tdcc_yy", -679350), "1 0");
  EXPECT_EQ(fmt("%tdCC_YY", -679350), "01 00");
  EXPECT_EQ(fmt("%tcDDmonCCYY_HH:MM:SS.sss", kClock), "15jan2008 14:30:12.345");
  EXPECT_EQ(fmt("%tcHH:MM:SS.s", kClock), "14:30:12.3");
  EXPECT_EQ(fmt("%tcss,ss", kClock), "12,34");
  EXPECT_EQ(fmt("%tchh:MM_am", kClock), "2:30 pm");
  EXPECT_EQ(fmt("%tcHh:mm_A.M.", kClock), "02:30 P.M.");
  EXPECT_EQ(fmt("%tchH:MM_a.m.", kClock - 14 * 3600000.0), "0:30 a.m.");
  EXPECT_EQ(fmt("%tchh_AM", kClock - 14 * 3600000.0), "12 AM");
  EXPECT_EQ(fmt("%tmMonth_CCYY", 577), "February 2008");
  EXPECT_EQ(fmt("%tqCCYY-q", 193), "2008-2");
  EXPECT_EQ(fmt("%tw!W!e!e!k_ww,_CCYY", 2547), "Week 52, 2008");
  // Tenths are cut, not rounded: .999 shows as .9.
  EXPECT_EQ(fmt("%tcSS.s", 59999), "59.9");
}

TEST(DateFormats, OlderCodes) {
  EXPECT_EQ(fmt("%dM_d,_CY", kLeapDay), "February 29, 2000");
  EXPECT_EQ(fmt("%dn/d/Y", kLeapDay), "2/29/00");
  EXPECT_EQ(fmt("%dN/D/cy", dates::mdy(3, 5, 2007)), "03/05/207");
  EXPECT_EQ(fmt("%dj_J_h_q_w_W", dates::mdy(1, 9, 2007)), "9 009 1 1 2 02");
}

TEST(DateFormats, MissingAndOutOfRange) {
  EXPECT_EQ(fmt("%td", kMissing), ".");
  EXPECT_EQ(fmt("%tc", missing_value(2)), ".b");
  EXPECT_EQ(fmt("%td", 2936550), "2936550");  // past 31dec9999: the number itself
  EXPECT_EQ(fmt("%tm", 1e10), "1.000e+10");
}

TEST(DateFormats, Validation) {
  Format f;
  for (const char* bad : {"%tdX", "%tdDD!", "%tx", "%t", "%tdDD MM", "%tdDDx", "%dZ", "%tc9"})
    EXPECT_FALSE(parse_format(bad, &f, true)) << bad;
  for (const char* good : {"%td", "%tdDD!x", "%tc_HH:MM:SS.sss", "%tC", "%tg", "%d", "%dD/N/CY", "%~td"})
    EXPECT_TRUE(parse_format(good, &f, true)) << good;
  // The detail must fit the format's 48 bytes.
  std::string longest = "%td" + std::string(45, '_');
  EXPECT_TRUE(parse_format(longest, &f, true));
  EXPECT_FALSE(parse_format(longest + "_", &f, true));
}

TEST(DateFormats, Widths) {
  auto width = [](const char* t) {
    Format f;
    EXPECT_TRUE(parse_format(t, &f, true)) << t;
    return format_display_width(f);
  };
  EXPECT_EQ(width("%td"), 9);
  EXPECT_EQ(width("%tc"), 18);
  EXPECT_EQ(width("%tcDDmonCCYY_HH:MM:SS.sss"), 22);
  EXPECT_EQ(width("%tdMonth_dd,_CCYY"), 18);
  EXPECT_EQ(width("%tm"), 7);
  EXPECT_EQ(width("%9.2f"), 9);
  EXPECT_EQ(width("%-12s"), 12);
  EXPECT_EQ(width("%21x"), 21);
}

TEST(DateFormats, LeapSecondClockShowsSixtySeconds) {
  // The process table comes from a loader; this one knows 31dec2016.
  dates::forget_leap_table();
  int token = 0;
  dates::set_leap_loader(
      [](void*, dates::LeapTable* t) {
        t->day[0] = 20819;
        t->day[1] = dates::kLeapEndMarker;
        t->n = 1;
      },
      &token);
  const dates::LeapTable& t = dates::leap_table();
  const double leap = dates::Cdhms(t, 20819, 23, 59, 60.25);
  EXPECT_EQ(fmt("%tC", leap), "31dec2016 23:59:60");
  EXPECT_EQ(fmt("%tCHH:MM:SS.ss", leap), "23:59:60.25");
  EXPECT_EQ(fmt("%tC", leap + 750), "01jan2017 00:00:00");
  EXPECT_EQ(fmt("%tc", dates::cofC(t, leap)), "01jan2017 00:00:00");
  dates::clear_leap_loader(&token);
  dates::forget_leap_table();
}

}  // namespace
}  // namespace nuvra::data
