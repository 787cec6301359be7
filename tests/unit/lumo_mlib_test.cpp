// Library files: the bytes of a library created and extended, worked out
// from the layout; libraries written in the other byte order and in the
// older version; the refusals that leave a file as it was; autoloading and
// the count of autoloaded bytes.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "lumo/compiler.h"
#include "lumo/mlib.h"
#include "lumo/opcodes.h"
#include "lumo_test_host.h"

namespace {

using namespace nuvra::lumo;
using nuvra::rc_t;

// Bytes of an expected file, written out field by field.
struct Bytes {
  std::string s;
  Bytes& le32(uint32_t v) {
    for (int k = 0; k < 4; ++k) s += char((v >> (8 * k)) & 0xFF);
    return *this;
  }
  Bytes& be32(uint32_t v) {
    for (int k = 3; k >= 0; --k) s += char((v >> (8 * k)) & 0xFF);
    return *this;
  }
  Bytes& le16(uint16_t v) { return raw({uint8_t(v & 0xFF), uint8_t(v >> 8)}); }
  Bytes& be16(uint16_t v) { return raw({uint8_t(v >> 8), uint8_t(v & 0xFF)}); }
  Bytes& raw(std::initializer_list<uint8_t> b) {
    for (uint8_t c : b) s += char(c);
    return *this;
  }
  Bytes& text(std::string_view t, size_t width) {
    std::string padded(t);
    padded.resize(width, '\0');
    s += padded;
    return *this;
  }
  Bytes& magic() { return raw({0x81, 0x92, 0xA7, 0xB9}); }
};

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}
void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

class LumoMlib : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/lumo-mlib-XXXXXX";
    dir = mkdtemp(tmpl);
  }
  void TearDown() override {
    std::string cmd = "rm -rf '" + dir + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
  }
  std::string Path(const char* name) { return dir + "/" + name; }
  MlibReport Report() { return MlibReport{fx.host}; }
  FunctionRecord* Hand(const char* name, std::vector<int32_t> code, int8_t el, int8_t org) {
    return fx.session.values().AddFunction(name, std::move(code), el, org);
  }
  LibraryFile Lib(const char* name) { return LibraryFile{name, Path((std::string(name) + ".mlib").c_str())}; }
  void SearchOnly(std::vector<LibraryFile> libs) {
    fx.session.libraries().locate = [libs] { return libs; };
    fx.session.libraries().MakeStale();
  }
  double Scalar(const char* name) {
    ValueRecord* v = fx.session.values().FindGlobal(name);
    return v && v->eltype == kReal && v->rows == 1 && v->cols == 1 ? reals(v)[0] : -99;
  }
  std::string dir;
  LumoFixture fx;
};

// A function that pushes its real constant 2.5 and returns it; a string
// pool follows, so that the copy in the other byte order has a double
// and a byte run to treat differently from the numbers.
std::vector<int32_t> HalfCode() {
  std::vector<int32_t> c = {0, 0, k_real, 7, k_ret, k_realpool, 1, 0, 0, k_stringpool, 1, 1, 0};
  double d = 2.5;
  std::memcpy(&c[7], &d, 8);
  std::memcpy(&c[12], "ab\0\0", 4);
  return c;
}
void HalfLittle(Bytes& b) {
  b.le32(52).le32(13).le32(1).le16(1).le16(2).le16(0);
  b.le32(0).le32(0).le32(31).le32(7).le32(3).le32(38).le32(1);
  b.raw({0, 0, 0, 0, 0, 0, 0x04, 0x40});  // 2.5
  b.le32(39).le32(1).le32(1).raw({'a', 'b', 0, 0});
}
void HalfBig(Bytes& b) {
  b.be32(52).be32(13).be32(1).be16(1).be16(2).be16(0);
  b.be32(0).be32(0).be32(31).be32(7).be32(3).be32(38).be32(1);
  b.raw({0x40, 0x04, 0, 0, 0, 0, 0, 0});
  b.be32(39).be32(1).be32(1).raw({'a', 'b', 0, 0});
}

constexpr char kName32[] = "abcdefghijklmnopqrstuvwxyz012345";

