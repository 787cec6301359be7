// Lumo globals and bookkeeping: crexternal(), findexternal(),
// rmexternal(), direxternal() and nameexternal(); memory statistics; the
// type table's dump; Break.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lumo/symbols.h"
#include "lumo/value.h"
#include "lumo_test_host.h"

namespace {

using namespace nuvra::lumo;

std::string StringOf(LumoFixture& f, const char* name, int k = 0) {
  ValueRecord* v = f.session.values().FindGlobal(name);
  if (!v || v->eltype != kString || k >= element_count(v)) return "<none>";
  StringRef s = string_of(slots(v)[k]);
  return std::string(s.bytes, s.length);
}

double Scalar(LumoFixture& f, const char* name) {
  ValueRecord* v = f.session.values().FindGlobal(name);
  return v && v->eltype == kReal && element_count(v) == 1 ? reals(v)[0] : -12345;
}

TEST(LumoGlobals, CreateFindNameAndRemove) {
  LumoFixture f;
  ASSERT_EQ(f.Run("p = crexternal(\"gx\"); *p = 42"), 0);
  ASSERT_NE(f.session.values().FindGlobal("gx"), nullptr);
  EXPECT_EQ(Scalar(f, "gx"), 42);
  // A second crexternal() of the name gives NULL.
  ASSERT_EQ(f.Run("q = crexternal(\"gx\"); isnull = (q == NULL)"), 0);
  EXPECT_EQ(Scalar(f, "isnull"), 1);
  ASSERT_EQ(f.Run("r = findexternal(\"gx\"); v = *r; n = nameexternal(r)"), 0);
  EXPECT_EQ(Scalar(f, "v"), 42);
  EXPECT_EQ(StringOf(f, "n"), "gx");
  ASSERT_EQ(f.Run("function fx() { return(1) }"), 0);
  ASSERT_EQ(f.Run("pf = findexternal(\"fx()\"); nf = nameexternal(pf); nt = nameexternal(&(1+1))"), 0);
  EXPECT_EQ(StringOf(f, "nf"), "fx()");
  EXPECT_EQ(StringOf(f, "nt"), "");
  ASSERT_EQ(f.Run("none = (findexternal(\"nosuch\") == NULL)"), 0);
  EXPECT_EQ(Scalar(f, "none"), 1);
  EXPECT_EQ(f.Run("crexternal(\"1bad\")"), 3300);
  EXPECT_EQ(f.Run("findexternal(\"a b\")"), 3300);
  ASSERT_EQ(f.Run("rmexternal(\"gx\")"), 0);
  EXPECT_EQ(f.session.values().FindGlobal("gx"), nullptr);
}

TEST(LumoGlobals, DirexternalListsSortedAndMatchesAPattern) {
  LumoFixture f;
  ASSERT_EQ(f.Run("zeta = 1; alpha = 2; alps = 3"), 0);
  ASSERT_EQ(f.Run("d = direxternal(\"al*\")"), 0);
  ValueRecord* d = f.session.values().FindGlobal("d");
  ASSERT_TRUE(d && d->eltype == kString);
  EXPECT_EQ(d->rows, 2);
  EXPECT_EQ(d->cols, 1);
  EXPECT_EQ(StringOf(f, "d", 0), "alpha");
  EXPECT_EQ(StringOf(f, "d", 1), "alps");
  ASSERT_EQ(f.Run("e = direxternal(\"?eta\")"), 0);
  EXPECT_EQ(StringOf(f, "e", 0), "zeta");
}

TEST(LumoGlobals, MemoryStatisticsCountRecordsAndBytes) {
  LumoFixture f;
  ASSERT_EQ(f.Run("x = (1,2,3); s = \"abcd\""), 0);
  ASSERT_EQ(f.Run("function f(a) { return(a) }"), 0);
  Values::MemoryStats m = f.session.values().Memory();
  EXPECT_EQ(m.count[Values::kDefined], 1u);
  EXPECT_EQ(m.count[Values::kAutoloaded], 0u);
  EXPECT_EQ(m.count[Values::kAdo], 0u);
  EXPECT_EQ(m.count[Values::kMatrices], 2u);
  // x: 3 doubles; s: one 8-byte slot and its 4 bytes of text.
  EXPECT_EQ(m.bytes[Values::kMatrices], 24u + 8u + 4u);
  // f: header 2, count 1 (2), local 0 (2), jump (2), void, ret: 10 words
  EXPECT_EQ(m.bytes[Values::kDefined], 40u);
  EXPECT_EQ(m.overhead, 3u * 68u);
  EXPECT_EQ(m.total_count, 3u);
  EXPECT_EQ(m.total_bytes, 40u + 36u + 204u);
}

TEST(LumoGlobals, TypeTableDump) {
  LumoTestHost host;
  TypeTable t(host);
  int real_scalar = t.Plain(kCtReal, kOrgScalar);
  EXPECT_EQ(t.Plain(kCtReal, kOrgScalar), real_scalar);  // shared
  int p = t.Pointer(kOrgScalar, false);
  t.SetTarget(p, real_scalar);
  t.Struct("point", kOrgMatrix, false);
  // The pointer's target starts as the plain transmorphic matrix (entry 1)
  // and is then set to entry 0.
  EXPECT_EQ(t.Dump(), std::string("Type table:\n") + "0. el=1 org=1\n" + "1. el=0 org=0\n" + "2. el=5 org=1 to=0\n" +
                          "3. el=6 org=0 name=|point|\n" + "end type table\n");
}

TEST(LumoGlobals, BreakStopsALoopOfScalarWork) {
  LumoFixture f;
  ASSERT_EQ(f.Run("function spin() { real scalar i, t; t = 0; for (i = 1; i >= 0; i++) t = t + i; return(t) }"), 0);
  f.host.break_after = f.host.polls + 3;
  EXPECT_EQ(f.Run("spin()"), 1);
  EXPECT_EQ(f.host.errors, "");
  EXPECT_EQ(f.session.machine().depth(), 0);
}

TEST(LumoGlobals, BreakDuringCompilationAbandonsTheUnit) {
  LumoFixture f;
  f.host.break_after = 0;
  EXPECT_EQ(f.Run("function later() {\n x = 1\n return(x)\n}"), 1);
  EXPECT_EQ(f.host.errors, "--Break--\n");
  EXPECT_EQ(f.session.values().FindFunction("later"), nullptr);
  f.host.errors.clear();
  EXPECT_EQ(f.Run("y = 2"), 1);
  EXPECT_EQ(f.session.values().FindGlobal("y"), nullptr);
}

}  // namespace
