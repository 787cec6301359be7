// png_diff A.png B.png [TOLERANCE]: compares two pictures of the same size
// pixel by pixel.  A pixel differs when any channel differs by more than
// 48 of 255; the pictures match when at most TOLERANCE (a fraction,
// default 0.01) of the pixels differ.  Exit 0 on a match, 1 otherwise,
// 2 when a file cannot be read.
#include <cairo.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: png_diff A.png B.png [TOLERANCE]\n");
    return 2;
  }
  double tolerance = argc > 3 ? std::atof(argv[3]) : 0.01;
  cairo_surface_t* a = cairo_image_surface_create_from_png(argv[1]);
  cairo_surface_t* b = cairo_image_surface_create_from_png(argv[2]);
  if (cairo_surface_status(a) || cairo_surface_status(b)) {
    std::fprintf(stderr, "png_diff: cannot read %s\n", cairo_surface_status(a) ? argv[1] : argv[2]);
    return 2;
  }
  cairo_surface_flush(a);
  cairo_surface_flush(b);
  int w = cairo_image_surface_get_width(a), h = cairo_image_surface_get_height(a);
  if (w != cairo_image_surface_get_width(b) || h != cairo_image_surface_get_height(b)) {
    std::printf("png_diff: sizes differ: %dx%d against %dx%d\n", w, h, cairo_image_surface_get_width(b),
                cairo_image_surface_get_height(b));
    return 1;
  }
  const unsigned char* pa = cairo_image_surface_get_data(a);
  const unsigned char* pb = cairo_image_surface_get_data(b);
  int sa = cairo_image_surface_get_stride(a), sb = cairo_image_surface_get_stride(b);
  long differing = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const unsigned char* ca = pa + y * sa + 4 * x;
      const unsigned char* cb = pb + y * sb + 4 * x;
      for (int k = 0; k < 3; ++k)
        if (std::abs(ca[k] - cb[k]) > 48) {
          ++differing;
          break;
        }
    }
  double fraction = static_cast<double>(differing) / (static_cast<double>(w) * h);
  std::printf("png_diff: %ld of %d pixels differ (%.4f)\n", differing, w * h, fraction);
  cairo_surface_destroy(a);
  cairo_surface_destroy(b);
  return fraction <= tolerance ? 0 : 1;
}
