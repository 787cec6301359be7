// libFuzzer target for `syntax`: the input is a pattern and the
// arguments, separated by the first newline.  Inside a program frame the
// arguments go into local 0 and `syntax` runs on the pattern.
// Whatever happens must be a return code: no crash, no sanitizer report.
// A failing `syntax` must leave the frame's locals and the dataset as they
// were (abort otherwise).
//
//   make fuzz                      (every target, briefly)
//   build-fuzz/syntax_fuzz -max_total_time=600 -max_len=300 corpus/
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "data/missing.h"
#include "data/storage.h"
#include "gui/null_side.h"
#include "interp/interp.h"
#include "interp/runner.h"

namespace {

nuvra::Interp& interp() {
  static nuvra::gui::NullSide side;
  static nuvra::Interp* ip = [] {
    auto* p = new nuvra::Interp(&side);
    nuvra::data::Dataset& ds = p->dataset;
    ds.set_obs(4);
    int j = 0;
    ds.add_variable("x", nuvra::data::kDouble, &j);
    ds.add_variable("x2", nuvra::data::kFloat, &j);
    ds.add_variable("yy", nuvra::data::kInt, &j);
    ds.add_variable("s", 4, &j);
    for (int i = 1; i <= 4; ++i) ds.store(1, i, i == 3 ? nuvra::data::kMissing : i * 1.5);
    return p;
  }();
  return *ip;
}

std::vector<std::pair<std::string, std::string>> locals(nuvra::Interp& ip) {
  std::vector<std::pair<std::string, std::string>> out;
  for (const std::string& n : ip.macros.local_names()) {
    const std::string* v = ip.macros.local(n);
    out.emplace_back(n, v ? *v : std::string());
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string all(reinterpret_cast<const char*>(data), size);
  if (all.find('\0') != std::string::npos || all.find('\r') != std::string::npos) return 0;
  size_t nl = all.find('\n');
  std::string pattern = all.substr(0, nl);
  std::string args = nl == std::string::npos ? std::string() : all.substr(nl + 1);
  if (args.find('\n') != std::string::npos) return 0;

  nuvra::Interp& ip = interp();
  {
    nuvra::Frame frame(ip, false);
    ip.macros.set_local("0", args);
    ip.macros.set_local("keep", "me");
    auto before = locals(ip);
    std::uint64_t sum = ip.dataset.checksum();
    int nvar = ip.dataset.nvar();
    nuvra::rc_t rc = ip.execute_line("syntax " + pattern);
    if (rc != 0) {
      if (locals(ip) != before) {
        std::fprintf(stderr, "failing syntax (rc %d) changed the locals\n", rc);
        std::abort();
      }
      if (ip.dataset.checksum() != sum || ip.dataset.nvar() != nvar) {
        std::fprintf(stderr, "failing syntax (rc %d) changed the data\n", rc);
        std::abort();
      }
    }
  }
  // Variables a successful newvarlist(generate) made are not kept between runs.
  while (ip.dataset.nvar() > 4) ip.dataset.drop_variables({ip.dataset.nvar()});
  ip.out.flush();
  return 0;
}
