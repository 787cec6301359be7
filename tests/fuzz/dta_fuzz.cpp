// libFuzzer target for the dataset file reader: arbitrary bytes are loaded
// as a file of any format, whole, as descriptors only, and as a subset
// with a condition, while a small dataset sits in memory. Whatever the
// bytes, the reader must return a code (never crash, hang or read out of
// bounds), and the dataset in memory must come out bit for bit as it was.
//
// Build by hand (a clang build of the core library with coverage hooks):
//   cmake -S . -B /tmp/dtafuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
//     -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DNUVRA_SANITIZE=ON \
//     -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link
//   ninja -C /tmp/dtafuzz nuvracore
//   clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -Isrc tests/fuzz/dta_fuzz.cpp \
//     /tmp/dtafuzz/libnuvracore.a -fopenmp -lz $(pkg-config --libs libedit) -o /tmp/dtafuzz/dta_fuzz
// Seeds: files of every accepted format in both byte orders, written by
//   clang++ -std=c++20 -Isrc -Itests/unit tests/fuzz/dta_seeds.cpp -o /tmp/dtafuzz/dta_seeds
//   /tmp/dtafuzz/dta_seeds corpus/
//   /tmp/dtafuzz/dta_fuzz -max_total_time=300 -rss_limit_mb=2048 corpus/
#include <cstdint>
#include <cstdlib>

#include "data/dta/dta_read.h"
#include "gui/window_side.h"
#include "interp/interp.h"

namespace {

class NullSide : public nuvra::gui::WindowSide {
 public:
  int read_key() override { return nuvra::gui::kKeyEndOfInput; }
  void alert(const std::array<std::string, 4>&) override {}
  int sink(const uint8_t*, int) override { return 0; }
};

// A data area of 64 MB: enough for any file the fuzzer makes, small enough
// that a claim of more observations than the file holds shows up.
constexpr std::size_t kMemory = std::size_t{64} << 20;

nuvra::Interp& interp() {
  static NullSide side;
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
    nuvra::dta::LoadOptions opt;
    if (mode == 1) opt.descriptors_only = true;
    if (mode == 2) {
      opt.in_text = "2/l";
      opt.if_text = "_n != 2";
      opt.nolabel = true;
    }
    nuvra::data::Dataset fresh(kMemory);
    nuvra::dta::LoadResult res;
    nuvra::dta::load_bytes(ip, data, size, opt, &fresh, &res);
    ip.out.flush();
    if (ip.dataset.checksum() != before) std::abort();
  }
  return 0;
}
