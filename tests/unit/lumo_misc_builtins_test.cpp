// Built-ins about the machine and the session (sizes, reference counts,
// memory, argument counts, the more prompt), hashing and byte buffers,
// value replacement, traces of products and the small inverse, with
// expected values worked by hand or from published references.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "data/missing.h"
#include "lumo/value.h"
#include "lumo_test_host.h"

namespace {

using namespace nuvra::lumo;
using nuvra::data::is_missing;

// Records what the built-ins ask of the more prompt.
class MoreHost : public LumoTestHost {
 public:
  bool more = true;
  int prompts = 0;
  void More() override { ++prompts; }
  bool SetMore(bool on) override {
    bool was = more;
    more = on;
    return was;
  }
};

struct MiscFixture {
  MoreHost host;
  Session session{host};
  int Run(std::string_view text) {
    int rc = 0;
    if (session.Run(text, &rc) == Session::Outcome::kIncomplete) return -1;
    return rc;
  }
  const ValueRecord* Global(const char* name) {
    const ValueRecord* v = session.values().FindGlobal(name);
    EXPECT_NE(v, nullptr) << name;
    return v;
  }
  std::vector<double> Reals(const char* name) {
    const ValueRecord* v = Global(name);
    if (!v || v->eltype != kReal) {
      ADD_FAILURE() << name << " is not real";
      return {};
    }
    return std::vector<double>(reals(v), reals(v) + element_count(v));
  }
  double Real(const char* name) {
    std::vector<double> r = Reals(name);
    EXPECT_EQ(r.size(), 1u) << name;
    return r.empty() ? -1 : r[0];
  }
  std::vector<std::string> Strings(const char* name) {
    const ValueRecord* v = Global(name);
    std::vector<std::string> out;
    if (!v || v->eltype != kString) {
      ADD_FAILURE() << name << " is not string";
      return out;
    }
    for (int64_t k = 0; k < element_count(v); ++k) {
      StringRef s = string_of(slots(v)[k]);
      out.emplace_back(s.bytes, s.length);
    }
    return out;
  }
};

TEST(LumoMiscBuiltins, SizesCountsAndMemory) {
  MiscFixture f;
  // 3 x 4 reals take 96 bytes; a string scalar its 8-byte slot and its
  // characters; an empty matrix still owns 8 bytes.
  ASSERT_EQ(f.Run("a = sizeof(J(3, 4, 0)); b = sizeof(\"abc\"); c = sizeof(J(0, 0, .))"), 0) << f.host.errors;
  EXPECT_EQ(f.Real("a"), 96);
  EXPECT_EQ(f.Real("b"), 11);
  EXPECT_EQ(f.Real("c"), 8);
  // A pointer to A is one more holder of A; a temporary has no other.
  ASSERT_EQ(f.Run("A = (1, 2); n0 = sys_linkcount(A); p = &A; n1 = sys_linkcount(A); t = sys_linkcount(A :+ 1)"), 0);
  EXPECT_EQ(f.Real("n1") - f.Real("n0"), 1);
  EXPECT_EQ(f.Real("t"), 0);
  // A 100 x 100 real matrix adds its 80,000 bytes and one record's
  // overhead; the globals m1 and k1 add a scalar's each.
  ASSERT_EQ(f.Run("m0 = sys_memory(); k0 = sys_memory(1)"), 0);
  ASSERT_EQ(f.Run("X = J(100, 100, 0)"), 0);
  ASSERT_EQ(f.Run("m1 = sys_memory(); k1 = sys_memory(1)"), 0);
  EXPECT_GE(f.Real("m1") - f.Real("m0"), 80000 + 68);
  EXPECT_LE(f.Real("m1") - f.Real("m0"), 80000 + 68 + 2 * (8 + 68));
  EXPECT_GE(f.Real("k1") - f.Real("k0"), 1);
  EXPECT_LE(f.Real("k1") - f.Real("k0"), 3);  // X, m1, k1
  EXPECT_EQ(f.Run("x = sys_memory(2)"), 3300);
}

TEST(LumoMiscBuiltins, ArgsIsfleetingAndValofexternal) {
  MiscFixture f;
  ASSERT_EQ(f.Run("function countargs(a, | b, c) { return(args()) }"), 0) << f.host.errors;
  ASSERT_EQ(f.Run("function fleeting(x) { return(isfleeting(x)) }"), 0) << f.host.errors;
  ASSERT_EQ(f.Run("n1 = countargs(1); n3 = countargs(1, 2, 3); n0 = args()"), 0) << f.host.errors;
  EXPECT_EQ(f.Real("n1"), 1);
  EXPECT_EQ(f.Real("n3"), 3);
  EXPECT_EQ(f.Real("n0"), 0);
  ASSERT_EQ(f.Run("A = (1, 2); t = fleeting(A :+ 1); v = fleeting(A); d = isfleeting(A * 2)"), 0) << f.host.errors;
  EXPECT_EQ(f.Real("t"), 1);
  EXPECT_EQ(f.Real("v"), 0);
  EXPECT_EQ(f.Real("d"), 1);
  // valofexternal() copies: changing the copy leaves the global alone.
  ASSERT_EQ(f.Run("B = valofexternal(\"A\"); B[1] = 9; N = valofexternal(\"nosuch\")"), 0) << f.host.errors;
  EXPECT_EQ(f.Reals("A"), (std::vector<double>{1, 2}));
  EXPECT_EQ(f.Reals("B"), (std::vector<double>{9, 2}));
  EXPECT_EQ(f.Global("N")->rows, 0);
  EXPECT_EQ(f.Run("x = valofexternal(\"1bad\")"), 3300);
  EXPECT_EQ(f.Run("x = valofexternal(1)"), 3254);
}

TEST(LumoMiscBuiltins, MoreAndItsSettings) {
  MiscFixture f;
  ASSERT_EQ(f.Run("more(); more()"), 0) << f.host.errors;
  EXPECT_EQ(f.host.prompts, 2);
  ASSERT_EQ(f.Run("setmore(0)"), 0);
  EXPECT_FALSE(f.host.more);
  // The setting asked for on exit comes back when the statement ends,
  // whatever was set meanwhile; the first request of a statement counts.
  ASSERT_EQ(f.Run("setmoreonexit(1); setmoreonexit(0); setmore(0); x = 1"), 0);
  EXPECT_TRUE(f.host.more);
  ASSERT_EQ(f.Run("setmore(0)"), 0);
  EXPECT_FALSE(f.host.more);  // nothing pending from before
  // A failing statement restores it too.
  ASSERT_EQ(f.Run("setmoreonexit(1); setmore(0); error(3300)"), 3300);
  EXPECT_TRUE(f.host.more);
  EXPECT_EQ(f.Run("setmore(\"on\")"), 3253);
}

TEST(LumoMiscBuiltins, Hash1AgainstPublishedValues) {
  MiscFixture f;
  // The one-at-a-time hash of "a" is 0xca2e9442 and of the pangram
  // 0x519e91f5, as published with the function.
  ASSERT_EQ(f.Run("a = hash1(\"a\"); q = hash1(\"The quick brown fox jumps over the lazy dog\"); r = hash1(\"a\", 10);"
                  "e = hash1(\"\")"),
            0)
      << f.host.errors;
  EXPECT_EQ(f.Real("a"), 0xca2e9442u);
  EXPECT_EQ(f.Real("q"), 0x519e91f5u);
  EXPECT_EQ(f.Real("r"), 0xca2e9442u % 10 + 1);
  EXPECT_EQ(f.Real("e"), 0);
  // A real hashes as its 8 bytes: 1.0 is 3f f0 00 ... 00 from the high
  // end (byte order 1) and the reverse from the low end (2).
  ASSERT_EQ(f.Run("h1 = hash1(1, ., 1); s1 = hash1(char((63, 240, 0, 0, 0, 0, 0, 0)));"
                  "h2 = hash1(1, ., 2); s2 = hash1(char((0, 0, 0, 0, 0, 0, 240, 63)))"),
            0)
      << f.host.errors;
  EXPECT_EQ(f.Real("h1"), f.Real("s1"));
  EXPECT_EQ(f.Real("h2"), f.Real("s2"));
  EXPECT_NE(f.Real("h1"), f.Real("h2"));
  EXPECT_EQ(f.Run("x = hash1((1, 2))"), 3204);
  EXPECT_EQ(f.Run("x = hash1(\"a\", 0)"), 3300);
  EXPECT_EQ(f.Run("x = hash1(1, ., 3)"), 3300);
  EXPECT_EQ(f.Run("x = hash1(C(1))"), 3255);
}

TEST(LumoMiscBuiltins, BufsubJ2AndPathSuffixes) {
  MiscFixture f;
  ASSERT_EQ(f.Run("s = bufsub(\"abcdef\", 2, 3); e = bufsub(\"abc\", 3, 0); J = J2(2, 3, 5)"), 0) << f.host.errors;
  EXPECT_EQ(f.Strings("s"), std::vector<std::string>{"cde"});
  EXPECT_EQ(f.Strings("e"), std::vector<std::string>{""});
  EXPECT_EQ(f.Reals("J"), std::vector<double>(6, 5));
  EXPECT_EQ(f.Global("J")->rows, 2);
  EXPECT_EQ(f.Run("s = bufsub(\"abc\", 2, 2)"), 3300);
  EXPECT_EQ(f.Run("s = bufsub(\"abc\", -1, 1)"), 3300);
  EXPECT_EQ(f.Run("J = J2(2, 2, (1, 2))"), 3204);
  ASSERT_EQ(f.Run("a = (pathasciisuffix(\"d/f.csv\"), pathasciisuffix(\"f.dta\"), pathasciisuffix(\"csv\"));"
                  "n = (pathnuvrasuffix(\"a/b.dta\"), pathnuvrasuffix(\"x.txt\"), pathnuvrasuffix(\"lib.mlib\"))"),
            0)
      << f.host.errors;
  EXPECT_EQ(f.Reals("a"), (std::vector<double>{1, 0, 0}));
  EXPECT_EQ(f.Reals("n"), (std::vector<double>{1, 0, 1}));
}

TEST(LumoMiscBuiltins, ReplacevaluesInPlace) {
  MiscFixture f;
  ASSERT_EQ(f.Run("A = (1, 2, 3 \\ 2, ., 1); _replacevalues(A, (2, .), (20, 0))"), 0) << f.host.errors;
  EXPECT_EQ(f.Reals("A"), (std::vector<double>{1, 20, 3, 20, 0, 1}));
  // The first matching pair decides; strings too.
  ASSERT_EQ(f.Run("S = (\"a\", \"b\", \"a\"); _replacevalues(S, (\"a\", \"b\", \"a\"), (\"x\", \"\", \"y\"))"), 0);
  EXPECT_EQ(f.Strings("S"), (std::vector<std::string>{"x", "", "x"}));
  EXPECT_EQ(f.Run("_replacevalues(A, (\"a\"), (\"b\"))"), 3250);
  EXPECT_EQ(f.Run("_replacevalues(A, (1, 2), 5)"), 3200);
  EXPECT_EQ(f.Run("_replacevalues(C(1), 1, 2)"), 3255);
  EXPECT_EQ(f.Reals("A"), (std::vector<double>{1, 20, 3, 20, 0, 1}));
}

// trace(A*B) summed from the whole product, row by column.
double TraceOfFull(const std::vector<std::vector<double>>& p) {
  double t = 0;
  for (size_t i = 0; i < p.size(); ++i) t += p[i][i];
  return t;
}
std::vector<std::vector<double>> Mul(const std::vector<std::vector<double>>& a,
                                     const std::vector<std::vector<double>>& b) {
  std::vector<std::vector<double>> c(a.size(), std::vector<double>(b[0].size(), 0.0));
  for (size_t i = 0; i < a.size(); ++i)
    for (size_t j = 0; j < b[0].size(); ++j)
      for (size_t k = 0; k < b.size(); ++k) c[i][j] += a[i][k] * b[k][j];
  return c;
}

TEST(LumoMiscBuiltins, TracesOfProductsAndTheTwoByTwoInverse) {
  MiscFixture f;
  std::vector<std::vector<double>> a{{1, 2, 3}, {4, 5, 6}}, v{{1, 0}, {2, -1}, {0, 3}}, b{{2, 1}, {1, 3}},
      w{{1, -2}, {0, 4}};
  ASSERT_EQ(f.Run("A = (1,2,3 \\ 4,5,6); V = (1,0 \\ 2,-1 \\ 0,3); B = (2,1 \\ 1,3); W = (1,-2 \\ 0,4);"
                  "t = trace_AVBV(A, V, B, W)"),
            0)
      << f.host.errors;
  EXPECT_EQ(f.Real("t"), TraceOfFull(Mul(Mul(Mul(a, v), b), w)));
  std::vector<std::vector<double>> p{{1, 2}, {3, 4}}, q{{0, 1}, {1, 1}}, r{{2, 0}, {1, 1}};
  ASSERT_EQ(f.Run("P = (1,2 \\ 3,4); Q = (0,1 \\ 1,1); R = (2,0 \\ 1,1); u = trace_ABBAV(P, Q, R)"), 0);
  EXPECT_EQ(f.Real("u"), TraceOfFull(Mul(Mul(Mul(Mul(p, q), q), p), r)));
  EXPECT_EQ(f.Run("t = trace_AVBV(A, V, B, A)"), 3200);
  EXPECT_EQ(f.Run("t = trace_ABBAV(A, B, V)"), 3200);
  ASSERT_EQ(f.Run("m = trace_ABBAV(P, (1,.\\0,1), R)"), 0);
  EXPECT_TRUE(is_missing(f.Real("m")));
  // [4 7; 2 6] has determinant 10 and inverse [0.6 -0.7; -0.2 0.4].
  ASSERT_EQ(f.Run("G = _2x2((4,7 \\ 2,6)); S = _2x2((1,2 \\ 2,4))"), 0);
  std::vector<double> g = f.Reals("G"), want{0.6, -0.7, -0.2, 0.4};
  ASSERT_EQ(g.size(), 4u);
  for (size_t k = 0; k < 4; ++k) EXPECT_NEAR(g[k], want[k], 1e-15);
  for (double s : f.Reals("S")) EXPECT_TRUE(is_missing(s));
  EXPECT_EQ(f.Run("G = _2x2(I(3))"), 3200);
  // How far from real: |Im| / (|Re| + 1) at its largest, here 3 / (2 + 1).
  ASSERT_EQ(f.Run("z = mreldifre(C((1, 2), (0, 3))); r = mreldifre((5, 6)); m = mreldifre(C(., 1))"), 0);
  EXPECT_EQ(f.Real("z"), 1);
  EXPECT_EQ(f.Real("r"), 0);
  EXPECT_TRUE(is_missing(f.Real("m")));
}

}  // namespace
