// Byte codes, patterns, regular expressions, substitution, conversion,
// binary buffers and paths; every expected value worked by hand.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "data/missing.h"
#include "lumo/value.h"
#include "lumo_test_host.h"

namespace {

using namespace nuvra::lumo;

std::vector<std::string> Strings(LumoFixture& f, const char* name) {
  ValueRecord* v = f.session.values().FindGlobal(name);
  if (!v || v->eltype != kString) return {"<not strings>"};
  std::vector<std::string> out;
  for (int64_t k = 0; k < element_count(v); ++k) {
    StringRef s = string_of(slots(v)[k]);
    out.emplace_back(s.bytes, s.length);
  }
  return out;
}

std::vector<double> Reals(LumoFixture& f, const char* name) {
  ValueRecord* v = f.session.values().FindGlobal(name);
  if (!v || v->eltype != kReal) return {-12345};
  return std::vector<double>(reals(v), reals(v) + element_count(v));
}

TEST(LumoTextBuiltins, ByteCodesAndPatterns) {
  LumoFixture f;
  ASSERT_EQ(f.Run("a = ascii(\"AZa\"); c = char((72, 105)); e = char(J(1, 0, .))"), 0) << f.host.errors;
  EXPECT_EQ(Reals(f, "a"), (std::vector<double>{65, 90, 97}));
  EXPECT_EQ(Strings(f, "c"), (std::vector<std::string>{"Hi"}));
  EXPECT_EQ(Strings(f, "e"), (std::vector<std::string>{""}));
  EXPECT_EQ(f.Run("char(256)"), 3300);
  EXPECT_EQ(f.Run("char(65.5)"), 3300);
  ASSERT_EQ(f.Run("i = indexnot((\"abcx\", \"aaa\", \"\"), \"abc\"); p = strproper(\"hELLO wORLD-x\")"), 0);
  EXPECT_EQ(Reals(f, "i"), (std::vector<double>{4, 0, 0}));
  EXPECT_EQ(Strings(f, "p"), (std::vector<std::string>{"Hello World-X"}));
  ASSERT_EQ(f.Run("s = strmatch((\"report.txt\", \"a.txt\", \"ab\"), (\"*.txt\", \"?.do\", \"a?\"))"), 0);
  EXPECT_EQ(Reals(f, "s"), (std::vector<double>{1, 0, 1}));
  // A pattern row against a 2 x 1 column does not conform.
  EXPECT_EQ(f.Run("strmatch((\"a\", \"b\"), (\"a\" \\ \"b\"))"), 3200);
}

TEST(LumoTextBuiltins, RegularExpressions) {
  LumoFixture f;
  ASSERT_EQ(f.Run("m = regexm((\"abc123\", \"xyz\"), \"[0-9]+\")"), 0) << f.host.errors;
  EXPECT_EQ(Reals(f, "m"), (std::vector<double>{1, 0}));
  // The subexpressions are those of the last element searched.
  ASSERT_EQ(f.Run("s0 = regexs()"), 0);
  EXPECT_EQ(Strings(f, "s0"), (std::vector<std::string>{""}));
  ASSERT_EQ(f.Run("m = regexm(\"abc123\", \"([a-z]+)([0-9]+)\"); s1 = regexs(1); s2 = regexs(2); s9 = regexs(9)"), 0);
  EXPECT_EQ(Strings(f, "s1"), (std::vector<std::string>{"abc"}));
  EXPECT_EQ(Strings(f, "s2"), (std::vector<std::string>{"123"}));
  EXPECT_EQ(Strings(f, "s9"), (std::vector<std::string>{""}));
  // Leftmost-longest: of the alternatives the longer match wins.
  ASSERT_EQ(f.Run("m = regexm(\"ab\", \"a|ab\"); w = regexs(0)"), 0);
  EXPECT_EQ(Strings(f, "w"), (std::vector<std::string>{"ab"}));
  // Only the first match is replaced; \1 and \2 name the groups.
  ASSERT_EQ(f.Run("r = regexr((\"2026-12-07\", \"none\"), \"([0-9]+)-([0-9]+)\", \"\\2/\\1\")"), 0) << f.host.errors;
  EXPECT_EQ(Strings(f, "r"), (std::vector<std::string>{"12/2026-07", "none"}));
  EXPECT_EQ(f.Run("regexm(\"a\", \"(\")"), 3300);
  EXPECT_EQ(f.Run("regexs(-1)"), 3300);
}

TEST(LumoTextBuiltins, SubstitutionAndConversion) {
  LumoFixture f;
  ASSERT_EQ(f.Run("a = subinstr(\"a b a b\", \"a\", \"x\"); b = subinstr(\"a b a b\", \"a\", \"x\", 1);"
                  "c = subinword(\"cat concat cat\", \"cat\", \"dog\"); d = subinstr(\"aaa\", \"aa\", \"b\", .)"),
            0)
      << f.host.errors;
  EXPECT_EQ(Strings(f, "a"), (std::vector<std::string>{"x b x b"}));
  EXPECT_EQ(Strings(f, "b"), (std::vector<std::string>{"x b a b"}));
  EXPECT_EQ(Strings(f, "c"), (std::vector<std::string>{"dog concat dog"}));
  EXPECT_EQ(Strings(f, "d"), (std::vector<std::string>{"ba"}));
  EXPECT_EQ(f.Run("subinstr(\"a\", \"a\", \"b\", -1)"), 3300);

  ASSERT_EQ(f.Run("r = .; k = _strtoreal((\"1.5\", \" 2 \", \"x\", \".\", \"1e3\"), r)"), 0) << f.host.errors;
  EXPECT_EQ(Reals(f, "k"), (std::vector<double>{3}));
  std::vector<double> r = Reals(f, "r");
  ASSERT_EQ(r.size(), 5u);
  EXPECT_EQ(r[0], 1.5);
  EXPECT_EQ(r[1], 2);
  EXPECT_TRUE(nuvra::data::is_missing(r[2]));
  EXPECT_TRUE(nuvra::data::is_missing(r[3]));
  EXPECT_EQ(r[4], 1000);
  ASSERT_EQ(f.Run("k = _strtoreal((\"7\", \".b\"), r)"), 0);
  EXPECT_EQ(Reals(f, "k"), (std::vector<double>{0}));
  EXPECT_EQ(Reals(f, "r")[1], nuvra::data::missing_value(2));

  ASSERT_EQ(f.Run("s = \"abcdef\"; _substr(s, \"XY\", 2); t = \"abc\"; _substr(t, \"XYZ\", 3)"), 0) << f.host.errors;
  EXPECT_EQ(Strings(f, "s"), (std::vector<std::string>{"aXYdef"}));
  EXPECT_EQ(Strings(f, "t"), (std::vector<std::string>{"abX"}));
  ASSERT_EQ(f.Run("w = fmtwidth((\"%9.2f\", \"%-12s\", \"junk\"))"), 0);
  std::vector<double> w = Reals(f, "w");
  ASSERT_EQ(w.size(), 3u);
  EXPECT_EQ(w[0], 9);
  EXPECT_EQ(w[1], 12);
  EXPECT_TRUE(nuvra::data::is_missing(w[2]));
}

TEST(LumoTextBuiltins, BinaryBuffersInBothByteOrders) {
  LumoFixture f;
  // 258 = 0x0102: high byte first is 1 2, low byte first 2 1.
  ASSERT_EQ(f.Run("B = \"        \"; bufput(1, B, 0, \"%2b\", 258); hi = ascii(B)"), 0) << f.host.errors;
  EXPECT_EQ(Reals(f, "hi"), (std::vector<double>{1, 2, 32, 32, 32, 32, 32, 32}));
  ASSERT_EQ(f.Run("bufput(2, B, 2, \"%2b\", 258); lo = ascii(B)"), 0);
  EXPECT_EQ(Reals(f, "lo"), (std::vector<double>{1, 2, 2, 1, 32, 32, 32, 32}));
  ASSERT_EQ(f.Run("g1 = bufget(1, B, 0, \"%2b\"); g2 = bufget(2, B, 0, \"%2b\"); g3 = bufget(1, B, 0, \"%1bu\", 4)"),
            0);
  EXPECT_EQ(Reals(f, "g1"), (std::vector<double>{258}));
  EXPECT_EQ(Reals(f, "g2"), (std::vector<double>{513}));
  EXPECT_EQ(Reals(f, "g3"), (std::vector<double>{1, 2, 2, 1}));
  // Missing values take the byte type's codes: 101 for ., 102 for .a.
  ASSERT_EQ(f.Run("bufput(B, 4, \"%1b\", (., .a)); c = ascii(B); v = bufget(B, 4, \"%1b\", 2)"), 0);
  EXPECT_EQ(Reals(f, "c")[4], 101);
  EXPECT_EQ(Reals(f, "c")[5], 102);
  EXPECT_EQ(Reals(f, "v"), (std::vector<double>{nuvra::data::kMissing, nuvra::data::missing_value(1)}));
  // 0.5 as a float is 0x3F000000.
  ASSERT_EQ(f.Run("F = \"    \"; bufput(1, F, 0, \"%4z\", 0.5); fz = ascii(F); back = bufget(1, F, 0, \"%4z\")"), 0);
  EXPECT_EQ(Reals(f, "fz"), (std::vector<double>{63, 0, 0, 0}));
  EXPECT_EQ(Reals(f, "back"), (std::vector<double>{0.5}));
  ASSERT_EQ(f.Run("D = 16 * \" \"; bufput(D, 0, \"%8z\", (0.1, -2)); d = bufget(D, 0, \"%8z\", 2, 1)"), 0);
  EXPECT_EQ(Reals(f, "d"), (std::vector<double>{0.1, -2}));
  ASSERT_EQ(f.Run("S = 6 * \" \"; bufput(S, 0, \"%3s\", (\"ab\", \"xyzw\")); s = bufget(S, 0, \"%3s\", 2)"), 0);
  EXPECT_EQ(Strings(f, "s"), (std::vector<std::string>{"ab", "xyz"}));
  // Refusals leave the buffer as it was: a value the type cannot hold,
  // bytes past the end, an unknown format or byte order.
  ASSERT_EQ(f.Run("before = B"), 0);
  EXPECT_EQ(f.Run("bufput(B, 0, \"%1b\", (1, 200))"), 3300);
  EXPECT_EQ(f.Run("bufput(B, 7, \"%2b\", 1)"), 3300);
  EXPECT_EQ(f.Run("bufput(B, 0, \"%3b\", 1)"), 3300);
  EXPECT_EQ(f.Run("bufput(3, B, 0, \"%1b\", 1)"), 3300);
  EXPECT_EQ(f.Run("bufget(B, 7, \"%2b\")"), 3300);
  ASSERT_EQ(f.Run("same = (B == before)"), 0);
  EXPECT_EQ(Reals(f, "same"), (std::vector<double>{1}));
  ASSERT_EQ(f.Run("l = bufbfmtlen(\"%10s\"); isn = (bufbfmtisnum(\"%4bu\"), bufbfmtisnum(\"%2s\"))"), 0);
  EXPECT_EQ(Reals(f, "l"), (std::vector<double>{10}));
  EXPECT_EQ(Reals(f, "isn"), (std::vector<double>{1, 0}));
}

TEST(LumoTextBuiltins, Paths) {
  LumoFixture f;
  ASSERT_EQ(f.Run("j = (pathjoin(\"/a/b\", \"c.do\"), pathjoin(\"a/\", \"c\"), pathjoin(\"a\", \"/x\"));"
                  "s = (pathsuffix(\"dir.v2/file.tar.gz\"), pathsuffix(\"dir.v2/file\"));"
                  "r = pathrmsuffix(\"dir.v2/file.tar.gz\"); b = pathbasename(\"/x/y/z.dta\");"
                  "d = (adosubdir(\"Mycmd.ado\"), adosubdir(\"_x.ado\"));"
                  "u = (pathisurl(\"http://h/f\"), pathisurl(\"a/b://c\"), pathisabs(\"/t\"), pathisabs(\"t\"))"),
            0)
      << f.host.errors;
  EXPECT_EQ(Strings(f, "j"), (std::vector<std::string>{"/a/b/c.do", "a/c", "/x"}));
  EXPECT_EQ(Strings(f, "s"), (std::vector<std::string>{".gz", ""}));
  EXPECT_EQ(Strings(f, "r"), (std::vector<std::string>{"dir.v2/file.tar"}));
  EXPECT_EQ(Strings(f, "b"), (std::vector<std::string>{"z.dta"}));
  EXPECT_EQ(Strings(f, "d"), (std::vector<std::string>{"m", "_"}));
  EXPECT_EQ(Reals(f, "u"), (std::vector<double>{1, 0, 1, 0}));
}

}  // namespace
