// Display formats: which texts are formats, and what values look like
// under them.  Expected texts are worked out by hand from the format rules
// and from the binary values of the doubles involved.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "data/format.h"
#include "data/missing.h"

namespace nuvra::data {
namespace {

double from_bits(uint64_t b) { return std::bit_cast<double>(b); }

std::string fmt(const char* f, double v) { return format_number(f, v); }

// ---------------------------------------------------------------- parsing

TEST(FormatParse, NumericFormsRecordWidthDecimalsAndFlags) {
  Format f;
  ASSERT_TRUE(parse_format("%9.0g", &f));
  EXPECT_EQ(f.kind, FormatKind::kGeneral);
  EXPECT_EQ(f.width, 9);
  EXPECT_EQ(f.decimals, 0);
  EXPECT_EQ(f.align, FormatAlign::kRight);
  EXPECT_FALSE(f.thousands);
  EXPECT_FALSE(f.comma);

  ASSERT_TRUE(parse_format("%-12.2fc", &f));
  EXPECT_EQ(f.kind, FormatKind::kFixed);
  EXPECT_EQ(f.align, FormatAlign::kLeft);
  EXPECT_EQ(f.width, 12);
  EXPECT_EQ(f.decimals, 2);
  EXPECT_TRUE(f.thousands);

  ASSERT_TRUE(parse_format("%10,3e", &f));
  EXPECT_EQ(f.kind, FormatKind::kExponential);
  EXPECT_TRUE(f.comma);
  EXPECT_EQ(f.decimals, 3);

  ASSERT_TRUE(parse_format("%12,0gc", &f));
  EXPECT_TRUE(f.comma);
  EXPECT_TRUE(f.thousands);

  // The extremes of width and decimals.
  ASSERT_TRUE(parse_format("%1.0g", &f));
  EXPECT_EQ(f.width, 1);
  ASSERT_TRUE(parse_format("%244.243f", &f));
  EXPECT_EQ(f.width, 244);
  EXPECT_EQ(f.decimals, 243);
}

TEST(FormatParse, StringHexAndDateForms) {
  Format f;
  ASSERT_TRUE(parse_format("%9s", &f));
  EXPECT_EQ(f.kind, FormatKind::kString);
  EXPECT_EQ(f.align, FormatAlign::kRight);
  ASSERT_TRUE(parse_format("%-244s", &f));
  EXPECT_EQ(f.align, FormatAlign::kLeft);
  EXPECT_EQ(f.width, 244);

  // Centring only where the caller allows it.
  EXPECT_FALSE(parse_format("%~12s", &f));
  ASSERT_TRUE(parse_format("%~12s", &f, true));
  EXPECT_EQ(f.align, FormatAlign::kCentre);
  EXPECT_FALSE(parse_format("%~9.2f", &f, true));

  ASSERT_TRUE(parse_format("%21x", &f));
  EXPECT_EQ(f.kind, FormatKind::kHexDouble);
  ASSERT_TRUE(parse_format("%16H", &f));
  EXPECT_EQ(f.kind, FormatKind::kHexBits64);
  EXPECT_TRUE(f.big_endian);
  ASSERT_TRUE(parse_format("%16L", &f));
  EXPECT_FALSE(f.big_endian);
  ASSERT_TRUE(parse_format("%8H", &f));
  EXPECT_EQ(f.kind, FormatKind::kHexBits32);
  ASSERT_TRUE(parse_format("%8L", &f));
  EXPECT_EQ(f.width, 8);

  ASSERT_TRUE(parse_format("%td", &f));
  EXPECT_EQ(f.kind, FormatKind::kDate);
  EXPECT_EQ(f.date_unit, 'd');
  ASSERT_TRUE(parse_format("%tcHH:MM:SS", &f));  // ends in a letter of the hex forms
  EXPECT_EQ(f.date_unit, 'c');
  ASSERT_TRUE(parse_format("%-tdDD/NN/CCYY", &f));
  EXPECT_EQ(f.align, FormatAlign::kLeft);
  ASSERT_TRUE(parse_format("%tC", &f));
  EXPECT_EQ(f.date_unit, 'C');
  EXPECT_TRUE(parse_format("%d", &f));
  EXPECT_TRUE(parse_format("%dM/D/Y", &f));
  EXPECT_TRUE(parse_format("%~tq", &f, true));
  EXPECT_FALSE(parse_format("%~tq", &f));
}

TEST(FormatParse, MalformedTextsAreRefused) {
  const char* bad[] = {
      "",          "%",         "9.0g",      "%g",        "%0g",       "%9g",
      "%9.g",      "%.2f",      "%9.9g",     "%9.10g",    "%0.0g",     "%245.0g",
      "%1000.0g",  "%09.2f",    "%9.02f",    "%300s",     "%245s",     "%0s",
      "%9.2s",     "%s",        "%-s",       "%9.2ec",    "%9.2fcc",   "%9.2fs",
      "%9.2x",     "%-21x",     "%20x",      "%21X",      "%16h",      "%8l",
      "%4H",       "%9.2d",     "%9.2f ",    " %9.2f",    "%--9.2f",   "%-~9s",
      "%9.2gc,",   "%tz",       "%t",        "%9.2.1f",   "%9;2f",     "%+9.2f",
  };
  Format f;
  for (const char* text : bad) EXPECT_FALSE(parse_format(text, &f)) << text;
}

TEST(FormatParse, LengthLimitIs48Bytes) {
  Format f;
  std::string text = "%td";
  text.append(44, 'D');  // 22 day codes and a blank: 48 bytes
  text += '_';
  EXPECT_TRUE(parse_format(text, &f));
  text += 'D';  // 49
  EXPECT_FALSE(parse_format(text, &f));
  EXPECT_FALSE(parse_format(std::string_view("%9.0g\0", 6), &f));
  EXPECT_FALSE(parse_format("%tdDD\tMM", &f));
}

TEST(FormatParse, ValidForTypePairsStringFormatsWithStrings) {
  Format f;
  ASSERT_TRUE(parse_format("%9s", &f));
  EXPECT_TRUE(valid_for_type(f, true));
  EXPECT_FALSE(valid_for_type(f, false));
  for (const char* numeric : {"%9.0g", "%9.2f", "%10.3e", "%21x", "%8L", "%td"}) {
    ASSERT_TRUE(parse_format(numeric, &f)) << numeric;
    EXPECT_TRUE(valid_for_type(f, false)) << numeric;
    EXPECT_FALSE(valid_for_type(f, true)) << numeric;
  }
}

// ---------------------------------------------------------------- %w.dg

TEST(FormatGeneral, AnchorsOf9_0g) {
  EXPECT_EQ(fmt("%9.0g", 1), "        1");
  EXPECT_EQ(fmt("%9.0g", 1.0 / 3), " .3333333");
  EXPECT_EQ(fmt("%9.0g", 2.0 / 3), " .6666667");
  EXPECT_EQ(fmt("%9.0g", -1.0 / 3), "-.3333333");
  EXPECT_EQ(fmt("%9.0g", 123456789), "123456789");
  EXPECT_EQ(fmt("%9.0g", 1234567890), "1.235e+09");
  EXPECT_EQ(fmt("%9.0g", 1e-10), "1.000e-10");
  EXPECT_EQ(fmt("%9.0g", 100000000), "100000000");
  EXPECT_EQ(fmt("%9.0g", 0), "        0");
}

TEST(FormatGeneral, SeventeenDigitsWhenAskedFor) {
  // d up to 17 shows d significant digits, as C's %.17g does; a double read
  // back from 17 digits is the same double.
  EXPECT_EQ(fmt("%20.17g", 0.1), "  .10000000000000001");
  EXPECT_EQ(fmt("%24.17g", 1.0 / 3), "      .33333333333333331");
  for (double v : {0.1, 1.0 / 3, 2.0 / 3, -1.0 / 7, 3.141592653589793, 123.456, -0.7, 2.0 / 3 * 1e5}) {
    char c[64];
    std::snprintf(c, sizeof c, "%.17g", v);
    std::string want = c;
    std::size_t zero = want.find("0.");
    if (zero == 0 || zero == 1) want.erase(zero, 1);  // the leading zero is dropped
    std::string got = fmt("%24.17g", v);
    EXPECT_EQ(got.substr(got.find_first_not_of(' ')), want) << v;
    EXPECT_EQ(std::strtod(got.c_str(), nullptr), v);
  }
  // With d of 0 the cap stays at 16 digits.
  EXPECT_EQ(fmt("%18.0g", 0.1), "                .1");
  EXPECT_EQ(fmt("%18.0g", 1.0 / 3), " .3333333333333333");
}

TEST(FormatGeneral, ZeroSignAndSmallFractions) {
  EXPECT_EQ(fmt("%9.0g", -0.0), "        0");
  EXPECT_EQ(fmt("%9.0g", 0.25), "      .25");
  EXPECT_EQ(fmt("%9.0g", -0.5), "      -.5");
  EXPECT_EQ(fmt("%9.0g", 0.1), "       .1");
  EXPECT_EQ(fmt("%9.0g", 1.0 / 7), " .1428571");
  EXPECT_EQ(fmt("%9.0g", 0.037472712), " .0374727");  // 6 digits fill 8 columns
  EXPECT_EQ(fmt("%9.0g", 22.0 / 7), " 3.142857");
  EXPECT_EQ(fmt("%9.0g", -22.0 / 7), "-3.142857");
  EXPECT_EQ(fmt("%9.0g", 123.456789), " 123.4568");
}

TEST(FormatGeneral, PowersOfTen) {
  EXPECT_EQ(fmt("%9.0g", 1e8), "100000000");
  EXPECT_EQ(fmt("%9.0g", 1e9), "1.000e+09");
  EXPECT_EQ(fmt("%9.0g", 1e15), "1.000e+15");
  EXPECT_EQ(fmt("%9.0g", 1e100), "1.00e+100");
  EXPECT_EQ(fmt("%9.0g", 1e-100), "1.00e-100");
  EXPECT_EQ(fmt("%9.0g", 0.001), "     .001");
  // .0001 keeps 4 digit positions in fixed form against 4 in "1.000e-04";
  // .00001 keeps only 3.
  EXPECT_EQ(fmt("%9.0g", 0.0001), "    .0001");
  EXPECT_EQ(fmt("%9.0g", 0.00001), "1.000e-05");
}

TEST(FormatGeneral, NegativeValuesGiveUpAColumnOnlyWhenTheyMust) {
  EXPECT_EQ(fmt("%9.0g", -12345678), "-12345678");
  EXPECT_EQ(fmt("%9.0g", -100000000), "-1.00e+08");
  EXPECT_EQ(fmt("%9.0g", -1234567890), "-1.23e+09");
  EXPECT_EQ(fmt("%9.0g", -1e-10), "-1.00e-10");
}

TEST(FormatGeneral, ValuesThatJustFitOrJustOverflow) {
  // Rounded to an integer, the digits may use the sign's column.
  EXPECT_EQ(fmt("%9.0g", 12345678.9), " 12345679");
  EXPECT_EQ(fmt("%9.0g", 99999999.96), "100000000");
  EXPECT_EQ(fmt("%9.0g", 999999999.6), "1.000e+09");
  // 12345678.5 is exact in binary: C rounds the tie to even.
  EXPECT_EQ(fmt("%9.0g", 12345678.5), " 12345678");
  EXPECT_EQ(fmt("%9.0g", 1000000.5), "  1000000");
  EXPECT_EQ(fmt("%9.0g", 100000.25), " 100000.2");
  // .99999999 at 7 decimals carries to 1.0000000, which no longer fits.
  EXPECT_EQ(fmt("%9.0g", 0.99999999), "        1");
}

TEST(FormatGeneral, TinyAndSubnormalValues) {
  EXPECT_EQ(fmt("%9.0g", 4.9406564584124654e-324), "4.94e-324");
  EXPECT_EQ(fmt("%9.0g", 2.5e-300), "2.50e-300");
  EXPECT_EQ(fmt("%9.0g", 1.5e-7), "1.500e-07");
}

TEST(FormatGeneral, WiderFormatsCapAtSixteenDigits) {
  EXPECT_EQ(fmt("%18.0g", 0.1), "                .1");
  EXPECT_EQ(fmt("%18.0g", 1.0 / 3), " .3333333333333333");
  EXPECT_EQ(fmt("%18.0g", 2.0 / 3), " .6666666666666666");
  EXPECT_EQ(fmt("%30.0g", 1.0 / 3), "             .3333333333333333");
  EXPECT_EQ(fmt("%18.0g", -2.5), "              -2.5");
  EXPECT_EQ(fmt("%18.0g", 9007199254740992.0), "  9007199254740992");
  EXPECT_EQ(fmt("%18.0g", 1e17), "100000000000000000");
  EXPECT_EQ(fmt("%18.0g", 1e18), "1.000000000000e+18");
  EXPECT_EQ(fmt("%18.0g", 1e-5), "1.000000000000e-05");
}

TEST(FormatGeneral, VeryNarrowWidthsOverflowRatherThanCut) {
  EXPECT_EQ(fmt("%1.0g", 5), "5");
  EXPECT_EQ(fmt("%1.0g", 12), "12");
  EXPECT_EQ(fmt("%3.0g", 0.5), " .5");
  EXPECT_EQ(fmt("%2.0g", 0.5), "5e-01");
  EXPECT_EQ(fmt("%2.0g", -7), "-7");
}

TEST(FormatGeneral, DecimalsCapTheSignificantDigits) {
  EXPECT_EQ(fmt("%9.2g", 1.0 / 3), "      .33");
  EXPECT_EQ(fmt("%9.2g", 123.456), "  1.2e+02");
  EXPECT_EQ(fmt("%9.2g", 123), "      123");  // integers stay whole
  EXPECT_EQ(fmt("%9.3g", 2.5e-7), " 2.50e-07");
  EXPECT_EQ(fmt("%9.4g", 3.14159265), "    3.142");
}

TEST(FormatGeneral, ThousandsSeparatorsCountInTheWidth) {
  EXPECT_EQ(fmt("%12.0gc", 1234567), "   1,234,567");
  EXPECT_EQ(fmt("%9.0gc", 1234567), "1,234,567");
  EXPECT_EQ(fmt("%9.0gc", 12345678), "1.235e+07");
  EXPECT_EQ(fmt("%9.0gc", 1234.5678), " 1,234.57");
  EXPECT_EQ(fmt("%9.0gc", 999), "      999");
  EXPECT_EQ(fmt("%9,0g", -1.0 / 3), "-,3333333");
  EXPECT_EQ(fmt("%12,0gc", 1234.5678), "  1.234,5678");
}

// ---------------------------------------------------------------- %w.df, %w.de

TEST(FormatFixed, RoundsTheBinaryValueAsCDoes) {
  // -0.005 is -0.005000000000000000104... in binary: away from zero.
  EXPECT_EQ(fmt("%9.2f", -0.005), "    -0.01");
  EXPECT_EQ(fmt("%9.2f", 0.005), "     0.01");
  // 1.005 is 1.00499999999999989...; 2.675 is 2.67499999999999982...
  EXPECT_EQ(fmt("%9.2f", 1.005), "     1.00");
  EXPECT_EQ(fmt("%9.2f", 2.675), "     2.67");
  EXPECT_EQ(fmt("%9.0f", 2.5), "        2");
  // A negative value that rounds to zero keeps its sign; zero itself not.
  EXPECT_EQ(fmt("%9.2f", -0.004), "    -0.00");
  EXPECT_EQ(fmt("%9.2f", -0.0), "     0.00");
  EXPECT_EQ(fmt("%9.2f", 0.25), "     0.25");
}

TEST(FormatFixed, SeparatorsCommaDecimalAlignmentAndOverflow) {
  EXPECT_EQ(fmt("%12.2fc", 1234567.891), "1,234,567.89");
  EXPECT_EQ(fmt("%14.2fc", 1234567.891), "  1,234,567.89");
  EXPECT_EQ(fmt("%12,2fc", 1234567.891), "1.234.567,89");
  EXPECT_EQ(fmt("%9,2f", 3.14159), "     3,14");
  EXPECT_EQ(fmt("%-9.2f", 3.14159), "3.14     ");
  EXPECT_EQ(fmt("%-12.2fc", -1234.5), "-1,234.50   ");
  EXPECT_EQ(fmt("%9.0fc", 1000), "    1,000");
  EXPECT_EQ(fmt("%9.0fc", 100), "      100");
  EXPECT_EQ(fmt("%9.0fc", -1000000), "-1,000,000");
  EXPECT_EQ(fmt("%4.2f", 12345.678), "12345.68");
}

TEST(FormatExponential, MantissaDecimalsAndExponentDigits) {
  EXPECT_EQ(fmt("%10.2e", 12345), "  1.23e+04");
  EXPECT_EQ(fmt("%-10.2e", 12345), "1.23e+04  ");
  EXPECT_EQ(fmt("%10,2e", 12345), "  1,23e+04");
  EXPECT_EQ(fmt("%9.0e", 5), "    5e+00");
  EXPECT_EQ(fmt("%12.3e", -1e-100), " -1.000e-100");
  EXPECT_EQ(fmt("%10.3e", 0), " 0.000e+00");
}

// ---------------------------------------------------------------- missing values

TEST(FormatMissing, SystemAndExtendedMissingShowTheirNames) {
  EXPECT_EQ(fmt("%9.0g", from_bits(0x7FE0000000000000ULL)), "        .");
  EXPECT_EQ(fmt("%9.0g", from_bits(0x7FE0010000000000ULL)), "       .a");
  EXPECT_EQ(fmt("%9.0g", from_bits(0x7FE01A0000000000ULL)), "       .z");
  EXPECT_EQ(fmt("%9.0g", missing_value(3)), "       .c");
  EXPECT_EQ(fmt("%-9.0g", missing_value(2)), ".b       ");
  // A byte 5 beyond .z reads as .; so does a larger value in the binade.
  EXPECT_EQ(fmt("%9.0g", from_bits(0x7FE01B0000000000ULL)), "        .");
  EXPECT_EQ(fmt("%9.0g", from_bits(0x7FE1000000000000ULL)), "        .");
  // The comma decimal sign and separators leave missing values alone.
  EXPECT_EQ(fmt("%9,2f", missing_value(0)), "        .");
  EXPECT_EQ(fmt("%12.2fc", missing_value(26)), "          .z");
  EXPECT_EQ(fmt("%10.2e", missing_value(1)), "        .a");
  EXPECT_EQ(fmt("%1.0g", missing_value(1)), ".a");
}

TEST(FormatMissing, NonFiniteValuesShowAsSystemMissing) {
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(fmt("%9.0g", inf), "        .");
  EXPECT_EQ(fmt("%9.0g", -inf), "        .");
  EXPECT_EQ(fmt("%9.2f", std::numeric_limits<double>::quiet_NaN()), "        .");
  // The largest non-missing double, just below 2^1023, is a number.
  EXPECT_EQ(fmt("%9.0g", from_bits(0x7FDFFFFFFFFFFFFFULL)), "8.99e+307");
}

// ---------------------------------------------------------------- hex dumps

TEST(FormatHex, DoubleInHexadecimalNotation) {
  EXPECT_EQ(fmt("%21x", 1), "+1.0000000000000X+000");
  EXPECT_EQ(fmt("%21x", 2), "+1.0000000000000X+001");
  EXPECT_EQ(fmt("%21x", 0.5), "+1.0000000000000X-001");
  EXPECT_EQ(fmt("%21x", -1.5), "-1.8000000000000X+000");
  EXPECT_EQ(fmt("%21x", 1024), "+1.0000000000000X+00a");
  EXPECT_EQ(fmt("%21x", 0.1), "+1.999999999999aX-004");
  EXPECT_EQ(fmt("%21x", 0), "+0.0000000000000X-3ff");
  EXPECT_EQ(fmt("%21x", 4.9406564584124654e-324), "+0.0000000000001X-3ff");
  // The hex forms dump stored bits, missing values included.
  EXPECT_EQ(fmt("%21x", missing_value(0)), "+1.0000000000000X+3ff");
  EXPECT_EQ(fmt("%21x", missing_value(1)), "+1.0010000000000X+3ff");
}

TEST(FormatHex, DoubleBytesBigAndLittleEndian) {
  EXPECT_EQ(fmt("%16H", 1), "3ff0000000000000");
  EXPECT_EQ(fmt("%16L", 1), "000000000000f03f");
  EXPECT_EQ(fmt("%16L", -2), "00000000000000c0");
  EXPECT_EQ(fmt("%16H", 0.1), "3fb999999999999a");
  EXPECT_EQ(fmt("%16L", 0.1), "9a9999999999b93f");
  EXPECT_EQ(fmt("%16H", missing_value(0)), "7fe0000000000000");
  EXPECT_EQ(fmt("%16H", missing_value(26)), "7fe01a0000000000");
}

TEST(FormatHex, FloatBytesFollowTheFloatStore) {
  EXPECT_EQ(fmt("%8H", 1), "3f800000");
  EXPECT_EQ(fmt("%8L", 1), "0000803f");
  EXPECT_EQ(fmt("%8H", 0.1), "3dcccccd");
  EXPECT_EQ(fmt("%8L", 0.1), "cdcccc3d");
  EXPECT_EQ(fmt("%8H", -2), "c0000000");
  EXPECT_EQ(fmt("%8H", 1e-40), "00000000");  // below 2^-127 stores 0
  EXPECT_EQ(fmt("%8H", 1e39), "7f000000");   // overflow stores float .
  EXPECT_EQ(fmt("%8H", missing_value(0)), "7f000000");
  EXPECT_EQ(fmt("%8H", missing_value(1)), "7f000800");
  EXPECT_EQ(fmt("%8H", missing_value(26)), "7f00d000");
  EXPECT_EQ(fmt("%8L", missing_value(26)), "00d0007f");
}

// ---------------------------------------------------------------- strings

TEST(FormatString, AlignmentAndLongText) {
  EXPECT_EQ(format_string("%9s", "abc"), "      abc");
  EXPECT_EQ(format_string("%-9s", "abc"), "abc      ");
  EXPECT_EQ(format_string("%~9s", "abc"), "   abc   ");
  EXPECT_EQ(format_string("%~8s", "abc"), "  abc   ");
  EXPECT_EQ(format_string("%3s", "abcdef"), "abcdef");
  EXPECT_EQ(format_string("%-3s", "abcdef"), "abcdef");
  EXPECT_EQ(format_string("%3s", ""), "   ");
  EXPECT_EQ(format_string("%1s", "x"), "x");
}

TEST(FormatString, WrongKindsGiveNothing) {
  EXPECT_EQ(format_string("%9.0g", "abc"), "");
  EXPECT_EQ(format_number("%9s", 1), "");
  EXPECT_EQ(format_number("%td", 1), "02jan1960");  // dates are numeric formats
  EXPECT_EQ(format_number("%9.10g", 1), "");
  EXPECT_EQ(format_number("%09.2f", 1), "");
}

// ---------------------------------------------------------------- buffers and widths

TEST(FormatBuffer, ShortBuffersAreCutButTheFullLengthIsReturned) {
  Format f;
  ASSERT_TRUE(parse_format("%9.0g", &f));
  char buf[5];
  std::memset(buf, 'x', sizeof buf);
  EXPECT_EQ(render_number(f, 1.0 / 3, buf, sizeof buf), 9u);
  EXPECT_STREQ(buf, " .33");
  EXPECT_EQ(render_number(f, 1.0 / 3, buf, 0), 9u);
  EXPECT_EQ(buf[0], ' ');  // cap 0: nothing written

  ASSERT_TRUE(parse_format("%-6s", &f));
  char sbuf[4];
  EXPECT_EQ(render_string(f, "ab", sbuf, sizeof sbuf), 6u);
  EXPECT_STREQ(sbuf, "ab ");
}

TEST(FormatBuffer, WidestFormatsStayWithinTheRenderBuffer) {
  EXPECT_EQ(fmt("%244.0g", 1.0 / 3), std::string(227, ' ') + ".3333333333333333");
  const std::string one = fmt("%244.243f", 1);
  EXPECT_EQ(one, "1." + std::string(243, '0'));

  Format f;
  ASSERT_TRUE(parse_format("%244.243fc", &f));
  char buf[kRenderBufferSize];
  // 309 integer digits, 102 separators, the point and 243 decimals, the sign.
  const size_t n = render_number(f, -std::numeric_limits<double>::max(), buf, sizeof buf);
  EXPECT_EQ(n, 1u + 309 + 102 + 1 + 243);
  EXPECT_EQ(std::strncmp(buf, "-179,769,313,486,231,570,", 25), 0);
  EXPECT_EQ(std::strlen(buf), n);
}

}  // namespace
}  // namespace nuvra::data
