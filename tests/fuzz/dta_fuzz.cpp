// libFuzzer target for the dataset file reader: arbitrary bytes are loaded
// as a file of any format, whole, as descriptors only, and as a subset
// with a condition, while a small dataset sits in memory. Whatever the
// bytes, the reader must return a code (never crash, hang or read out of
// bounds), and the dataset in memory must come out bit for bit as it was.
//
// Built and run by `make fuzz` (a clang build with coverage hooks), from
// the seeds in tests/fuzz/corpus/<target>/.
// The seeds are files of every accepted format in both byte orders,
// written by tests/fuzz/dta_seeds.cpp.
#include <cstdint>
#include <cstdlib>

#include "data/dta/dta_read.h"
#include "gui/null_side.h"
#include "interp/interp.h"
#include "reader_interp.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  nuvra::Interp& ip = reader_interp();
  const std::uint64_t before = ip.dataset.checksum();
  for (int mode = 0; mode < 3; ++mode) {
    nuvra::dta::LoadOptions opt;
    if (mode == 1) opt.descriptors_only = true;
    if (mode == 2) {
      opt.in_text = "2/l";
      opt.if_text = "_n != 2";
      opt.nolabel = true;
    }
    nuvra::data::Dataset fresh(kReaderMemory);
    nuvra::dta::LoadResult res;
    nuvra::dta::load_bytes(ip, data, size, opt, &fresh, &res);
    ip.out.flush();
    if (ip.dataset.checksum() != before) std::abort();
  }
  return 0;
}
