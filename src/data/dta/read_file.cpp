#include "data/dta/read_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nuvra::dta {

rc_t with_file_for_reading(const std::string& path, const std::function<rc_t(int fd, std::uint64_t size)>& use) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 601;
  struct stat st{};
  rc_t rc = 601;
  if (::fstat(fd, &st) == 0 && !S_ISDIR(st.st_mode)) rc = use(fd, static_cast<std::uint64_t>(st.st_size));
  ::close(fd);
  return rc;
}

}  // namespace nuvra::dta
