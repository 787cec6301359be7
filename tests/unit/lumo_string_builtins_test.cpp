// String built-ins, element by element, on cases worked by hand.
#include <gtest/gtest.h>

#include <string>
#include <vector>

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

TEST(LumoStringBuiltins, CaseTrimAndReverse) {
  LumoFixture f;
  ASSERT_EQ(f.Run("S = (\"  aB c  \", \"x  y\")"), 0);
  ASSERT_EQ(f.Run("a = strlower(S); b = strupper(S); c = strtrim(S); d = strltrim(S); e = strrtrim(S);"
                  "g = stritrim(S); h = strreverse(\"abc\")"),
            0)
      << f.host.errors;
  EXPECT_EQ(Strings(f, "a"), (std::vector<std::string>{"  ab c  ", "x  y"}));
  EXPECT_EQ(Strings(f, "b"), (std::vector<std::string>{"  AB C  ", "X  Y"}));
  EXPECT_EQ(Strings(f, "c"), (std::vector<std::string>{"aB c", "x  y"}));
  EXPECT_EQ(Strings(f, "d"), (std::vector<std::string>{"aB c  ", "x  y"}));
  EXPECT_EQ(Strings(f, "e"), (std::vector<std::string>{"  aB c", "x  y"}));
  EXPECT_EQ(Strings(f, "g"), (std::vector<std::string>{" aB c ", "x y"}));
  EXPECT_EQ(Strings(f, "h"), (std::vector<std::string>{"cba"}));
  EXPECT_EQ(f.Run("strlower(1)"), 3254);
}

TEST(LumoStringBuiltins, SubstrStrposStrofreal) {
  LumoFixture f;
  ASSERT_EQ(f.Run("a = substr(\"abcdef\", 2, 3); b = substr(\"abcdef\", -2); c = substr(\"abc\", 5);"
                  "d = substr(\"abcdef\", 3, .); e = substr(\"abc\", 0, 2)"),
            0)
      << f.host.errors;
  EXPECT_EQ(Strings(f, "a"), (std::vector<std::string>{"bcd"}));
  EXPECT_EQ(Strings(f, "b"), (std::vector<std::string>{"ef"}));
  EXPECT_EQ(Strings(f, "c"), (std::vector<std::string>{""}));
  EXPECT_EQ(Strings(f, "d"), (std::vector<std::string>{"cdef"}));
  EXPECT_EQ(Strings(f, "e"), (std::vector<std::string>{""}));
  EXPECT_EQ(f.Run("substr(\"abc\", 1.5)"), 3300);
  EXPECT_EQ(f.Run("substr(\"abc\", 1, -1)"), 3300);
  ASSERT_EQ(f.Run("p = strpos((\"banana\", \"xyz\"), \"an\")"), 0);
  ValueRecord* p = f.session.values().FindGlobal("p");
  ASSERT_EQ(element_count(p), 2);
  EXPECT_EQ(reals(p)[0], 2);
  EXPECT_EQ(reals(p)[1], 0);
  ASSERT_EQ(f.Run("s = strofreal((1.5, ., 1234567)); t = strofreal(3.14159, \"%9.2f\")"), 0) << f.host.errors;
  EXPECT_EQ(Strings(f, "s"), (std::vector<std::string>{"1.5", ".", "1234567"}));
  EXPECT_EQ(Strings(f, "t"), (std::vector<std::string>{"3.14"}));
  EXPECT_EQ(f.Run("strofreal(1, \"%q\")"), 3302);
}

}  // namespace
