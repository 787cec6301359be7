// Files and the operating system: pwd, cd, dir, mkdir, rmdir, erase,
// copy, type, hexdump, sleep and timer.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "interp/builtins.h"
#include "interp/interp.h"
#include "test_side.h"

namespace nuvra {

// The handlers under test (the built-in table declares them as well once
// it names them).

namespace {

class FilesTest : public ::testing::Test {
 protected:
  FilesTest() : ip(&side) {
    char tmpl[] = "/tmp/nuvra_files_XXXXXX";
    dir = mkdtemp(tmpl);
    char buf[4096];
    old_cwd = getcwd(buf, sizeof buf);
  }
  ~FilesTest() override {
    if (chdir(old_cwd.c_str()) != 0) ADD_FAILURE() << "cannot return to " << old_cwd;
    std::string cmd = "rm -rf '" + dir + "'";
    if (std::system(cmd.c_str()) != 0) ADD_FAILURE() << "cannot remove " << dir;
  }

  rc_t call(Handler handler, const std::string& line, const std::string& name) {
    ip.cmdbuf = line;
    ip.reader.attach(&ip.cmdbuf, 0);
    ip.token = std::string(ip.reader.next());
    ip.command_name = name;
    side.text.clear();
    rc_t rc = handler(ip);
    ip.out.flush();
    printed = side.text;
    return rc;
  }
  void write(const std::string& path, const std::string& text) {
    std::ofstream f(path, std::ios::binary);
    f << text;
  }
  std::string read(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
  }
  bool exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }
  // Entries of the test directory, to see that nothing was left behind.
  int entries(const std::string& d) {
    int n = 0;
    DIR* dp = opendir(d.c_str());
    while (struct dirent* e = readdir(dp))
      if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") ++n;
    closedir(dp);
    return n;
  }
  std::string q(const std::string& s) { return "\"" + s + "\""; }

