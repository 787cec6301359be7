// The drawing driver: the operation codes, the shared drawing state a
// device reads its operands from, and a recorded list of operations that
// any device can replay.  Graph coordinates are integers with the origin
// at the bottom left and y growing upwards.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/rc.h"

namespace nuvra::graphics {

enum DriverOp : int {
#define DRIVER_OP(e, code, what) e = code,
#include "graphics/driver_ops.def"
#undef DRIVER_OP
};

enum AttributeCode : int {
#define ATTRIBUTE(e, sub) e = sub,
#include "graphics/attributes.def"
#undef ATTRIBUTE
};

enum Marker : std::uint8_t {
#define MARKER(e, name) e,
#include "graphics/markers.def"
#undef MARKER
  kMarkerCount
};

// The user's name of a marker symbol, and the symbol a name gives
// (false when it names none).
const char* marker_name(Marker m);
bool marker_from_name(std::string_view name, Marker* out);

// True when `code` is one of the driver's operations.
bool is_driver_op(int code);

struct Rgb {
  std::uint8_t r = 0, g = 0, b = 0;
  bool operator==(const Rgb&) const = default;
};

enum TextAlign : std::uint8_t { kAlignLeft, kAlignCentre, kAlignRight };

// Everything an operation may read except its text.
struct Operands {
  std::int32_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  std::int32_t r = 0;          // radius or half-size, graph units
  std::int32_t marker_r = 40;  // the current marker size (52, 61)
  std::int32_t size = 100;     // text height, graph units
  float angle = 0;             // text angle, degrees anticlockwise
  float a0 = 0, a1 = 0;        // pie slice angles, degrees
  std::uint8_t fill = 0;       // 1: paint the inside in the fill colour
  Marker symbol = kMarkCircle;
  TextAlign align = kAlignLeft;
  std::uint8_t sub = 0;        // attribute sub-code
  Rgb line{0, 0, 0};
  Rgb fill_colour{255, 255, 255};
  Rgb text_colour{0, 0, 0};
  float line_width = 1;        // points
  std::uint32_t text = 0;      // index of the text in a recording's pool
};

// The renderer's shared drawing state: the operands and the text.
struct DrawState : Operands {
  std::string_view text_value;
};

// The marker a marker operation draws: of the current marker size, or of
// size r for a sized one; filled as the state says, or always for a filled
// one.  Every device replays the three the same way.
inline std::int32_t marker_size(int code, const DrawState& s) { return code == kOpMarkerSized ? s.r : s.marker_r; }
inline bool marker_filled(int code, const DrawState& s) { return code == kOpMarkerFilled || s.fill; }

// A graph drawn once and replayed on any device.  Text strings live in one
// pool so that an operation stays a small fixed-size record.
class Recording {
 public:
  int width = 6000;   // graph units
  int height = 4000;
  Rgb background{255, 255, 255};

  void clear();
  // Appends the operation with the state's operands (and text, for the
  // text operations).
  void issue(int code, const DrawState& s);
  std::size_t size() const { return ops_.size(); }
  int code(std::size_t i) const { return ops_[i].code; }
  const Operands& operands(std::size_t i) const { return ops_[i].operands; }
  const std::string& text(std::uint32_t i) const { return texts_[i]; }
  std::size_t text_count() const { return texts_.size(); }

  // Hands each operation to dev.entry(code, state) in order; stops at the
  // first nonzero return and passes it back.  A template, so a device's
  // entry is called directly in the loop over a million points.
  template <class Device>
  rc_t replay(Device& dev) const {
    DrawState s;
    for (const Op& op : ops_) {
      static_cast<Operands&>(s) = op.operands;
      s.text_value = op.has_text ? std::string_view(texts_[op.operands.text]) : std::string_view();
      if (rc_t rc = dev.entry(op.code, s)) return rc;
    }
    return 0;
  }

  // Rebuilds from stored parts (a saved graph): false when a text index
  // is out of range.
  bool assign(std::vector<int> codes, std::vector<Operands> operands, std::vector<std::string> texts);

 private:
  struct Op {
    int code;
    bool has_text;
    Operands operands;
  };
  std::vector<Op> ops_;
  std::vector<std::string> texts_;
};

bool is_text_op(int code);

// The renderer front end: keeps the drawing state and issues operations
// into a recording.
class Canvas {
 public:
  explicit Canvas(Recording* rec) : rec_(rec) {}
  DrawState& state() { return s_; }

  void set_line(Rgb c, float width_points);
  void set_fill(Rgb c);
  void set_text_colour(Rgb c);
  void line(int x0, int y0, int x1, int y1);
  void polyline(const std::vector<std::pair<int, int>>& pts);
  void polygon(const std::vector<std::pair<int, int>>& pts, bool fill);
  void rect(int x0, int y0, int x1, int y1, bool fill);
  void marker(Marker m, int x, int y, int r, bool fill);
  void text(int x, int y, std::string_view t, int size, TextAlign a, float angle = 0);
  void pie(int x, int y, int r, float a0, float a1, bool fill);
  void begin();
  void end();

 private:
  Recording* rec_;
  DrawState s_;
};

}  // namespace nuvra::graphics
