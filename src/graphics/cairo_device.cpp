#include "graphics/cairo_device.h"

#ifdef NUVRA_HAVE_CAIRO
#include <cairo-pdf.h>
#include <cairo-svg.h>
#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace nuvra::graphics {

namespace {

class CairoDevice {
 public:
  CairoDevice(cairo_t* cr, const Recording& rec, double width, double height)
      : cr_(cr), sx_(width / rec.width), sy_(height / rec.height), height_(height), background_(rec.background) {
    cairo_surface_t* target = cairo_get_target(cr);
    pixels_ = cairo_surface_get_type(target) == CAIRO_SURFACE_TYPE_IMAGE;
    if (pixels_) {
      px_w_ = cairo_image_surface_get_width(target);
      px_h_ = cairo_image_surface_get_height(target);
    }
  }
  ~CairoDevice() {
    for (Sprite& sp : sprites_) cairo_surface_destroy(sp.surface);
  }
  CairoDevice(const CairoDevice&) = delete;
  CairoDevice& operator=(const CairoDevice&) = delete;

  // Strokes a polyline the recording ended inside.
  void finish() {
    if (pending_) stroke_line(polyline_line_, polyline_width_);
  }

  rc_t entry(int code, const DrawState& s) {
    // A polyline is stroked once its last vertex is in.
    if (pending_ && code != kOpVertex) stroke_line(polyline_line_, polyline_width_);
    if (code != kOpMarker && code != kOpMarkerSized && code != kOpMarkerFilled && code != kOpAttribute)
      ++generation_;
    switch (code) {
      case kOpBeginFile:
        colour(background_);
        cairo_paint(cr_);
        break;
      case kOpLine:
        cairo_new_path(cr_);
        cairo_move_to(cr_, X(s.x0), Y(s.y0));
        cairo_line_to(cr_, X(s.x1), Y(s.y1));
        stroke(s);
        break;
      case kOpBeginPolyline:
      case kOpBeginPolygon:
        cairo_new_path(cr_);
        first_ = true;
        polygon_ = code == kOpBeginPolygon;
        break;
      case kOpVertex:
        if (first_)
          cairo_move_to(cr_, X(s.x0), Y(s.y0));
        else
          cairo_line_to(cr_, X(s.x0), Y(s.y0));
        first_ = false;
        if (!polygon_) {
          polyline_line_ = s.line;
          polyline_width_ = s.line_width;
          // Stroked in pieces: one path of a million points costs more
          // than many short ones.
          if (++pending_ >= 256) {
            double x, y;
            cairo_get_current_point(cr_, &x, &y);
            stroke_line(s.line, s.line_width);
            cairo_move_to(cr_, x, y);
          }
        }
        break;
      case kOpMoveTo:
        cairo_move_to(cr_, X(s.x0), Y(s.y0));
        first_ = false;
        break;
      case kOpPolyClose:
        cairo_close_path(cr_);
        if (s.fill) {
          colour(s.fill_colour);
          cairo_fill_preserve(cr_);
        }
        stroke(s);
        first_ = true;
        polygon_ = false;
        break;
      case kOpRect:
        cairo_new_path(cr_);
        cairo_rectangle(cr_, X(s.x0), Y(s.y0), X(s.x1) - X(s.x0), Y(s.y1) - Y(s.y0));
        paint(s, s.fill);
        break;
      case kOpMarker:
      case kOpMarkerSized:
      case kOpMarkerFilled:
        marker(s, marker_size(code, s), marker_filled(code, s));
        break;
      case kOpText:
      case kOpTextBox:
        text(s);
        break;
      case kOpPie:
        cairo_new_path(cr_);
        cairo_move_to(cr_, X(s.x0), Y(s.y0));
        // Graph angles run anticlockwise with y up; on the page y is down.
        cairo_arc_negative(cr_, X(s.x0), Y(s.y0), s.r * sx_, -s.a0 * M_PI / 180, -s.a1 * M_PI / 180);
        cairo_close_path(cr_);
        paint(s, s.fill);
        break;
      default:
        break;
    }
    return 0;
  }

