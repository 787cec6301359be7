// File handles in a directory of the test's own: modes and their
// refusals, lines and bytes, seeking, matrices written and read back, the
// limit on open files, and handles closed with a function that fails.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "data/missing.h"
#include "lumo/value.h"
#include "lumo_test_host.h"

namespace {

using namespace nuvra::lumo;

class LumoFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/lumo_files_XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    dir = tmpl;
  }
  void TearDown() override { std::system(("rm -rf '" + dir + "'").c_str()); }
  // The path of a file in the test's directory, as a Lumo string literal.
  std::string Q(const std::string& name) { return "\"" + dir + "/" + name + "\""; }
  std::string Contents(const std::string& name) {
    std::ifstream in(dir + "/" + name, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  bool Exists(const std::string& name) {
    struct stat sb;
    return ::stat((dir + "/" + name).c_str(), &sb) == 0;
  }
  double Real(const char* name) {
    ValueRecord* v = f.session.values().FindGlobal(name);
    return v && v->eltype == kReal && element_count(v) == 1 ? reals(v)[0] : -12345;
  }
  std::string Str(const char* name) {
    ValueRecord* v = f.session.values().FindGlobal(name);
    if (!v || v->eltype != kString || element_count(v) != 1) return "<none>";
    StringRef s = string_of(slots(v)[0]);
    return std::string(s.bytes, s.length);
  }
  std::string dir;
  LumoFixture f;
};

TEST_F(LumoFiles, LinesBytesSeekAndModes) {
  ASSERT_EQ(f.Run("fh = fopen(" + Q("a.txt") + ", \"w\"); fput(fh, \"one\"); fwrite(fh, \"two\"); fput(fh, \"\");"
                  "fput(fh, \"three\"); fclose(fh)"),
            0)
      << f.host.errors;
  EXPECT_EQ(Contents("a.txt"), "one\ntwo\nthree\n");
  // "w" never writes over a file that is there.
  EXPECT_EQ(f.Run("fopen(" + Q("a.txt") + ", \"w\")"), 602);
  EXPECT_EQ(Contents("a.txt"), "one\ntwo\nthree\n");
  ASSERT_EQ(f.Run("k = _fopen(" + Q("a.txt") + ", \"w\")"), 0);
  EXPECT_EQ(Real("k"), -602);
  EXPECT_EQ(f.Run("fopen(" + Q("none.txt") + ", \"r\")"), 601);
  EXPECT_EQ(f.Run("fopen(" + Q("a.txt") + ", \"x\")"), 3603);
  EXPECT_EQ(f.Run("fopen(\"\", \"r\")"), 3602);
  EXPECT_EQ(f.Run("fclose(17)"), 3601);
  EXPECT_EQ(f.Run("fget(0)"), 3601);

  ASSERT_EQ(f.Run("fh = fopen(" + Q("a.txt") + ", \"r\"); l1 = fget(fh); l2 = fgetnl(fh); b = fread(fh, 3);"
                  "st = fstatus(fh)"),
            0)
      << f.host.errors;
  EXPECT_EQ(Str("l1"), "one");
  EXPECT_EQ(Str("l2"), "two\n");
  EXPECT_EQ(Str("b"), "thr");
  EXPECT_EQ(Real("st"), 0);
  ASSERT_EQ(f.Run("l3 = fget(fh); e = fget(fh); n = rows(e) + cols(e); st = fstatus(fh)"), 0);
  EXPECT_EQ(Str("l3"), "ee");
  EXPECT_EQ(Real("n"), 0);
  EXPECT_EQ(Real("st"), -1);
  // From the end back 6 bytes is the start of "three".
  ASSERT_EQ(f.Run("fseek(fh, -6, 1); l4 = fget(fh); fseek(fh, 4, -1); l5 = fget(fh)"), 0);
  EXPECT_EQ(Str("l4"), "three");
  EXPECT_EQ(Str("l5"), "two");
  EXPECT_EQ(f.Run("fput(fh, \"x\")"), 3621);
  ASSERT_EQ(f.Run("k = _fput(fh, \"x\"); st = fstatus(fh)"), 0);
  EXPECT_EQ(Real("k"), -3621);
  EXPECT_EQ(Real("st"), -3621);
  EXPECT_EQ(f.Run("fseek(fh, 0, 2)"), 3300);
  ASSERT_EQ(f.Run("fclose(fh)"), 0);
  EXPECT_EQ(f.Run("fclose(fh)"), 3601);

  // Append, then read-write with truncation.
  ASSERT_EQ(f.Run("fh = fopen(" + Q("a.txt") + ", \"a\"); fput(fh, \"four\")"), 0) << f.host.errors;
  EXPECT_EQ(f.Run("fseek(fh, 0, -1)"), 3623);
  EXPECT_EQ(f.Run("fget(fh)"), 3622);
  EXPECT_EQ(f.Run("fread(fh, 2)"), 3622);
  ASSERT_EQ(f.Run("k = _fread(fh, 2)"), 0);
  EXPECT_EQ(Real("k"), -3622);
  ASSERT_EQ(f.Run("fclose(fh)"), 0);
  EXPECT_EQ(Contents("a.txt"), "one\ntwo\nthree\nfour\n");
  ASSERT_EQ(f.Run("fh = fopen(" + Q("a.txt") + ", \"r\"); r = _fread(fh, 5); fclose(fh)"), 0) << f.host.errors;
  EXPECT_EQ(Str("r"), "one\nt");
  ASSERT_EQ(f.Run("fh = fopen(" + Q("a.txt") + ", \"rw\"); fseek(fh, 4, -1); ftruncate(fh); fput(fh, \"2\");"
                  "fclose(fh)"),
            0)
      << f.host.errors;
  EXPECT_EQ(Contents("a.txt"), "one\n2\n");

  ASSERT_EQ(f.Run("unlink(" + Q("a.txt") + "); unlink(" + Q("a.txt") + "); k = _unlink(" + Q("a.txt") + ")"), 0);
  EXPECT_FALSE(Exists("a.txt"));
  EXPECT_EQ(Real("k"), 0);
}

TEST_F(LumoFiles, MatrixRoundTrip) {
  ASSERT_EQ(f.Run("X = (1.5, ., -2 \\ 1e300, .b, 0.1); S = (\"a\", \"\" \\ \"long text\", \"x\");"
                  "fh = fopen(" + Q("m.bin") + ", \"w\"); fputmatrix(fh, X); fputmatrix(fh, S);"
                  "fputmatrix(fh, J(0, 3, .)); fclose(fh);"
                  "fh = fopen(" + Q("m.bin") + ", \"r\"); Y = fgetmatrix(fh); T = fgetmatrix(fh); Z = fgetmatrix(fh);"
                  "E = fgetmatrix(fh); fclose(fh)"),
            0)
      << f.host.errors;
  ValueRecord* y = f.session.values().FindGlobal("Y");
  ASSERT_TRUE(y && y->eltype == kReal && y->rows == 2 && y->cols == 3);
  std::vector<double> want = {1.5, nuvra::data::kMissing, -2, 1e300, nuvra::data::missing_value(2), 0.1};
  for (int k = 0; k < 6; ++k) EXPECT_EQ(reals(y)[k], want[size_t(k)]) << k;
  ASSERT_EQ(f.Run("same = (S == T); zr = rows(Z); zc = cols(Z); er = rows(E)"), 0) << f.host.errors;
  EXPECT_EQ(Real("same"), 1);
  EXPECT_EQ(Real("zr"), 0);
  EXPECT_EQ(Real("zc"), 3);
  EXPECT_EQ(Real("er"), 0);
  // A file that holds no matrix is a format error, not a crash or a
  // giant allocation.
  std::ofstream(dir + "/bad.bin") << "LMX1 this is no matrix header at all";
  EXPECT_EQ(f.Run("fh = fopen(" + Q("bad.bin") + ", \"r\"); fgetmatrix(fh)"), 610);
}

TEST_F(LumoFiles, FiftyHandlesAtMost) {
  std::string open50 = "H = J(1, 50, .); for (i = 1; i <= 50; i++) H[i] = fopen(" + Q("h") +
                       " + strofreal(i), \"w\")";
  ASSERT_EQ(f.Run(open50), 0) << f.host.errors;
  f.host.errors.clear();
  EXPECT_EQ(f.Run("fopen(" + Q("h51") + ", \"w\")"), 3611);
  EXPECT_NE(f.host.errors.find("too many open files (could not alloc)"), std::string::npos) << f.host.errors;
  EXPECT_FALSE(Exists("h51"));
  ASSERT_EQ(f.Run("k = _fopen(" + Q("h51") + ", \"w\")"), 0);
  EXPECT_EQ(Real("k"), -3611);
  // One closed makes room for one more.
  ASSERT_EQ(f.Run("fclose(H[7]); g = fopen(" + Q("h51") + ", \"w\")"), 0) << f.host.errors;
  EXPECT_EQ(Real("g"), 7);
}

TEST_F(LumoFiles, AutocloseWhenTheOpeningFunctionFails) {
  ASSERT_EQ(f.Run("function opens(string scalar p, real scalar mark) {\n"
                  "  real scalar fh\n"
                  "  fh = fopen(p, \"r\")\n"
                  "  if (mark) fautoclose(fh)\n"
                  "  _error(3498)\n"
                  "}"),
            0)
      << f.host.errors;
  ASSERT_EQ(f.Run("fh = fopen(" + Q("x") + ", \"w\"); fclose(fh)"), 0);
  // Marked: gone with the failing function, so handle 1 is free again.
  EXPECT_EQ(f.Run("opens(" + Q("x") + ", 1)"), 3498);
  EXPECT_EQ(f.Run("fstatus(1)"), 3601);
  // Not marked: the handle stays open after the failure.
  EXPECT_EQ(f.Run("opens(" + Q("x") + ", 0)"), 3498);
  ASSERT_EQ(f.Run("s = fstatus(1); fclose(1)"), 0) << f.host.errors;
  // A marked handle of a function that returns normally stays open.
  ASSERT_EQ(f.Run("function keeps(string scalar p) {\n"
                  "  real scalar fh\n"
                  "  fh = fopen(p, \"r\")\n"
                  "  fautoclose(fh)\n"
                  "  return(fh)\n"
                  "}"),
            0);
  ASSERT_EQ(f.Run("h = keeps(" + Q("x") + "); s = fstatus(h); fclose(h)"), 0) << f.host.errors;
}

TEST_F(LumoFiles, DirectoriesAndListing) {
  for (const char* name : {"b.txt", "a.txt", "c.dta"}) std::ofstream(dir + "/" + name) << "x";
  ASSERT_EQ(::mkdir((dir + "/sub").c_str(), 0700), 0);
  ASSERT_EQ(f.Run("t = dir(\"" + dir + "\", \"files\", \"*.txt\"); d = dir(\"" + dir + "\", \"dirs\");"
                  "e = (direxists(\"" + dir + "/sub\"), direxists(" + Q("a.txt") + "), direxists(" + Q("none") + "))"),
            0)
      << f.host.errors;
  ValueRecord* t = f.session.values().FindGlobal("t");
  ASSERT_TRUE(t && t->rows == 2 && t->cols == 1);
  EXPECT_EQ(std::string(string_of(slots(t)[0]).bytes), "a.txt");
  EXPECT_EQ(std::string(string_of(slots(t)[1]).bytes), "b.txt");
  EXPECT_EQ(Str("d"), "sub");
  ValueRecord* e = f.session.values().FindGlobal("e");
  ASSERT_EQ(element_count(e), 3);
  EXPECT_EQ(reals(e)[0], 1);
  EXPECT_EQ(reals(e)[1], 0);
  EXPECT_EQ(reals(e)[2], 0);
  EXPECT_EQ(f.Run("dir(\".\", \"links\")"), 3300);

  char here[4096];
  ASSERT_NE(::getcwd(here, sizeof here), nullptr);
  ASSERT_EQ(f.Run("a = _chdir(\"" + dir + "/sub\"); w = pwd(); b = _chdir(" + Q("none") + ");"
                  "c = _mkdir(\"made\"); x = direxists(\"made\"); r = _rmdir(\"made\"); y = direxists(\"made\")"),
            0)
      << f.host.errors;
  ASSERT_EQ(::chdir(here), 0);
  EXPECT_EQ(Real("a"), 0);
  EXPECT_EQ(Str("w"), dir + "/sub/");
  EXPECT_EQ(Real("b"), -170);
  EXPECT_EQ(Real("c"), 0);
  EXPECT_EQ(Real("x"), 1);
  EXPECT_EQ(Real("r"), 0);
  EXPECT_EQ(Real("y"), 0);
}

}  // namespace
