// The floor of `save`: the same number of bytes written from memory to a
// new file with large write calls, nothing else in the loop; once without
// fsync and once with it, each the best of five. Compare with
//   dd if=/dev/zero of=DIR/dd.out bs=8M count=... [conv=fsync]
//
// usage: write_floor [BYTES [DIRECTORY [CALL_BYTES]]]
//        (default 880,000,000 /tmp 1048576)
// build: g++ -std=c++20 -O2 bench/write_floor.cpp -o /tmp/write_floor
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Seconds to write `data` to a new file at `path`, or -1 when a call fails.
double write_once(const std::vector<char>& data, const std::string& path, std::size_t call, bool sync) {
  ::unlink(path.c_str());
  auto t0 = Clock::now();
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
  if (fd < 0) return -1;
  for (std::size_t at = 0; at < data.size();) {
    ssize_t k = ::write(fd, data.data() + at, std::min(call, data.size() - at));
    if (k <= 0) {
      ::close(fd);
      return -1;
    }
    at += static_cast<std::size_t>(k);
  }
  if (sync && ::fsync(fd) != 0) return -1;
  if (::close(fd) != 0) return -1;
  double t = std::chrono::duration<double>(Clock::now() - t0).count();
  ::unlink(path.c_str());
  return t;
}

}  // namespace

int main(int argc, char** argv) {
  const std::size_t bytes = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 880000000;
  const std::string dir = argc > 2 ? argv[2] : "/tmp";
  const std::size_t call = argc > 3 ? std::strtoull(argv[3], nullptr, 10) : std::size_t{1} << 20;
  // Not zeros: nothing below may treat the pages as empty.
  std::vector<char> data(bytes);
  for (std::size_t i = 0; i < bytes; ++i) data[i] = static_cast<char>(i * 2654435761u >> 13);
  const std::string path = dir + "/write_floor." + std::to_string(::getpid());
  for (bool sync : {false, true}) {
    double best = 1e30;
    for (int r = 0; r < 5; ++r) {
      double t = write_once(data, path, call, sync);
      if (t < 0) {
        std::perror(path.c_str());
        return 1;
      }
      best = std::min(best, t);
    }
    std::printf("write_floor: %zu bytes in calls of %zu, %s: best %.4f s (%.2f GB/s)\n", bytes, call,
                sync ? "fsync" : "no fsync", best, static_cast<double>(bytes) / best / 1e9);
  }
  return 0;
}