 private:
  double X(double x) const { return x * sx_; }
  double Y(double y) const { return height_ - y * sy_; }
  void colour(Rgb c) { cairo_set_source_rgb(cr_, c.r / 255.0, c.g / 255.0, c.b / 255.0); }
  void stroke(const DrawState& s) { stroke_line(s.line, s.line_width); }
  void stroke_line(Rgb line, float width) {
    colour(line);
    // Line widths are in points, and a graph has 1000 units to the inch
    // (0.072 points to the unit).
    cairo_set_line_width(cr_, std::max(0.5, width * sx_ / 0.072));
    cairo_set_line_cap(cr_, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr_, CAIRO_LINE_JOIN_ROUND);
    cairo_stroke(cr_);
    pending_ = 0;
  }
  void paint(const DrawState& s, bool fill) {
    if (fill) {
      colour(s.fill_colour);
      cairo_fill_preserve(cr_);
    }
    stroke(s);
  }
  // On a picture of pixels a marker is drawn once into a small image and
  // copied to each point at whole-pixel positions, and a point whose pixel
  // already holds the same marker is skipped: a scatter of a million points
  // costs a million copies at most, not a million filled paths.
  void marker(const DrawState& s, double r, bool fill) {
    if (!pixels_ || s.symbol == kMarkPoint) {
      marker_path(s, X(s.x0), Y(s.y0), r, fill);
      return;
    }
    const long px = std::lround(X(s.x0)), py = std::lround(Y(s.y0));
    int id = sprite_for(s, r, fill);
    if (id < 0) {
      marker_path(s, X(s.x0), Y(s.y0), r, fill);
      return;
    }
    if (px >= 0 && py >= 0 && px < px_w_ && py < px_h_) {
      if (stamp_.empty()) stamp_.assign(static_cast<size_t>(px_w_) * px_h_, 0);
      std::uint64_t& cell = stamp_[static_cast<size_t>(py) * px_w_ + px];
      // The cell is only trusted while nothing else has been drawn since.
      const std::uint64_t mark = (generation_ << 8) | static_cast<std::uint64_t>(id + 1);
      if (cell == mark) return;
      cell = mark;
    }
    const Sprite& sp = sprites_[static_cast<size_t>(id)];
    cairo_set_source_surface(cr_, sp.surface, static_cast<double>(px - sp.half), static_cast<double>(py - sp.half));
    cairo_paint(cr_);
  }

  struct Sprite {
    Marker symbol;
    double r;
    bool fill;
    Rgb line, fill_colour;
    float width;
    int half;
    cairo_surface_t* surface;
  };

  int sprite_for(const DrawState& s, double r, bool fill) {
    for (size_t i = 0; i < sprites_.size(); ++i) {
      const Sprite& sp = sprites_[i];
      if (sp.symbol == s.symbol && sp.r == r && sp.fill == fill && sp.line == s.line &&
          sp.fill_colour == s.fill_colour && sp.width == s.line_width)
        return static_cast<int>(i);
    }
    if (sprites_.size() >= 64) return -1;
    const double lw = std::max(0.5, s.line_width * sx_ / 0.072);
    const int half = static_cast<int>(std::ceil(std::max(r * sx_, r * sy_) + lw)) + 1;
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 2 * half + 1, 2 * half + 1);
    cairo_t* sc = cairo_create(surface);
    cairo_t* saved = cr_;
    cr_ = sc;
    marker_path(s, half, half, r, fill);
    cr_ = saved;
    cairo_destroy(sc);
    sprites_.push_back(Sprite{s.symbol, r, fill, s.line, s.fill_colour, s.line_width, half, surface});
    return static_cast<int>(sprites_.size()) - 1;
  }

