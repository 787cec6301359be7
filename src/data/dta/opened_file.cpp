#include "data/dta/opened_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nuvra::dta {

OpenedFile::~OpenedFile() {
  if (fd_ >= 0) ::close(fd_);
}

rc_t OpenedFile::open(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 601;
  struct stat st{};
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(fd);
    return 601;
  }
  if (fd_ >= 0) ::close(fd_);
  fd_ = fd;
  size_ = static_cast<std::uint64_t>(st.st_size);
  return 0;
}

}  // namespace nuvra::dta
