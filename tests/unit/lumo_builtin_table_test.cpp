// The built-in table: its rows, the codes synonyms and repeated names
// share, the argument bounds the compiler enforces, and the run-time
// failure of the helpers of commands the system does not have.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "lumo/builtins.h"
#include "lumo_test_host.h"

namespace {

using namespace nuvra::lumo;

TEST(LumoBuiltinTable, HasEveryRowWithTwoNamesRepeated) {
  auto rows = BuiltinTable();
  ASSERT_EQ(rows.size(), 471u);
  std::map<std::string, int> seen;
  for (const BuiltinInfo& b : rows) ++seen[b.name];
  EXPECT_EQ(seen.size(), 469u);
  for (const auto& [name, count] : seen)
    EXPECT_EQ(count, name == "date" || name == "nbinomialp" ? 2 : 1) << name;
  // First and last rows, and a few fixed points counted by hand in the
  // list of names: row 10 is ln, row 140 nv_varname.
  EXPECT_STREQ(rows[0].name, "abs");
  EXPECT_STREQ(rows[9].name, "ln");
  EXPECT_STREQ(rows[139].name, "nv_varname");
  EXPECT_STREQ(rows[470].name, "invpoissontail");
}

TEST(LumoBuiltinTable, CodesFollowTheOrderAndSynonymsShareOne) {
  auto rows = BuiltinTable();
  // log and ln are one function under two names.
  EXPECT_EQ(FindBuiltin("log")->code, 9);
  EXPECT_EQ(FindBuiltin("ln")->code, 9);
  EXPECT_EQ(FindBuiltin("ln")->handler, FindBuiltin("log")->handler);
  EXPECT_EQ(FindBuiltin("errprintf")->code, 11);
  // The compiler takes the first of the repeated names.
  for (const char* name : {"date", "nbinomialp"}) {
    const BuiltinInfo* first = FindBuiltin(name);
    int count = 0;
    for (const BuiltinInfo& b : rows)
      if (std::string(b.name) == name) {
        if (++count == 1) {
          EXPECT_EQ(first, &b) << name;
        } else {
          EXPECT_EQ(b.code, first->code) << name;
        }
      }
  }
  // Every code finds its first row.
  for (const BuiltinInfo& b : rows) {
    ASSERT_GE(b.code, 1);
    ASSERT_LE(b.code, 471);
    EXPECT_EQ(BuiltinByCode(b.code), FindBuiltin(BuiltinByCode(b.code)->name)) << b.name;
    EXPECT_LE(b.minargs, b.maxargs) << b.name;
  }
  EXPECT_EQ(BuiltinByCode(0), nullptr);
  EXPECT_EQ(BuiltinByCode(472), nullptr);
}

std::string Args(int n) {
  std::string s = "\"\"";
  for (int i = 1; i < n; ++i) s += ",1";
  return s;
}

TEST(LumoBuiltinTable, PrintfTakesAtMostTwoHundredArguments) {
  for (const char* fn : {"printf", "sprintf", "errprintf"}) {
    LumoFixture f;
    // 200 arguments compile (the run then fails or not; only the compile
    // matters here).
    bool incomplete;
    EXPECT_NE(f.session.DisassembleText(std::string(fn) + "(" + Args(200) + ")", &incomplete), "") << fn;
    f.host.errors.clear();
    EXPECT_EQ(f.session.DisassembleText(std::string(fn) + "(" + Args(201) + ")", &incomplete), "") << fn;
    EXPECT_NE(f.host.errors.find(std::string("wrong number of arguments for ") + fn + "()\n"), std::string::npos)
        << f.host.errors;
    f.host.errors.clear();
    EXPECT_EQ(f.Run(std::string(fn) + "(" + Args(201) + ")"), kCompileError);
  }
}

TEST(LumoBuiltinTable, NamesAreReservedAndMissingOnesFailWhenRun) {
  LumoFixture f;
  // A user function may not take a built-in's name, built yet or not.
  EXPECT_EQ(f.Run("function rnormal(x) { return(x) }"), kCompileError);
  EXPECT_NE(f.host.errors.find("rnormal() is built-in"), std::string::npos) << f.host.errors;
  f.host.errors.clear();
  EXPECT_EQ(f.Run("x = nv_sys_lastest()"), 3996);
  EXPECT_NE(f.host.errors.find("nv_sys_lastest():  3996  built-in unallocated"), std::string::npos) << f.host.errors;
  f.host.errors.clear();
  EXPECT_EQ(f.Run("x = i_xtgm_cpyin(1)"), 3996);
  EXPECT_NE(f.host.errors.find("i_xtgm_cpyin():  3996  built-in unallocated"), std::string::npos) << f.host.errors;
  // Too few arguments is a compile error, not a run-time one.
  f.host.errors.clear();
  EXPECT_EQ(f.Run("x = ghalton(1)"), kCompileError);
}

}  // namespace
