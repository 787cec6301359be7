// Opening a dataset file for reading: what is refused before the reader
// runs, what the reader is given, and that the file is closed after it.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "data/dta/read_file.h"

namespace nuvra::dta {
namespace {

TEST(WithFileForReading, RefusesWhatCannotBeReadAsAFile) {
  char tmpl[] = "/tmp/read-file-XXXXXX";
  std::string dir = ::mkdtemp(tmpl);
  int calls = 0;
  auto use = [&calls](int, std::uint64_t) -> rc_t {
    ++calls;
    return 0;
  };
  EXPECT_EQ(with_file_for_reading(dir + "/none.dta", use), 601);
  EXPECT_EQ(with_file_for_reading(dir, use), 601);
  EXPECT_EQ(calls, 0);
  ::rmdir(dir.c_str());
}

TEST(WithFileForReading, GivesTheSizeAndPassesTheCodeBackAndCloses) {
  char tmpl[] = "/tmp/read-file-XXXXXX";
  int made = ::mkstemp(tmpl);
  ASSERT_GE(made, 0);
  ASSERT_EQ(::write(made, "hello", 5), 5);
  ::close(made);
  int seen = -1;
  std::string text;
  rc_t rc = with_file_for_reading(tmpl, [&](int fd, std::uint64_t size) -> rc_t {
    seen = fd;
    EXPECT_EQ(size, 5u);
    char buf[8] = {};
    EXPECT_EQ(::read(fd, buf, sizeof buf), 5);
    text = buf;
    return 692;
  });
  EXPECT_EQ(rc, 692);
  EXPECT_EQ(text, "hello");
  ASSERT_GE(seen, 0);
  EXPECT_EQ(::fcntl(seen, F_GETFD), -1);  // closed once the reader is done
  ::unlink(tmpl);
}

}  // namespace
}  // namespace nuvra::dta
