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

namespace {

// A data area of 64 MB: enough for any document the fuzzer makes, small
// enough that a claim of more observations than it holds shows up.
constexpr std::size_t kMemory = std::size_t{64} << 20;

nuvra::Interp& interp() {
  static nuvra::gui::NullSide side;
  static nuvra::Interp* ip = [] {
    auto* p = new nuvra::Interp(&side);
    p->dataset.set_memory(kMemory);
    nuvra::data::Dataset& ds = p->dataset;
    ds.add_variable("a", nuvra::data::kDouble);
    ds.add_variable("s", 4);
    ds.set_obs(3);
    ds.store(1, 2, 7.5);
    ds.store_str(2, 3, "abcd");
    ds.value_labels().define("lab", 1, "one");
    ds.set_char("_dta", "c", "text");
    return p;
  }();
  return *ip;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  nuvra::Interp& ip = interp();
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
    nuvra::data::Dataset fresh(kMemory);
    nuvra::dta::XmlLoadResult res;
    nuvra::dta::load_xml_bytes(reinterpret_cast<const char*>(data), size, opt, &fresh, &res);
    if (ip.dataset.checksum() != before) std::abort();
  }
  return 0;
}
