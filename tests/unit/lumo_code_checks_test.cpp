// Code read from object and library files is checked before it can run:
// a jump, a frame slot, a call or a constant that reaches outside its
// function, or code that runs off its end, is refused as damage with 610.
// Each case spoils one operand of a compiled function, and the same word
// is spoiled in a .mo file and in a library member.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "lumo/binary_io.h"
#include "lumo/compiler.h"
#include "lumo/mlib.h"
#include "lumo/object_file.h"
#include "lumo/opcodes.h"
#include "lumo_test_host.h"

namespace {

using namespace nuvra::lumo;
using nuvra::rc_t;

// One argument n; locals i, t, s and the function twice(): five frame
// slots, 0 to 4.  A loop (jumps), a real and a string constant, a call.
constexpr const char* kProbe =
    "real scalar probe(real scalar n)\n{\n\treal scalar i, t\n\tstring scalar s\n\tt = 0.25\n"
    "\tfor (i = 1; i <= n; i++) t = t + 0.5\n\ts = \"ab\"\n\treturn(t + strlen(s) + twice(1))\n}\n";
constexpr const char* kTwice = "function twice(x)\n{\n\treturn(2 * x)\n}\n";
constexpr int32_t kProbeSlots = 5;

// The word offsets at which instructions start, walked by operand shape.
std::vector<size_t> Starts(const std::vector<int32_t>& c) {
  std::vector<size_t> at;
  for (size_t pc = kCodeHeaderWords; pc < c.size();) {
    at.push_back(pc);
    const OpcodeInfo& info = opcode_info(c[pc]);
    switch (info.shape) {
      case Shape::None: pc += 1; break;
      case Shape::Word: pc += 2; break;
      case Shape::Words2: pc += 3; break;
      case Shape::Words3: pc += 4; break;
      case Shape::Bytes: pc += 2 + size_t(c[pc + 1]); break;
      case Shape::WordBytes: pc += 3 + size_t(c[pc + 2]); break;
      case Shape::FuncRef: pc += 5 + size_t(c[pc + 4]); break;
      case Shape::Doubles: pc += 2 + 2 * size_t(c[pc + 1]); break;
      case Shape::Strings: {
        size_t s = pc + 2;
        for (int32_t k = 0; k < c[pc + 1]; ++k) s += 1 + size_t(c[s]);
        pc = s;
        break;
      }
    }
  }
  return at;
}

// The word offset of the first instruction with that opcode.
size_t First(const std::vector<int32_t>& c, int32_t op) {
  for (size_t pc : Starts(c))
    if (c[pc] == op) return pc;
  ADD_FAILURE() << "no opcode " << op;
  return 0;
}

struct Spoil {
  const char* what;
  size_t word;  // the word changed
  int32_t value;
};

class LumoCodeChecks : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/lumo-checks-XXXXXX";
    dir = mkdtemp(tmpl);
    ASSERT_EQ(fx.Run(kTwice), 0) << fx.host.errors;
    ASSERT_EQ(fx.Run(kProbe), 0) << fx.host.errors;
    probe = fx.session.values().FindFunction("probe");
    ASSERT_NE(probe, nullptr);
    code.assign(probe->code(), probe->code() + probe->code_words());
  }
  void TearDown() override {
    std::string cmd = "rm -rf '" + dir + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
  }
  // The function in a fresh library; the file offset of the first word
  // of its code in the little-endian copy.
  size_t WriteLibrary(const std::string& path) {
    MlibReport report{fx.host};
    EXPECT_EQ(MlibCreate(path, 4, false, report), 0);
    EXPECT_EQ(MlibAdd(path, "lchk.mlib", *probe, report), 0);
    std::ifstream in(path, std::ios::binary);
    std::string b(std::istreambuf_iterator<char>(in), {});
    return GetU32(reinterpret_cast<const unsigned char*>(b.data() + 16 + 4 * 4)) + kMlibMemberHeaderBytes;
  }
  // Loads slot 0 of the library into a fresh session: its return code.
  rc_t LoadFromLibrary(const std::string& path, std::string* errors) {
    LumoFixture g;
    MlibReport report{g.host};
    MlibIndex ix;
    EXPECT_EQ(MlibOpen(path, "lchk.mlib", report, &ix), 0);
    int fd = open(path.c_str(), O_RDONLY);
    FunctionRecord* f = nullptr;
    rc_t rc = MlibLoad(fd, ix, 0, g.session.values(), report, &f);
    close(fd);
    *errors = g.host.errors;
    if (rc != 0) {
      EXPECT_EQ(g.session.values().FindFunction("probe"), nullptr);
    }
    return rc;
  }
  std::string dir;
  LumoFixture fx;
  FunctionRecord* probe = nullptr;
  std::vector<int32_t> code;
};

