#include "output/nmcl_chars.h"

namespace nuvra::output {
namespace {

struct CharEntry {
  std::string_view name;
  uint8_t latin1;
  uint8_t macroman;  // the Mac Roman code, or the plain-letter fallback
};

// Accented and national characters. The Latin-1 column is ISO 8859-1
// except the euro sign, which takes its Windows-1252 position 128.
constexpr CharEntry kLetters[] = {
    {"A'", 193, 231},  {"A'g", 192, 203}, {"A^", 194, 229}, {"A:", 196, 128},
    {"E'", 201, 131},  {"E'g", 200, 233}, {"E^", 202, 230}, {"E:", 203, 232},
    {"I'", 205, 234},  {"I'g", 204, 237}, {"I^", 206, 235}, {"I:", 207, 236},
    {"O'", 211, 238},  {"O'g", 210, 241}, {"O^", 212, 239}, {"O:", 214, 133},
    {"U'", 218, 242},  {"U'g", 217, 244}, {"U^", 219, 243}, {"U:", 220, 134},
    {"a'", 225, 135},  {"a'g", 224, 136}, {"a^", 226, 137}, {"a:", 228, 138},
    {"e'", 233, 142},  {"e'g", 232, 143}, {"e^", 234, 144}, {"e:", 235, 145},
    {"i'", 237, 146},  {"i'g", 236, 147}, {"i^", 238, 148}, {"i:", 239, 149},
    {"o'", 243, 151},  {"o'g", 242, 152}, {"o^", 244, 153}, {"o:", 246, 154},
    {"u'", 250, 156},  {"u'g", 249, 157}, {"u^", 251, 158}, {"u:", 252, 159},
    {"Y'", 221, 'Y'},  {"y'", 253, 'y'},  {"y:", 255, 216},
    {"A~", 195, 204},  {"a~", 227, 139},  {"O~", 213, 205}, {"o~", 245, 155},
    {"N~", 209, 132},  {"n~", 241, 150},  {"C,", 199, 130}, {"c,", 231, 141},
    {"O/", 216, 175},  {"o/", 248, 191},  {"AE", 198, 174}, {"ae", 230, 190},
    {"ss", 223, 167},  {"r?", 191, 192},  {"r!", 161, 193}, {"L-", 163, 163},
    {"Y=", 165, 180},  {"C=", 128, 'E'},
};

struct PlainEntry {
  std::string_view name;
  uint8_t byte;
  bool drawing;
};

constexpr PlainEntry kPlain[] = {
    {"-(", '{', false},  {")-", '}', false}, {"'g", '`', false}, {"$|", '$', false},
    {"S|", '$', false},  {"-", kDrawHorizontal, true}, {"|", kDrawVertical, true},
    {"+", kDrawCross, true}, {"TT", kDrawTopTee, true}, {"BT", kDrawBottomTee, true},
    {"LT", kDrawLeftTee, true}, {"RT", kDrawRightTee, true}, {"BRC", kDrawBottomRight, true},
    {"BLC", kDrawBottomLeft, true}, {"TRC", kDrawTopRight, true}, {"TLC", kDrawTopLeft, true},
};

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

bool lookup_nmcl_char(std::string_view name, NmclCharset charset, uint8_t* byte, bool* drawing) {
  if (name.size() == 4 && name[0] == '0' && name[1] == 'x') {
    int hi = hex_digit(name[2]), lo = hex_digit(name[3]);
    if (hi < 0 || lo < 0) return false;
    *byte = static_cast<uint8_t>(hi * 16 + lo);
    *drawing = false;
    return true;
  }
  for (const PlainEntry& e : kPlain) {
    if (name == e.name) {
      *byte = e.byte;
      *drawing = e.drawing;
      return true;
    }
  }
  for (const CharEntry& e : kLetters) {
    if (name == e.name) {
      *byte = charset == NmclCharset::Latin1 ? e.latin1 : e.macroman;
      *drawing = false;
      return true;
    }
  }
  return false;
}

}  // namespace nuvra::output
