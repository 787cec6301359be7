#include "graphics/drawing.h"

#include <utility>

namespace nuvra::graphics {

namespace {

constexpr const char* kMarkerNames[] = {
#define MARKER(e, name) name,
#include "graphics/markers.def"
#undef MARKER
};

}  // namespace

const char* marker_name(Marker m) { return m < kMarkerCount ? kMarkerNames[m] : ""; }

bool marker_from_name(std::string_view name, Marker* out) {
  for (int i = 0; i < kMarkerCount; ++i)
    if (name == kMarkerNames[i]) {
      *out = static_cast<Marker>(i);
      return true;
    }
  return false;
}

bool is_driver_op(int code) {
  switch (code) {
#define DRIVER_OP(e, c, what) case c:
#include "graphics/driver_ops.def"
#undef DRIVER_OP
    return true;
    default:
      return false;
  }
}

bool is_text_op(int code) { return code == kOpText || code == kOpTextBox; }

void Recording::clear() {
  ops_.clear();
  texts_.clear();
}

void Recording::issue(int code, const DrawState& s) {
  Op op{code, false, s};
  if (is_text_op(code)) {
    op.has_text = true;
    op.operands.text = static_cast<std::uint32_t>(texts_.size());
    texts_.emplace_back(s.text_value);
  }
  ops_.push_back(op);
}

bool Recording::assign(std::vector<int> codes, std::vector<Operands> operands, std::vector<std::string> texts) {
  if (codes.size() != operands.size()) return false;
  std::vector<Op> ops;
  ops.reserve(codes.size());
  for (std::size_t i = 0; i < codes.size(); ++i) {
    Op op{codes[i], is_text_op(codes[i]), operands[i]};
    if (op.has_text && op.operands.text >= texts.size()) return false;
    if (op.operands.symbol >= kMarkerCount || op.operands.align > kAlignRight) return false;
    ops.push_back(op);
  }
  ops_ = std::move(ops);
  texts_ = std::move(texts);
  return true;
}

void Canvas::set_line(Rgb c, float width_points) {
  s_.line = c;
  s_.line_width = width_points;
  s_.sub = kAttrLine;
  rec_->issue(kOpAttribute, s_);
}

void Canvas::set_fill(Rgb c) {
  s_.fill_colour = c;
  s_.sub = kAttrFill;
  rec_->issue(kOpAttribute, s_);
}

void Canvas::set_text_colour(Rgb c) {
  s_.text_colour = c;
  s_.sub = kAttrText;
  rec_->issue(kOpAttribute, s_);
}

void Canvas::line(int x0, int y0, int x1, int y1) {
  s_.x0 = x0, s_.y0 = y0, s_.x1 = x1, s_.y1 = y1;
  rec_->issue(kOpLine, s_);
}

void Canvas::polyline(const std::vector<std::pair<int, int>>& pts) {
  rec_->issue(kOpBeginPolyline, s_);
  for (auto [x, y] : pts) {
    s_.x0 = x, s_.y0 = y;
    rec_->issue(kOpVertex, s_);
  }
}

void Canvas::polygon(const std::vector<std::pair<int, int>>& pts, bool fill) {
  rec_->issue(kOpBeginPolygon, s_);
  for (auto [x, y] : pts) {
    s_.x0 = x, s_.y0 = y;
    rec_->issue(kOpVertex, s_);
  }
  s_.fill = fill ? 1 : 0;
  rec_->issue(kOpPolyClose, s_);
}

void Canvas::rect(int x0, int y0, int x1, int y1, bool fill) {
  s_.x0 = x0, s_.y0 = y0, s_.x1 = x1, s_.y1 = y1;
  s_.fill = fill ? 1 : 0;
  rec_->issue(kOpRect, s_);
}

void Canvas::marker(Marker m, int x, int y, int r, bool fill) {
  s_.symbol = m;
  s_.x0 = x, s_.y0 = y, s_.r = r;
  s_.fill = fill ? 1 : 0;
  rec_->issue(kOpMarkerSized, s_);
}

void Canvas::text(int x, int y, std::string_view t, int size, TextAlign a, float angle) {
  s_.x0 = x, s_.y0 = y;
  s_.size = size;
  s_.align = a;
  s_.angle = angle;
  s_.text_value = t;
  rec_->issue(kOpText, s_);
  s_.text_value = {};
}

void Canvas::pie(int x, int y, int r, float a0, float a1, bool fill) {
  s_.x0 = x, s_.y0 = y, s_.r = r;
  s_.a0 = a0, s_.a1 = a1;
  s_.fill = fill ? 1 : 0;
  rec_->issue(kOpPie, s_);
}

void Canvas::begin() { rec_->issue(kOpBeginFile, s_); }
void Canvas::end() { rec_->issue(kOpEndOnce, s_); }

}  // namespace nuvra::graphics