  void marker_path(const DrawState& s, double x, double y, double r, bool fill) {
    const double rx = r * sx_, ry = r * sy_;
    cairo_new_path(cr_);
    switch (s.symbol) {
      case kMarkPoint:
        cairo_move_to(cr_, x, y);
        cairo_line_to(cr_, x, y);
        stroke(s);
        return;
      case kMarkCircle:
        cairo_arc(cr_, x, y, rx, 0, 2 * M_PI);
        break;
      case kMarkTriangle:
        cairo_move_to(cr_, x, y - ry);
        cairo_line_to(cr_, x - rx * 0.866025, y + ry / 2);
        cairo_line_to(cr_, x + rx * 0.866025, y + ry / 2);
        break;
      case kMarkOldTriangle:
        cairo_move_to(cr_, x - rx, y + ry);
        cairo_line_to(cr_, x + rx, y + ry);
        cairo_line_to(cr_, x, y - ry);
        break;
      case kMarkDiamond:
        cairo_move_to(cr_, x, y - ry);
        cairo_line_to(cr_, x + rx, y);
        cairo_line_to(cr_, x, y + ry);
        cairo_line_to(cr_, x - rx, y);
        break;
      case kMarkPlus:
        cairo_move_to(cr_, x - rx, y);
        cairo_line_to(cr_, x + rx, y);
        cairo_move_to(cr_, x, y - ry);
        cairo_line_to(cr_, x, y + ry);
        stroke(s);
        return;
      case kMarkCross:
        cairo_move_to(cr_, x - rx, y - ry);
        cairo_line_to(cr_, x + rx, y + ry);
        cairo_move_to(cr_, x - rx, y + ry);
        cairo_line_to(cr_, x + rx, y - ry);
        stroke(s);
        return;
      case kMarkSquare:
        cairo_rectangle(cr_, x - rx, y - ry, 2 * rx, 2 * ry);
        break;
      default:
        return;
    }
    cairo_close_path(cr_);
    paint(s, fill);
  }
  void text(const DrawState& s) {
    // Text is Latin-1 in the graph; cairo wants UTF-8.
    std::string utf8;
    for (unsigned char c : s.text_value) {
      if (c < 128) {
        utf8.push_back(static_cast<char>(c));
      } else {
        utf8.push_back(static_cast<char>(0xC0 | (c >> 6)));
        utf8.push_back(static_cast<char>(0x80 | (c & 0x3F)));
      }
    }
    cairo_save(cr_);
    cairo_select_font_face(cr_, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr_, s.size * sy_);
    cairo_text_extents_t ext;
    cairo_text_extents(cr_, utf8.c_str(), &ext);
    cairo_translate(cr_, X(s.x0), Y(s.y0));
    cairo_rotate(cr_, -s.angle * M_PI / 180);
    double dx = s.align == kAlignCentre ? -ext.x_advance / 2 : s.align == kAlignRight ? -ext.x_advance : 0;
    cairo_move_to(cr_, dx, 0);
    colour(s.text_colour);
    cairo_show_text(cr_, utf8.c_str());
    cairo_restore(cr_);
  }

  cairo_t* cr_;
  double sx_, sy_, height_;
  Rgb background_;
  bool first_ = true, polygon_ = false;
  int pending_ = 0;  // vertices of the polyline not yet stroked
  bool pixels_ = false;
  int px_w_ = 0, px_h_ = 0;
  std::vector<Sprite> sprites_;
  std::vector<std::uint64_t> stamp_;  // per pixel: (generation << 8) | (sprite + 1)
  std::uint64_t generation_ = 0;
  Rgb polyline_line_{0, 0, 0};
  float polyline_width_ = 1;
};

cairo_status_t append_bytes(void* closure, const unsigned char* data, unsigned int length) {
  auto* out = static_cast<std::vector<unsigned char>*>(closure);
  out->insert(out->end(), data, data + length);
  return CAIRO_STATUS_SUCCESS;
}

}  // namespace

bool cairo_available() { return true; }

void draw_recording(cairo_t* cr, const Recording& rec, double width, double height) {
  cairo_save(cr);
  CairoDevice dev(cr, rec, width, height);
  rec.replay(dev);
  dev.finish();
  cairo_restore(cr);
}

rc_t render_cairo(const Recording& rec, CairoFormat format, int width_px, double inches_wide,
                  std::vector<unsigned char>* out) {
  out->clear();
  const double aspect = static_cast<double>(rec.height) / rec.width;
  cairo_surface_t* surface = nullptr;
  double w = 0, h = 0;
  if (format == CairoFormat::kPng) {
    w = width_px;
    h = std::round(width_px * aspect);
    surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, static_cast<int>(w), static_cast<int>(h));
  } else {
    w = inches_wide * 72;
    h = w * aspect;
    surface = format == CairoFormat::kPdf ? cairo_pdf_surface_create_for_stream(append_bytes, out, w, h)
                                          : cairo_svg_surface_create_for_stream(append_bytes, out, w, h);
  }
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface);
    return 693;
  }
  cairo_t* cr = cairo_create(surface);
  draw_recording(cr, rec, w, h);
  cairo_status_t st = cairo_status(cr);
  cairo_destroy(cr);
  if (st == CAIRO_STATUS_SUCCESS && format == CairoFormat::kPng)
    st = cairo_surface_write_to_png_stream(surface, append_bytes, out);
  cairo_surface_finish(surface);
  if (st == CAIRO_STATUS_SUCCESS) st = cairo_surface_status(surface);
  cairo_surface_destroy(surface);
  return st == CAIRO_STATUS_SUCCESS ? 0 : 693;
}

}  // namespace nuvra::graphics

#else  // built without cairo

namespace nuvra::graphics {

bool cairo_available() { return false; }
void draw_recording(cairo_t*, const Recording&, double, double) {}
rc_t render_cairo(const Recording&, CairoFormat, int, double, std::vector<unsigned char>* out) {
  out->clear();
  return 198;
}

}  // namespace nuvra::graphics

#endif