TEST_F(LumoCodeChecks, TheCompiledFunctionPassesAndRunsFromBothFiles) {
  // 0.25 + 0.5 * 2, plus strlen("ab"), plus twice(1): 5.25.
  ASSERT_EQ(fx.Run("r = probe(2)"), 0) << fx.host.errors;
  EXPECT_EQ(reals(fx.session.values().FindGlobal("r"))[0], 5.25);
  ObjectFunction obj;
  std::string why, errors;
  ASSERT_EQ(DecodeObject(EncodeObject(*probe), &obj, &why), 0) << why;
  std::string lib = dir + "/lchk.mlib";
  WriteLibrary(lib);
  LumoFixture g;
  ASSERT_EQ(g.Run(kTwice), 0);
  g.session.libraries().locate = [lib] { return std::vector<LibraryFile>{{"lchk", lib}}; };
  ASSERT_EQ(g.Run("r = probe(2)"), 0) << g.host.errors;
  EXPECT_EQ(reals(g.session.values().FindGlobal("r"))[0], 5.25);
  // The highest slot of the frame is still one of its own.
  std::vector<int32_t> c = code;
  c[First(c, k_local) + 1] = kProbeSlots - 1;
  FunctionRecord f;
  std::snprintf(f.name, sizeof f.name, "probe");
  f.data = c.data();
  f.allocated = uint32_t(4 * c.size());
  EXPECT_EQ(DecodeObject(EncodeObject(f), &obj, &why), 0) << why;
  f.data = nullptr;
}

TEST_F(LumoCodeChecks, EachOperandThatReachesOutsideIsRefusedFromBothFiles) {
  size_t jump = First(code, k_jump), test = First(code, k_jumpiffalse), local = First(code, k_local);
  size_t real = First(code, k_real), string = First(code, k_string), call = First(code, k_call);
  size_t count = First(code, k_count), store = First(code, k_storepop), inc = First(code, k_inc);
  size_t pool = First(code, k_realpool);
  int32_t words = int32_t(code.size());
  const Spoil spoils[] = {
      {"a jump past the end", jump + 1, words},
      {"a jump far past the end", jump + 1, 1 << 30},
      {"a jump into the header", jump + 1, 1},
      {"a negative jump", test + 1, -4},
      {"a jump onto an operand", test + 1, int32_t(local + 1)},
      {"a local one past the frame", local + 1, kProbeSlots},
      {"a negative local", local + 1, -1},
      {"a store past the frame", store + 1, 1000},
      {"an increment past the frame", inc + 1, kProbeSlots},
      {"a call of the argument, not a function", call + 1, 0},
      {"a call past the frame", call + 1, kProbeSlots},
      {"a call taking more values than were pushed", call + 2, 50},
      {"a call taking a negative number of values", call + 2, -1},
      {"a real constant that is an instruction", real + 1, int32_t(local)},
      {"a real constant on the pool's count", real + 1, int32_t(pool + 1)},
      {"a real constant past the end", real + 1, words},
      {"a string constant that is a double", string + 1, int32_t(pool + 2)},
      {"a string constant past the end", string + 1, words + 7},
      {"a count that leaves the arguments open", count + 1, 0},
      {"the count gone", count, k_line},
  };
  for (const Spoil& s : spoils) {
    std::vector<int32_t> c = code;
    ASSERT_LT(s.word, c.size()) << s.what;
    c[s.word] = s.value;
    FunctionRecord f;
    std::snprintf(f.name, sizeof f.name, "probe");
    f.data = c.data();
    f.allocated = uint32_t(4 * c.size());
    ObjectFunction obj;
    obj.name = "untouched";
    std::string why;
    EXPECT_EQ(DecodeObject(EncodeObject(f), &obj, &why), 610) << s.what;
    EXPECT_EQ(why, "damaged") << s.what;
    EXPECT_EQ(obj.name, "untouched") << s.what;
    f.data = nullptr;

    std::string lib = dir + "/lchk.mlib";
    unlink(lib.c_str());
    size_t at = WriteLibrary(lib) + 4 * s.word;
    {
      std::fstream io(lib, std::ios::binary | std::ios::in | std::ios::out);
      io.seekp(std::streamoff(at));
      for (int k = 0; k < 4; ++k) io.put(char(uint32_t(s.value) >> (8 * k)));
    }
    std::string errors;
    EXPECT_EQ(LoadFromLibrary(lib, &errors), 610) << s.what;
    EXPECT_EQ(errors, "unable to read; library is corrupt\n") << s.what;
  }
}

