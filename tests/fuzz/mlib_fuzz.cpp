// libFuzzer target for the library reader: the input is a library file.
// It must open or be refused with 610 or 612; every member its index
// names must load or be refused with 610; an addition must succeed or be
// refused with its codes, and a refused one must leave the file exactly as
// it was.  A member's code is never bigger than the file, so what is
// allocated is bounded by the input.
//
// Built and run by `make fuzz`, from the seeds in tests/fuzz/corpus/mlib_fuzz/.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "lumo/host.h"
#include "lumo/mlib.h"
#include "lumo/opcodes.h"
#include "lumo/session.h"

namespace {

class QuietHost : public nuvra::lumo::Host {
 public:
  void Print(nuvra::lumo::Style, std::string_view) override {}
  bool PollBreak() override { return false; }
};

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace nuvra::lumo;
  using nuvra::rc_t;
  static const std::string path = "/tmp/mlib_fuzz." + std::to_string(getpid()) + ".mlib";
  std::string bytes(reinterpret_cast<const char*>(data), size);
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
  QuietHost host;
  Session session(host);
  MlibReport report{host, true};
  MlibIndex ix;
  rc_t rc = MlibOpen(path, "fuzz.mlib", report, &ix);
  if (rc != 0) {
    if (rc != 610 && rc != 612) std::abort();
    return 0;
  }
  int fd = open(path.c_str(), O_RDONLY);
  if (fd < 0) std::abort();
  for (int32_t k = 0; k < ix.count; ++k) {
    FunctionRecord* f = nullptr;
    rc_t load = MlibLoad(fd, ix, k, session.values(), report, &f);
    if (load != 0 && load != 610) std::abort();
    if (load == 0 && (!f || f->code_words() * 4 > size)) std::abort();
  }
  close(fd);
  if (session.values().autoloaded_bytes() > size * ix.count + 1) std::abort();

  FunctionRecord* add = session.values().AddFunction("fz_added", {0, 0, k_one, k_ret}, kCtReal, kOrgScalar);
  rc_t added = MlibAdd(path, "fuzz.mlib", *add, report);
  if (added != 0) {
    if (added != 602 && added != 610 && added != 611 && added != 612) std::abort();
    if (Slurp(path) != bytes) std::abort();
  } else {
    MlibIndex after;
    if (MlibOpen(path, "fuzz.mlib", report, &after) != 0 || after.Find("fz_added") < 0) std::abort();
  }
  return 0;
}
