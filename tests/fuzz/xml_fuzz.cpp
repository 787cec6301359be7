// libFuzzer target for the XML reader: arbitrary bytes are loaded as a
// document of either kind (and as a workbook with every option that changes
// the reading), while a small dataset sits in memory. Whatever the bytes,
// the reader must return a code (never crash, hang or read out of bounds),
// and the dataset in memory must come out bit for bit as it was.
//
// Built by `make fuzz` with the other targets; seeds are the documents in
// tests/fuzz/corpus/xml_fuzz/.
#include <cstdint>
#include <cstdlib>

#include "data/dta/xml_read.h"
#include "gui/null_side.h"
#include "interp/interp.h"
#include "reader_interp.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  nuvra::Interp& ip = reader_interp();
  const std::uint64_t before = ip.dataset.checksum();
  for (int mode = 0; mode < 3; ++mode) {
    nuvra::dta::XmlLoadOptions opt;
    if (mode == 1) {
      opt.doctype = nuvra::dta::DocType::kExcel;
      opt.firstrow = opt.missing = opt.nocompress = true;
      nuvra::dta::parse_cell_range("B2:D40", &opt);
    }
    if (mode == 2) {
      opt.allstring = opt.datestring = true;
      opt.sheet = "Sheet1";
    }
    nuvra::data::Dataset fresh(kReaderMemory);
    nuvra::dta::XmlLoadResult res;
    nuvra::dta::load_xml_bytes(reinterpret_cast<const char*>(data), size, opt, &fresh, &res);
    if (ip.dataset.checksum() != before) std::abort();
  }
  return 0;
}
