// Lumo stores and structures: assignment into subscripted elements,
// ranges, pointer targets and structure members; ++ and -- on such
// lvalues; structure definitions and instances; and loops of real
// scalars, which the machine works out without temporaries, giving the
// numbers the operators give.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "data/missing.h"
#include "lumo/value.h"
#include "lumo_test_host.h"

namespace {

using namespace nuvra::lumo;

std::vector<double> Reals(LumoFixture& f, const char* name, int* rows = nullptr, int* cols = nullptr) {
  ValueRecord* v = f.session.values().FindGlobal(name);
  if (!v || v->eltype != kReal) return {};
  if (rows) *rows = v->rows;
  if (cols) *cols = v->cols;
  return std::vector<double>(reals(v), reals(v) + element_count(v));
}

double Scalar(LumoFixture& f, const char* name) {
  std::vector<double> v = Reals(f, name);
  return v.size() == 1 ? v[0] : -12345;
}

TEST(LumoScalarLoops, UpdatesGiveTheOperatorsNumbers) {
  LumoFixture f;
  ASSERT_EQ(f.Run("function upd(real scalar n) { real scalar i, x; x = 0; for (i = 1; i <= n; i++) x = x*0.5 + i; return(x) }"), 0);
  // x: 1, 0.5 + 2 = 2.5, 1.25 + 3 = 4.25
  ASSERT_EQ(f.Run("r = upd(3)"), 0);
  EXPECT_EQ(Scalar(f, "r"), 4.25);
  ASSERT_EQ(f.Run("function total(real scalar n) { real scalar i, t; t = 0; for (i = 1; i <= n; i++) t = t + i; return(t) }"), 0);
  ASSERT_EQ(f.Run("r = total(1000)"), 0);
  EXPECT_EQ(Scalar(f, "r"), 500500);
  ASSERT_EQ(f.Run("r = total(0)"), 0);
  EXPECT_EQ(Scalar(f, "r"), 0);
}

TEST(LumoScalarLoops, MissingValuesAndOverflowInScalarRuns) {
  LumoFixture f;
  ASSERT_EQ(f.Run("function m(real scalar a, real scalar b, real scalar op) {\n"
                  " real scalar c\n c = 0\n"
                  " if (op == 1) c = a + b\n if (op == 2) c = a - b\n if (op == 3) c = a * b\n"
                  " if (op == 4) c = a / b\n if (op == 5) c = a < b\n if (op == 6) c = a & b\n"
                  " return(c)\n}"),
            0);
  const double miss = nuvra::data::kMissing;
  struct Case {
    const char* call;
    double want;
  } cases[] = {
      {"r = m(1, ., 1)", miss},       {"r = m(.a, 2, 2)", miss},      {"r = m(1e308, 10, 3)", miss},
      {"r = m(-1e308, 1e308, 2)", miss}, {"r = m(5, 0, 4)", miss},   {"r = m(7, 2, 4)", 3.5},
      {"r = m(1e300, ., 5)", 1},      {"r = m(., 1e300, 5)", 0},      {"r = m(., 0, 6)", 0},
      {"r = m(., 2, 6)", 1},          {"r = m(2, 3, 3)", 6},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(f.Run(c.call), 0) << c.call;
    EXPECT_EQ(Scalar(f, "r"), c.want) << c.call;
  }
}

TEST(LumoScalarLoops, StoresReachEveryHolderOfTheRecord) {
  LumoFixture f;
  // Through a pointer to the local, and into the caller's variable passed
  // by reference.
  ASSERT_EQ(f.Run("function viaptr() { real scalar t; pointer scalar p; t = 1; p = &t; t = t + 1; return(*p) }"), 0);
  ASSERT_EQ(f.Run("r = viaptr()"), 0);
  EXPECT_EQ(Scalar(f, "r"), 2);
  ASSERT_EQ(f.Run("function bump(x) { x = x + 1 }"), 0);
  ASSERT_EQ(f.Run("y = 5; bump(y)"), 0);
  EXPECT_EQ(Scalar(f, "y"), 6);
  // A local that stops being a real scalar half way leaves the fast path.
  // t: 2, then (2, 2), then (4, 4).
  ASSERT_EQ(f.Run("function change(real scalar n) { real scalar i; t = 1\n"
                  " for (i = 1; i <= n; i++) { if (i == 2) t = (t, t); else t = t * 2 }\n return(t) }"),
            0);
  ASSERT_EQ(f.Run("r = change(3)"), 0);
  int rows = 0, cols = 0;
  EXPECT_EQ(Reals(f, "r", &rows, &cols), (std::vector<double>{4, 4}));
  EXPECT_EQ(cols, 2);
}

// Listings written from the opcode table: the right side first, then
// the lvalue's record and its indices, then the store.
TEST(LumoStores, StoreListings) {
  LumoFixture f;
  EXPECT_EQ(f.Listing("function g(x, p) {\n x[1] = 0\n *p = x\n}"),
            "args 2, required 2\n"
            "    2  count 2\n"
            "    4  zero\n"
            "    5  local 0\n"
            "    7  one\n"
            "    8  store1\n"
            "    9  pop\n"
            "   10  local 0\n"
            "   12  local 1\n"
            "   14  deref\n"
            "   15  assign\n"
            "   16  pop\n"
            "   17  void\n"
            "   18  ret\n");
  ASSERT_EQ(f.Run("struct pt { real scalar v\n}"), 0);
  EXPECT_EQ(f.Listing("function h() { struct pt scalar s; s.v = 1; return(s.v) }"),
            "args 0, required 0\n"
            "    2  count 0\n"
            "    4  newstruct s\n"
            "    7  instance pt\n"
            "   10  one\n"
            "   11  local 0\n"
            "   13  member v\n"
            "   16  assign\n"
            "   17  pop\n"
            "   18  local 0\n"
            "   20  member v\n"
            "   23  jump 26\n"
            "   25  void\n"
            "   26  ret\n");
}

TEST(LumoStores, AValueJoinedToItself) {
  LumoFixture f;
  ASSERT_EQ(f.Run("u = (1, 2); u = (u, u)"), 0);
  EXPECT_EQ(Reals(f, "u"), (std::vector<double>{1, 2, 1, 2}));
  int rows = 0, cols = 0;
  ASSERT_EQ(f.Run("w = (3 \\ 4); w = (w \\ w)"), 0);
  EXPECT_EQ(Reals(f, "w", &rows, &cols), (std::vector<double>{3, 4, 3, 4}));
  EXPECT_EQ(rows, 4);
}

TEST(LumoStores, TwoIndexAndListStores) {
  LumoFixture f;
  ASSERT_EQ(f.Run("x = (1,2,3\\4,5,6); x[2,3] = 60; x[1,.] = (7,8,9)"), 0);
  EXPECT_EQ(Reals(f, "x"), (std::vector<double>{7, 8, 9, 4, 5, 60}));
  ASSERT_EQ(f.Run("x[(1\\2), 2] = 0"), 0);
  EXPECT_EQ(Reals(f, "x"), (std::vector<double>{7, 0, 9, 4, 0, 60}));
  ASSERT_EQ(f.Run("v = (1,2,3); v[(1,3)] = (10,30)"), 0);
  EXPECT_EQ(Reals(f, "v"), (std::vector<double>{10, 2, 30}));
  EXPECT_EQ(f.Run("v[4] = 1"), 3301);
  EXPECT_EQ(f.Run("v[0] = 1"), 3301);
  EXPECT_EQ(f.Run("x[3, 1] = 1"), 3301);
  EXPECT_EQ(f.Run("x[1, .] = (1, 2)"), 3200);
  EXPECT_EQ(f.Run("v[(1,2)] = (1,2,3)"), 3200);
  EXPECT_EQ(f.Run("v[1] = \"a\""), 3250);
  // Failed stores leave the values as they were.
  EXPECT_EQ(Reals(f, "v"), (std::vector<double>{10, 2, 30}));
  EXPECT_EQ(Reals(f, "x"), (std::vector<double>{7, 0, 9, 4, 0, 60}));
  // A vector stored into itself through a permutation.
  ASSERT_EQ(f.Run("v[(3,2,1)] = v"), 0);
  EXPECT_EQ(Reals(f, "v"), (std::vector<double>{30, 2, 10}));
}

TEST(LumoStores, RangeStores) {
  LumoFixture f;
  ASSERT_EQ(f.Run("x = (1,2,3\\4,5,6); x[|1,2 \\ 2,3|] = (20,30\\50,60)"), 0);
  EXPECT_EQ(Reals(f, "x"), (std::vector<double>{1, 20, 30, 4, 50, 60}));
  ASSERT_EQ(f.Run("x[|2,1 \\ .,.|] = 0"), 0);
  EXPECT_EQ(Reals(f, "x"), (std::vector<double>{1, 20, 30, 0, 0, 0}));
  EXPECT_EQ(f.Run("x[|1,1 \\ 2,2|] = (9,9)"), 3200);
  EXPECT_EQ(f.Run("x[|1,1 \\ 3,1|] = 9"), 3301);
  EXPECT_EQ(Reals(f, "x"), (std::vector<double>{1, 20, 30, 0, 0, 0}));
}

TEST(LumoStores, AComplexValuePromotesARealMatrix) {
  LumoFixture f;
  ASSERT_EQ(f.Run("v = (1, ., 3); v[1] = 2i"), 0);
  ValueRecord* v = f.session.values().FindGlobal("v");
  ASSERT_NE(v, nullptr);
  ASSERT_EQ(v->eltype, kComplex);
  const double miss = nuvra::data::kMissing;
  std::vector<double> want{0, 2, miss, miss, 3, 0};
  EXPECT_EQ(std::vector<double>(reals(v), reals(v) + 6), want);
  // and a real stored into a complex one is a complex with no imaginary part
  ASSERT_EQ(f.Run("v[3] = 7"), 0);
  EXPECT_EQ(reals(v)[4], 7);
  EXPECT_EQ(reals(v)[5], 0);
}

TEST(LumoStores, ThroughPointers) {
  LumoFixture f;
  ASSERT_EQ(f.Run("w = (1,2,3); p = &w; *p = (5,6)"), 0);
  EXPECT_EQ(Reals(f, "w"), (std::vector<double>{5, 6}));
  ASSERT_EQ(f.Run("(*p)[2] = 9"), 0);
  EXPECT_EQ(Reals(f, "w"), (std::vector<double>{5, 9}));
  EXPECT_EQ(f.Run("q = NULL; *q = 1"), 3010);
  EXPECT_EQ(f.Run("(w')[1] = 1"), 3000);
  EXPECT_NE(f.host.errors.find("invalid lval"), std::string::npos);
}

TEST(LumoStores, IncrementsOnElementsAndTargets) {
  LumoFixture f;
  ASSERT_EQ(f.Run("w = (1,2,3); w[2]++"), 0);
  EXPECT_EQ(Reals(f, "w"), (std::vector<double>{1, 3, 3}));
  ASSERT_EQ(f.Run("a = ++w[3]"), 0);
  EXPECT_EQ(Scalar(f, "a"), 4);
  ASSERT_EQ(f.Run("b = w[1]--"), 0);
  EXPECT_EQ(Scalar(f, "b"), 1);
  EXPECT_EQ(Reals(f, "w"), (std::vector<double>{0, 3, 4}));
  ASSERT_EQ(f.Run("m = (1,2\\3,4); m[2,1]++; --m[|1,1 \\ 1,1|]"), 0);
  EXPECT_EQ(Reals(f, "m"), (std::vector<double>{0, 2, 4, 4}));
  ASSERT_EQ(f.Run("s = 5; p = &s; c = (*p)++"), 0);
  EXPECT_EQ(Scalar(f, "c"), 5);
  EXPECT_EQ(Scalar(f, "s"), 6);
  ASSERT_EQ(f.Run("t = (\"a\", \"b\")"), 0);
  f.host.errors.clear();
  EXPECT_EQ(f.Run("t[1]++"), 3253);
  EXPECT_NE(f.host.errors.find("nonreal found where real required"), std::string::npos);
  EXPECT_EQ(f.Run("(1+2)++"), 3000);
}

TEST(LumoStructures, MembersStartByTheirDeclarations) {
  LumoFixture f;
  ASSERT_EQ(f.Run("struct rec {\n real scalar x\n complex scalar z\n string scalar s\n real rowvector r\n"
                  " real colvector c\n pointer scalar p\n real matrix m\n}"),
            0);
  ASSERT_EQ(f.Run("q = rec(); x = q.x; z = q.z; s = q.s; r = q.r; c = q.c; p = q.p; m = q.m"), 0);
  const double miss = nuvra::data::kMissing;
  EXPECT_EQ(Scalar(f, "x"), miss);
  ValueRecord* z = f.session.values().FindGlobal("z");
  ASSERT_TRUE(z && z->eltype == kComplex && z->rows == 1 && z->cols == 1);
  EXPECT_EQ(reals(z)[0], miss);
  EXPECT_EQ(reals(z)[1], miss);
  ValueRecord* s = f.session.values().FindGlobal("s");
  ASSERT_TRUE(s && s->eltype == kString && s->rows == 1 && s->cols == 1);
  EXPECT_EQ(slots(s)[0], nullptr);
  auto shape = [&](const char* name, int eltype, int rows, int cols) {
    ValueRecord* v = f.session.values().FindGlobal(name);
    ASSERT_NE(v, nullptr) << name;
    EXPECT_EQ(v->eltype, eltype) << name;
    EXPECT_EQ(v->rows, rows) << name;
    EXPECT_EQ(v->cols, cols) << name;
  };
  shape("r", kReal, 1, 0);
  shape("c", kReal, 0, 1);
  shape("p", kPointer, 1, 1);
  shape("m", kReal, 0, 0);
  EXPECT_EQ(slots(f.session.values().FindGlobal("p"))[0], nullptr);
}

TEST(LumoStructures, MembersAreReadAndStored) {
  LumoFixture f;
  ASSERT_EQ(f.Run("struct point { real scalar x, y\n}"), 0);
  ASSERT_EQ(f.Run("function twice() { struct point scalar p; p.x = 3; p.y = p.x * 2; return(p.y) }"), 0);
  ASSERT_EQ(f.Run("r = twice()"), 0);
  EXPECT_EQ(Scalar(f, "r"), 6);
  EXPECT_EQ(f.host.output, "");  // no note about p being used before set
  ASSERT_EQ(f.Run("function viaptr() { pointer(struct point scalar) scalar p; p = &(point()); p->x = 7; return(p->x) }"), 0);
  ASSERT_EQ(f.Run("r = viaptr()"), 0);
  EXPECT_EQ(Scalar(f, "r"), 7);
  ASSERT_EQ(f.Run("q = point(); q.x = 4; q.y = q.x + 1; q.x++; r = q.y"), 0);
  EXPECT_EQ(Scalar(f, "r"), 5);
  f.host.errors.clear();
  EXPECT_EQ(f.Run("q.zz"), 3499);
  EXPECT_EQ(f.host.errors, "                 <istmt>:  3499  zz not found -- struct point contains no such member\n");
  EXPECT_EQ(f.Run("point(1)"), 3001);
  EXPECT_EQ(f.Run("r = 1; r.x"), 3259);
}

TEST(LumoStructures, CompileTimeChecks) {
  LumoFixture f;
  ASSERT_EQ(f.Run("struct point { real scalar x\n}"), 0);
  ASSERT_EQ(f.Run("function notstruct() { return(1) }"), 0);
  struct Case {
    const char* text;
    const char* message;
  } cases[] = {
      {"function a(struct point scalar p) { return(p.nope) }", "nope not found -- struct point contains no such member\n"},
      {"function b(struct pt scalar p) { return(p.x) }", "struct pt undefined\n"},
      {"function c(struct notstruct scalar p) { return(p.x) }", "function notstruct() is not a struct\n"},
      {"function d(real scalar p) { return(p.x) }", "{p}\ntype mismatch:  exp.exp:  real scalar not allowed\n{p_end}\n"},
      {"function e(real scalar p) { return(p->x) }", "{p}\ntype mismatch:  -> (pointing to):  real scalar not allowed\n{p_end}\n"},
      {"struct point { real y }", "point() already exists\n"},
      {"struct twice { real y\n real y }", "symbol y multiply defined\n"},
  };
  for (const Case& c : cases) {
    f.host.errors.clear();
    EXPECT_EQ(f.Run(c.text), kCompileError) << c.text;
    EXPECT_EQ(f.host.errors, c.message) << c.text;
  }
  for (const char* name : {"a", "b", "c", "d", "e", "twice"}) EXPECT_EQ(f.session.values().FindFunction(name), nullptr) << name;
}

TEST(LumoStructures, NestedScalarsAreBuiltAtOnceAndSelfNestingStops) {
  LumoFixture f;
  ASSERT_EQ(f.Run("struct inner { real scalar v\n}"), 0);
  ASSERT_EQ(f.Run("struct outer { struct inner scalar in\n real scalar w\n}"), 0);
  ASSERT_EQ(f.Run("o = outer(); o.in.v = 3; r = o.in.v"), 0);
  EXPECT_EQ(Scalar(f, "r"), 3);
  size_t before = f.session.values().record_count();
  ASSERT_EQ(f.Run("struct node { struct node scalar next\n}"), 0);
  f.host.errors.clear();
  EXPECT_EQ(f.Run("n = node()"), 3304);
  EXPECT_EQ(f.host.errors, "                 <istmt>:  3304  struct nested too deeply\n");
  // Everything the 500 levels made is gone again.
  EXPECT_EQ(f.session.values().record_count(), before);
}

TEST(LumoStructures, InstancesAreFreedWithTheirHolder) {
  LumoFixture f;
  ASSERT_EQ(f.Run("struct pair { real scalar a\n string scalar b\n}"), 0);
  size_t before = f.session.values().record_count();
  ASSERT_EQ(f.Run("s = pair(); s.b = \"text\"; s.a = 1"), 0);
  // s, its instance column and the two members
  EXPECT_EQ(f.session.values().record_count(), before + 4);
  ASSERT_TRUE(f.session.values().rmexternal("s"));
  EXPECT_EQ(f.session.values().record_count(), before);
}

TEST(LumoFunctionPointers, CallsThroughAPointerReachTheFunction) {
  LumoFixture f;
  ASSERT_EQ(f.Run("function twice(x) { return(2 * x) }"), 0);
  ASSERT_EQ(f.Run("function plus(a, b) { return(a + b) }"), 0);
  ASSERT_EQ(f.Run("q = &twice()"), 0) << f.host.errors;
  ASSERT_EQ(f.Run("r = (*q)(3)"), 0) << f.host.errors;
  EXPECT_EQ(Scalar(f, "r"), 6);
  ASSERT_EQ(f.Run("r = (q)(4)"), 0) << f.host.errors;
  EXPECT_EQ(Scalar(f, "r"), 8);
  // Two arguments, and a pointer to the pointer.
  ASSERT_EQ(f.Run("p2 = &plus(); pp = &p2; r = (**pp)(5, 7)"), 0) << f.host.errors;
  EXPECT_EQ(Scalar(f, "r"), 12);
  // Inside a function, the pointer passed as an argument.
  ASSERT_EQ(f.Run("function apply(f, x) { return((*f)(x) + 1) }"), 0);
  ASSERT_EQ(f.Run("r = apply(&twice(), 10)"), 0) << f.host.errors;
  EXPECT_EQ(Scalar(f, "r"), 21);
  // A pointer to a matrix is not a function.
  ASSERT_EQ(f.Run("m = 1; pm = &m"), 0);
  EXPECT_NE(f.Run("r = (*pm)(1)"), 0);
}

}  // namespace
