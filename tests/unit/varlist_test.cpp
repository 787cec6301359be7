// The varlist reader: names, abbreviations, ranges, wildcards, _all, new
// lists with types, and arbitrary text.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "data/varlist.h"

using namespace nuvra::data;
using nuvra::rc_t;

namespace {

// a b myvar myvar2 x1 x2 x10 name(str8), plus the hidden sample marker.
class VarlistTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* n : {"a", "b", "myvar", "myvar2", "x1", "x2", "x10"}) ASSERT_EQ(ds.add_variable(n, kFloat), 0);
    ASSERT_EQ(ds.add_variable("name", 8), 0);
    ASSERT_EQ(ds.ensure_esample(), 0);
  }
  std::vector<int> read(std::string_view text, unsigned flags = 0) {
    std::vector<int> out;
    fail = VarlistFailure{};
    rc = read_varlist(ds, text, &out, &fail, flags);
    return out;
  }
  Dataset ds;
  VarlistFailure fail;
  rc_t rc = 0;
};

using V = std::vector<int>;

}  // namespace

TEST(VarlistPattern, Matching) {
  EXPECT_TRUE(varlist_pattern_match("a*b", "ab"));
  EXPECT_TRUE(varlist_pattern_match("a*b", "axyb"));
  EXPECT_FALSE(varlist_pattern_match("a*b", "axyc"));
  EXPECT_TRUE(varlist_pattern_match("a?c", "abc"));
  EXPECT_FALSE(varlist_pattern_match("a?c", "ac"));
  EXPECT_TRUE(varlist_pattern_match("*", "anything"));
  EXPECT_TRUE(varlist_pattern_match("*x*", "x"));
  EXPECT_TRUE(varlist_pattern_match("m~2", "myvar2"));
  EXPECT_FALSE(varlist_pattern_match("x1", "x10"));
  EXPECT_TRUE(varlist_pattern_match("*a*a*", "banana"));
}

TEST_F(VarlistTest, NamesAndAbbreviations) {
  EXPECT_EQ(read("a b"), (V{1, 2}));
  EXPECT_EQ(read("  myvar\tna "), (V{3, 8}));
  EXPECT_EQ(read(""), V{});
  read("myv");
  EXPECT_EQ(rc, 111);
  EXPECT_EQ(fail.message, "myv ambiguous abbreviation");
  read("nosuch");
  EXPECT_EQ(rc, 111);
  EXPECT_EQ(fail.message, "variable nosuch not found");
  read("1x");
  EXPECT_EQ(rc, 198);
  EXPECT_EQ(fail.message, "1x invalid name");
  ds.set_varabbrev(false);
  read("na");
  EXPECT_EQ(rc, 111);
  EXPECT_EQ(fail.message, "variable na not found");
}

TEST_F(VarlistTest, Ranges) {
  EXPECT_EQ(read("a-myvar"), (V{1, 2, 3}));
  EXPECT_EQ(read("x1 - x10 a"), (V{5, 6, 7, 1}));
  EXPECT_EQ(read("b-b"), (V{2}));
  EXPECT_EQ(read("myvar2-na"), (V{4, 5, 6, 7, 8}));  // abbreviated end
  read("x10-a");
  EXPECT_EQ(rc, 198);
  EXPECT_EQ(fail.message, "variables out of order");
  read("a-zz");
  EXPECT_EQ(rc, 111);
  EXPECT_EQ(fail.message, "variable zz not found");
  read("a -");
  EXPECT_EQ(rc, 198);
  read("- a");
  EXPECT_EQ(rc, 198);
  read("a--b");
  EXPECT_EQ(rc, 198);
}

TEST_F(VarlistTest, WildcardsAndAll) {
  EXPECT_EQ(read("x*"), (V{5, 6, 7}));
  EXPECT_EQ(read("x?"), (V{5, 6}));
  EXPECT_EQ(read("*2"), (V{4, 6}));
  EXPECT_EQ(read("*"), (V{1, 2, 3, 4, 5, 6, 7, 8}));  // never the hidden marker
  EXPECT_EQ(read("_all"), (V{1, 2, 3, 4, 5, 6, 7, 8}));
  EXPECT_EQ(read("n~"), (V{8}));
  read("x1~");
  EXPECT_EQ(rc, 111);
  EXPECT_EQ(fail.message, "x1~ ambiguous abbreviation");
  read("q*");
  EXPECT_EQ(rc, 111);
  EXPECT_EQ(fail.message, "variable q* not found");
  read("x*.");
  EXPECT_EQ(rc, 198);
  EXPECT_EQ(fail.message, "x*. invalid name");
  read("a*-b");
  EXPECT_EQ(rc, 198);
}