  testing::CaptureSide side;
  Interp ip;
  std::string dir, old_cwd, printed;
};

TEST_F(FilesTest, PwdCdAndDirectoriesWithBlanks) {
  std::string sub = dir + "/my dir";
  ASSERT_EQ(call(cmd_mkdir, "mkdir " + q(sub), "mkdir"), 0);
  EXPECT_EQ(call(cmd_mkdir, "mkdir " + q(sub), "mkdir"), 693);
  EXPECT_EQ(printed.rfind("could not create directory " + sub + " (", 0), 0u) << printed;
  ASSERT_EQ(call(cmd_cd, "cd " + q(sub), "cd"), 0);
  EXPECT_EQ(printed, sub + "\n");
  EXPECT_EQ(call(cmd_pwd, "pwd", "pwd"), 0);
  EXPECT_EQ(printed, sub + "\n");
  EXPECT_EQ(call(cmd_cd, "chdir ..", "chdir"), 0);
  EXPECT_EQ(printed, dir + "\n");
  EXPECT_EQ(call(cmd_cd, "cd " + q(dir + "/none"), "cd"), 170);
  EXPECT_EQ(printed, "unable to change to " + dir + "/none\n");

  // cd alone goes home, as "~" does.
  const char* home = std::getenv("HOME");
  std::string saved = home ? home : "";
  setenv("HOME", sub.c_str(), 1);
  EXPECT_EQ(call(cmd_cd, "cd", "cd"), 0);
  EXPECT_EQ(printed, sub + "\n");
  EXPECT_EQ(call(cmd_cd, "cd /", "cd"), 0);
  EXPECT_EQ(call(cmd_cd, "cd ~", "cd"), 0);
  EXPECT_EQ(printed, sub + "\n");
  if (home) setenv("HOME", saved.c_str(), 1);

  EXPECT_EQ(call(cmd_pwd, "pwd extra", "pwd"), 198);
  EXPECT_EQ(call(cmd_cd, "cd a b", "cd"), 198);
}

TEST_F(FilesTest, MkdirPublicAndRmdir) {
  mode_t old = umask(077);
  std::string priv = dir + "/private", pub = dir + "/public";
  EXPECT_EQ(call(cmd_mkdir, "mkdir " + priv, "mkdir"), 0);
  EXPECT_EQ(call(cmd_mkdir, "mkdir " + pub + ", public", "mkdir"), 0);
  umask(old);
  struct stat st;
  ASSERT_EQ(stat(priv.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & (S_IROTH | S_IXOTH), 0u);
  ASSERT_EQ(stat(pub.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & (S_IROTH | S_IXOTH | S_IRGRP | S_IXGRP), S_IROTH | S_IXOTH | S_IRGRP | S_IXGRP);
  EXPECT_EQ(call(cmd_mkdir, "mkdir " + pub + ", pub(1)", "mkdir"), 198);

  write(pub + "/f", "x");
  EXPECT_EQ(call(cmd_rmdir, "rmdir " + pub, "rmdir"), 693);  // not empty
  EXPECT_TRUE(exists(pub));
  EXPECT_EQ(call(cmd_rmdir, "rmdir " + priv, "rmdir"), 0);
  EXPECT_FALSE(exists(priv));
  EXPECT_EQ(call(cmd_rmdir, "rmdir " + priv, "rmdir"), 601);
  EXPECT_EQ(printed, "directory " + priv + " not found\n");
}

TEST_F(FilesTest, Erase) {
  std::string f = dir + "/to go.txt";
  write(f, "data");
  EXPECT_EQ(call(cmd_erase, "erase " + q(f), "erase"), 0);
  EXPECT_FALSE(exists(f));
  EXPECT_EQ(call(cmd_erase, "rm " + q(f), "erase"), 601);
  EXPECT_EQ(printed, "file " + f + " not found\n");
  EXPECT_EQ(call(cmd_erase, "erase " + dir, "erase"), 693);  // directories are for rmdir
  EXPECT_TRUE(exists(dir));
  EXPECT_EQ(call(cmd_erase, "erase", "erase"), 198);
  EXPECT_EQ(call(cmd_erase, "erase \"unclosed", "erase"), 132);
}

TEST_F(FilesTest, CopyReplaceAndExistingTargets) {
  std::string from = dir + "/source file.bin", to = dir + "/target.bin";
  std::string content("line 1\n\0binary\xff", 15);
  write(from, content);
  ASSERT_EQ(call(cmd_copy, "copy " + q(from) + " " + q(to), "copy"), 0);
  EXPECT_EQ(read(to), content);

  write(to, "keep me");
  EXPECT_EQ(call(cmd_copy, "cp " + q(from) + " " + to, "copy"), 602);
  EXPECT_EQ(printed, "file " + to + " already exists\n");
  EXPECT_EQ(read(to), "keep me");
  EXPECT_EQ(call(cmd_copy, "copy " + q(from) + " " + to + ", replace", "copy"), 0);
  EXPECT_EQ(read(to), content);

  // A directory as the target takes the file under its own name.
  std::string sub = dir + "/sub";
  mkdir(sub.c_str(), 0777);
  EXPECT_EQ(call(cmd_copy, "copy " + q(from) + " " + sub, "copy"), 0);
  EXPECT_EQ(read(sub + "/source file.bin"), content);

  EXPECT_EQ(call(cmd_copy, "copy " + dir + "/none " + to + ", replace", "copy"), 601);
  EXPECT_EQ(printed, "file " + dir + "/none not found\n");
  EXPECT_EQ(call(cmd_copy, "copy " + sub + " " + dir + "/x", "copy"), 603);
  EXPECT_EQ(call(cmd_copy, "copy " + q(from), "copy"), 198);
  EXPECT_EQ(call(cmd_copy, "copy a b c", "copy"), 198);
  EXPECT_EQ(call(cmd_copy, "copy a b, force", "copy"), 198);
  EXPECT_EQ(printed, "option force not allowed\n");
}

TEST_F(FilesTest, FailedCopyLeavesTargetUntouched) {
  // Reading this file fails at its first byte (nothing is mapped at
  // address 0), which makes the copy fail halfway, after its temporary
  // file exists.
  std::string to = dir + "/precious.txt";
  write(to, "precious contents");
  int before = entries(dir);
  rc_t rc = call(cmd_copy, "copy /proc/self/mem " + to + ", replace", "copy");
  EXPECT_EQ(rc, 693);
  EXPECT_EQ(printed.rfind("could not read /proc/self/mem (", 0), 0u) << printed;
  EXPECT_EQ(read(to), "precious contents");
  EXPECT_EQ(entries(dir), before);  // the temporary file is gone too
}

TEST_F(FilesTest, TypeShowsBracesLiterally) {
  std::string f = dir + "/notes.txt";
  write(f, "a {bf}b{sf} }{\r\n\tx\n*! version 1\nplain\n*! by us\n");
  ASSERT_EQ(call(cmd_type, "type " + q(f), "type"), 0);
  EXPECT_EQ(printed, "a {bf}b{sf} }{\n        x\n*! version 1\nplain\n*! by us\n");
  ASSERT_EQ(call(cmd_type, "cat " + f + ", showtabs", "type"), 0);
  EXPECT_EQ(printed, "a {bf}b{sf} }{\n<T>x\n*! version 1\nplain\n*! by us\n");
  ASSERT_EQ(call(cmd_type, "type " + f + ", starbang", "type"), 0);
  EXPECT_EQ(printed, "*! version 1\n*! by us\n");
  ASSERT_EQ(call(cmd_type, "type " + f + ", lines(1)", "type"), 0);
  EXPECT_EQ(printed, "a {bf}b{sf} }{\n");
  ASSERT_EQ(call(cmd_type, "type " + f + ", nmcl lines(1)", "type"), 0);
  EXPECT_EQ(printed.substr(0, 4), "a b ");  // asked for, the tags take effect
}

TEST_F(FilesTest, TypeOfNmclFiles) {
  std::string f = dir + "/page.txt";
  write(f, "{nmcl}\n{bf}bold{sf} and {c -(}x{c )-}\n");
  ASSERT_EQ(call(cmd_type, "type " + f, "type"), 0);
  EXPECT_EQ(printed, "bold and {x}\n");
  ASSERT_EQ(call(cmd_type, "type " + f + ", asis", "type"), 0);
  EXPECT_EQ(printed, "{nmcl}\n{bf}bold{sf} and {c -(}x{c )-}\n");
  EXPECT_EQ(call(cmd_type, "type " + f + ", asis nmcl", "type"), 184);
  EXPECT_EQ(call(cmd_type, "type " + dir + "/none", "type"), 601);
  EXPECT_EQ(printed, "file " + dir + "/none not found\n");
  EXPECT_EQ(call(cmd_type, "type " + dir, "type"), 603);
  EXPECT_EQ(printed, "file " + dir + " could not be opened\n");
}

TEST_F(FilesTest, Hexdump) {
  std::string f = dir + "/bytes";
  write(f, std::string("AB{\n", 4) + std::string(16, 'z') + std::string(1, '\x01'));
  ASSERT_EQ(call(cmd_hexdump, "hexdump " + f, "hexdump"), 0);
  std::istringstream lines(printed);
  std::string header, l1, l2, extra;
  std::getline(lines, header);
  std::getline(lines, l1);
  std::getline(lines, l2);
  EXPECT_FALSE(std::getline(lines, extra));
  EXPECT_EQ(l1, "       0  41 42 7b 0a 7a 7a 7a 7a  7a 7a 7a 7a 7a 7a 7a 7a  AB{.zzzzzzzzzzzz");
  EXPECT_EQ(l2, "      10  7a 7a 7a 7a 01" + std::string(3 * 11 + 1, ' ') + "  zzzz.");
  ASSERT_EQ(call(cmd_hexdump, "hexdump " + f + ", from(1) to(2)", "hexdump"), 0);
  std::istringstream part(printed);
  std::getline(part, header);
  std::getline(part, l1);
  EXPECT_EQ(l1, "       1  42 7b" + std::string(3 * 14 + 1, ' ') + "  B{");
  EXPECT_EQ(call(cmd_hexdump, "hexdump " + f + ", from(3) to(2)", "hexdump"), 198);
  EXPECT_EQ(call(cmd_hexdump, "hexdump " + dir + "/none", "hexdump"), 601);
}

TEST_F(FilesTest, DirListsSizesAndMatchesWildcards) {
  write(dir + "/a.txt", "12345");
  write(dir + "/b.log", "1");
  write(dir + "/.hidden", "1");
  mkdir((dir + "/sub").c_str(), 0777);
  ASSERT_EQ(call(cmd_dir, "dir " + dir, "dir"), 0);
  std::istringstream lines(printed);
  std::string l1, l2, l3, extra;
  std::getline(lines, l1);
  std::getline(lines, l2);
  std::getline(lines, l3);
  EXPECT_FALSE(std::getline(lines, extra));
  EXPECT_EQ(l1.substr(0, 14), "           5  ");
  EXPECT_TRUE(l1.ends_with("  a.txt")) << l1;
  EXPECT_TRUE(l2.ends_with("  b.log")) << l2;
  EXPECT_EQ(l3.substr(0, 14), "       <dir>  ");
  EXPECT_TRUE(l3.ends_with("  sub/")) << l3;

  ASSERT_EQ(call(cmd_dir, "ls " + q(dir + "/*.txt"), "dir"), 0);
  EXPECT_NE(printed.find("a.txt"), std::string::npos);
  EXPECT_EQ(printed.find("b.log"), std::string::npos);
  ASSERT_EQ(call(cmd_dir, "dir " + dir + "/?.log, wide", "dir"), 0);
  EXPECT_EQ(printed, "b.log\n");
  ASSERT_EQ(call(cmd_dir, "dir " + dir + "/.h*, w", "dir"), 0);
  EXPECT_EQ(printed, ".hidden\n");
  ASSERT_EQ(call(cmd_dir, "dir " + dir + "/*.none", "dir"), 0);
  EXPECT_EQ(printed, "");
  EXPECT_EQ(call(cmd_dir, "dir " + dir + "/none", "dir"), 601);
  EXPECT_EQ(call(cmd_dir, "dir " + dir + "/no/*.txt", "dir"), 601);
}

// A clock that moves only when the session waits, and counts the waits.
class StepClock : public SessionClock {
 public:
  std::chrono::steady_clock::time_point now() override { return t; }
  void wait(std::chrono::steady_clock::duration d) override {
    t += d;
    ++waits;
  }
  std::chrono::steady_clock::time_point t{};
  int waits = 0;
};

double elapsed_ms(const StepClock& c, std::chrono::steady_clock::time_point from) {
  return std::chrono::duration<double, std::milli>(c.t - from).count();
}

TEST_F(FilesTest, SleepWaitsAndAnswersBreak) {
  StepClock clock;
  ip.session_clock = &clock;
  auto t0 = clock.t;
  ASSERT_EQ(call(cmd_sleep, "sleep 40", "sleep"), 0);
  // Exactly the time asked for, in waits of at most 10 ms so that Break
  // is answered in time.
  EXPECT_EQ(elapsed_ms(clock, t0), 40);
  EXPECT_EQ(clock.waits, 4);
  ip.break_request = true;
  t0 = clock.t;
  EXPECT_EQ(call(cmd_sleep, "sleep 5000", "sleep"), 1);
  EXPECT_EQ(elapsed_ms(clock, t0), 0);
  ip.break_request = false;
  EXPECT_EQ(call(cmd_sleep, "sleep -1", "sleep"), 198);
  EXPECT_EQ(call(cmd_sleep, "sleep 1.5", "sleep"), 198);
  EXPECT_EQ(call(cmd_sleep, "sleep", "sleep"), 198);
  t0 = clock.t;
  EXPECT_EQ(call(cmd_sleep, "sleep 2*5", "sleep"), 0);
  EXPECT_EQ(elapsed_ms(clock, t0), 10);
  ip.session_clock = &ip.real_clock;
  // The real clock really waits.
  auto r0 = std::chrono::steady_clock::now();
  ASSERT_EQ(call(cmd_sleep, "sleep 20", "sleep"), 0);
  double waited = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - r0).count();
  EXPECT_GE(waited, 20);
}

TEST_F(FilesTest, TimersAccumulate) {
  StepClock clock;
  ip.session_clock = &clock;
  ASSERT_EQ(call(cmd_timer, "timer clear", "timer"), 0);
  ASSERT_EQ(call(cmd_timer, "timer on 1", "timer"), 0);
  ASSERT_EQ(call(cmd_sleep, "sleep 50", "sleep"), 0);
  ASSERT_EQ(call(cmd_timer, "timer off 1", "timer"), 0);
  ASSERT_EQ(call(cmd_timer, "timer on 1", "timer"), 0);
  ASSERT_EQ(call(cmd_sleep, "sleep 30", "sleep"), 0);
  ASSERT_EQ(call(cmd_timer, "timer off 1", "timer"), 0);
  ASSERT_EQ(call(cmd_timer, "timer on 100", "timer"), 0);

  ASSERT_EQ(call(cmd_timer, "timer list", "timer"), 0);
  EXPECT_EQ(ip.r_results.scalars["nt1"], 2);
  EXPECT_NEAR(ip.r_results.scalars["t1"], 0.080, 1e-12);
  EXPECT_EQ(ip.r_results.scalars["nt100"], 0);  // running, no interval finished
  EXPECT_EQ(ip.r_results.scalars.count("t2"), 0u);  // unused timers are not listed
  std::istringstream lines(printed);
  std::string l1, l100;
  std::getline(lines, l1);
  std::getline(lines, l100);
  EXPECT_EQ(l1.substr(0, 5), "   1:");
  EXPECT_NE(l1.find(" /        2 = "), std::string::npos) << l1;
  EXPECT_NE(l1.find("0.08 /"), std::string::npos) << l1;
  EXPECT_TRUE(l1.ends_with("=     0.0400")) << l1;
  EXPECT_TRUE(l100.ends_with("(running)")) << l100;

  EXPECT_EQ(call(cmd_timer, "timer on 1", "timer"), 0);
  EXPECT_EQ(call(cmd_timer, "timer on 1", "timer"), 198);
  EXPECT_EQ(printed, "timer 1 already on\n");
  EXPECT_EQ(call(cmd_timer, "timer off 2", "timer"), 198);
  EXPECT_EQ(printed, "timer 2 not on\n");
  EXPECT_EQ(call(cmd_timer, "timer on 101", "timer"), 198);
  EXPECT_EQ(call(cmd_timer, "timer on 0", "timer"), 198);
  EXPECT_EQ(call(cmd_timer, "timer start 1", "timer"), 198);

  ASSERT_EQ(call(cmd_timer, "timer clear 1", "timer"), 0);
  ASSERT_EQ(call(cmd_timer, "timer list 1", "timer"), 0);
  EXPECT_EQ(ip.r_results.scalars["t1"], 0);
  EXPECT_EQ(ip.r_results.scalars["nt1"], 0);
  EXPECT_EQ(ip.r_results.scalars.count("nt100"), 0u);  // only the timer asked for
  ASSERT_EQ(call(cmd_timer, "timer clear", "timer"), 0);
}

}  // namespace
}  // namespace nuvra
