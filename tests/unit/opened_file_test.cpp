// Opening a dataset file for reading: what is refused, and the size and
// descriptor of what is opened.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "data/dta/opened_file.h"

namespace nuvra::dta {
namespace {

TEST(OpenedFile, RefusesWhatCannotBeReadAsAFile) {
  char tmpl[] = "/tmp/opened-file-XXXXXX";
  std::string dir = ::mkdtemp(tmpl);
  OpenedFile missing;
  EXPECT_EQ(missing.open(dir + "/none.dta"), 601);
  EXPECT_EQ(missing.descriptor(), -1);
  OpenedFile directory;
  EXPECT_EQ(directory.open(dir), 601);
  EXPECT_EQ(directory.descriptor(), -1);
  ::rmdir(dir.c_str());
}

TEST(OpenedFile, GivesTheSizeAndClosesWhenItGoes) {
  char tmpl[] = "/tmp/opened-file-XXXXXX";
  int made = ::mkstemp(tmpl);
  ASSERT_GE(made, 0);
  ASSERT_EQ(::write(made, "hello", 5), 5);
  ::close(made);
  int fd = -1;
  {
    OpenedFile f;
    ASSERT_EQ(f.open(tmpl), 0);
    EXPECT_EQ(f.size(), 5u);
    fd = f.descriptor();
    char buf[8] = {};
    EXPECT_EQ(::read(fd, buf, sizeof buf), 5);
    EXPECT_EQ(std::string(buf), "hello");
  }
  // The descriptor is closed once the object is gone.
  EXPECT_EQ(::fcntl(fd, F_GETFD), -1);
  ::unlink(tmpl);
}

}  // namespace
}  // namespace nuvra::dta
