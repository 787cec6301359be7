// Dates and times of the expression language.
//
// A daily date counts days from 01jan1960 (day 0); the calendar is the
// Gregorian one throughout, from 01jan0100 to 31dec9999. Periods count
// from the first period of 1960: weeks (52 to a year, the last one 8 or 9
// days long), months, quarters, half-years; a yearly date is the year.
// Clock values count milliseconds from 01jan1960 00:00:00.000. The plain
// clock has days of exactly 86,400 seconds; the leap clock also counts the
// leap seconds of the leap-second table, so a day that ends with a leap
// second is one second longer and has a 23:59:60.
//
// Every function here takes and returns doubles as the evaluator holds
// them and returns `.` for any argument outside its domain: missing,
// non-finite, out of the calendar's range, or a non-integer where a count
// (month number, hour, ...) is expected. An argument that is itself a date
// or clock value is taken at its floor, the way a clock value falls into
// its day.
#pragma once
#include <cstdint>
#include <string_view>

#include "data/functions/leapseconds.h"

namespace nuvra::dates {

inline constexpr std::int64_t kFirstDay = -679350;  // 01jan0100
inline constexpr std::int64_t kLastDay = 2936549;   // 31dec9999
inline constexpr double kMsPerDay = 86400000.0;

// ---- the calendar, on integers (no range checks)
std::int64_t day_of_ymd(std::int64_t y, int m, int d);
void ymd_of_day(std::int64_t day, std::int64_t* y, int* m, int* d);
int days_in_month(std::int64_t y, int m);

// ---- daily dates
double mdy(double m, double d, double y);
double day(double d);
double month(double d);
double year(double d);
double dow(double d);       // 0 Sunday .. 6 Saturday
double doy(double d);       // 1 .. 366
double week(double d);      // 1 .. 52
double quarter(double d);   // 1 .. 4
double halfyear(double d);  // 1 .. 2

// ---- periods
double yw(double y, double w);
double ym(double y, double m);
double yq(double y, double q);
double yh(double y, double h);
double dofy(double y);
double dofh(double h);
double dofq(double q);
double dofm(double m);
double dofw(double w);
double dofd(double d);
double hofd(double d);
double qofd(double d);
double mofd(double d);
double wofd(double d);

// ---- the plain clock
double cofd(double d);
double dofc(double c);
double hh(double c);
double mm(double c);
double ss(double c);  // seconds with their fraction, 0 .. 59.999
double hms(double h, double m, double s);
double dhms(double d, double h, double m, double s);
double mdyhms(double mo, double da, double yr, double h, double m, double s);
double hours(double ms);
double minutes(double ms);
double seconds(double ms);
double msofhours(double h);
double msofminutes(double m);
double msofseconds(double s);

// ---- the leap clock
double Cofd(const LeapTable& t, double d);
double dofC(const LeapTable& t, double c);
double hhC(const LeapTable& t, double c);
double mmC(const LeapTable& t, double c);
double ssC(const LeapTable& t, double c);  // 60.x during a leap second
double Chms(const LeapTable& t, double h, double m, double s);
double Cdhms(const LeapTable& t, double d, double h, double m, double s);
double Cmdyhms(const LeapTable& t, double mo, double da, double yr, double h, double m, double s);
double Cofc(const LeapTable& t, double c);  // plain -> leap, same wall-clock time
double cofC(const LeapTable& t, double c);  // leap -> plain; 23:59:60.x becomes the next midnight

// ---- reading dates from text
// The unit of the value wanted: 'd' daily (date()), 'c' plain clock,
// 'C' leap clock, and the periods 'y' 'h' 'q' 'm' 'w'.
// The mask names the order of the parts: D day, M month (a number or a
// name), Y year (two leading digits give the century of two-digit years,
// "19Y"), and for clocks h, m, s (hours, minutes, seconds with a fraction),
// for periods H, Q, W (halves, quarters, weeks); `#` skips one part of the
// text; blanks in the mask are ignored. Two-digit years without a century
// take the latest year not after topyear, and are refused when topyear is
// missing. The leap table is read only for 'C'.
double parse(char unit, std::string_view text, std::string_view mask, double topyear);

// A date or time broken into what the display formats show.
struct Civil {
  std::int64_t year = 0;
  int month = 1, day = 1, doy = 1, dow = 0;
  int hour = 0, minute = 0;
  int msec = 0;  // milliseconds into the minute, up to 60999 in a leap second
};
// false when v is missing or out of range for the unit ('c' 'C' 'd' 'w'
// 'm' 'q' 'h' 'y'). `week` is set for every unit.
bool civil_of(char unit, double v, Civil* out, int* week);

}  // namespace nuvra::dates
