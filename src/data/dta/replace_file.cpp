// Writing through a temporary file renamed over the target.
#include "data/dta/replace_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <vector>

namespace nuvra::dta {

namespace {

rc_t write_error_code(int err) { return err == ENOSPC || err == EDQUOT || err == EFBIG ? 699 : 693; }

}  // namespace

ReplacingFile::~ReplacingFile() {
  if (fd_ >= 0) {
    ::close(fd_);
    ::unlink(tmp_.c_str());
  }
}

rc_t ReplacingFile::open(const std::string& path, bool replace, mode_t create_mode) {
  struct stat st{};
  bool exists = ::stat(path.c_str(), &st) == 0;
  if (exists && !replace) return 602;
  mode_t mode = create_mode & 0666;
  if (exists) {
    if (S_ISDIR(st.st_mode)) return 603;
    // The mode bits decide, not access() alone: a read-only file stays
    // read-only for a user who could override it.
    if (!(st.st_mode & S_IWUSR) || ::access(path.c_str(), W_OK) != 0) return 608;
    mode = st.st_mode & 07777;
  }
  std::size_t slash = path.find_last_of('/');
  dir_ = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  std::string tmp = dir_ + "." + base + ".XXXXXX";
  std::vector<char> tmpl(tmp.begin(), tmp.end());
  tmpl.push_back(0);
  int fd = ::mkstemp(tmpl.data());
  if (fd < 0) return 603;
  fd_ = fd;
  tmp_.assign(tmpl.data());
  path_ = path;
  if (::fchmod(fd_, mode) != 0) err_ = EIO;
  return 0;
}

bool ReplacingFile::write(const void* data, std::size_t n) {
  const auto* p = static_cast<const char*>(data);
  std::size_t chunk = n > 2 * call_size_ ? call_size_ : n;
  while (n > 0 && err_ == 0 && fd_ >= 0) {
    std::size_t want = std::min(chunk, n);
    if (limit_ >= 0 && written_ + static_cast<std::int64_t>(want) > limit_) {
      err_ = ENOSPC;
      break;
    }
    ssize_t k = ::write(fd_, p, want);
    if (k < 0) {
      if (errno == EINTR) continue;
      err_ = errno;
      break;
    }
    if (k == 0) {
      err_ = ENOSPC;
      break;
    }
    p += k;
    n -= static_cast<std::size_t>(k);
    written_ += k;
  }
  return err_ == 0;
}

rc_t ReplacingFile::commit(double* fsync_seconds) {
  if (fd_ < 0) return 693;
  if (err_ == 0) {
    auto from = std::chrono::steady_clock::now();
    if (::fsync(fd_) != 0)
      err_ = errno;
    else if (fsync_seconds)
      *fsync_seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
  }
  int fd = fd_;
  fd_ = -1;
  if (err_) {
    ::close(fd);
    ::unlink(tmp_.c_str());
    return write_error_code(err_);
  }
  if (::close(fd) != 0) {
    int err = errno;
    ::unlink(tmp_.c_str());
    return write_error_code(err);
  }
  if (::rename(tmp_.c_str(), path_.c_str()) != 0) {
    ::unlink(tmp_.c_str());
    return 693;
  }
  // The rename is made durable by syncing the directory; a failure here
  // cannot undo the write and is not reported.
  int dfd = ::open(dir_.empty() ? "." : dir_.c_str(), O_RDONLY | O_DIRECTORY);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
  return 0;
}

}  // namespace nuvra::dta
