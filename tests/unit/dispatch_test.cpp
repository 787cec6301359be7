// The command table, the word reader and the line scanners that decide how
// a line is run.
#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "interp/blocks.h"
#include "interp/builtins.h"
#include "interp/startup.h"
#include "interp/word_reader.h"

namespace nuvra {
namespace {

std::string found(std::string_view token, int version = 1010) {
  const Builtin* b = find_builtin(token, version);
  return b ? b->name : "";
}

TEST(BuiltinTable, AbbreviationsResolveInTableOrder) {
  // generate has minimum 1 and comes before gettoken and global.
  EXPECT_EQ(found("g"), "generate");
  EXPECT_EQ(found("ge"), "generate");
  EXPECT_EQ(found("gen"), "generate");
  EXPECT_EQ(found("gl"), "global");
  EXPECT_EQ(found("gettoken"), "gettoken");
  EXPECT_EQ(found("q"), "query");
  EXPECT_EQ(found("qui"), "quietly");
  EXPECT_EQ(found("quietl"), "quietly");
  EXPECT_EQ(found("quietlyx"), "");
  EXPECT_EQ(found("qu"), "query");  // quietly needs three letters
  EXPECT_EQ(found("di"), "display");
  EXPECT_EQ(found("d"), "");
  EXPECT_EQ(found("e"), "exit");
  EXPECT_EQ(found("forv"), "forvalues");
  EXPECT_EQ(found("for"), "");
  EXPECT_EQ(found("foreac"), "");  // foreach only in full
  EXPECT_EQ(found("l"), "list");
  EXPECT_EQ(found("loc"), "local");
  EXPECT_EQ(found("lumo"), "lumo");
  EXPECT_EQ(found("m"), "m");
  EXPECT_EQ(found("Generate"), "");  // matching is case-sensitive
}

TEST(BuiltinTable, VersionConditions) {
  EXPECT_EQ(found("cp", 500), "");
  EXPECT_EQ(found("cp", 600), "cp");
  EXPECT_EQ(found("predict", 500), "predict");
  EXPECT_EQ(found("predict", 600), "");
  EXPECT_EQ(found("_estimates", 700), "");
  EXPECT_EQ(found("_est", 800), "_estimates");
  EXPECT_EQ(found("numlist", 500), "");
}

TEST(BuiltinTable, NamesAreUniqueAndAbbreviationsFit) {
  size_t n = 0;
  const Builtin* t = builtin_table(&n);
  ASSERT_GT(n, 250u);
  std::set<std::string> names;
  for (size_t i = 0; i < n; ++i) {
    EXPECT_TRUE(names.insert(t[i].name).second) << t[i].name;
    EXPECT_GE(t[i].min_abbrev, 1) << t[i].name;
    EXPECT_LE(static_cast<size_t>(t[i].min_abbrev), std::strlen(t[i].name)) << t[i].name;
  }
}

TEST(WordReader, StandardAndNumericDelimiters) {
  std::string line = "forvalues i=-1(2)7 {";
  WordReader r(&line);
  EXPECT_EQ(r.next(), "forvalues");
  EXPECT_EQ(r.next(), "i");
  EXPECT_EQ(r.next(), "=");
  size_t saved = r.pos();
  EXPECT_EQ(r.next(), "-");  // the standard set splits at the sign
  r.set_pos(saved);
  EXPECT_EQ(r.next(Delims::Numeric), "-1");
  EXPECT_EQ(r.next(Delims::Numeric), "(");
  EXPECT_EQ(r.next(Delims::Numeric), "2");
  EXPECT_EQ(r.next(Delims::Numeric), ")");
  EXPECT_EQ(r.peek(Delims::Numeric), "7");
  EXPECT_EQ(r.next(Delims::Numeric), "7");
  EXPECT_EQ(r.rest(), "{");
  EXPECT_EQ(r.next(), "{");
  EXPECT_TRUE(r.at_end());
  EXPECT_EQ(r.next(), "");
}

TEST(WordReader, EveryDelimiterIsItsOwnWord) {
  const std::string delims = "\\\"'`~:;,<>/?!@|#$%^&*()-+=[]{}";
  for (char d : delims) {
    std::string line = std::string("ab") + d + "cd";
    WordReader r(&line);
    EXPECT_EQ(r.next(), "ab") << d;
    EXPECT_EQ(r.next(), std::string(1, d)) << d;
    EXPECT_EQ(r.next(), "cd") << d;
  }
  std::string dotted = "a.b_c9";
  WordReader r(&dotted);
  EXPECT_EQ(r.next(), "a.b_c9");
}

TEST(LineScan, OpeningBraceSkipsQuotesAndBrackets) {
  EXPECT_EQ(find_open_brace("while x {"), 8u);
  EXPECT_EQ(find_open_brace("if \"{\" == \"{\" {"), 14u);
  EXPECT_EQ(find_open_brace("foreach x in `\"a {\"' {"), 21u);
  EXPECT_EQ(find_open_brace("if x[1] > (2) {"), 14u);
  EXPECT_EQ(find_open_brace("display \"}{\""), std::string_view::npos);
  EXPECT_EQ(find_open_brace("if (a{) {"), 8u);
}

TEST(LineScan, LoopPrescanLooksPastPrefixes) {
  EXPECT_TRUE(starts_loop("forvalues i=1/3 {"));
  EXPECT_TRUE(starts_loop("forv i=1/3 {"));
  EXPECT_TRUE(starts_loop("foreach x in a {"));
  EXPECT_TRUE(starts_loop("wh `i' < 3 {"));
  EXPECT_TRUE(starts_loop("capture noisily quietly while 1 {"));
  EXPECT_TRUE(starts_loop("cap : forvalues i=1/2 {"));
  EXPECT_FALSE(starts_loop("for i=1/3 {"));
  EXPECT_FALSE(starts_loop("foreac x in a {"));
  EXPECT_FALSE(starts_loop("version 8: forvalues i=1/2 {"));
  EXPECT_FALSE(starts_loop("display `i'"));
  EXPECT_TRUE(starts_loop(" \t while 1 {"));
  EXPECT_TRUE(starts_loop("\tnoi foreach x in a {"));
  EXPECT_FALSE(starts_loop("local forvalues 1"));
  EXPECT_FALSE(starts_loop("  "));
  EXPECT_FALSE(starts_loop(""));
}

TEST(Startup, OptionValues) {
  auto parse = [](std::vector<std::string> a, Edition e = Edition::Console) {
    ParsedOptions o;
    return parse_options(a, e, &o);
  };
  for (const char* bad :
       {"-m0", "-k9", "-v2047", "-v32768", "-h", "-z", "-k", "-kx", "-p2", "-q1", "-o"})
    EXPECT_EQ(parse({bad}), -1) << bad;
  for (const char* good :
       {"-k10", "-v2048", "-v32767", "-m1", "-l", "-lanything", "-o1.5", "-p1", "-Q", "-c"})
    EXPECT_EQ(parse({good}), 0) << good;
  EXPECT_EQ(parse({"-b"}, Edition::Windowed), -1);
  ParsedOptions o;
  EXPECT_EQ(parse_options({"-k10", "-V4096", "-q"}, Edition::Console, &o), 0);
  EXPECT_EQ(o.data_memory, 10240);
  EXPECT_EQ(o.maxvar, 4096);
  EXPECT_FALSE(o.logo);
  EXPECT_EQ(parse_options({"-m3", "display", "1"}, Edition::Console, &o), 1);
  EXPECT_EQ(o.data_memory, 3LL * 1048576);
  EXPECT_EQ(o.command, "display 1");
  // Options end at the first argument that does not start with "-".
  EXPECT_EQ(parse_options({"x", "-q"}, Edition::Console, &o), 1);
  EXPECT_EQ(o.command, "x -q");
}

TEST(Startup, CommandLineVerbs) {
  EXPECT_EQ(build_command_line({"mydata.DTA"}), "use mydata.DTA ");
  EXPECT_EQ(build_command_line({"job.do", "a", "b"}), "do job.do a b ");
  EXPECT_EQ(build_command_line({"help.nmcl"}), "view help.nmcl ");
  EXPECT_EQ(build_command_line({"pic.Gph"}), "graph use pic.Gph ");
  EXPECT_EQ(build_command_line({"\"my file.do\""}), "do \"my file.do\" ");
  EXPECT_EQ(build_command_line({"display", "x.do"}), "display x.do ");
  EXPECT_EQ(build_command_line({"", "x.do"}), " x.do ");
  EXPECT_EQ(build_command_line({}), "");
}

}  // namespace
}  // namespace nuvra
