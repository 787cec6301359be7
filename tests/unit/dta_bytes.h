// Byte images of dataset files for tests, put together field by field from
// the documented layouts (never by the writer): a little builder with
// either byte order, and fixed zero-padded fields.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace nuvra::testing {

struct Bytes {
  std::vector<std::uint8_t> b;
  bool hilo = false;

  Bytes& u8(unsigned v) {
    b.push_back(static_cast<std::uint8_t>(v));
    return *this;
  }
  Bytes& uint(std::uint64_t v, int n) {
    for (int k = 0; k < n; ++k) {
      int shift = hilo ? 8 * (n - 1 - k) : 8 * k;
      b.push_back(static_cast<std::uint8_t>(v >> shift));
    }
    return *this;
  }
  Bytes& u16(unsigned v) { return uint(v, 2); }
  Bytes& u32(std::uint32_t v) { return uint(v, 4); }
  Bytes& u64(std::uint64_t v) { return uint(v, 8); }
  // Text then zeros up to the width (the text must be shorter, or exactly
  // the width for a field that needs no terminator).
  Bytes& field(std::string_view s, std::size_t width) {
    b.insert(b.end(), s.begin(), s.end());
    b.insert(b.end(), width - s.size(), 0);
    return *this;
  }
  Bytes& raw(std::string_view s) {
    b.insert(b.end(), s.begin(), s.end());
    return *this;
  }
  Bytes& zeros(std::size_t n) {
    b.insert(b.end(), n, 0);
    return *this;
  }
};

// ---- files of every accepted format ---------------------------------------

// The widths each format uses, from the table of older formats.
struct Shape {
  std::size_t name, fmt, varlab, datalab;
  bool letters, legacy, stamp, expansion, len4;
  int labels;  // 0 oldest form, 1 with a 9-byte name, 2 with a 33-byte name
};

inline Shape shape_of(int f) {
  Shape s{};
  s.name = f >= 110 ? 33 : 9;
  s.fmt = f <= 104 ? 7 : f == 114 ? 49 : 12;
  s.varlab = f <= 106 ? 32 : 81;
  s.datalab = f <= 106 ? 32 : 81;
  s.letters = !(f == 111 || f == 113 || f == 114);
  s.legacy = f <= 111;
  s.stamp = f >= 105;
  s.expansion = f >= 105;
  s.len4 = f >= 110;
  s.labels = f <= 105 ? 0 : f <= 108 ? 1 : 2;
  return s;
}

struct Var {
  std::string name;
  char letter;   // b i l f d, or 's' for a string of width `width`
  int width;
  std::string fmt;
  std::string lab;    // value-label name
  std::string label;  // variable label
};

struct Table {
  std::string name;
  std::vector<std::pair<int, std::string>> entries;  // in value order
};

struct Recipe {
  int format = 114;
  bool hilo = false;
  std::string label = "old data";
  std::vector<Var> vars;
  std::vector<int> sort;
  std::vector<std::string> records;  // each already in the file's byte order
  std::vector<Table> tables;
  std::vector<std::pair<std::string, std::string>> dta_chars;  // _dta[name] = text
  int filetype = 1;
  std::uint8_t stamp_last = 0;
};

inline int code_of(const Var& v) {
  switch (v.letter) {
    case 'b': return 251;
    case 'i': return 252;
    case 'l': return 253;
    case 'f': return 254;
    case 'd': return 255;
    default: return v.width;
  }
}