TEST_F(LumoMlib, CreatedExtendedAndFullLibraryBytes) {
  std::string lib = Path("lt.mlib");
  ASSERT_EQ(MlibCreate(lib, 2, false, Report()), 0);
  Bytes empty;
  empty.magic().raw({2, 0}).le16(3).le32(0).le32(2).le32(0).le32(0).le32(0).le32(0).text("", 66);
  ASSERT_EQ(ReadFile(lib), empty.s);
  EXPECT_EQ(MlibCreate(lib, 2, false, Report()), 602);

  ASSERT_EQ(MlibAdd(lib, "lt.mlib", *Hand("half", HalfCode(), kCtReal, kOrgScalar), Report()), 0);
  // Header 16 + 2 x 41 = 98; the first member's copies are 18 + 52 bytes.
  Bytes one;
  one.magic().raw({2, 0}).le16(3).le32(1).le32(2).le32(168).le32(0).le32(98).le32(0).text("half", 33).text("", 33);
  HalfLittle(one);
  HalfBig(one);
  ASSERT_EQ(ReadFile(lib), one.s);

  // A 32-character name fills its slot up to the NUL.
  ASSERT_EQ(MlibAdd(lib, "lt.mlib", *Hand(kName32, {1, 1, k_count, 1, k_one, k_ret}, kCtTransmorphic, kOrgMatrix), Report()), 0);
  Bytes two;
  two.magic().raw({2, 0}).le16(3).le32(2).le32(2).le32(168).le32(280).le32(98).le32(238).text("half", 33).text(kName32, 33);
  HalfLittle(two);
  HalfBig(two);
  two.le32(24).le32(6).le32(0).le16(0).le16(2).le16(1);
  two.le32(1).le32(1).le32(4).le32(1).le32(80).le32(3);
  two.be32(24).be32(6).be32(0).be16(0).be16(2).be16(1);
  two.be32(1).be32(1).be32(4).be32(1).be32(80).be32(3);
  ASSERT_EQ(ReadFile(lib), two.s);

  fx.host.errors.clear();
  EXPECT_EQ(MlibAdd(lib, "lt.mlib", *Hand("third", {0, 0, k_one, k_ret}, kCtReal, kOrgMatrix), Report()), 611);
  EXPECT_EQ(fx.host.errors, "library is full\n");
  EXPECT_EQ(ReadFile(lib), two.s);

  // Read back: both names, and each member from its little-endian copy.
  MlibIndex ix;
  ASSERT_EQ(MlibOpen(lib, "lt.mlib", Report(), &ix), 0);
  EXPECT_EQ(ix.count, 2);
  EXPECT_EQ(ix.capacity, 2);
  EXPECT_EQ(ix.name(1), kName32);
  EXPECT_EQ(ix.Find("half"), 0);
  EXPECT_EQ(ix.littleoffsets[1], 238u);
}

TEST_F(LumoMlib, RefusedAdditionsLeaveTheFileAsItWas) {
  std::string lib = Path("lr.mlib");
  ASSERT_EQ(MlibCreate(lib, 3, false, Report()), 0);
  ASSERT_EQ(MlibAdd(lib, "lr.mlib", *Hand("half", HalfCode(), kCtReal, kOrgScalar), Report()), 0);
  std::string before = ReadFile(lib);
  struct Case {
    const char* name;
    std::vector<int32_t> code;
    int64_t fail_after;
    rc_t rc;
    const char* message;
  } cases[] = {
      // 24 has no operand shape in the opcode table.
      {"bad", {0, 0, k_one, 24, k_ret}, -1, 9711, "revpgm: invalid opcode 24\n"},
      // A byte run longer than the code left.
      {"runs", {0, 0, k_newreal, 9, k_ret}, -1, 9711, "revpgm: invalid opcode 37\n"},
      {"half", HalfCode(), -1, 602, "half already member of library\n"},
      {"empty", {}, -1, 9777, "unexpected 0-length function\n"},
      // The disk fills while the copies, or the index, are written.
      {"short1", {0, 0, k_one, k_ret}, 10, 693, "could not write into library\n"},
      {"short2", {0, 0, k_one, k_ret}, 2 * (18 + 16) + 5, 693, "could not write into library\n"},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    FunctionRecord* f = fx.session.values().FindFunction(c.name);
    if (!f) f = Hand(c.name, c.code, kCtReal, kOrgMatrix);
    fx.host.errors.clear();
    EXPECT_EQ(MlibAdd(lib, "lr.mlib", *f, Report(), c.fail_after), c.rc);
    EXPECT_EQ(fx.host.errors, c.message);
    EXPECT_EQ(ReadFile(lib), before);
  }
  // A name too long for its slot is refused before anything is written.
  std::string longname(33, 'n');
  fx.host.errors.clear();
  EXPECT_EQ(MlibAdd(lib, "lr.mlib", *Hand(longname.c_str(), {0, 0, k_one, k_ret}, kCtReal, kOrgMatrix), Report()), 198);
  EXPECT_EQ(ReadFile(lib), before);
}

