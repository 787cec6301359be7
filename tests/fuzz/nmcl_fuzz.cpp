// libFuzzer target for the NMCL renderer: arbitrary bytes fed in arbitrary
// chunks at an arbitrary width, with a text log attached and the more
// prompt answering.  Every LineRecord handed to the sink is checked for a
// consistent layout and a line of at most 255 columns.
//
// Built and run by `make fuzz` (a clang build with coverage hooks), from
// the seeds in tests/fuzz/corpus/<target>/.
#include <fcntl.h>
#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "output/nmcl_stream.h"

namespace {

using namespace nuvra::output;

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "LineRecord check failed: %s\n", what);
  std::abort();
}

unsigned get16(const uint8_t* p) { return p[0] | (p[1] << 8); }

void check_record(const uint8_t* rec) {
  unsigned total = get16(rec);
  unsigned marker_off = get16(rec + 2);
  unsigned style_off = get16(rec + 4);
  unsigned text_off = get16(rec + 6);
  if (total > kRecordMax) fail("record larger than its buffer");
  if (!(11 <= marker_off && marker_off <= style_off && style_off < text_off && text_off < total))
    fail("section offsets out of order");
  unsigned text_len = total - text_off - 1;
  if (text_len > 255) fail("line longer than 255 columns");
  if (rec[total - 1] != 0) fail("text not NUL-terminated");
  if (((text_len + 1) & 0xFF) != rec[9]) fail("text length byte");
  if (rec[8] > 1) fail("continuation flag");

  // Links: count, entries, two zeros, all before the markers.
  unsigned p = 11;
  for (unsigned i = 0; i < rec[10]; ++i) {
    if (p + 4 > marker_off) fail("link entry past its section");
    unsigned start = rec[p], end = rec[p + 1], tlen = rec[p + 3];
    if (start > end || end > text_len) fail("link columns");
    if (tlen == 0 || p + 4 + tlen > marker_off || rec[p + 4 + tlen - 1] != 0) fail("link target");
    p += 4 + tlen;
  }
  if (p + 2 != marker_off || rec[p] != 0 || rec[p + 1] != 0) fail("link section end");
  if (marker_off - 10 > kLinkSectionMax) fail("link section above 765 bytes");

  // Markers: NUL-terminated names, then a final NUL, under 100 bytes.
  unsigned q = marker_off;
  while (q < style_off && rec[q] != 0) {
    while (q < style_off && rec[q] != 0) ++q;
    ++q;
  }
  if (q + 1 != style_off) fail("marker section");
  if (style_off - marker_off - 1 >= kMarkerAreaMax) fail("marker area too large");

  // Style runs: ends rise and the last one closes the text.
  const uint8_t* runs = rec + style_off;
  unsigned last = runs[0];
  if (style_off + 2 + 2 * (last + 1) != text_off) fail("style run section size");
  unsigned prev = runs[1];
  if (prev != 0) fail("first run start");
  for (unsigned r = 0; r <= last; ++r) {
    unsigned end = runs[3 + 2 * r];
    if (end < prev || end > text_len) fail("style run end");
    prev = end;
  }
  if (text_len > 0 && prev != text_len) fail("runs do not cover the text");

  DecodedLine d = decode_line_record(rec);
  if (d.text.size() != text_len || plain_text(rec).size() > 255) fail("decoded length");
}

struct FuzzSink {
  FuzzedDataProvider* fdp;
  static int sink(void* arg, const uint8_t* rec, int kind) {
    auto* self = static_cast<FuzzSink*>(arg);
    if (kind == kSinkLine || kind == kSinkPartial || kind == kSinkMore) {
      if (!rec) fail("record missing");
      check_record(rec);
    }
    if (kind == kSinkMore) {
      static const int kKeys[] = {' ', '\n', '\r', 'l', 'q', 3, 'x'};
      return kKeys[self->fdp->ConsumeIntegralInRange<int>(0, 6)];
    }
    return 0;
  }
};

int g_null_fd = -1;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (g_null_fd < 0) g_null_fd = ::open("/dev/null", O_WRONLY);
  FuzzedDataProvider fdp(data, size);
  FuzzSink fs{&fdp};
  {
    NmclStream s;
    s.set_sink(FuzzSink::sink, &fs);
    s.set_width(fdp.ConsumeIntegralInRange<int>(0, 300));
    s.set_page_length(fdp.ConsumeIntegralInRange<int>(0, 30));
    s.set_charset(fdp.ConsumeBool() ? NmclCharset::Latin1 : NmclCharset::MacRoman);
    s.set_title_style(fdp.ConsumeBool());
    s.set_ccl_hook([](std::string_view name) { return std::string(name) + "{bf:x}"; });
    s.attach_text_log(g_null_fd, kLogAdd);
    s.attach_nmcl_log(g_null_fd, kLogAdd);
    while (fdp.remaining_bytes() > 0) {
      size_t len = fdp.ConsumeIntegralInRange<size_t>(0, 2048);
      std::string chunk = fdp.ConsumeBytesAsString(len);
      s.log_markup(chunk);
      s.feed(chunk);
      if (fdp.ConsumeIntegralInRange<int>(0, 15) == 0) s.flush();
      if (fdp.ConsumeIntegralInRange<int>(0, 31) == 0) s.set_width(fdp.ConsumeIntegralInRange<int>(0, 300));
      if (fdp.ConsumeIntegralInRange<int>(0, 63) == 0) (void)s.nmcl_log_header();
    }
    s.finish();
  }
  return 0;
}
