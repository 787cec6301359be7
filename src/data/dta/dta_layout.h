// The layout of dataset files: what each format number puts where.
//
// A file is, back to back with no alignment: the header, the descriptors
// (typlist, varlist, srtlist, fmtlist, lbllist, variable labels), the
// expansion fields (characteristics), the data records, and the value-label
// tables up to the end of the file. The formats differ in the sizes of these
// pieces; FileLayout gathers them so that the reader has one table to
// consult instead of a chain of version tests.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace nuvra::dta {

inline constexpr int kFormatNewest = 114;  // written by default
inline constexpr int kFormatOld = 113;     // written with `oldformat`
inline constexpr int kFormatOldest = 102;

inline constexpr std::uint8_t kHilo = 1;  // most significant byte first
inline constexpr std::uint8_t kLohi = 2;  // least significant byte first

// Sizes shared by formats 110 and later.
inline constexpr std::size_t kHeaderSize = 109;
inline constexpr std::size_t kDataLabelSize = 81;
inline constexpr std::size_t kTimeStampSize = 18;
inline constexpr std::size_t kNameSize = 33;
inline constexpr std::size_t kFormatSize = 49;
inline constexpr std::size_t kOldFormatSize = 12;
inline constexpr std::size_t kVarLabelSize = 81;
// Longest text of one value-label entry that a table may carry.
inline constexpr std::size_t kMaxLabelTextLoaded = 32000;

// Expansion record types.
inline constexpr std::uint8_t kExpansionEnd = 0;
inline constexpr std::uint8_t kExpansionChar = 1;

// Value-label tables: one 4-byte length, the name block, then the table.
enum class LabelForm : std::uint8_t {
  kOldest,  // 12-byte head (16-bit n, 10-byte name), n 16-bit values, n 8-byte texts
  kLen9,    // 4-byte len, 9-byte name, 3 padding bytes
  kLen33,   // 4-byte len, 33-byte name, 3 padding bytes
};

struct FileLayout {
  int format = 0;
  std::size_t header = 0;      // bytes of the header, format byte included
  std::size_t data_label = 0;  // bytes of the data label in the header
  bool has_time_stamp = false;
  bool has_byteorder = true;   // 102 has none: always LOHI
  bool short_nobs = false;     // 102: 16-bit observation count
  std::size_t name = 0;        // variable and value-label names
  std::size_t fmt = 0;         // display formats
  std::size_t var_label = 0;
  // Expansion record header: 0 (none), or the width of len (2 or 4) with
  // owner and name blocks of `name` bytes.
  std::size_t expansion_len = 0;
  LabelForm labels = LabelForm::kOldest;
  bool letter_types = true;  // b i l f d and 127 + n, else the codes
  bool legacy_missing = true;  // integer missing in the type's largest value
};

// The layout of a format number that can be read; false for everything
// else (109 included).
inline bool layout_of(int format, FileLayout* out) {
  FileLayout l;
  l.format = format;
  switch (format) {
    case 102:
      l.header = 40, l.data_label = 32, l.has_byteorder = false, l.short_nobs = true;
      l.name = 9, l.fmt = 7, l.var_label = 32;
      break;
    case 103:
    case 104:
      l.header = 42, l.data_label = 32;
      l.name = 9, l.fmt = 7, l.var_label = 32;
      break;
    case 105:
    case 106:
      l.header = 60, l.data_label = 32, l.has_time_stamp = true;
      l.name = 9, l.fmt = 12, l.var_label = 32, l.expansion_len = 2;
      l.labels = format == 105 ? LabelForm::kOldest : LabelForm::kLen9;
      break;
    case 107:
    case 108:
      l.header = kHeaderSize, l.data_label = kDataLabelSize, l.has_time_stamp = true;
      l.name = 9, l.fmt = 12, l.var_label = kVarLabelSize, l.expansion_len = 2;
      l.labels = LabelForm::kLen9;
      break;
    case 110:
    case 111:
    case 112:
    case 113:
    case 114:
      l.header = kHeaderSize, l.data_label = kDataLabelSize, l.has_time_stamp = true;
      l.name = kNameSize, l.fmt = format == 114 ? kFormatSize : kOldFormatSize;
      l.var_label = kVarLabelSize, l.expansion_len = 4;
      l.labels = LabelForm::kLen33;
      l.letter_types = !(format == 111 || format == 113 || format == 114);
      l.legacy_missing = format <= 111;
      break;
    default:
      return false;
  }
  *out = l;
  return true;
}

// Bytes of one record's worth of descriptors, the sort list excepted.
inline std::size_t descriptor_bytes(const FileLayout& l, std::size_t nvar) {
  return nvar * (1 + l.name + l.fmt + l.name + l.var_label) + (nvar + 1) * 2;
}

// Letter type codes of the older formats.
inline int type_from_letter(std::uint8_t c) {
  switch (c) {
    case 'b': return 251;
    case 'i': return 252;
    case 'l': return 253;
    case 'f': return 254;
    case 'd': return 255;
    default:
      // 128 and up name str1 onwards; a byte reaches only str128.
      if (c >= 128) return c - 127;
      return 0;
  }
}

// ---- byte order -----------------------------------------------------------

inline std::uint16_t get16(const std::uint8_t* p, bool hilo) {
  return hilo ? static_cast<std::uint16_t>(p[0] << 8 | p[1]) : static_cast<std::uint16_t>(p[1] << 8 | p[0]);
}
inline std::uint32_t get32(const std::uint8_t* p, bool hilo) {
  if (hilo) return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
  return std::uint32_t{p[3]} << 24 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[1]} << 8 | p[0];
}
inline void put16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void put32(std::uint8_t* p, std::uint32_t v) {
  for (int k = 0; k < 4; ++k) p[k] = static_cast<std::uint8_t>(v >> (8 * k));
}

// Reverses the n bytes at p (a numeric field written on a HILO machine).
inline void reverse_bytes(std::uint8_t* p, int n) {
  for (int a = 0, b = n - 1; a < b; ++a, --b) {
    std::uint8_t t = p[a];
    p[a] = p[b];
    p[b] = t;
  }
}

}  // namespace nuvra::dta
