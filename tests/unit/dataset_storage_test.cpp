// Storage types, missing-value encodings and the fetch/store conversions.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

#include "data/missing.h"
#include "data/storage.h"

using namespace nuvra::data;

namespace {

std::uint64_t bits(double d) { return std::bit_cast<std::uint64_t>(d); }
std::uint32_t fbits(float f) { return std::bit_cast<std::uint32_t>(f); }

// Stores v into a fresh field of type t and returns the raw integer held.
std::int64_t stored_int(int t, double v, bool* became = nullptr) {
  unsigned char buf[8] = {};
  bool b = store_value(t, buf, v);
  if (became) *became = b;
  switch (t) {
    case kByte: { std::int8_t x; std::memcpy(&x, buf, 1); return x; }
    case kInt: { std::int16_t x; std::memcpy(&x, buf, 2); return x; }
    default: { std::int32_t x; std::memcpy(&x, buf, 4); return x; }
  }
}

double round_trip(int t, double v) {
  unsigned char buf[8] = {};
  store_value(t, buf, v);
  return fetch_value(t, buf);
}

}  // namespace

TEST(MissingValues, EncodingsAndOrder) {
  EXPECT_EQ(bits(missing_value(0)), 0x7FE0000000000000ULL);
  EXPECT_EQ(bits(missing_value(1)), 0x7FE0010000000000ULL);
  EXPECT_EQ(bits(missing_value(26)), 0x7FE01A0000000000ULL);
  EXPECT_EQ(kMissing, std::ldexp(1.0, 1023));
  EXPECT_LT(std::numeric_limits<double>::max() / 2, kMissing);
  EXPECT_LT(missing_value(0), missing_value(1));
  EXPECT_LT(missing_value(25), missing_value(26));
  for (int k = 0; k <= 26; ++k) EXPECT_EQ(missing_code(missing_value(k)), k);
  EXPECT_EQ(missing_code(1.0), -1);
  EXPECT_EQ(missing_code(-kMissing), -1);
  EXPECT_FALSE(is_missing(0x1.fffffffffffffp+1022));
  EXPECT_TRUE(is_missing(std::numeric_limits<double>::infinity()));
  EXPECT_TRUE(is_missing(std::nan("")));
  EXPECT_EQ(missing_code(std::bit_cast<double>(0x7FE01B0000000000ULL)), 0);
}

TEST(StorageTypes, WidthsNamesAndFormats) {
  const int widths[][2] = {{kByte, 1}, {kInt, 2}, {kLong, 4}, {kFloat, 4}, {kDouble, 8},
                           {kLegacyByte, 1}, {kLegacyInt, 2}, {kLegacyLong, 4},
                           {kLegacyFloat, 4}, {kLegacyDouble, 8}, {1, 1}, {244, 244},
                           {0, 0}, {245, 0}};
  for (auto [t, w] : widths) EXPECT_EQ(type_width(t), w) << t;
  EXPECT_EQ(type_name(kLong), "long");
  EXPECT_EQ(type_name(kLegacyInt), "int");
  EXPECT_EQ(type_name(17), "str17");
  EXPECT_EQ(parse_type_name("double"), kDouble);
  EXPECT_EQ(parse_type_name("str1"), 1);
  EXPECT_EQ(parse_type_name("str244"), 244);
  EXPECT_EQ(parse_type_name("str245"), 0);
  EXPECT_EQ(parse_type_name("str0"), 0);
  EXPECT_EQ(parse_type_name("str05"), 0);
  EXPECT_EQ(parse_type_name("str"), 0);
  EXPECT_EQ(default_format(kByte), "%8.0g");
  EXPECT_EQ(default_format(kInt), "%8.0g");
  EXPECT_EQ(default_format(kLong), "%12.0g");
  EXPECT_EQ(default_format(kFloat), "%9.0g");
  EXPECT_EQ(default_format(kDouble), "%10.0g");
  EXPECT_EQ(default_format(9), "%9s");
  EXPECT_EQ(default_format(3), "%9s");
  EXPECT_EQ(default_format(10), "%10s");
}

TEST(Conversions, ByteStores) {
  bool became = true;
  EXPECT_EQ(stored_int(kByte, 100, &became), 100);
  EXPECT_FALSE(became);
  EXPECT_EQ(stored_int(kByte, 101, &became), 101);
  EXPECT_TRUE(became);
  EXPECT_EQ(round_trip(kByte, 101), kMissing);
  EXPECT_EQ(stored_int(kByte, -127.9), -127);
  EXPECT_EQ(stored_int(kByte, 3.7), 3);
  EXPECT_EQ(stored_int(kByte, -3.7), -3);
  EXPECT_EQ(stored_int(kByte, 150), 101);
  EXPECT_EQ(stored_int(kByte, 127.5), 101);   // exponent 6, truncates to 127 >= `.`
  EXPECT_EQ(stored_int(kByte, -128), 101);    // exponent 7
  EXPECT_EQ(stored_int(kByte, -0.0), 0);
  EXPECT_EQ(stored_int(kByte, 1e-300), 0);
  // +infinity already counts as missing; -infinity is a number turned missing.
  EXPECT_EQ(stored_int(kByte, std::numeric_limits<double>::infinity(), &became), 101);
  EXPECT_FALSE(became);
  EXPECT_EQ(stored_int(kByte, -std::numeric_limits<double>::infinity(), &became), 101);
  EXPECT_TRUE(became);
  EXPECT_EQ(stored_int(kByte, std::nan("")), 101);
}

