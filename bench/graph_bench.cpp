// Graph export throughput: a scatter of N points (1,000,000 by default)
// laid out once, then written as EPS by the PostScript device and as a PNG
// by the cairo device, each timed separately with the file write.
//
// usage: graph_bench [POINTS] [DIR]   (DIR holds the scratch files; /tmp)
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "graphics/cairo_device.h"
#include "graphics/ps_device.h"
#include "graphics/render.h"

namespace {

double seconds_since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

bool write_file(const std::string& path, const void* data, size_t n) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(data, 1, n, f) == n;
  return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
  long n = argc > 1 ? std::atol(argv[1]) : 1000000;
  std::string dir = argc > 2 ? argv[2] : "/tmp";
  using namespace nuvra::graphics;
  GraphSpec spec;
  Plot p;
  p.x.reserve(static_cast<size_t>(n));
  p.y.reserve(static_cast<size_t>(n));
  for (long i = 0; i < n; ++i) {
    double x = static_cast<double>(i) / n * 10;
    p.x.push_back(x);
    p.y.push_back(std::sin(x * 3) + std::cos(i * 0.7919));
  }
  spec.plots.push_back(std::move(p));
  spec.title = "One million points";

  auto t0 = std::chrono::steady_clock::now();
  Recording rec;
  std::string error;
  int rc = 0;
  if (!render_graph(spec, &rec, &error, &rc)) {
    std::fprintf(stderr, "graph_bench: %s\n", error.c_str());
    return 1;
  }
  double layout = seconds_since(t0);

  std::string base = dir + "/graph_bench." + std::to_string(::getpid());
  t0 = std::chrono::steady_clock::now();
  std::string ps;
  PsPage page;
  page.xsize = rec.width / 1000.0;
  page.ysize = rec.height / 1000.0;
  render_postscript(rec, page, &ps);
  bool ok = write_file(base + ".eps", ps.data(), ps.size());
  double eps = seconds_since(t0);

  t0 = std::chrono::steady_clock::now();
  std::vector<unsigned char> png;
  rc = render_cairo(rec, CairoFormat::kPng, 800, 5.5, &png);
  ok = ok && rc == 0 && write_file(base + ".png", png.data(), png.size());
  double pngs = seconds_since(t0);
  std::remove((base + ".eps").c_str());
  std::remove((base + ".png").c_str());
  if (!ok) {
    std::fprintf(stderr, "graph_bench: writing failed\n");
    return 1;
  }
  std::printf("graph: %ld-point scatter: layout %.3f s, EPS %.3f s (%.1f MB), PNG %.3f s (%zu KB)\n", n, layout, eps,
              ps.size() / 1e6, pngs, png.size() / 1024);
  return 0;
}
