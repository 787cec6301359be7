// Opening a dataset file for reading.  The readers of both file forms open
// their input here so that they refuse the same things the same way.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "base/rc.h"

namespace nuvra::dta {

// Opens `path` for reading, calls use(descriptor, size) and closes the file
// again: use's code, or 601 (use not called) when the file cannot be opened
// or is a directory.
rc_t with_file_for_reading(const std::string& path, const std::function<rc_t(int fd, std::uint64_t size)>& use);

}  // namespace nuvra::dta
