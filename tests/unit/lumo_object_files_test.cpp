// Object files (.mo) and matrix files (.mmat): bytes laid out as their
// headers document, round trips that run the same, and damaged files
// refused with their codes before anything changes.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "data/missing.h"
#include "lumo/binary_io.h"
#include "lumo/matrix_file.h"
#include "lumo/object_file.h"
#include "lumo_test_host.h"

namespace {

using namespace nuvra::lumo;
using nuvra::rc_t;

uint32_t U32At(const std::string& b, size_t at) { return GetU32(reinterpret_cast<const unsigned char*>(b.data() + at)); }
void SetU32(std::string* b, size_t at, uint32_t w) {
  for (int k = 0; k < 4; ++k) (*b)[at + size_t(k)] = char(w >> (8 * k));
}
// Puts a fresh check word at the end, so that only the fault made is left.
void Recheck(std::string* b) { SetU32(b, b->size() - 4, CheckWord(std::string_view(*b).substr(0, b->size() - 4))); }

TEST(LumoObjectFile, BytesFollowTheDocumentedLayout) {
  LumoFixture f;
  ASSERT_EQ(f.Run("real scalar twice(real scalar x)\n{\n\treturn(2 * x)\n}\n"), 0) << f.host.errors;
  const FunctionRecord* fn = f.session.values().FindFunction("twice");
  ASSERT_NE(fn, nullptr);
  std::string b = EncodeObject(*fn);
  size_t n = fn->code_words();
  ASSERT_EQ(b.size(), 48 + 4 * n + 4);
  EXPECT_EQ(b.substr(0, 4), std::string("LMO\x1a"));
  EXPECT_EQ(b[4], 1);  // version 1, little-endian
  EXPECT_EQ(b[5], 0);
  EXPECT_EQ(b[6], kCtReal);
  EXPECT_EQ(b[7], kOrgScalar);
  EXPECT_EQ(std::string(b.data() + 8), "twice");
  for (size_t k = 8 + 5; k < 44; ++k) EXPECT_EQ(b[k], 0) << k;
  EXPECT_EQ(U32At(b, 44), n);
  // One argument, one required.
  EXPECT_EQ(U32At(b, 48), 1u);
  EXPECT_EQ(U32At(b, 52), 1u);
  for (size_t k = 0; k < n; ++k) EXPECT_EQ(int32_t(U32At(b, 48 + 4 * k)), fn->code()[k]);
  // FNV-1a of "a" is 0xE40C292C: the check word is the standard one.
  EXPECT_EQ(CheckWord("a"), 0xE40C292Cu);
  EXPECT_EQ(U32At(b, b.size() - 4), CheckWord(std::string_view(b).substr(0, b.size() - 4)));
}

TEST(LumoObjectFile, EveryLibraryFunctionSurvivesTheTripAndRunsFromIt) {
  LumoFixture f;
  for (const std::string& name : ShippedFunctionNames()) {
    FunctionRecord* fn = f.session.values().FindOrLoadFunction(name);
    ASSERT_NE(fn, nullptr) << name << f.host.errors;
    ObjectFunction obj;
    std::string why;
    ASSERT_EQ(DecodeObject(EncodeObject(*fn), &obj, &why), 0) << name << ": " << why;
    EXPECT_EQ(obj.name, name);
    EXPECT_EQ(obj.el, fn->result_el);
    EXPECT_EQ(obj.org, fn->result_org);
    ASSERT_EQ(obj.code.size(), fn->code_words());
    EXPECT_EQ(std::memcmp(obj.code.data(), fn->code(), 4 * obj.code.size()), 0) << name;
  }
  // A function defined from its file alone, in a session that never
  // compiled it, computes what the compiled one does.
  FunctionRecord* det = f.session.values().FindFunction("det");
  std::string bytes = EncodeObject(*det);
  LumoFixture g;
  ObjectFunction obj;
  std::string why;
  ASSERT_EQ(DecodeObject(bytes, &obj, &why), 0) << why;
  ASSERT_EQ(DefineObject(g.session.values(), obj), 0);
  ASSERT_EQ(DefineObject(g.session.values(), obj), 110);  // the name is taken now
  ASSERT_EQ(g.Run("d = det((0, 2 \\ 3, 1))"), 0) << g.host.errors;
  EXPECT_EQ(reals(g.session.values().FindGlobal("d"))[0], -6);
  EXPECT_FALSE(g.session.values().FindFunction("det")->autoloaded);
}

TEST(LumoObjectFile, DamagedFilesAreRefusedWithTheirCodes) {
  LumoFixture f;
  ASSERT_EQ(f.Run("function sq(x)\n{\n\treturn(x :* x)\n}\n"), 0) << f.host.errors;
  const std::string good = EncodeObject(*f.session.values().FindFunction("sq"));
  ObjectFunction obj;
  std::string why;
  ASSERT_EQ(DecodeObject(good, &obj, &why), 0);
  auto refused = [&](std::string b, rc_t want, const char* fault, const char* what) {
    ObjectFunction o;
    o.name = "untouched";
    std::string w;
    EXPECT_EQ(DecodeObject(b, &o, &w), want) << what;
    EXPECT_EQ(w, fault) << what;
    EXPECT_EQ(o.name, "untouched") << what;
  };
  refused(good.substr(0, 3), 612, "could not read", "shorter than the magic");
  refused(good.substr(0, 30), 612, "could not read", "shorter than the header");
  refused(good.substr(0, good.size() - 1), 612, "could not read", "cut in the check word");
  refused(good + "x", 610, "damaged", "a byte after the check word");
  std::string b = good;
  b[0] = 'X';
  refused(b, 610, "not lumo object file", "another magic");
  b = good;
  b[4] = 2;
  refused(b, 610, "from a more recent version of Nuvra", "version 2");
  b = good;
  b[4] = 0;
  refused(b, 610, "not lumo object file", "version 0");
  b = good;
  b[60] ^= 1;
  refused(b, 610, "damaged", "a bit of the code flipped");
  // Faults that pass the check word are found by what they break.
  b = good;
  b[8] = '9';
  Recheck(&b);
  refused(b, 610, "damaged", "a name starting with a digit");
  b = good;
  b[42] = 1;
  Recheck(&b);
  refused(b, 610, "damaged", "padding not zero");
  b = good;
  b[7] = 9;
  Recheck(&b);
  refused(b, 610, "damaged", "no such organisation");
  b = good;
  SetU32(&b, 52, 2);  // two required of one argument
  Recheck(&b);
  refused(b, 610, "damaged", "more arguments required than taken");
  b = good;
  SetU32(&b, 56, 999);  // the first instruction's opcode
  Recheck(&b);
  refused(b, 610, "damaged", "an unknown opcode");
  b = good;
  SetU32(&b, 44, U32At(good, 44) + 1000);
  Recheck(&b);
  refused(b, 612, "could not read", "more code words than the file holds");
}

TEST(LumoObjectFile, ReadingAMissingOrForeignFileNamesIt) {
  ObjectFunction obj;
  std::string msg;
  EXPECT_EQ(ReadObjectFile("/nonexistent/dir/f.mo", &obj, &msg), 601);
  EXPECT_EQ(msg, "file /nonexistent/dir/f.mo not found");
  std::string path = ::testing::TempDir() + "lumo_foreign.mo";
  std::FILE* fp = std::fopen(path.c_str(), "wb");
  ASSERT_NE(fp, nullptr);
  std::fputs("this is not an object file at all, but long enough for a header", fp);
  std::fclose(fp);
  EXPECT_EQ(ReadObjectFile(path, &obj, &msg), 610);
  EXPECT_EQ(msg, path + " not lumo object file");
  std::remove(path.c_str());
}

// ---- matrix files

TEST(LumoMatrixFile, RoundTripOfRealComplexAndStringMatrices) {
  LumoFixture f;
  ASSERT_EQ(f.Run("A = (1, .a \\ -0.5, 1e300); Z = (C(1, 2), C(., 3)); S = (\"ab\", \"\" \\ \"x y\", \"\"); E = J(0, 3, .)"), 0)
      << f.host.errors;
  Values& v = f.session.values();
  std::vector<const ValueRecord*> saved = {v.FindGlobal("A"), v.FindGlobal("Z"), v.FindGlobal("S"), v.FindGlobal("E")};
  std::string bytes, bad;
  ASSERT_EQ(EncodeMatrices(saved, &bytes, &bad), 0);
  // The layout by hand: 12 header bytes; A: 44 + 4*8; Z: 44 + 2*16;
  // S: 44 + (4+2) + 4 + (4+3) + 4; E: 44; the check word.
  ASSERT_EQ(bytes.size(), 12u + 76 + 76 + 65 + 44 + 4);
  EXPECT_EQ(bytes.substr(0, 4), std::string("LMM\x1a"));
  EXPECT_EQ(U32At(bytes, 8), 4u);
  EXPECT_EQ(std::string(bytes.data() + 12), "A");
  EXPECT_EQ(bytes[12 + 33], 0);  // real
  EXPECT_EQ(U32At(bytes, 12 + 36), 2u);
  EXPECT_EQ(U32At(bytes, 12 + 40), 2u);
  EXPECT_EQ(bytes[88 + 33], 1);   // complex
  EXPECT_EQ(bytes[164 + 33], 2);  // string
  EXPECT_EQ(U32At(bytes, 164 + 44), 2u);
  EXPECT_EQ(bytes.substr(164 + 48, 2), "ab");

  LumoFixture g;
  std::vector<SavedMatrix> mats;
  std::string why, clash;
  ASSERT_EQ(DecodeMatrices(bytes, &mats, &why), 0) << why;
  ASSERT_EQ(RestoreMatrices(g.session.values(), mats, false, &clash), 0);
  ASSERT_EQ(g.Run("ok = A == (1, .a \\ -0.5, 1e300) & Z == (C(1, 2), C(., 3)) & S == (\"ab\", \"\" \\ \"x y\", \"\") & "
                  "rows(E) == 0 & cols(E) == 3 & eltype(S) == \"string\" & eltype(Z) == \"complex\""),
            0)
      << g.host.errors;
  EXPECT_EQ(reals(g.session.values().FindGlobal("ok"))[0], 1);
}

TEST(LumoMatrixFile, RestoringIsAllOrNothing) {
  LumoFixture f;
  ASSERT_EQ(f.Run("A = 1; B = (2, 3)"), 0);
  Values& v = f.session.values();
  std::string bytes, bad, why, clash;
  ASSERT_EQ(EncodeMatrices({v.FindGlobal("A"), v.FindGlobal("B")}, &bytes, &bad), 0);
  std::vector<SavedMatrix> mats;
  ASSERT_EQ(DecodeMatrices(bytes, &mats, &why), 0);
  LumoFixture g;
  ASSERT_EQ(g.Run("B = \"keep\""), 0);
  EXPECT_EQ(RestoreMatrices(g.session.values(), mats, false, &clash), 110);
  EXPECT_EQ(clash, "B");
  EXPECT_EQ(g.session.values().FindGlobal("A"), nullptr) << "A was not made either";
  ASSERT_EQ(RestoreMatrices(g.session.values(), mats, true, &clash), 0);
  ASSERT_EQ(g.Run("ok = A == 1 & B == (2, 3)"), 0) << g.host.errors;
  EXPECT_EQ(reals(g.session.values().FindGlobal("ok"))[0], 1);
  // Pointers cannot be saved.
  ASSERT_EQ(f.Run("P = &A"), 0);
  EXPECT_EQ(EncodeMatrices({v.FindGlobal("A"), v.FindGlobal("P")}, &bytes, &bad), 3256);
  EXPECT_EQ(bad, "P");
}

TEST(LumoMatrixFile, DamagedFilesAreRefusedBeforeAnyMemoryIsAskedFor) {
  LumoFixture f;
  ASSERT_EQ(f.Run("A = (1, 2 \\ 3, 4); S = (\"a\", \"bc\")"), 0);
  Values& v = f.session.values();
  std::string good, bad;
  ASSERT_EQ(EncodeMatrices({v.FindGlobal("A"), v.FindGlobal("S")}, &good, &bad), 0);
  auto refused = [&](const std::string& b, rc_t want, const char* fault, const char* what) {
    std::vector<SavedMatrix> mats(1);
    std::string w;
    EXPECT_EQ(DecodeMatrices(b, &mats, &w), want) << what;
    EXPECT_EQ(w, fault) << what;
    EXPECT_EQ(mats.size(), 1u) << what << ": the output is left alone";
  };
  refused(good.substr(0, 5), 612, "could not read", "shorter than the magic");
  refused(good.substr(0, 12), 612, "could not read", "shorter than the header");
  refused(good.substr(0, good.size() - 9), 610, "damaged", "cut short");
  std::string b = good;
  b[1] = 'X';
  refused(b, 610, "not lumo matrix file", "another magic");
  b = good;
  b[4] = 7;
  refused(b, 610, "from a more recent version of Nuvra", "version 7");
  b = good;
  b[20] ^= 0x40;
  refused(b, 610, "damaged", "a flipped bit");
  // With the check word made good again, the structure itself must hold.
  b = good;
  SetU32(&b, 8, 0x7FFFFFFF);  // a count no file of this size can hold
  Recheck(&b);
  refused(b, 610, "damaged", "huge count");
  b = good;
  SetU32(&b, 12 + 36, 0x7FFFFFFF);  // rows of A
  Recheck(&b);
  refused(b, 610, "damaged", "huge extent");
  b = good;
  SetU32(&b, 8, 1);  // one entry, and the other's bytes left over
  Recheck(&b);
  refused(b, 610, "damaged", "bytes after the last entry");
  b = good;
  b[88] = 'A';  // S renamed A: two entries of one name
  Recheck(&b);
  refused(b, 610, "damaged", "a name twice");
  b = good;
  b[12 + 33] = 3;
  Recheck(&b);
  refused(b, 610, "damaged", "no such eltype");
  b = good;
  SetU32(&b, 88 + 44, 1000);  // the first string's length
  Recheck(&b);
  refused(b, 610, "damaged", "a string longer than the file");
}

}  // namespace