TEST(Conversions, IntAndLongStores) {
  EXPECT_EQ(stored_int(kInt, missing_value(3)), 32744);
  EXPECT_EQ(round_trip(kInt, missing_value(3)), missing_value(3));
  EXPECT_EQ(stored_int(kInt, 32740), 32740);
  EXPECT_EQ(stored_int(kInt, 32741), 32741);
  EXPECT_EQ(stored_int(kInt, -32767), -32767);
  EXPECT_EQ(stored_int(kInt, -32767.99), -32767);
  EXPECT_EQ(stored_int(kInt, -32768), 32741);
  EXPECT_EQ(stored_int(kLong, 2147483620.0), 2147483620);
  EXPECT_EQ(stored_int(kLong, 2147483621.0), 2147483621);
  EXPECT_EQ(stored_int(kLong, -2147483647.5), -2147483647);
  EXPECT_EQ(stored_int(kLong, 2147483648.0), 2147483621);
  EXPECT_EQ(stored_int(kLong, -2147483648.0), 2147483621);
  // Byte 5 beyond 26 in the missing range reads as `.`.
  EXPECT_EQ(stored_int(kLong, std::bit_cast<double>(0x7FE01B0000000000ULL)), 2147483621);
  // Any value in the missing exponent range takes its k from byte 5.
  EXPECT_EQ(stored_int(kLong, std::bit_cast<double>(0x7FE0020000000001ULL)), 2147483623);
}

TEST(Conversions, FloatStoresAndFetches) {
  unsigned char buf[4];
  bool became = true;
  float f;
  EXPECT_FALSE(store_value(kFloat, buf, 1e-40));
  std::memcpy(&f, buf, 4);
  EXPECT_EQ(fbits(f), 0u);
  // 2^-127 is the smallest magnitude kept: the subnormal 0x00400000.
  store_value(kFloat, buf, 0x1p-127);
  std::memcpy(&f, buf, 4);
  EXPECT_EQ(fbits(f), 0x00400000u);
  store_value(kFloat, buf, -0x1p-128);
  std::memcpy(&f, buf, 4);
  EXPECT_EQ(fbits(f) & 0x7FFFFFFFu, 0u);
  became = store_value(kFloat, buf, 1e39);
  std::memcpy(&f, buf, 4);
  EXPECT_TRUE(became);
  EXPECT_EQ(fbits(f), 0x7F000000u);
  EXPECT_EQ(fetch_value(kFloat, buf), kMissing);
  became = store_value(kFloat, buf, 0x1p127);  // exponent 127: not a number a float keeps
  std::memcpy(&f, buf, 4);
  EXPECT_TRUE(became);
  EXPECT_EQ(fbits(f), 0x7F000000u);
  EXPECT_FALSE(store_value(kFloat, buf, missing_value(1)));
  std::memcpy(&f, buf, 4);
  EXPECT_EQ(fbits(f), 0x7F000800u);
  EXPECT_EQ(bits(fetch_value(kFloat, buf)), 0x7FE0010000000000ULL);
  store_value(kFloat, buf, missing_value(26));
  std::memcpy(&f, buf, 4);
  EXPECT_EQ(fbits(f), 0x7F00D000u);
  store_value(kFloat, buf, 1.5);
  EXPECT_EQ(fetch_value(kFloat, buf), 1.5);
  store_value(kFloat, buf, 0.1);
  EXPECT_EQ(fetch_value(kFloat, buf), static_cast<double>(0.1f));
  store_value(kFloat, buf, -std::numeric_limits<double>::infinity());
  std::memcpy(&f, buf, 4);
  EXPECT_EQ(fbits(f), 0x7F000000u);
}

TEST(Conversions, EveryMissingCodeRoundTripsThroughEveryNumericType) {
  const int types[] = {kByte, kInt, kLong, kFloat, kDouble};
  for (int t : types)
    for (int k = 0; k <= 26; ++k)
      EXPECT_EQ(bits(round_trip(t, missing_value(k))), bits(missing_value(k))) << t << " " << k;
  EXPECT_EQ(stored_int(kByte, missing_value(26)), 127);
  EXPECT_EQ(stored_int(kInt, missing_value(26)), 32767);
  EXPECT_EQ(stored_int(kLong, missing_value(26)), 2147483647);
}

TEST(Conversions, DoubleStoresAsIs) {
  const double vals[] = {0.1, -1e308, 0x1.fffffffffffffp+1022, missing_value(7)};
  for (double v : vals) EXPECT_EQ(bits(round_trip(kDouble, v)), bits(v));
}

TEST(Conversions, LegacyIntegerCodesReadTheirTopValueAsMissing) {
  std::int8_t b = 127;
  EXPECT_EQ(fetch_value(kLegacyByte, &b), kMissing);
  b = 120;
  EXPECT_EQ(fetch_value(kLegacyByte, &b), 120);
  std::int16_t i = 32767;
  EXPECT_EQ(fetch_value(kLegacyInt, &i), kMissing);
  std::int32_t l = 2147483647;
  EXPECT_EQ(fetch_value(kLegacyLong, &l), kMissing);
}

TEST(Conversions, StringsAreExactlyNBytes) {
  char field[6];
  std::memset(field, '#', sizeof field);
  store_string(field, 5, "hello");
  EXPECT_EQ(std::memcmp(field, "hello", 5), 0);
  EXPECT_EQ(field[5], '#');  // no terminator written past the field
  EXPECT_EQ(fetch_string(field, 5), "hello");
  store_string(field, 5, "toolong");
  EXPECT_EQ(fetch_string(field, 5), "toolo");
  store_string(field, 5, "hi");
  EXPECT_EQ(field[2], '\0');
  EXPECT_EQ(fetch_string(field, 5), "hi");
  EXPECT_EQ(stored_string_length(field, 5), 2u);
  store_string(field, 5, "");
  EXPECT_EQ(fetch_string(field, 5), "");
}
