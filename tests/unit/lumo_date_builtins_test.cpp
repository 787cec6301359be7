// Dates and clocks in Lumo against days counted by hand: 04jul1976 is day
// 6029 (16 years from 1960 with 4 leap days, 5844, then 185 days into a
// leap year) and a Sunday (01jan1960 was a Friday, and 6029 = 7 * 861 + 2).
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "data/missing.h"
#include "lumo/value.h"
#include "lumo_test_host.h"

namespace {

using namespace nuvra::lumo;
using nuvra::data::kMissing;
constexpr double M = kMissing;

struct Fixture : LumoFixture {
  ::testing::AssertionResult Is(const std::string& expr, int rows, int cols, std::vector<double> want) {
    host.errors.clear();
    int rc = Run("x = " + expr);
    if (rc != 0) return ::testing::AssertionFailure() << expr << ": rc " << rc << " " << host.errors;
    ValueRecord* v = session.values().FindGlobal("x");
    if (v->eltype != kReal) return ::testing::AssertionFailure() << expr << ": not real";
    if (v->rows != rows || v->cols != cols)
      return ::testing::AssertionFailure() << expr << ": " << v->rows << "x" << v->cols;
    for (size_t k = 0; k < want.size(); ++k)
      if (reals(v)[k] != want[k])
        return ::testing::AssertionFailure() << expr << ": element " << k << " is " << reals(v)[k] << ", want " << want[k];
    return ::testing::AssertionSuccess();
  }
};

TEST(LumoDates, DaysAndTheirParts) {
  Fixture f;
  EXPECT_TRUE(f.Is("(mdy(1, 1, 1960), mdy(7, 4, 1976), mdy(2, 30, 1976))", 1, 3, {0, 6029, M}));
  EXPECT_TRUE(f.Is("(day(6029), month(6029), year(6029), yofd(6029), dow(6029), doy(6029))", 1, 6,
                   {4, 7, 1976, 1976, 0, 186}));
  EXPECT_TRUE(f.Is("(quarter(6029), halfyear(6029), week(0))", 1, 3, {3, 2, 1}));
  // Periods count from the first of 1960.
  EXPECT_TRUE(f.Is("(ym(1976, 7), yq(1976, 3), yh(1976, 2), yw(1960, 1))", 1, 4, {198, 66, 33, 0}));
  EXPECT_TRUE(f.Is("(dofm(198), dofq(66), dofy(1976), mofd(6029), qofd(6029), hofd(6029))", 1, 6,
                   {6026, 6026, 5844, 198, 66, 33}));
  // A row of months against one year.
  EXPECT_TRUE(f.Is("ym(1976, (1, 2, 3))", 1, 3, {192, 193, 194}));
  EXPECT_TRUE(f.Is("mdy((1 \\ 2), 1, 1960)", 2, 1, {0, 31}));
  EXPECT_TRUE(f.Is("(month(.), ym(., 1))", 1, 2, {M, M}));
  EXPECT_EQ(f.Run("x = mdy((1, 2), (1, 2, 3), 1960)"), 3200);
}

TEST(LumoDates, Clocks) {
  Fixture f;
  // 01:02:03 is 3,723 seconds.
  EXPECT_TRUE(f.Is("(hms(1, 2, 3), hh(3723000), mm(3723000), ss(3723000))", 1, 4, {3723000, 1, 2, 3}));
  EXPECT_TRUE(f.Is("(cofd(1), dofc(86400005), dhms(1, 0, 0, 1), mdyhms(1, 2, 1960, 0, 0, 1))", 1, 4,
                   {86400000, 1, 86401000, 86401000}));
  EXPECT_TRUE(f.Is("(hours(7200000), minutes(90000), seconds(2500), msofhours(1), msofminutes(1), msofseconds(2))",
                   1, 6, {2, 1.5, 2.5, 3600000, 60000, 2000}));
  // Without leap seconds before 1972 the two clocks agree.
  EXPECT_TRUE(f.Is("(Cofd(1), dofC(86400000), hhC(Chms(5, 6, 7)), Cdhms(1, 0, 0, 1), Cofc(1000), cofC(1000))", 1,
                   6, {86400000, 1, 5, 86401000, 1000, 1000}));
}

TEST(LumoDates, ReadFromText) {
  Fixture f;
  EXPECT_TRUE(f.Is("(date(\"04jul1976\", \"DMY\"), date(\"7/4/76\", \"MDY\", 2000), date(\"7/4/76\", \"MDY\"))", 1,
                   3, {6029, 6029, M}));
  // Texts and masks conform like numbers do.
  EXPECT_TRUE(f.Is("date((\"1jan1960\", \"2jan1960\"), \"DMY\")", 1, 2, {0, 1}));
  EXPECT_TRUE(f.Is("date((\"1jan1960\" \\ \"1960 1 2\"), (\"DMY\", \"YMD\"))", 2, 2, {0, M, M, 1}));
  EXPECT_TRUE(f.Is("(clock(\"2jan1960 00:00:01\", \"DMYhms\"), monthly(\"1976-07\", \"YM\"), quarterly(\"1976 q3\", \"YQ\"))",
                   1, 3, {86401000, 198, 66}));
  EXPECT_TRUE(f.Is("(yearly(\"1976\", \"Y\"), halfyearly(\"1976h2\", \"YH\"), weekly(\"1960w2\", \"YW\"))", 1, 3,
                   {1976, 33, 1}));
  EXPECT_EQ(f.Run("x = date(1, \"DMY\")"), 3254);
  EXPECT_EQ(f.Run("x = date(\"1jan1960\", \"DMY\", \"2000\")"), 3253);
}

}  // namespace
