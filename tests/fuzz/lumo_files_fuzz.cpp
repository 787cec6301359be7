// libFuzzer target for the readers of Lumo object files (.mo) and matrix
// files (.mmat): any bytes are either refused with 610 or 612 and a fault
// named, or decoded into a function whose code is whole instructions or
// matrices whose elements the file held; whatever decodes encodes back to
// the same bytes.  Anything else (a crash, a sanitizer report, a return
// code outside those) is a failure.
//
// Built and run by `make fuzz`, from the seeds in
// tests/fuzz/corpus/lumo_files_fuzz/.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "lumo/matrix_file.h"
#include "lumo/object_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace nuvra::lumo;
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::string why;
  ObjectFunction obj;
  nuvra::rc_t rc = DecodeObject(bytes, &obj, &why);
  if (rc != 0 && rc != 610 && rc != 612) std::abort();
  if (rc != 0 && why.empty()) std::abort();
  if (rc == 0) {
    // Back through a record: the same bytes come out.
    FunctionRecord f;
    std::snprintf(f.name, sizeof f.name, "%s", obj.name.c_str());
    f.result_el = obj.el;
    f.result_org = obj.org;
    f.data = obj.code.data();
    f.allocated = uint32_t(obj.code.size() * 4);
    if (EncodeObject(f) != bytes) std::abort();
    f.data = nullptr;
  }
  std::vector<SavedMatrix> mats;
  why.clear();
  rc = DecodeMatrices(bytes, &mats, &why);
  if (rc != 0 && rc != 610 && rc != 612) std::abort();
  if (rc != 0 && why.empty()) std::abort();
  // Every element takes at least four bytes of the file.
  for (const SavedMatrix& m : mats)
    if (uint64_t(m.rows) * uint64_t(m.cols) > size) std::abort();
  return 0;
}