TEST_F(LumoMlib, OpeningRefusesWhatIsNotALibraryOfThisVersion) {
  Bytes v4, v1, v2big;
  v4.magic().raw({2, 0}).le16(4).le32(0).le32(0);
  v1.magic().raw({2, 0}).le16(1).le32(0).le32(0);
  v2big.magic().raw({1, 0}).be16(4).be32(0).be32(0);  // version 4 once swapped
  struct Case {
    const char* file;
    std::string bytes;
    rc_t rc;
    std::string message;
  } cases[] = {
      {"l4.mlib", v4.s, 610, "l4.mlib from a more recent version of Nuvra\n"},
      {"l1.mlib", v1.s, 610, "l1.mlib from a older version of Nuvra\n"},
      {"lb.mlib", v2big.s, 610, "lb.mlib from a more recent version of Nuvra\n"},
      {"lm.mlib", "\x81\x92\xA7\xBA rest", 610, "lm.mlib not lumo library\n"},
      {"ls.mlib", "\x81\x92\xA7", 612, "could not read ls.mlib\n"},
      {"lh.mlib", std::string(v4.s).replace(6, 1, "\x03").substr(0, 12), 612, "could not read lh.mlib\n"},
      // The index of 2 slots the header promises is not in the file.
      {"li.mlib", Bytes().magic().raw({2, 0}).le16(3).le32(0).le32(2).le32(0).s, 612, "could not read li.mlib\n"},
      {"lc.mlib", Bytes().magic().raw({2, 0}).le16(3).le32(0).le32(501).s, 610, "lc.mlib not lumo library\n"},
      {"ln.mlib", Bytes().magic().raw({2, 0}).le16(3).le32(2).le32(1).le32(0).le32(0).text("f", 33).s, 610,
       "ln.mlib not lumo library\n"},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.file);
    WriteFile(Path(c.file), c.bytes);
    MlibIndex ix;
    fx.host.errors.clear();
    EXPECT_EQ(MlibOpen(Path(c.file), c.file, Report(), &ix), c.rc);
    EXPECT_EQ(fx.host.errors, c.message);
    // A silent open, as when probing the path, prints nothing.
    fx.host.errors.clear();
    EXPECT_EQ(MlibOpen(Path(c.file), c.file, MlibReport{fx.host, true}, &ix), c.rc);
    EXPECT_EQ(fx.host.errors, "");
  }
}

// A library written on a big-endian machine, built here from the layout:
// header and offsets big-endian, the member read from its little-endian
// copy.  Its version is 2, so it loads but takes no more members.
TEST_F(LumoMlib, BigEndianOlderLibraryOpensRunsAndRefusesAdditions) {
  CompiledUnit unit;
  ASSERT_EQ(fx.session.compiler().Compile("real scalar twice(real scalar x) { return(x + x) }", &unit, false),
            CompileStatus::kOk);
  const std::vector<int32_t>& code = unit.code;
  uint32_t bytes = uint32_t(code.size() * 4);
  uint32_t little_at = 16 + 41, big_at = little_at + 18 + bytes;
  Bytes b;
  b.magic().raw({1, 7}).be16(2).be32(1).be32(1).be32(big_at).be32(little_at).text("twice", 33);
  b.le32(bytes).le32(uint32_t(code.size())).le32(1).le16(1).le16(2).le16(1);
  for (int32_t w : code) b.le32(uint32_t(w));
  b.be32(bytes).be32(uint32_t(code.size())).be32(1).be16(1).be16(2).be16(1);
  for (int32_t w : code) b.be32(uint32_t(w));
  std::string lib = Path("lbig.mlib");
  WriteFile(lib, b.s);

  MlibIndex ix;
  ASSERT_EQ(MlibOpen(lib, "lbig.mlib", Report(), &ix), 0);
  EXPECT_TRUE(ix.big_endian());
  EXPECT_EQ(ix.version, 2);
  EXPECT_EQ(ix.count, 1);
  EXPECT_EQ(ix.littleoffsets[0], little_at);
  EXPECT_EQ(ix.bigoffsets[0], big_at);

  SearchOnly({Lib("lbig")});
  ASSERT_EQ(fx.Run("y = twice(21)"), 0) << fx.host.errors;
  EXPECT_EQ(Scalar("y"), 42);
  FunctionRecord* f = fx.session.values().FindFunction("twice");
  ASSERT_NE(f, nullptr);
  EXPECT_TRUE(f->autoloaded);
  EXPECT_EQ(f->result_el, kCtReal);
  EXPECT_EQ(f->result_org, kOrgScalar);
  EXPECT_EQ(std::vector<int32_t>(f->code(), f->code() + f->code_words()), code);

  fx.host.errors.clear();
  ASSERT_NE(Hand("other", {0, 0, k_one, k_ret}, kCtReal, kOrgMatrix), nullptr);
  EXPECT_EQ(MlibAdd(lib, "lbig.mlib", *fx.session.values().FindFunction("other"), Report()), 610);
  EXPECT_EQ(fx.host.errors, "cannot add members to old-format libarary\n");
  EXPECT_EQ(ReadFile(lib), b.s);
}

