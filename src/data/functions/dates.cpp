// The calendar and clock kernels behind the date and time functions.
#include "data/functions/dates.h"

#include <cmath>

#include "data/missing.h"

namespace nuvra::dates {
namespace {

constexpr double M = data::kMissing;
constexpr std::int64_t kMsDay = 86400000;
constexpr double kFirstMs = static_cast<double>(kFirstDay) * kMsPerDay;
constexpr double kEndMs = static_cast<double>(kLastDay + 1) * kMsPerDay;  // one past the last

// Days from 01jan1970 to 01jan1960 is -3653.
constexpr std::int64_t kEpochShift = 3653;

// An integer in [lo, hi] (missing, NaN and fractions are not).
bool whole(double x, double lo, double hi) { return x >= lo && x <= hi && x == std::floor(x); }

// A daily-date argument: its floor, within the calendar.
bool day_arg(double d, std::int64_t* out) {
  if (!(d >= static_cast<double>(kFirstDay) && d < static_cast<double>(kLastDay + 1))) return false;
  *out = static_cast<std::int64_t>(std::floor(d));
  return true;
}

// A period argument (weeks, months, ...): its floor, within [lo, hi].
bool period_arg(double v, std::int64_t lo, std::int64_t hi, std::int64_t* out) {
  if (!(v >= static_cast<double>(lo) && v < static_cast<double>(hi + 1))) return false;
  *out = static_cast<std::int64_t>(std::floor(v));
  return true;
}

std::int64_t floor_div(std::int64_t a, std::int64_t b) {
  std::int64_t q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}

bool leap_year(std::int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int day_of_year(std::int64_t y, int m, int d) {
  static constexpr int kBefore[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
  return kBefore[m - 1] + d + (m > 2 && leap_year(y) ? 1 : 0);
}

int week_of(int doy) { return doy > 364 ? 52 : (doy - 1) / 7 + 1; }

// Lowest and highest period numbers of the years 100 .. 9999.
constexpr std::int64_t lowest(int per_year) { return (100 - 1960) * static_cast<std::int64_t>(per_year); }
constexpr std::int64_t highest(int per_year) {
  return (9999 - 1960) * static_cast<std::int64_t>(per_year) + per_year - 1;
}

double ms_of_day(std::int64_t d) { return static_cast<double>(d) * kMsPerDay; }

// Milliseconds of h:m:s into a day; false when out of range. A seconds
// value below `limit` (60, or 61 in a leap second's minute) is allowed.
bool time_of(double h, double m, double s, double limit, double* ms) {
  if (!whole(h, 0, 23) || !whole(m, 0, 59) || !(s >= 0 && s < limit)) return false;
  *ms = (h * 60 + m) * 60000 + std::round(s * 1000);
  return true;
}

// A plain clock value's day and milliseconds into it.
bool split_clock(double c, std::int64_t* d, std::int64_t* t) {
  if (!(c >= kFirstMs && c < kEndMs)) return false;
  std::int64_t ms = static_cast<std::int64_t>(std::floor(c));
  *d = floor_div(ms, kMsDay);
  *t = ms - *d * kMsDay;
  return true;
}

double leap_ms_of_day(const LeapTable& t, std::int64_t d) {
  return ms_of_day(d) + 1000.0 * t.before(d);
}

// A leap clock value's day and milliseconds into it (up to 86400999 on a
// day that ends with a leap second).
bool split_leap_clock(const LeapTable& tab, double c, std::int64_t* d, std::int64_t* t) {
  if (!(c >= kFirstMs && c < leap_ms_of_day(tab, kLastDay + 1))) return false;
  std::int64_t ms = static_cast<std::int64_t>(std::floor(c));
  std::int64_t day = floor_div(ms, kMsDay);
  // Leap seconds only push a time later, so the day is this one or one of
  // the few before it.
  while (static_cast<std::int64_t>(leap_ms_of_day(tab, day)) > ms) --day;
  *d = day;
  *t = ms - static_cast<std::int64_t>(leap_ms_of_day(tab, day));
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------
// Calendar

std::int64_t day_of_ymd(std::int64_t y, int m, int d) {
  // Counting years from March puts the leap day last.
  y -= m <= 2;
  const std::int64_t era = floor_div(y, 400);
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468 + kEpochShift;
}

void ymd_of_day(std::int64_t day, std::int64_t* y, int* m, int* d) {
  const std::int64_t z = day - kEpochShift + 719468;
  const std::int64_t era = floor_div(z, 146097);
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  *d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  *m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  *y = yoe + era * 400 + (*m <= 2 ? 1 : 0);
}

int days_in_month(std::int64_t y, int m) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && leap_year(y) ? 29 : kDays[m - 1];
}

// ---------------------------------------------------------------------------
// Daily dates

double mdy(double m, double d, double y) {
  if (!whole(m, 1, 12) || !whole(y, 100, 9999) || !whole(d, 1, 31)) return M;
  const std::int64_t yy = static_cast<std::int64_t>(y);
  const int mm = static_cast<int>(m), dd = static_cast<int>(d);
  if (dd > days_in_month(yy, mm)) return M;
  return static_cast<double>(day_of_ymd(yy, mm, dd));
}

namespace {
struct Ymd {
  std::int64_t y;
  int m, d;
};
bool ymd_arg(double v, Ymd* out) {
  std::int64_t d;
  if (!day_arg(v, &d)) return false;
  ymd_of_day(d, &out->y, &out->m, &out->d);
  return true;
}
}  // namespace

double day(double v) {
  Ymd x;
  return ymd_arg(v, &x) ? x.d : M;
}
double month(double v) {
  Ymd x;
  return ymd_arg(v, &x) ? x.m : M;
}
double year(double v) {
  Ymd x;
  return ymd_arg(v, &x) ? static_cast<double>(x.y) : M;
}
double dow(double v) {
  std::int64_t d;
  if (!day_arg(v, &d)) return M;
  // 01jan1960 was a Friday.
  return static_cast<double>(d + 5 - 7 * floor_div(d + 5, 7));
}
double doy(double v) {
  Ymd x;
  return ymd_arg(v, &x) ? day_of_year(x.y, x.m, x.d) : M;
}
double week(double v) {
  Ymd x;
  return ymd_arg(v, &x) ? week_of(day_of_year(x.y, x.m, x.d)) : M;
}
double quarter(double v) {
  Ymd x;
  return ymd_arg(v, &x) ? (x.m - 1) / 3 + 1 : M;
}
double halfyear(double v) {
  Ymd x;
  return ymd_arg(v, &x) ? (x.m - 1) / 6 + 1 : M;
}

// ---------------------------------------------------------------------------
// Periods

namespace {
double period_of(double y, double k, int per_year) {
  if (!whole(y, 100, 9999) || !whole(k, 1, per_year)) return M;
  return (y - 1960) * per_year + k - 1;
}
// First day of period p of a calendar with per_year periods a year, each
// starting on the first of a month (months_each months long).
double day_of_period(double p, int per_year, int months_each) {
  std::int64_t k;
  if (!period_arg(p, lowest(per_year), highest(per_year), &k)) return M;
  std::int64_t y = 1960 + floor_div(k, per_year);
  int within = static_cast<int>(k - (y - 1960) * per_year);
  return static_cast<double>(day_of_ymd(y, within * months_each + 1, 1));
}
double period_of_day(double v, int per_year, int months_each) {
  Ymd x;
  if (!ymd_arg(v, &x)) return M;
  return static_cast<double>((x.y - 1960) * per_year + (x.m - 1) / months_each);
}
}  // namespace

double yw(double y, double w) { return period_of(y, w, 52); }
double ym(double y, double m) { return period_of(y, m, 12); }
double yq(double y, double q) { return period_of(y, q, 4); }
double yh(double y, double h) { return period_of(y, h, 2); }

double dofy(double y) {
  std::int64_t k;
  if (!period_arg(y, 100, 9999, &k)) return M;
  return static_cast<double>(day_of_ymd(k, 1, 1));
}
double dofh(double h) { return day_of_period(h, 2, 6); }
double dofq(double q) { return day_of_period(q, 4, 3); }
double dofm(double m) { return day_of_period(m, 12, 1); }
double dofw(double w) {
  std::int64_t k;
  if (!period_arg(w, lowest(52), highest(52), &k)) return M;
  std::int64_t y = 1960 + floor_div(k, 52);
  return static_cast<double>(day_of_ymd(y, 1, 1) + 7 * (k - (y - 1960) * 52));
}
double dofd(double d) {
  std::int64_t k;
  return day_arg(d, &k) ? static_cast<double>(k) : M;
}
double hofd(double d) { return period_of_day(d, 2, 6); }
double qofd(double d) { return period_of_day(d, 4, 3); }
double mofd(double d) { return period_of_day(d, 12, 1); }
double wofd(double d) {
  Ymd x;
  if (!ymd_arg(d, &x)) return M;
  return static_cast<double>((x.y - 1960) * 52 + week_of(day_of_year(x.y, x.m, x.d)) - 1);
}

// ---------------------------------------------------------------------------
// The plain clock

double cofd(double d) {
  std::int64_t k;
  return day_arg(d, &k) ? ms_of_day(k) : M;
}
double dofc(double c) {
  std::int64_t d, t;
  return split_clock(c, &d, &t) ? static_cast<double>(d) : M;
}
double hh(double c) {
  std::int64_t d, t;
  return split_clock(c, &d, &t) ? static_cast<double>(t / 3600000) : M;
}
double mm(double c) {
  std::int64_t d, t;
  return split_clock(c, &d, &t) ? static_cast<double>(t % 3600000 / 60000) : M;
}
double ss(double c) {
  if (!(c >= kFirstMs && c < kEndMs)) return M;
  return (c - 60000.0 * std::floor(c / 60000.0)) / 1000.0;
}
double hms(double h, double m, double s) {
  double t;
  return time_of(h, m, s, 60, &t) ? t : M;
}
double dhms(double d, double h, double m, double s) {
  double t;
  if (!whole(d, static_cast<double>(kFirstDay), static_cast<double>(kLastDay)) || !time_of(h, m, s, 60, &t))
    return M;
  return ms_of_day(static_cast<std::int64_t>(d)) + t;
}
double mdyhms(double mo, double da, double yr, double h, double m, double s) {
  double d = mdy(mo, da, yr);
  return data::is_missing(d) ? M : dhms(d, h, m, s);
}

namespace {
// Converts a count of milliseconds into units of `unit_ms` milliseconds, or
// back.  Dividing (never multiplying by a reciprocal) keeps every whole
// number of units exact.  Any finite value is taken.
double convert_units(double v, double unit_ms, bool to_ms) {
  if (!(std::fabs(v) < M)) return M;
  double r = to_ms ? v * unit_ms : v / unit_ms;
  return std::fabs(r) < M ? r : M;
}
}  // namespace

double hours(double ms) { return convert_units(ms, 3600000.0, false); }
double minutes(double ms) { return convert_units(ms, 60000.0, false); }
double seconds(double ms) { return convert_units(ms, 1000.0, false); }
double msofhours(double h) { return convert_units(h, 3600000.0, true); }
double msofminutes(double m) { return convert_units(m, 60000.0, true); }
double msofseconds(double s) { return convert_units(s, 1000.0, true); }

// ---------------------------------------------------------------------------
// The leap clock

double Cofd(const LeapTable& t, double d) {
  std::int64_t k;
  return day_arg(d, &k) ? leap_ms_of_day(t, k) : M;
}
double dofC(const LeapTable& tab, double c) {
  std::int64_t d, t;
  return split_leap_clock(tab, c, &d, &t) ? static_cast<double>(d) : M;
}
namespace {
// Hour, minute and milliseconds into the minute of a leap clock value.
bool leap_hms(const LeapTable& tab, double c, int* h, int* m, std::int64_t* ms) {
  std::int64_t d, t;
  if (!split_leap_clock(tab, c, &d, &t)) return false;
  if (t >= kMsDay - 60000) {  // the day's last minute, which may run to 60.999
    *h = 23;
    *m = 59;
    *ms = t - (kMsDay - 60000);
  } else {
    *h = static_cast<int>(t / 3600000);
    *m = static_cast<int>(t % 3600000 / 60000);
    *ms = t % 60000;
  }
  return true;
}
}  // namespace
double hhC(const LeapTable& tab, double c) {
  int h, m;
  std::int64_t ms;
  return leap_hms(tab, c, &h, &m, &ms) ? h : M;
}
double mmC(const LeapTable& tab, double c) {
  int h, m;
  std::int64_t ms;
  return leap_hms(tab, c, &h, &m, &ms) ? m : M;
}
double ssC(const LeapTable& tab, double c) {
  int h, m;
  std::int64_t ms;
  if (!leap_hms(tab, c, &h, &m, &ms)) return M;
  return (static_cast<double>(ms) + (c - std::floor(c))) / 1000.0;
}
double Cdhms(const LeapTable& tab, double d, double h, double m, double s) {
  if (!whole(d, static_cast<double>(kFirstDay), static_cast<double>(kLastDay))) return M;
  std::int64_t k = static_cast<std::int64_t>(d);
  double limit = (h == 23 && m == 59 && tab.is_leap_day(k)) ? 61 : 60;
  double t;
  if (!time_of(h, m, s, limit, &t)) return M;
  return leap_ms_of_day(tab, k) + t;
}
double Chms(const LeapTable& tab, double h, double m, double s) { return Cdhms(tab, 0, h, m, s); }
double Cmdyhms(const LeapTable& tab, double mo, double da, double yr, double h, double m, double s) {
  double d = mdy(mo, da, yr);
  return data::is_missing(d) ? M : Cdhms(tab, d, h, m, s);
}
double Cofc(const LeapTable& tab, double c) {
  std::int64_t d, t;
  if (!split_clock(c, &d, &t)) return M;
  return leap_ms_of_day(tab, d) + (c - ms_of_day(d));
}
double cofC(const LeapTable& tab, double c) {
  std::int64_t d, t;
  if (!split_leap_clock(tab, c, &d, &t)) return M;
  if (t >= kMsDay) return ms_of_day(d + 1);
  return ms_of_day(d) + (c - leap_ms_of_day(tab, d));
}

// ---------------------------------------------------------------------------
// Broken-down values for the display formats

bool civil_of(char unit, double v, Civil* out, int* week) {
  std::int64_t d = 0;
  Civil c;
  int wk = -1;
  switch (unit) {
    case 'd':
      if (!day_arg(v, &d)) return false;
      break;
    case 'c': {
      std::int64_t t;
      if (!split_clock(v, &d, &t)) return false;
      c.hour = static_cast<int>(t / 3600000);
      c.minute = static_cast<int>(t % 3600000 / 60000);
      c.msec = static_cast<int>(t % 60000);
      break;
    }
    case 'C': {
      std::int64_t t, ms;
      const LeapTable& tab = leap_table();
      if (!split_leap_clock(tab, v, &d, &t) || !leap_hms(tab, v, &c.hour, &c.minute, &ms)) return false;
      c.msec = static_cast<int>(ms);
      break;
    }
    case 'w': {
      double f = dofw(v);
      if (data::is_missing(f)) return false;
      d = static_cast<std::int64_t>(f);
      std::int64_t k = static_cast<std::int64_t>(std::floor(v));
      wk = static_cast<int>(k - 52 * floor_div(k, 52)) + 1;
      break;
    }
    case 'm':
    case 'q':
    case 'h':
    case 'y': {
      double f = unit == 'm' ? dofm(v) : unit == 'q' ? dofq(v) : unit == 'h' ? dofh(v) : dofy(v);
      if (data::is_missing(f)) return false;
      d = static_cast<std::int64_t>(f);
      break;
    }
    default:
      return false;
  }
  ymd_of_day(d, &c.year, &c.month, &c.day);
  c.doy = day_of_year(c.year, c.month, c.day);
  c.dow = static_cast<int>(d + 5 - 7 * floor_div(d + 5, 7));
  *out = c;
  *week = wk > 0 ? wk : week_of(c.doy);
  return true;
}

}  // namespace nuvra::dates