TEST(LumoCodeCheck, CodeThatRunsOffItsEndIsRefused) {
  // Whatever may fall through needs an instruction after it; a return,
  // a jump or a pool (which is never run) may end the code.
  EXPECT_FALSE(MlibCodeWalks(std::vector<int32_t>{0, 0, k_one}.data(), 3, false));
  EXPECT_FALSE(MlibCodeWalks(std::vector<int32_t>{0, 0, k_one, k_jumpiffalse, 2}.data(), 5, false));
  EXPECT_FALSE(MlibCodeWalks(std::vector<int32_t>{0, 0}.data(), 2, false));
  EXPECT_TRUE(MlibCodeWalks(std::vector<int32_t>{0, 0, k_one, k_ret}.data(), 4, false));
  EXPECT_TRUE(MlibCodeWalks(std::vector<int32_t>{0, 0, k_jump, 2}.data(), 4, false));
  EXPECT_TRUE(MlibCodeWalks(std::vector<int32_t>{0, 0, k_one, k_ret, k_realpool, 0}.data(), 6, false));
  // A header that requires more arguments than it takes, or a negative
  // count of them.
  EXPECT_FALSE(MlibCodeWalks(std::vector<int32_t>{1, 2, k_count, 1, k_one, k_ret}.data(), 6, false));
  EXPECT_FALSE(MlibCodeWalks(std::vector<int32_t>{-1, 0, k_one, k_ret}.data(), 4, false));
}

TEST(LumoCodeCheck, CodeThatTakesFromBelowItsFrameIsRefused) {
  auto walks = [](std::vector<int32_t> c) { return MlibCodeWalks(c.data(), c.size(), false); };
  // Taking from an empty stack: a pop, a return, an operator.
  EXPECT_FALSE(walks({0, 0, k_pop, k_one, k_ret}));
  EXPECT_FALSE(walks({0, 0, k_ret}));
  EXPECT_FALSE(walks({0, 0, k_one, k_add, k_ret}));
  EXPECT_TRUE(walks({0, 0, k_one, k_one, k_add, k_ret}));
  // The argument and the locals belong to the frame, not to the code.
  EXPECT_FALSE(walks({1, 1, k_count, 1, k_pop, k_one, k_ret}));
  EXPECT_FALSE(walks({0, 0, k_newreal, 0, k_pop, k_one, k_ret}));
  EXPECT_TRUE(walks({1, 1, k_count, 1, k_newreal, 0, k_local, 1, k_ret}));
  // In the prologue, an instance needs the local made before it.
  EXPECT_FALSE(walks({1, 1, k_count, 1, k_instance, 0, k_one, k_ret}));
  // Calls take their count: two values pushed, two or three taken.
  EXPECT_TRUE(walks({0, 0, k_one, k_one, k_builtin, 0, 2, k_ret}));
  EXPECT_FALSE(walks({0, 0, k_one, k_one, k_builtin, 0, 3, k_ret}));
  EXPECT_FALSE(walks({0, 0, k_one, k_builtin, 0, -1, k_ret}));
  EXPECT_FALSE(walks({0, 0, k_one, k_one, k_callptr, 2, k_ret}));
  EXPECT_TRUE(walks({0, 0, k_one, k_one, k_callptr, 1, k_ret}));
  // A path that jumps past the pushes returns with nothing.
  EXPECT_FALSE(walks({0, 0, k_one, k_jumpiffalse, 7, k_one, k_one, k_ret}));
  EXPECT_TRUE(walks({0, 0, k_one, k_jumpiffalse, 6, k_one, k_one, k_ret}));
  // A loop that pops one more than it pushes each turn runs the stack
  // down; one that balances may run for ever.
  EXPECT_FALSE(walks({0, 0, k_one, k_one, k_pop, k_jump, 4}));
  EXPECT_TRUE(walks({0, 0, k_one, k_pop, k_jump, 2}));
}

}  // namespace
