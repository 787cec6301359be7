// Reading a file whole.
#include "lumo/binary_io.h"

#include <sys/stat.h>

#include <cstdio>

namespace nuvra::lumo {

rc_t ReadWholeFile(const std::string& path, size_t limit, std::string* out) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return 601;
  struct stat st;
  if (::fstat(fileno(f), &st) != 0 || S_ISDIR(st.st_mode)) {
    std::fclose(f);
    return 612;
  }
  if (uint64_t(st.st_size) > limit) {
    std::fclose(f);
    return 610;
  }
  out->assign(size_t(st.st_size), '\0');
  size_t got = out->empty() ? 0 : std::fread(out->data(), 1, out->size(), f);
  bool more = std::fgetc(f) != EOF;
  std::fclose(f);
  if (got != out->size() || more) return 612;
  return 0;
}

}  // namespace nuvra::lumo
