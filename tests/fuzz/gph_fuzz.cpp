// libFuzzer target for the saved-graph (.gph) reader.  Each input is read
// twice: as a whole file, and as the payload of a file whose header
// (magic line, length and checksum) is made to match it, so that mutations
// reach the payload's parser instead of stopping at the checksum.
//
// Whatever the bytes, the reader must return (never crash, hang or read
// out of bounds).  A graph it accepts must write back to the same bytes it
// was read from (when the file is of the current version), read again to
// the same graph, and replay through the PostScript device to a whole
// file.  The payload is tried under every version the reader takes.
//
// Built and run by `make fuzz` (a clang build with coverage hooks), from
// the seeds in tests/fuzz/corpus/<target>/.
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "graphics/gph_file.h"
#include "graphics/ps_device.h"

namespace {

using namespace nuvra::graphics;

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "gph check failed: %s\n", what);
  std::abort();
}

void put(std::string* s, std::uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) s->push_back(static_cast<char>(v >> (8 * i)));
}

void check(const std::uint8_t* data, std::size_t size) {
  SavedGraph g;
  std::string why;
  if (read_gph(data, size, &g, &why) != GphFault::kNone) return;
  std::string again = write_gph(g);
  // A file of the current version writes back byte for byte; an older
  // one is written in the current version.
  const std::string current = "*! nuvra graph file " + std::to_string(kGphVersion) + "\n";
  bool is_current = size >= current.size() && std::memcmp(data, current.data(), current.size()) == 0;
  if (is_current && (again.size() != size || std::memcmp(again.data(), data, size) != 0))
    fail("accepted file does not write back");
  SavedGraph h;
  if (read_gph(reinterpret_cast<const std::uint8_t*>(again.data()), again.size(), &h, &why) != GphFault::kNone)
    fail("written file refused");
  if (h.drawing.size() != g.drawing.size() || h.serset.nobs != g.serset.nobs || !(h.facts == g.facts))
    fail("second reading differs");
  PsPage page;
  page.xsize = g.drawing.width / 1000.0;
  page.ysize = g.drawing.height / 1000.0;
  std::string ps;
  render_postscript(g.drawing, page, &ps);
  if (!ps.starts_with("%!PS-Adobe-2.0") || !ps.ends_with("%%EOF\n")) fail("not a whole PostScript file");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  check(data, size);

  for (int version = 1; version <= kGphVersion; ++version) {
    std::string file = "*! nuvra graph file " + std::to_string(version) + "\n";
    put(&file, size, 8);
    put(&file, crc32(crc32(0L, Z_NULL, 0), data, static_cast<uInt>(size)), 4);
    file.append(reinterpret_cast<const char*>(data), size);
    check(reinterpret_cast<const std::uint8_t*>(file.data()), file.size());
  }
  return 0;
}
