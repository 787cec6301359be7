// Reading display-format text into a Format.
#include <string_view>

#include "data/format.h"

namespace nuvra::data {

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Reads an unsigned decimal number at text[*pos] of at most three digits,
// written without leading zeros (a lone "0" is allowed when allow_zero).
bool read_number(std::string_view text, size_t* pos, bool allow_zero, int* value) {
  size_t p = *pos;
  int v = 0;
  int digits = 0;
  while (p < text.size() && is_digit(text[p])) {
    if (digits == 3) return false;
    v = v * 10 + (text[p] - '0');
    ++digits;
    ++p;
  }
  if (digits == 0) return false;
  if (text[*pos] == '0' && (digits > 1 || !allow_zero)) return false;
  *pos = p;
  *value = v;
  return true;
}

bool parse_date(std::string_view text, size_t p, Format* out) {
  // p is at the `t` or `d`.  %d is the older form with its own codes.
  const char lead = text[p++];
  if (lead == 't') {
    if (p >= text.size()) return false;
    const char unit = text[p++];
    if (std::string_view("cCdwmqhyg").find(unit) == std::string_view::npos) return false;
    out->date_unit = unit;
  } else {
    out->date_unit = 'd';
    out->date_old = true;
  }
  const std::string_view detail = text.substr(p);
  if (detail.size() >= sizeof out->date_detail) return false;
  if (!valid_date_detail(out->date_unit, out->date_old, detail)) return false;
  detail.copy(out->date_detail, detail.size());
  out->date_detail[detail.size()] = '\0';
  out->kind = FormatKind::kDate;
  out->width = 0;
  return true;
}

bool parse_hex(std::string_view text, Format* out) {
  struct Form {
    std::string_view text;
    FormatKind kind;
    uint8_t width;
    bool big;
  };
  static constexpr Form kForms[] = {
      {"%21x", FormatKind::kHexDouble, 21, true},
      {"%16H", FormatKind::kHexBits64, 16, true},
      {"%16L", FormatKind::kHexBits64, 16, false},
      {"%8H", FormatKind::kHexBits32, 8, true},
      {"%8L", FormatKind::kHexBits32, 8, false},
  };
  for (const Form& f : kForms) {
    if (text == f.text) {
      out->kind = f.kind;
      out->width = f.width;
      out->big_endian = f.big;
      return true;
    }
  }
  return false;
}

}  // namespace

bool parse_format(std::string_view text, Format* out, bool allow_centre) {
  *out = Format{};
  if (text.size() < 2 || text.size() > kFormatMaxBytes || text[0] != '%') return false;

  if (parse_hex(text, out)) return true;
  *out = Format{};

  size_t p = 1;
  if (text[p] == '-') {
    out->align = FormatAlign::kLeft;
    ++p;
  } else if (text[p] == '~') {
    if (!allow_centre) return false;
    out->align = FormatAlign::kCentre;
    ++p;
  }
  if (p >= text.size()) return false;
  if (text[p] == 't' || text[p] == 'd') return parse_date(text, p, out);

  int width = 0;
  if (!read_number(text, &p, false, &width) || width < 1 || width > kMaxFormatWidth) return false;
  out->width = static_cast<uint8_t>(width);

  if (p < text.size() && text[p] == 's') {
    out->kind = FormatKind::kString;
    return p + 1 == text.size();
  }
  if (out->align == FormatAlign::kCentre) return false;  // centring is for text only

  if (p >= text.size() || (text[p] != '.' && text[p] != ',')) return false;
  out->comma = text[p] == ',';
  ++p;
  int decimals = 0;
  if (!read_number(text, &p, true, &decimals) || decimals >= width) return false;
  out->decimals = static_cast<uint8_t>(decimals);

  if (p >= text.size()) return false;
  switch (text[p++]) {
    case 'g': out->kind = FormatKind::kGeneral; break;
    case 'f': out->kind = FormatKind::kFixed; break;
    case 'e': out->kind = FormatKind::kExponential; break;
    default: return false;
  }
  if (p < text.size() && text[p] == 'c' && out->kind != FormatKind::kExponential) {
    out->thousands = true;
    ++p;
  }
  return p == text.size();
}

}  // namespace nuvra::data