// A structure definition goes entry by entry: numbers swapped, the bytes
// of names as they are.
TEST_F(LumoMlib, StructureDefinitionBytes) {
  ASSERT_EQ(fx.Run("struct pt { real scalar v\n}"), 0);
  std::string lib = Path("ls.mlib");
  ASSERT_EQ(MlibCreate(lib, 1, false, Report()), 0);
  ASSERT_EQ(MlibAdd(lib, "ls.mlib", *fx.session.values().FindFunction("pt"), Report()), 0);
  // header words, marker, one member: type (real scalar), its name "v",
  // no structure name, end.
  Bytes b;
  b.magic().raw({2, 0}).le16(3).le32(1).le32(1).le32(57 + 18 + 56).le32(57).text("pt", 33);
  b.le32(56).le32(14).le32(0xFFFFFFFF).le16(0).le16(2).le16(0);
  b.le32(0).le32(0).le32(139).le32(1).le32(0).le32(1).le32(1).le32(2).le32(2).raw({'v', 0, 0, 0});
  b.le32(2).le32(2).le32(0).le32(3);
  b.be32(56).be32(14).be32(0xFFFFFFFF).be16(0).be16(2).be16(0);
  b.be32(0).be32(0).be32(139).be32(1).be32(0).be32(1).be32(1).be32(2).be32(2).raw({'v', 0, 0, 0});
  b.be32(2).be32(2).be32(0).be32(3);
  EXPECT_EQ(ReadFile(lib), b.s);

  // An entry tag without a shape.
  std::vector<int32_t> bad = {0, 0, 139, 1, 0, 1, 1, 9};
  ASSERT_NE(fx.session.values().AddFunction("badst", bad, kCtStructdef, kOrgMatrix), nullptr);
  fx.host.errors.clear();
  EXPECT_EQ(MlibAdd(lib, "ls.mlib", *fx.session.values().FindFunction("badst"), Report()), 611);
  ASSERT_EQ(MlibCreate(Path("ls2.mlib"), 1, false, Report()), 0);
  std::string empty = ReadFile(Path("ls2.mlib"));
  fx.host.errors.clear();
  EXPECT_EQ(MlibAdd(Path("ls2.mlib"), "ls2.mlib", *fx.session.values().FindFunction("badst"), Report()), 9711);
  EXPECT_EQ(fx.host.errors, "revstructdef: invalid opcode\n");
  EXPECT_EQ(ReadFile(Path("ls2.mlib")), empty);
}