TEST_F(VarlistTest, RepeatsKeptUnlessUniqueAsked) {
  EXPECT_EQ(read("a b a x*"), (V{1, 2, 1, 5, 6, 7}));
  EXPECT_EQ(read("a b a x* x1", kVarlistUnique), (V{1, 2, 5, 6, 7}));
}

TEST_F(VarlistTest, NewVariableLists) {
  std::vector<NewVariable> out;
  ASSERT_EQ(read_new_varlist(ds, "double x str20 label y", kFloat, &out, &fail), 0);
  ASSERT_EQ(out.size(), 3u);
  EXPECT_EQ(out[0].name, "x");
  EXPECT_EQ(out[0].type, kDouble);
  EXPECT_EQ(out[1].name, "label");
  EXPECT_EQ(out[1].type, 20);
  EXPECT_EQ(out[2].name, "y");
  EXPECT_EQ(out[2].type, kFloat);
  ASSERT_EQ(read_new_varlist(ds, "int v1-v3 w", kByte, &out, &fail), 0);
  ASSERT_EQ(out.size(), 4u);
  EXPECT_EQ(out[2].name, "v3");
  EXPECT_EQ(out[2].type, kInt);
  EXPECT_EQ(out[3].type, kByte);

  struct Bad {
    const char* text;
    rc_t rc;
    const char* msg;
  };
  const Bad bad[] = {
      {"a", 110, "a already defined"},
      {"z z", 110, "z already defined"},
      {"v1-v3 v2", 110, "v2 already defined"},
      {"_n", 198, "_n invalid varname"},
      {"_cons", 198, "_cons invalid varname"},
      {"str5", 198, "nothing found where name expected"},
      {"double", 198, "nothing found where name expected"},
      {"str245 q", 198, "str245 invalid variable name"},
      {"1st", 198, "1st invalid name"},
      {"x*", 198, "x* invalid name"},
      {"v3-v1", 198, "v3-v1 invalid name"},
      {"q -", 198, "invalid syntax"},
  };
  for (const auto& b : bad) {
    VarlistFailure f;
    EXPECT_EQ(read_new_varlist(ds, b.text, kFloat, &out, &f), b.rc) << b.text;
    EXPECT_EQ(f.message, b.msg) << b.text;
  }
  ASSERT_EQ(read_new_varlist(ds, "str strx str0", kFloat, &out, &fail), 0);
  EXPECT_EQ(out.size(), 3u);
}

TEST_F(VarlistTest, ArbitraryTextNeverBreaksTheReader) {
  const std::string alphabet = "abmnxyv12_*?~- \t.,()[]=\"'`$\\\xC3\xA9";
  std::mt19937 gen(20240601);
  std::uniform_int_distribution<std::size_t> len(0, 40), pick(0, alphabet.size() - 1);
  for (int n = 0; n < 20000; ++n) {
    std::string text;
    for (std::size_t k = len(gen); k > 0; --k) text += alphabet[pick(gen)];
    std::vector<int> out;
    VarlistFailure f;
    rc_t r = read_varlist(ds, text, &out, &f);
    if (r == 0) {
      for (int j : out) ASSERT_TRUE(j >= 1 && j <= ds.nvar()) << text;
    } else {
      ASSERT_TRUE(r == 111 || r == 198) << text;
      ASSERT_FALSE(f.message.empty()) << text;
    }
    std::vector<NewVariable> nv;
    r = read_new_varlist(ds, text, kFloat, &nv, &f);
    if (r == 0) {
      for (const auto& v : nv) ASSERT_EQ(ds.check_new_name(v.name), 0) << text;
    } else {
      ASSERT_TRUE(r == 110 || r == 198) << text;
      ASSERT_FALSE(f.message.empty()) << text;
    }
  }
}
