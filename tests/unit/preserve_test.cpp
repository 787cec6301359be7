// preserve/restore and the temporaries a frame cleans up.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>

#include "interp/interp.h"
#include "interp/runner.h"
#include "test_side.h"

namespace nuvra {
namespace {

class PreserveTest : public ::testing::Test {
 protected:
  PreserveTest() : ip(&side) {
    EXPECT_EQ(ip.dataset.add_variable("x", 255, &x), 0);
    EXPECT_EQ(ip.dataset.set_obs(3), 0);
    for (int i = 1; i <= 3; ++i) ip.dataset.store(x, i, i * 1.5);
    ip.dataset.set_data_label("three rows");
  }
  rc_t run(std::string_view line) {
    side.text.clear();
    rc_t rc = ip.execute_line(line);
    ip.out.flush();
    return rc;
  }
  testing::CaptureSide side;
  Interp ip;
  int x = 0;
};

TEST_F(PreserveTest, RestorePutsBackEverything) {
  uint64_t before = ip.dataset.checksum();
  ASSERT_EQ(run("preserve"), 0);
  EXPECT_EQ(run("preserve"), 621);
  EXPECT_EQ(side.text, "already preserved\n");
  ip.dataset.store(x, 2, 99);
  ASSERT_EQ(ip.dataset.set_obs(5), 0);
  ip.dataset.set_data_label("changed");
  ASSERT_EQ(run("restore, preserve"), 0);  // back, and still kept
  EXPECT_EQ(ip.dataset.checksum(), before);
  EXPECT_EQ(ip.dataset.nobs(), 3);
  EXPECT_EQ(ip.dataset.fetch(x, 2), 3.0);
  ip.dataset.store(x, 1, -1);
  ASSERT_EQ(run("restore"), 0);
  EXPECT_EQ(ip.dataset.checksum(), before);
  EXPECT_EQ(run("restore"), 622);
  EXPECT_EQ(side.text, "nothing to restore\n");
  ASSERT_EQ(run("preserve"), 0);
  ASSERT_EQ(run("restore, not"), 0);
  EXPECT_EQ(run("restore"), 622);
  EXPECT_EQ(run("restore, not preserve"), 184);
}

TEST_F(PreserveTest, AFrameThatEndsPutsItsDataBack) {
  uint64_t before = ip.dataset.checksum();
  {
    Frame frame(ip, false);
    ASSERT_EQ(run("preserve"), 0);
    ip.dataset.store(x, 2, 99);
    ASSERT_EQ(ip.dataset.set_obs(5), 0);
  }
  EXPECT_EQ(ip.dataset.checksum(), before);
  EXPECT_TRUE(ip.preserved.empty());

  // A program that preserves and then fails: the copy is taken back and
  // nothing is left kept for the caller.
  Program prog;
  prog.name = "spoil";
  prog.version = ip.version;
  prog.lines = {"preserve", "error 459"};
  ip.programs.add(prog);
  EXPECT_EQ(run("spoil"), 459);
  EXPECT_EQ(run("restore"), 622);
  EXPECT_EQ(ip.dataset.checksum(), before);
}

TEST_F(PreserveTest, FrameEndDropsTempvarsAndTempfiles) {
  std::string w, g;
  {
    Frame frame(ip, false);
    ASSERT_EQ(run("tempvar w"), 0);
    ASSERT_EQ(run("tempfile g"), 0);
    w = *ip.macros.local("w");
    g = *ip.macros.local("g");
    int j = 0;
    ASSERT_EQ(ip.dataset.add_variable(w, 251, &j), 0);
    std::FILE* fp = std::fopen(g.c_str(), "w");
    ASSERT_NE(fp, nullptr);
    std::fclose(fp);
  }
  EXPECT_EQ(w.substr(0, 2), "__");
  EXPECT_EQ(ip.dataset.find_exact(w), 0);
  EXPECT_NE(access(g.c_str(), F_OK), 0);
  EXPECT_EQ(ip.dataset.nvar(), 1);

  // Names are unique within the session.
  ASSERT_EQ(run("tempname a b"), 0);
  EXPECT_NE(*ip.macros.local("a"), *ip.macros.local("b"));
  EXPECT_NE(*ip.macros.local("a"), w);
  EXPECT_EQ(run("tempvar 1bad"), 198);
  EXPECT_EQ(run("tempvar"), 198);
}

}  // namespace
}  // namespace nuvra