// Functions compiled here, written, dropped and found again by calling
// them: a structure they use comes along when it is needed, and the
// autoloaded byte count follows every load and drop.
TEST_F(LumoMlib, AutoloadingAndTheAutoloadedByteCount) {
  ASSERT_EQ(fx.Run("struct point { real scalar x, y\n}"), 0);
  ASSERT_EQ(fx.Run("function pdist() { struct point scalar p; p.x = 3; p.y = 4; return(sqrt(p.x^2 + p.y^2)) }"), 0);
  ASSERT_EQ(fx.Run("string scalar greet(string scalar who, | real scalar n) { return(\"hi \" + who + \" \" + strofreal(1.25)) }"), 0)
      << fx.host.errors;
  std::string lib = Path("lauto.mlib");
  ASSERT_EQ(MlibCreate(lib, 10, false, Report()), 0);
  for (const char* name : {"point", "pdist", "greet"})
    ASSERT_EQ(MlibAdd(lib, "lauto.mlib", *fx.session.values().FindFunction(name), Report()), 0) << name;
  Values& values = fx.session.values();
  size_t pdist_bytes = values.FindFunction("pdist")->allocated, point_bytes = values.FindFunction("point")->allocated,
         greet_bytes = values.FindFunction("greet")->allocated;
  for (const char* name : {"point", "pdist", "greet"}) ASSERT_TRUE(values.DropFunction(name));

  // Nothing to search: the call fails as for any unknown function.
  SearchOnly({});
  EXPECT_EQ(fx.Run("d = pdist()"), 3499);
  EXPECT_EQ(values.autoloaded_bytes(), 0u);

  SearchOnly({Lib("lnothere"), Lib("lauto")});
  ASSERT_EQ(fx.Run("d = pdist()"), 0) << fx.host.errors;
  EXPECT_EQ(Scalar("d"), 5);
  ASSERT_NE(values.FindFunction("point"), nullptr);
  EXPECT_TRUE(values.FindFunction("point")->autoloaded);
  EXPECT_EQ(values.autoloaded_bytes(), pdist_bytes + point_bytes);
  ASSERT_EQ(fx.Run("s = greet(\"you\")"), 0) << fx.host.errors;
  ValueRecord* s = values.FindGlobal("s");
  ASSERT_NE(s, nullptr);
  ASSERT_EQ(s->eltype, kString);
  StringRef text = string_of(slots(s)[0]);
  EXPECT_EQ(std::string(text.bytes, text.length), "hi you 1.25");
  EXPECT_EQ(values.autoloaded_bytes(), pdist_bytes + point_bytes + greet_bytes);
  Values::MemoryStats m = values.Memory();
  EXPECT_EQ(m.count[Values::kAutoloaded], 3u);
  EXPECT_EQ(m.bytes[Values::kAutoloaded], pdist_bytes + point_bytes + greet_bytes);
  EXPECT_NE(values.DumpSymbols().find("verified"), std::string::npos);

  ASSERT_TRUE(values.DropFunction("greet"));
  EXPECT_EQ(values.autoloaded_bytes(), pdist_bytes + point_bytes);
  ASSERT_EQ(fx.Run("s = greet(\"again\")"), 0);
  EXPECT_EQ(values.autoloaded_bytes(), pdist_bytes + point_bytes + greet_bytes);
}

// Every cut of a good library opens or is refused with its codes, and
// every member that the cut index names loads or is refused as corrupt.
TEST_F(LumoMlib, TruncatedLibrariesAreRefused) {
  ASSERT_EQ(fx.Run("function g(x) { return(x * 2.5 + strlen(\"abc\")) }"), 0);
  std::string lib = Path("lcut.mlib");
  ASSERT_EQ(MlibCreate(lib, 2, false, Report()), 0);
  ASSERT_EQ(MlibAdd(lib, "lcut.mlib", *fx.session.values().FindFunction("g"), Report()), 0);
  ASSERT_TRUE(fx.session.values().DropFunction("g"));
  std::string whole = ReadFile(lib);
  size_t header = 16 + 2 * 41;
  for (size_t n = 0; n < whole.size(); ++n) {
    SCOPED_TRACE(n);
    WriteFile(lib, whole.substr(0, n));
    MlibIndex ix;
    rc_t rc = MlibOpen(lib, "lcut.mlib", MlibReport{fx.host, true}, &ix);
    if (n < 4 || n < header) {
      EXPECT_EQ(rc, 612);
      continue;
    }
    ASSERT_EQ(rc, 0);
    FILE* fp = std::fopen(lib.c_str(), "rb");
    FunctionRecord* f = nullptr;
    rc_t load = MlibLoad(fileno(fp), ix, 0, fx.session.values(), MlibReport{fx.host, true}, &f);
    std::fclose(fp);
    // The little-endian copy ends where the big-endian one starts.
    if (n < ix.bigoffsets[0]) {
      EXPECT_EQ(load, 610);
      EXPECT_EQ(fx.session.values().FindFunction("g"), nullptr);
    } else {
      EXPECT_EQ(load, 0);
      ASSERT_TRUE(fx.session.values().DropFunction("g"));
    }
  }
  EXPECT_EQ(fx.session.values().autoloaded_bytes(), 0u);
}

}  // namespace