inline std::vector<std::uint8_t> build(const Recipe& sp) {
  Shape s = shape_of(sp.format);
  Bytes f;
  f.hilo = sp.hilo;
  int nv = static_cast<int>(sp.vars.size());
  if (sp.format == 102) {
    f.u8(102).u8(0).u16(sp.filetype).u16(nv).u16(static_cast<unsigned>(sp.records.size())).field(sp.label, 32);
  } else {
    f.u8(sp.format).u8(sp.hilo ? 1 : 2).u8(sp.filetype).u8(0).u16(nv).u32(static_cast<std::uint32_t>(sp.records.size()));
    f.field(sp.label, s.datalab);
    if (s.stamp) f.raw(" 3 Mar 1999 10:20").u8(sp.stamp_last);
  }
  for (const Var& v : sp.vars) f.u8(s.letters ? (v.letter == 's' ? 127 + v.width : v.letter) : code_of(v));
  for (const Var& v : sp.vars) f.field(v.name, s.name);
  for (int j : sp.sort) f.u16(j);
  for (std::size_t k = sp.sort.size(); k <= sp.vars.size(); ++k) f.u16(0);
  for (const Var& v : sp.vars) f.field(v.fmt, s.fmt);
  for (const Var& v : sp.vars) f.field(v.lab, s.name);
  for (const Var& v : sp.vars) f.field(v.label, s.varlab);
  if (s.expansion) {
    for (const auto& [name, text] : sp.dta_chars) {
      f.u8(1);
      f.uint(2 * s.name + text.size() + 1, s.len4 ? 4 : 2);
      f.field("_dta", s.name).field(name, s.name).field(text, text.size() + 1);
    }
    f.u8(0).uint(0, s.len4 ? 4 : 2);
  }
  for (const std::string& r : sp.records) f.raw(r);
  for (const Table& t : sp.tables) {
    if (s.labels == 0) {
      f.u16(static_cast<unsigned>(t.entries.size())).field(t.name, 10);
      for (const auto& e : t.entries) f.u16(static_cast<std::uint16_t>(e.first));
      for (const auto& e : t.entries) f.field(e.second, 8);
      continue;
    }
    std::uint32_t txtlen = 0;
    for (const auto& e : t.entries) txtlen += static_cast<std::uint32_t>(e.second.size() + 1);
    auto n = static_cast<std::uint32_t>(t.entries.size());
    f.u32(8 + 8 * n + txtlen).field(t.name, s.labels == 1 ? 9 : 33).zeros(3);
    f.u32(n).u32(txtlen);
    std::uint32_t off = 0;
    for (const auto& e : t.entries) {
      f.u32(off);
      off += static_cast<std::uint32_t>(e.second.size() + 1);
    }
    for (const auto& e : t.entries) f.u32(static_cast<std::uint32_t>(e.first));
    for (const auto& e : t.entries) f.field(e.second, e.second.size() + 1);
  }
  return f.b;
}

// One record's numbers in a byte order.
struct Rec {
  Bytes b;
  explicit Rec(bool hilo) { b.hilo = hilo; }
  Rec& i16(int v) {
    b.u16(static_cast<std::uint16_t>(v));
    return *this;
  }
  Rec& u8(int v) {
    b.u8(static_cast<unsigned>(v));
    return *this;
  }
  Rec& f64(std::uint64_t bits) {
    b.u64(bits);
    return *this;
  }
  Rec& str(std::string_view s, std::size_t w) {
    b.field(s, w);
    return *this;
  }
  std::string done() const { return std::string(b.b.begin(), b.b.end()); }
};

// x int, y double, s str5; x sorted and labelled.
inline Recipe standard(int format, bool hilo) {
  Recipe sp;
  sp.format = format;
  sp.hilo = hilo;
  sp.vars = {{"x", 'i', 2, "%8.0g", "lab", "the x"}, {"y", 'd', 8, "%10.0g", "", ""}, {"s", 's', 5, "%9s", "", ""}};
  sp.sort = {1};
  // The integer `.` of the older files is the type's largest value.
  int dot = format <= 111 ? 32767 : 32741;
  sp.records = {Rec(hilo).i16(-3).f64(0x4002000000000000ULL).str("hello", 5).done(),
                Rec(hilo).i16(dot).f64(0xC202A05F20000000ULL).str("hi", 5).done()};
  sp.tables = {{"lab", {{-2, "minus"}, {1, "one"}}}};
  sp.dta_chars = {{"note", "hi there"}};
  return sp;
}

}  // namespace nuvra::testing
