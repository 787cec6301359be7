// libFuzzer target for the varlist reader: arbitrary text read as a list
// of existing variables and as a new-variable list, with and without
// abbreviation.  A success must name only variables that exist (or valid
// new names with valid types); a failure must carry a known code and a
// message.  Anything else aborts.
//
//   make fuzz
//   build-fuzz/varlist_fuzz -max_total_time=600 -max_len=200 corpus/
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "data/dataset.h"
#include "data/storage.h"
#include "data/varlist.h"

namespace {

nuvra::data::Dataset& dataset() {
  static nuvra::data::Dataset* ds = [] {
    auto* d = new nuvra::data::Dataset(1 << 20);
    const char* names[] = {"a", "ab", "abc", "b1", "b2", "b10", "myvar", "myvar2", "z_", "_x"};
    int j = 0;
    for (const char* n : names) d->add_variable(n, nuvra::data::kFloat, &j);
    d->add_variable("s", 3, &j);
    d->set_obs(2);
    return d;
  }();
  return *ds;
}

[[noreturn]] void fail(const char* what, const std::string& text) {
  std::fprintf(stderr, "%s on \"%s\"\n", what, text.c_str());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  nuvra::data::Dataset& ds = dataset();
  ds.set_varabbrev(data[0] & 1);
  std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::uint64_t sum = ds.checksum();

  std::vector<int> vars;
  nuvra::data::VarlistFailure f;
  std::int32_t rc = nuvra::data::read_varlist(ds, text, &vars, &f, (data[0] & 2) ? static_cast<int>(nuvra::data::kVarlistUnique) : 0);
  if (rc == 0) {
    for (int v : vars)
      if (v < 1 || v > ds.nvar()) fail("variable number out of range", text);
  } else if (f.message.empty() || f.rc != rc) {
    fail("failure without its message", text);
  } else if (rc != 111 && rc != 198 && !(rc == 101 && text.find('.') != std::string::npos)) {
    // 101 is the refusal of a time-series operator, which needs its dot.
    fail("unexpected failure", text);
  }

  std::vector<nuvra::data::NewVariable> nv;
  nuvra::data::VarlistFailure g;
  rc = nuvra::data::read_new_varlist(ds, text, nuvra::data::kFloat, &nv, &g);
  if (rc == 0) {
    for (const auto& v : nv) {
      std::string msg;
      if (ds.check_new_name(v.name, &msg) != 0) fail("new name not valid", text);
      if (nuvra::data::type_width(v.type) <= 0) fail("bad type", text);
    }
  } else if ((rc != 110 && rc != 198) || g.message.empty() || g.rc != rc) {
    fail("unexpected new-list failure", text);
  }
  if (ds.checksum() != sum) fail("reader changed the data", text);
  return 0;
}
