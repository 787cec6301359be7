// Date and time kernels: the calendar against an independent day-by-day
// walk, daily dates and periods, both clocks, reading dates from text, and
// the leap-second file.
//
// Fixed day numbers were computed with Python's datetime module, e.g.
//   python3 -c "from datetime import date; print((date(2000,2,29)-date(1960,1,1)).days)"
// gives 14669; the others are noted where they appear.
#include "data/functions/dates.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "data/missing.h"

namespace nuvra::dates {
namespace {

constexpr double M = data::kMissing;
bool dot(double v) { return data::missing_code(v) == 0; }

TEST(Calendar, EveryDayFollowsTheOneBefore) {
  // Walk the whole calendar a day at a time with the plain rules of the
  // Gregorian calendar and compare with the closed-form conversions.
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  std::int64_t y = 100;
  int m = 1, d = 1;
  for (std::int64_t day = kFirstDay; day <= kLastDay; ++day) {
    std::int64_t yy;
    int mm, dd;
    ymd_of_day(day, &yy, &mm, &dd);
    ASSERT_TRUE(yy == y && mm == m && dd == d) << day;
    ASSERT_EQ(day_of_ymd(y, m, d), day);
    bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    int len = m == 2 && leap ? 29 : kDays[m - 1];
    if (++d > len) {
      d = 1;
      if (++m > 12) {
        m = 1;
        ++y;
      }
    }
  }
  EXPECT_EQ(y, 10000);
  // 01jan1960 is day 0 (the walk started at 01jan0100 = -679350).
  EXPECT_EQ(day_of_ymd(1960, 1, 1), 0);
}

TEST(DailyDates, ConstructAndTakeApart) {
  EXPECT_EQ(mdy(2, 29, 2000), 14669);
  EXPECT_EQ(mdy(1, 15, 2008), 17546);   // python: 17546
  EXPECT_EQ(mdy(3, 1, 1900), -21855);   // python: -21855
  EXPECT_TRUE(dot(mdy(2, 29, 1900)));   // 1900 is no leap year
  EXPECT_TRUE(dot(mdy(4, 31, 2000)));
  EXPECT_TRUE(dot(mdy(1, 1, 99)));      // before the calendar
  EXPECT_TRUE(dot(mdy(1, 1, 10000)));
  EXPECT_TRUE(dot(mdy(1.5, 1, 2000)));
  EXPECT_TRUE(dot(mdy(1, 1, M)));
  // 15jan2008 was a Tuesday, 31dec1959 a Thursday, 01jan0100 a Friday.
  EXPECT_EQ(dow(17546), 2);
  EXPECT_EQ(dow(-1), 4);
  EXPECT_EQ(dow(kFirstDay), 5);
  EXPECT_EQ(day(14669), 29);
  EXPECT_EQ(month(14669), 2);
  EXPECT_EQ(year(14669), 2000);
  EXPECT_EQ(year(-1), 1959);
  EXPECT_EQ(doy(mdy(12, 31, 2000)), 366);
  EXPECT_EQ(quarter(mdy(7, 1, 2000)), 3);
  EXPECT_EQ(halfyear(mdy(6, 30, 2000)), 1);
  EXPECT_EQ(halfyear(mdy(7, 1, 2000)), 2);
  // Weeks are seven days from 1 January; the 52nd takes what is left.
  EXPECT_EQ(week(mdy(1, 7, 2001)), 1);
  EXPECT_EQ(week(mdy(1, 8, 2001)), 2);
  EXPECT_EQ(week(mdy(12, 31, 2001)), 52);  // day 365
  EXPECT_EQ(week(mdy(12, 31, 2000)), 52);  // day 366
  // A fraction of a day is still that day; beyond the calendar is `.`.
  EXPECT_EQ(day(14669.75), 29);
  EXPECT_TRUE(dot(day(kLastDay + 1)));
  EXPECT_TRUE(dot(day(-1e300)));
}

TEST(Periods, RoundTripsAndEdges) {
  EXPECT_EQ(ym(1960, 1), 0);
  EXPECT_EQ(ym(2008, 2), 577);
  EXPECT_EQ(yq(2008, 1), 192);
  EXPECT_EQ(yh(2008, 2), 97);
  EXPECT_EQ(yw(2008, 52), 2547);
  EXPECT_EQ(yw(1959, 52), -1);
  EXPECT_TRUE(dot(yw(2008, 53)));
  EXPECT_TRUE(dot(ym(2008, 0)));
  EXPECT_TRUE(dot(yq(2008, 2.5)));
  EXPECT_EQ(dofm(577), mdy(2, 1, 2008));
  EXPECT_EQ(dofq(193), mdy(4, 1, 2008));
  EXPECT_EQ(dofh(97), mdy(7, 1, 2008));
  EXPECT_EQ(dofy(2008), mdy(1, 1, 2008));
  EXPECT_EQ(dofw(yw(2001, 52)), mdy(12, 24, 2001));
  EXPECT_EQ(dofd(17546.5), 17546);
  EXPECT_EQ(mofd(-1), -1);
  EXPECT_EQ(wofd(mdy(12, 31, 2001)), yw(2001, 52));
  EXPECT_EQ(qofd(mdy(12, 31, 1959)), -1);
  EXPECT_EQ(hofd(mdy(12, 31, 1959)), -1);
  // Every month, quarter and half of the calendar comes back from its first day.
  for (double k = ym(100, 1); k <= ym(9999, 12); ++k) ASSERT_EQ(mofd(dofm(k)), k);
  for (double k = yq(100, 1); k <= yq(9999, 4); ++k) ASSERT_EQ(qofd(dofq(k)), k);
  for (double k = yw(100, 1); k <= yw(9999, 52); ++k) ASSERT_EQ(wofd(dofw(k)), k);
  EXPECT_TRUE(dot(dofm(ym(9999, 12) + 1)));
  EXPECT_TRUE(dot(dofw(yw(100, 1) - 1)));
}

TEST(PlainClock, PiecesAndTheDayBefore1960) {
  // python: ((17546*86400 + 14*3600 + 30*60 + 12)*1000 + 345) = 1516026612345
  const double c = 1516026612345.0;
  EXPECT_EQ(mdyhms(1, 15, 2008, 14, 30, 12.345), c);
  EXPECT_EQ(dhms(17546, 14, 30, 12.345), c);
  EXPECT_EQ(cofd(17546) + hms(14, 30, 12.345), c);
  EXPECT_EQ(dofc(c), 17546);
  EXPECT_EQ(hh(c), 14);
  EXPECT_EQ(mm(c), 30);
  EXPECT_DOUBLE_EQ(ss(c), 12.345);
  // One millisecond before 1960 is 31dec1959 23:59:59.999.
  EXPECT_EQ(dofc(-1), -1);
  EXPECT_EQ(hh(-1), 23);
  EXPECT_EQ(mm(-1), 59);
  EXPECT_DOUBLE_EQ(ss(-1), 59.999);
  EXPECT_TRUE(dot(hms(24, 0, 0)));
  EXPECT_TRUE(dot(hms(1, 60, 0)));
  EXPECT_TRUE(dot(hms(1, 0, 60)));
  EXPECT_TRUE(dot(hms(1.5, 0, 0)));
  EXPECT_TRUE(dot(dhms(0.5, 0, 0, 0)));
  EXPECT_TRUE(dot(mdyhms(2, 30, 2000, 0, 0, 0)));
  EXPECT_TRUE(dot(hh(static_cast<double>(kLastDay + 1) * kMsPerDay)));
  EXPECT_EQ(hours(5400000), 1.5);
  EXPECT_EQ(minutes(90000), 1.5);
  EXPECT_EQ(seconds(1500), 1.5);
  EXPECT_EQ(msofhours(1.5), 5400000);
  EXPECT_EQ(msofminutes(-2), -120000);
  EXPECT_EQ(msofseconds(0.001), 1);
  EXPECT_TRUE(dot(msofhours(1e307)));  // overflows into the missing range
}

TEST(PlainClock, EveryWholeUnitConvertsExactly) {
  // Whole numbers of hours, minutes and seconds, written as milliseconds,
  // must come back as the same whole numbers, and the way back must be
  // exact too.  A product with the rounded reciprocal misses many of them.
  for (int k = -100000; k <= 100000; ++k) {
    const double n = k;
    ASSERT_EQ(hours(n * 3600000.0), n) << k;
    ASSERT_EQ(minutes(n * 60000.0), n) << k;
    ASSERT_EQ(seconds(n * 1000.0), n) << k;
    ASSERT_EQ(msofhours(n), n * 3600000.0) << k;
    ASSERT_EQ(msofminutes(n), n * 60000.0) << k;
    ASSERT_EQ(msofseconds(n), n * 1000.0) << k;
  }
  EXPECT_EQ(hours(7200000), 2);
}

// A leap table holding 30jun1972 (day 4564) and 31dec2016 (day 20819).
LeapTable two_leaps() {
  LeapTable t;
  t.day[0] = 4564;
  t.day[1] = 20819;
  t.day[2] = kLeapEndMarker;
  t.n = 2;
  return t;
}

TEST(LeapClock, CountsTheInsertedSeconds) {
  const LeapTable t = two_leaps();
  EXPECT_EQ(t.before(4564), 0);
  EXPECT_EQ(t.before(4565), 1);
  EXPECT_EQ(t.before(20820), 2);
  EXPECT_TRUE(t.is_leap_day(20819));
  EXPECT_FALSE(t.is_leap_day(20820));
  // Before the first leap second both clocks agree.
  EXPECT_EQ(Cofd(t, 4564), cofd(4564));
  EXPECT_EQ(Cofd(t, 20820), cofd(20820) + 2000);
  // 31dec2016 23:59:59 to 01jan2017 00:00:00 is two seconds on the leap
  // clock (through 23:59:60) and one on the plain clock.
  EXPECT_EQ(Cmdyhms(t, 1, 1, 2017, 0, 0, 0) - Cmdyhms(t, 12, 31, 2016, 23, 59, 59), 2000);
  EXPECT_EQ(mdyhms(1, 1, 2017, 0, 0, 0) - mdyhms(12, 31, 2016, 23, 59, 59), 1000);
  const double leap = Cdhms(t, 20819, 23, 59, 60.5);
  EXPECT_EQ(leap, Cofd(t, 20819) + 86400500);
  EXPECT_EQ(dofC(t, leap), 20819);
  EXPECT_EQ(hhC(t, leap), 23);
  EXPECT_EQ(mmC(t, leap), 59);
  EXPECT_DOUBLE_EQ(ssC(t, leap), 60.5);
  EXPECT_EQ(dofC(t, leap + 500), 20820);
  EXPECT_EQ(hhC(t, leap + 500), 0);
  // The plain clock has no 23:59:60: it becomes the next midnight.
  EXPECT_EQ(cofC(t, leap), cofd(20820));
  EXPECT_TRUE(dot(Cdhms(t, 20818, 23, 59, 60)));  // not a leap day
  EXPECT_TRUE(dot(Cdhms(t, 20819, 23, 58, 60)));  // not the last minute
  // Cofc and cofC are inverse away from the leap second itself.
  for (double c : {-1.0, 0.0, cofd(4564) + 86399999, cofd(20000) + 12345, cofd(30000)})
    EXPECT_EQ(cofC(t, Cofc(t, c)), c) << c;
  EXPECT_EQ(Cofc(t, cofd(20820)), Cofd(t, 20820));
  // Chms is on 01jan1960, before any leap second.
  EXPECT_EQ(Chms(t, 1, 2, 3), hms(1, 2, 3));
  // An empty table (only its marker) makes the leap clock the plain one.
  const LeapTable none;
  EXPECT_EQ(Cofd(none, 20820), cofd(20820));
  EXPECT_EQ(Cofc(none, 123456789.0), 123456789.0);
}

TEST(ReadingText, DailyMasks) {
  EXPECT_EQ(parse('d', "15jan2008", "DMY", M), 17546);
  EXPECT_EQ(parse('d', "15 January 2008", "DMY", M), 17546);
  EXPECT_EQ(parse('d', "Tuesday, January 15, 2008", "MDY", M), 17546);
  EXPECT_EQ(parse('d', "2008-01-15", "YMD", M), 17546);
  EXPECT_EQ(parse('d', "20080115", "YMD", M), 17546);
  EXPECT_EQ(parse('d', "1/15/2008", "mdy", M), 17546);  // masks of dates ignore case
  EXPECT_EQ(parse('d', "15.01.2008", "DMY", M), 17546);
  EXPECT_EQ(parse('d', "x 15jan2008", "#DMY", M), 17546);
  // Two-digit years need a century or a top year.
  EXPECT_TRUE(dot(parse('d', "1/15/08", "MDY", M)));
  EXPECT_EQ(parse('d', "1/15/08", "MDY", 2050), 17546);
  EXPECT_EQ(parse('d', "1/15/60", "MDY", 2050), mdy(1, 15, 1960));
  EXPECT_EQ(parse('d', "1/15/51", "MDY", 2050), mdy(1, 15, 1951));
  EXPECT_EQ(parse('d', "1/15/50", "MDY", 2050), mdy(1, 15, 2050));
  EXPECT_EQ(parse('d', "15jan08", "DM20Y", M), 17546);
  EXPECT_EQ(parse('d', "15jan08", "DM19Y", M), mdy(1, 15, 1908));
  EXPECT_TRUE(dot(parse('d', "1/15/08", "MDY", 2050.5)));
  // Not dates.
  EXPECT_TRUE(dot(parse('d', "31feb2008", "DMY", M)));
  EXPECT_TRUE(dot(parse('d', "15jan2008", "DM", M)));     // no year in the mask
  EXPECT_TRUE(dot(parse('d', "15jan2008", "DDMY", M)));   // a part twice
  EXPECT_TRUE(dot(parse('d', "15jan2008", "DMYh", M)));   // hours are for clocks
  EXPECT_TRUE(dot(parse('d', "15jan2008 extra", "DMY", M)));
  EXPECT_TRUE(dot(parse('d', "15xyz2008", "DMY", M)));
  EXPECT_TRUE(dot(parse('d', "", "DMY", M)));
  EXPECT_TRUE(dot(parse('d', "15jan0099", "DMY", M)));
}

TEST(ReadingText, ClocksAndPeriods) {
  EXPECT_EQ(parse('c', "15jan2008 14:30:12.345", "DMYhms", M), 1516026612345.0);
  EXPECT_EQ(parse('c', "2008-01-15T14:30:12.345", "YMDhms", M), 1516026612345.0);
  EXPECT_EQ(parse('c', "1/15/2008 2:30 pm", "MDYhm", M), mdyhms(1, 15, 2008, 14, 30, 0));
  EXPECT_EQ(parse('c', "1/15/2008 12:05 a.m.", "MDYhm", M), mdyhms(1, 15, 2008, 0, 5, 0));
  EXPECT_EQ(parse('c', "1/15/2008 12:05 PM", "MDYhm", M), mdyhms(1, 15, 2008, 12, 5, 0));
  // Times not written are zero.
  EXPECT_EQ(parse('c', "15jan2008 14", "DMYhms", M), mdyhms(1, 15, 2008, 14, 0, 0));
  EXPECT_EQ(parse('c', "15jan2008", "DMYhms", M), cofd(17546));
  EXPECT_TRUE(dot(parse('c', "15jan2008 24:00", "DMYhm", M)));
  EXPECT_TRUE(dot(parse('c', "15jan2008 13:00 pm", "DMYhm", M)));
  EXPECT_TRUE(dot(parse('c', "31dec2016 23:59:60", "DMYhms", M)));  // the plain clock has no :60
  EXPECT_EQ(parse('m', "2008m2", "YM", M), 577);
  EXPECT_EQ(parse('m', "feb2008", "MY", M), 577);
  EXPECT_EQ(parse('q', "2008q1", "YQ", M), 192);
  EXPECT_EQ(parse('q', "1-2008", "QY", M), 192);
  EXPECT_EQ(parse('h', "2008h2", "YH", M), 97);
  EXPECT_EQ(parse('w', "2008w52", "YW", M), 2547);
  EXPECT_EQ(parse('y', "08", "Y", 2020), 2008);
  EXPECT_TRUE(dot(parse('q', "2008q5", "YQ", M)));
  EXPECT_TRUE(dot(parse('w', "2008w53", "YW", M)));
  EXPECT_TRUE(dot(parse('q', "2008q1", "YM", M)));  // M is no quarter
}

class LeapFile : public ::testing::Test {
 protected:
  ~LeapFile() override { std::remove(path.c_str()); }
  void write(const std::string& text) {
    std::FILE* f = std::fopen(path.c_str(), "w");
    ASSERT_TRUE(f);
    std::fputs(text.c_str(), f);
    std::fclose(f);
  }
  void read(const std::string& p) {
    notes.clear();
    read_leap_file(p, &table, [](void* c, const char* t) { *static_cast<std::string*>(c) += t; }, &notes);
  }
  std::string path = "/tmp/nuvra_leap_" + std::to_string(::getpid()) + ".maint";
  LeapTable table;
  std::string notes;
};

TEST_F(LeapFile, MissingAndUnreadableFilesLeaveOnlyTheMarker) {
  read("");
  EXPECT_EQ(notes, "system file leapseconds.maint not found\n");
  EXPECT_EQ(table.n, 0);
  EXPECT_EQ(table.day[0], kLeapEndMarker);
  read("/nonexistent-dir/leapseconds.maint");
  EXPECT_EQ(notes, "system file leapseconds.maint could not be opened\n");
  EXPECT_EQ(table.n, 0);
}

TEST_F(LeapFile, CommentsTabsBadTokensAndTheEndMarker) {
  write("* a comment 01jan2000\n\n31dec2016\t30jun1972\n31dec1972 nonsense 31dec1973\n30jun2015\n");
  read(path);
  // The bad token abandons the rest of its line (31dec1973 is not read).
  EXPECT_EQ(notes, "invalid token in system file leapseconds.maint\n");
  ASSERT_EQ(table.n, 4);
  EXPECT_EQ(table.day[0], 4564);                  // 30jun1972, sorted first
  EXPECT_EQ(table.day[1], mdy(12, 31, 1972));
  EXPECT_EQ(table.day[3], 20819);
  EXPECT_EQ(table.day[4], kLeapEndMarker);
  EXPECT_EQ(kLeapEndMarker, mdy(12, 12, 9999));   // the marker is a day in December 9999
}

TEST_F(LeapFile, AtMostTwoHundredDatesAndLinesOf120Bytes) {
  std::string text;
  for (int k = 0; k < 201; ++k) text += "01jan" + std::to_string(2000 + k) + "\n";
  write(text);
  read(path);
  EXPECT_EQ(notes, "system file leapseconds.maint too long\n");
  EXPECT_EQ(table.n, kMaxLeapDays);
  EXPECT_EQ(table.day[kMaxLeapDays - 1], mdy(1, 1, 2199));
  // A 125-byte line is read as 120 bytes and the rest: the cut falls
  // inside the twelfth date, which then reads as two bad tokens.
  std::string line = "     ";
  for (int k = 0; k < 12; ++k) line += "01jan" + std::to_string(2000 + k) + " ";
  ASSERT_EQ(line.size(), 125u);
  write(line + "\n");
  read(path);
  EXPECT_EQ(notes,
            "invalid token in system file leapseconds.maint\n"
            "invalid token in system file leapseconds.maint\n");
  EXPECT_EQ(table.n, 11);
}

}  // namespace
}  // namespace nuvra::dates
