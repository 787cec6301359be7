// The cairo device: draws the driver's operations with cairo, onto a
// surface of the caller's (the graph window) or into PNG, PDF and SVG files.
#pragma once
#include <string>
#include <vector>

#include "base/rc.h"
#include "graphics/drawing.h"

typedef struct _cairo cairo_t;

namespace nuvra::graphics {

// False when the system was built without cairo.
bool cairo_available();

// Draws the recording onto `cr`, scaled to a width x height area (in the
// context's units) with its origin at the top left: the entry point the
// graph window calls.
void draw_recording(cairo_t* cr, const Recording& rec, double width, double height);

enum class CairoFormat { kPng, kPdf, kSvg };

// The recording as the bytes of a file: a PNG of width_px pixels across
// (the height in proportion), or a PDF or SVG page of the graph's size at
// 72 points per inch for `inches_wide` inches.  0, or 198 (not available
// in this build), or 693 (cairo failed).
rc_t render_cairo(const Recording& rec, CairoFormat format, int width_px, double inches_wide,
                  std::vector<unsigned char>* out);

}  // namespace nuvra::graphics
