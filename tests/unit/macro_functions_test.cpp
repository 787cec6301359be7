// Extended macro functions and the macro command, through a real
// interpreter with captured output.
#include "interp/macro_functions.h"
#include "interp/runner.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "interp/interp.h"
#include "test_side.h"

namespace nuvra {
namespace {

class MacroFunctionTest : public ::testing::Test {
 protected:
  MacroFunctionTest() : ip(&side) {}

  // Runs the function and checks its return code.
  std::string fn(std::string_view text, rc_t want_rc = 0) {
    std::string out = "unset";
    side.text.clear();
    rc_t rc = macro_function(ip, text, &out);
    ip.out.flush();
    EXPECT_EQ(rc, want_rc) << text;
    if (want_rc) {
      EXPECT_EQ(out, "") << text;
    }
    return out;
  }
  // Runs `macro <args>` through its handler.
  rc_t macro(std::string_view args) {
    side.text.clear();
    ip.cmdbuf = "macro " + std::string(args);
    ip.reader.attach(&ip.cmdbuf, 5);
    rc_t rc = cmd_macro(ip);
    ip.out.flush();
    return rc;
  }
  std::string local(std::string_view name) {
    const std::string* v = ip.macros.local(name);
    return v ? *v : "<none>";
  }
  std::string global(std::string_view name) {
    const std::string* v = ip.macros.global(name);
    return v ? *v : "<none>";
  }

  testing::CaptureSide side;
  Interp ip;
};

TEST_F(MacroFunctionTest, NamesAreMatchedByTheirMinimumAbbreviation) {
  EXPECT_EQ(fn("di 2+3"), "5");          // display from 2 letters
  EXPECT_EQ(fn("wor 1 of a", 198), "");  // word needs 4
  EXPECT_NE(side.text.find("wor not allowed"), std::string::npos);
  fn("d 1", 198);  // neither display (2) nor data (in full)
  fn("len local x", 198);
  EXPECT_EQ(fn("length local x"), "0");
  EXPECT_EQ(fn("dirsep"), "/");
  fn("", 198);
  // Table order decides between names sharing letters: "regex" is
  // regexmatch, "t" is type.
  EXPECT_EQ(fn("regex \"ab\" \"b\""), "1");
  fn("t x", 111);  // type of a variable that does not exist
  EXPECT_NE(side.text.find("variable x not found"), std::string::npos);
}

TEST_F(MacroFunctionTest, WordCountAndWordOf) {
  EXPECT_EQ(fn("word count a b   c"), "3");
  EXPECT_EQ(fn("word count"), "0");
  EXPECT_EQ(fn("word count a \"b c\" `\"d \"e\" f\"' g"), "4");
  EXPECT_EQ(fn("word 2 of a \"b c\" d"), "b c");  // quotes removed, as foreach does
  EXPECT_EQ(fn("word 3 of a `\"x \"y\"\"' d"), "d");
  EXPECT_EQ(fn("word 2 of a `\"x \"y\"\"' d"), "x \"y\"");
  EXPECT_EQ(fn("word 4 of a b c"), "");  // fewer words than asked for
  EXPECT_EQ(fn("word 1 of"), "");
  EXPECT_EQ(fn("word 1 of   lead"), "lead");
}

TEST_F(MacroFunctionTest, WordFailsWith198) {
  for (const char* bad : {"word 0 of a", "word -1 of a", "word 1.5 of a", "word x of a",
                          "word +1 of a", "word 2 a b", "word 2", "word", "word 2 off a"})
    fn(bad, 198);
}

TEST_F(MacroFunctionTest, DisplayDirectives) {
  EXPECT_EQ(fn("display \"a\" _col(5) \"b\""), "a   b");
  EXPECT_EQ(fn("di \"abcdef\" _col(3) \"g\""), "abcdefg");  // already past the column
  EXPECT_EQ(fn("di \"ab\" _skip(2) \"c\""), "ab  c");
  EXPECT_EQ(fn("di _dup(3) \"x\" \"y\""), "xxxy");
  EXPECT_EQ(fn("di 1+2 _n \"z\""), "3\nz");
  EXPECT_EQ(fn("di \"x\" _n(2) _col(3) \"y\""), "x\n\n  y");
  EXPECT_EQ(fn("di 1/4 \"|\" 7"), ".25|7");
  EXPECT_EQ(fn("di as result \"r\" _c"), "r");
  EXPECT_EQ(fn("di _char(65) _dup(2) _char(66)"), "ABB");
  EXPECT_EQ(fn("di %5.2f 3.14159 \"|\""), " 3.14|");
  EXPECT_EQ(fn("di %-4s \"ab\" \"|\" %4s \"c\""), "ab  |   c");
  fn("di %5s 1", 120);        // a string format for a number
  fn("di %5.2f \"a\"", 120);  // and the other way round
  fn("di %5.2q 1", 120);
  fn("di _col \"a\"", 198);
  fn("di as purple \"a\"", 198);
  fn("di 1 +", 198);
}

TEST_F(MacroFunctionTest, Environment) {
  ::setenv("NV_MF_VALUE", "value with blanks", 1);
  ::unsetenv("NV_MF_ABSENT");
  EXPECT_EQ(fn("env NV_MF_VALUE"), "value with blanks");
  EXPECT_EQ(fn("environment NV_MF_ABSENT"), "");
  fn("env", 198);
}

TEST_F(MacroFunctionTest, TempfileNamesAreNewAndRemovedWithTheirFrame) {
  char dir[] = "/tmp/nv_mf_XXXXXX";
  ASSERT_NE(::mkdtemp(dir), nullptr);
  ip.tmpdir = dir;
  ip.pid = 4242;
  auto touch = [](const std::string& p) {
    std::FILE* f = std::fopen(p.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
  };
  auto exists = [](const std::string& p) { return ::access(p.c_str(), F_OK) == 0; };
  std::string a = fn("tempfile");
  EXPECT_EQ(a, std::string(dir) + "/nv4242_000001.tmp");
  touch(a);
  std::string b;
  {
    // A file made inside a frame goes when the frame ends; the session's
    // own stays until the session ends.
    Frame frame(ip, false);
    // A file already holding the next name is passed over.
    touch(std::string(dir) + "/nv4242_000002.tmp");
    b = fn("tempf");
    EXPECT_EQ(b, std::string(dir) + "/nv4242_000003.tmp");
    touch(b);
    fn("tempfile x", 198);
  }
  EXPECT_FALSE(exists(b));
  EXPECT_TRUE(exists(a));
  std::remove(a.c_str());
  std::remove((std::string(dir) + "/nv4242_000002.tmp").c_str());
  ::rmdir(dir);
}

TEST_F(MacroFunctionTest, RegexMatchKeepsSubexpressions) {
  EXPECT_EQ(fn("regexm \"key=val\" \"([a-z]+)=([a-z]+)\""), "1");
  EXPECT_EQ(fn("regexs 0"), "key=val");
  EXPECT_EQ(fn("regexsubexp 1"), "key");
  EXPECT_EQ(fn("regexs 2"), "val");
  fn("regexs 3", 198);
  fn("regexs x", 198);
  // Leftmost-longest, as POSIX extended expressions match.
  EXPECT_EQ(fn("regexmatch \"xyz\" \"x|xy\""), "1");
  EXPECT_EQ(fn("regexs 0"), "xy");
  // A failed match leaves the subexpressions empty, not the old ones.
  EXPECT_EQ(fn("regexm \"abc\" \"([0-9])\""), "0");
  EXPECT_EQ(fn("regexs 1"), "");
  fn("regexm \"a\" \"(a\"", 198);
  fn("regexm \"a\"", 198);
}

TEST_F(MacroFunctionTest, RegexReplace) {
  EXPECT_EQ(fn("regexr \"a1b22c\" \"[0-9]+\" \"#\""), "a#b22c");
  EXPECT_EQ(fn("regexr \"a1b22c\" \"[0-9]+\" \"#\", all"), "a#b#c");
  EXPECT_EQ(fn("regexr \"john smith\" \"([a-z]+) ([a-z]+)\" \"\\2, \\1\""), "smith, john");
  EXPECT_EQ(fn("regexs 2"), "smith");  // a replacement keeps its first match too
  EXPECT_EQ(fn("regexr \"a.b\" \"[.]\" \"\\\\\""), "a\\b");
  EXPECT_EQ(fn("regexr \"abc\" \"z\" \"-\", all"), "abc");
  // Empty matches: one between every two characters and at both ends, but
  // not right after a non-empty match.
  EXPECT_EQ(fn("regexr \"abc\" \"x*\" \"-\", all"), "-a-b-c-");
  EXPECT_EQ(fn("regexr \"abc\" \"b*\" \"-\", all"), "-a-c-");
  // Round trip: swap two fields and swap them back.
  std::string once = fn("regexr \"12:34\" \"([0-9]+):([0-9]+)\" \"\\2:\\1\"");
  EXPECT_EQ(once, "34:12");
  EXPECT_EQ(fn("regexr \"" + once + "\" \"([0-9]+):([0-9]+)\" \"\\2:\\1\""), "12:34");
  fn("regexr \"a\" \"a\" \"b\", every", 198);
}

TEST_F(MacroFunctionTest, ListOperationsOnOneList) {
  ip.macros.set_local("a", "x y z x y x");
  ip.macros.set_local("c", "  p   \"q  r\"    s ");
  ip.macros.set_local("d", "\"a\"  \"b c\"  `\"e\"'");
  EXPECT_EQ(fn("list uniq a"), "x y z");
  EXPECT_EQ(fn("list dups a"), "x y x");  // every occurrence after the first
  EXPECT_EQ(fn("list sort a"), "x x x y y z");
  EXPECT_EQ(fn("list sizeof a"), "6");
  EXPECT_EQ(fn("list sizeof c"), "3");
  EXPECT_EQ(fn("list sizeof nosuch"), "0");
  EXPECT_EQ(fn("list retokenize c"), "p \"q  r\" s");
  EXPECT_EQ(fn("list retok c"), "p \"q  r\" s");
  fn("list reto c", 198);
  EXPECT_EQ(fn("list clean d"), "a \"b c\" e");
  EXPECT_EQ(fn("list posof \"y\" in a"), "2");
  EXPECT_EQ(fn("list posof \"q  r\" in c"), "2");
  EXPECT_EQ(fn("list posof \"w\" in a"), "0");
  fn("list posof \"y\" a", 198);
  fn("list uniq", 198);
  fn("list uniq a b", 198);
}

TEST_F(MacroFunctionTest, ListOperatorsOnTwoLists) {
  ip.macros.set_local("a", "x y z x");
  ip.macros.set_local("b", "z w y");
  ip.macros.set_local("e", "z x y");
  ip.macros.set_local("f", "x y z x");
  ip.macros.set_local("g", "y z");
  ip.macros.set_local("h", "\"x\" y");
  EXPECT_EQ(fn("list a | b"), "x y z x w");
  EXPECT_EQ(fn("list a|b"), "x y z x w");
  EXPECT_EQ(fn("list a & b"), "y z");
  EXPECT_EQ(fn("list a - b"), "x x");
  EXPECT_EQ(fn("list a == e"), "1");  // same elements, order and repeats aside
  EXPECT_EQ(fn("list a == b"), "0");
  EXPECT_EQ(fn("list a === e"), "0");  // identical only in the same order
  EXPECT_EQ(fn("list a === f"), "1");
  EXPECT_EQ(fn("list g in b"), "1");
  EXPECT_EQ(fn("list a in b"), "0");
  EXPECT_EQ(fn("list h & a"), "y");  // "x" quoted is another element than x
  EXPECT_EQ(fn("list a - nosuch"), "x y z x");
  // A unary operation's name may name a list when an operator follows.
  ip.macros.set_local("sort", "q");
  EXPECT_EQ(fn("list sort | g"), "q y z");
  fn("list a + b", 198);
  fn("list a | ", 198);
}

TEST_F(MacroFunctionTest, SubinstrLocalAndGlobal) {
  ip.macros.set_local("y", "a b a ab");
  EXPECT_EQ(fn("subinstr local y \"a\" \"X\""), "X b a ab");
  EXPECT_EQ(fn("subinstr local y \"a\" \"X\", all"), "X b X Xb");
  EXPECT_EQ(fn("subinstr local y \"a\" \"X\", all word count(local n)"), "X b X ab");
  EXPECT_EQ(local("n"), "2");
  EXPECT_EQ(fn("subinstr local y \"a\" \"X\", word"), "X b a ab");
  EXPECT_EQ(fn("subinstr local y \"zz\" \"q\", count(global gn)"), "a b a ab");
  EXPECT_EQ(global("gn"), "0");
  EXPECT_EQ(local("y"), "a b a ab");  // the macro itself is not changed
  ip.macros.set_global("g", "one two one");
  EXPECT_EQ(fn("subinstr global g \"one\" \"1\", all count(local m)"), "1 two 1");
  EXPECT_EQ(local("m"), "2");
  ip.macros.set_local("r", "aa");
  EXPECT_EQ(fn("subinstr local r \"a\" \"aa\", all count(local k)"), "aaaa");  // no rescan
  EXPECT_EQ(local("k"), "2");
  EXPECT_EQ(fn("subinstr local r \"a\" \"\", all"), "");
  EXPECT_EQ(fn("subinstr local nosuch \"a\" \"b\""), "");
  fn("subinstr loc y \"a\" \"b\"", 198);
  fn("subinstr local y \"a\"", 198);
  fn("subinstr local y \"a\" \"b\", bogus", 198);
  fn("subinstr local y \"a\" \"b\", count(n)", 198);
  fn("subinst local y \"a\" \"b\"", 198);
}

TEST_F(MacroFunctionTest, PieceBreaksAtBlanks) {
  const std::string t = "piece %d 10 of \"the quick brown fox jumps\"";
  auto piece = [&](int k) {
    char buf[128];
    std::snprintf(buf, sizeof buf, t.c_str(), k);
    return fn(buf);
  };
  EXPECT_EQ(piece(1), "the quick");
  EXPECT_EQ(piece(2), "brown fox");
  EXPECT_EQ(piece(3), "jumps");
  EXPECT_EQ(piece(4), "");
  EXPECT_EQ(fn("piece 1 5 of \"abcde fghij\""), "abcde");  // a blank right at the width
  EXPECT_EQ(fn("piece 2 5 of \"abcde fghij\""), "fghij");
  // A word longer than the width is cut, unless nobreak keeps it whole.
  EXPECT_EQ(fn("piece 1 5 of \"abcdefghijkl mn\""), "abcde");
  EXPECT_EQ(fn("piece 2 5 of \"abcdefghijkl mn\""), "fghij");
  EXPECT_EQ(fn("piece 3 5 of \"abcdefghijkl mn\""), "kl mn");
  EXPECT_EQ(fn("piece 1 5 of \"abcdefghijkl mn\", nobreak"), "abcdefghijkl");
  EXPECT_EQ(fn("piece 2 5 of \"abcdefghijkl mn\", nobreak"), "mn");
  EXPECT_EQ(fn("piece 2 3 of ab cd"), "cd");
  fn("piece 0 5 of \"x\"", 198);
  fn("piece 1 0 of \"x\"", 198);
  fn("piece 1 5 \"x\"", 198);
}

TEST_F(MacroFunctionTest, MacroTextFunctions) {
  ip.macros.set_local("x", "hello world");
  ip.macros.set_global("G", "`x' $y");
  EXPECT_EQ(fn("length local x"), "11");
  EXPECT_EQ(fn("_length global G"), "6");
  EXPECT_EQ(fn("length global nosuch"), "0");
  EXPECT_EQ(fn("copy local x"), "hello world");
  EXPECT_EQ(fn("copy global G"), "`x' $y");
  fn("copy x", 198);
  fn("length local", 198);
  EXPECT_EQ(fn("adosubdir \"regress.ado\""), "r");
  EXPECT_EQ(fn("adosubdir \"_rmcoll.ado\""), "_");
  EXPECT_EQ(fn("adosubdir \"s1color.style\""), "style");
  fn("adosubdir", 198);
  EXPECT_EQ(fn("properties myprog"), "");
  EXPECT_EQ(fn("log"), "");
}

TEST_F(MacroFunctionTest, Permname) {
  EXPECT_EQ(fn("permname my-var.1"), "my_var_1");
  EXPECT_EQ(fn("permname 2nd"), "_2nd");
  EXPECT_EQ(fn("permname in"), "_in");
  EXPECT_EQ(fn("permname str12"), "_str12");
  EXPECT_EQ(fn("permname abcdefghij, length(4)"), "abcd");
  EXPECT_EQ(fn(std::string("permname ") + std::string(40, 'v')), std::string(32, 'v'));
  ip.version = 600;
  EXPECT_EQ(fn("permname abcdefghij"), "abcdefgh");
  fn("permname", 198);
  fn("permname a, length(0)", 198);
}

TEST_F(MacroFunctionTest, SetAndSysdir) {
  ip.linesize = 100;
  EXPECT_EQ(fn("set linesize"), "100");
  EXPECT_EQ(fn("set pagesize"), "23");
  EXPECT_EQ(fn("set rmsg"), "off");
  fn("set nosuchsetting", 198);

  std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
  ::setenv("HOME", "/home/tester", 1);
  ip.sysdir = "/opt/nv/";
  ip.macros.set_global("S_ADO", "BASE;.");
  EXPECT_EQ(fn("sysdir BASE"), "/opt/nv/ado/base/");
  EXPECT_EQ(fn("sysdir UPDATES"), "/opt/nv/ado/updates/");
  EXPECT_EQ(fn("sysdir SITE"), "/opt/ado/");
  EXPECT_EQ(fn("sysdir PLUS"), "/home/tester/ado/plus/");
  EXPECT_EQ(fn("sysdir personal"), "/home/tester/ado/personal/");
  EXPECT_EQ(fn("sysdir OLDPLACE"), "/home/tester/ado/");
  EXPECT_EQ(global("S_ADO"), "BASE;.");  // the search path is left as it was
  ip.macros.drop_global("S_ADO");
  EXPECT_EQ(fn("sysdir BASE"), "/opt/nv/ado/base/");
  EXPECT_EQ(global("S_ADO"), "<none>");
  fn("sysdir .", 198);
  fn("sysdir STUFF", 198);
  ::setenv("HOME", home.c_str(), 1);
}

TEST_F(MacroFunctionTest, GraphAndConstraintFunctionsAreNotAvailableYet) {
  for (const char* f : {"serset", "constraint dir"}) {
    fn(f, 199);
    EXPECT_NE(side.text.find("not yet available"), std::string::npos) << f;
  }
}

TEST_F(MacroFunctionTest, MacroDirListsGlobalsThenLocals) {
  ip.macros.set_global("gname", "text {x}");
  ip.macros.set_global("a_very_long_global_nm", "v");
  ip.macros.set_local("lname", "w");
  EXPECT_EQ(macro("dir"), 0);
  EXPECT_EQ(side.text,
            "a_very_long_global_nm: v\n"
            "gname:       text {x}\n"
            "_lname:      w\n");
  EXPECT_EQ(macro("list gname _lname"), 0);
  EXPECT_EQ(side.text, "gname:       text {x}\n_lname:      w\n");
  EXPECT_EQ(macro("l g*"), 0);
  EXPECT_EQ(side.text, "gname:       text {x}\n");
  EXPECT_EQ(macro("list gname nosuch"), 111);
  EXPECT_EQ(side.text.find("gname:"), std::string::npos);  // nothing listed
  EXPECT_EQ(macro("dir x"), 198);
  EXPECT_EQ(macro("frobnicate"), 198);
}

TEST_F(MacroFunctionTest, MacroDropWithWildcards) {
  for (const char* g : {"g1", "g2", "gx", "gxy", "other", "S_ADO"}) ip.macros.set_global(g, "v");
  for (const char* l : {"l1", "l2", "m"}) ip.macros.set_local(l, "v");
  EXPECT_EQ(macro("drop g?"), 0);
  EXPECT_EQ(global("g1") + global("g2") + global("gx"), "<none><none><none>");
  EXPECT_EQ(global("gxy"), "v");
  EXPECT_EQ(macro("drop _l* nosuch"), 0);
  EXPECT_EQ(local("l1") + local("l2"), "<none><none>");
  EXPECT_EQ(local("m"), "v");
  EXPECT_EQ(macro("drop a-b"), 198);
  EXPECT_EQ(macro("drop"), 198);
  EXPECT_EQ(macro("drop _all"), 0);
  EXPECT_EQ(global("gxy") + global("other") + local("m"), "<none><none><none>");
  EXPECT_EQ(global("S_ADO"), "v");  // system macros survive _all
  EXPECT_EQ(macro("drop S_*"), 0);
  EXPECT_EQ(global("S_ADO"), "<none>");
}

TEST_F(MacroFunctionTest, MacroShiftRenumbersPositionalLocals) {
  ip.macros.set_local("0", "a b c d");
  const char* args[] = {"a", "b", "c", "d"};
  for (int k = 0; k < 4; ++k) ip.macros.set_local(std::to_string(k + 1), args[k]);
  EXPECT_EQ(macro("shift"), 0);
  EXPECT_EQ(local("1") + local("2") + local("3") + local("4"), "bcd<none>");
  EXPECT_EQ(local("0"), "a b c d");
  EXPECT_EQ(macro("shift 2"), 0);
  EXPECT_EQ(local("1") + local("2"), "d<none>");
  EXPECT_EQ(macro("shift 5"), 0);
  EXPECT_EQ(local("1"), "<none>");
  EXPECT_EQ(macro("shift x"), 198);
  EXPECT_EQ(macro("shift -1"), 198);
}

}  // namespace
}  // namespace nuvra

namespace nuvra {
namespace {

TEST_F(MacroFunctionTest, FunctionsDescribingTheDataset) {
  data::Dataset& ds = ip.dataset;
  int price = 0, make = 0;
  ASSERT_EQ(ds.add_variable("price", 252, &price), 0);  // int
  ASSERT_EQ(ds.add_variable("make", 12, &make), 0);     // str12
  ASSERT_EQ(ds.set_format(price, "%9.2f"), 0);
  ds.set_label(price, "Price in dollars");
  ds.set_data_label("Cars");
  ASSERT_EQ(ds.value_labels().define("yesno", 1, "yes"), 0);
  ASSERT_EQ(ds.set_value_label_name(price, "yesno"), 0);
  ASSERT_EQ(ds.set_char("price", "note1", "checked"), 0);
  ASSERT_EQ(ds.set_char("_dta", "source", "made by hand"), 0);
  ds.set_sort_list({make, price});

  EXPECT_EQ(fn("type price"), "int");
  EXPECT_EQ(fn("type ma"), "str12");  // abbreviations find variables
  EXPECT_EQ(fn("format price"), "%9.2f");
  EXPECT_EQ(fn("format make"), "%12s");
  EXPECT_EQ(fn("variable label price"), "Price in dollars");
  EXPECT_EQ(fn("value label price"), "yesno");
  EXPECT_EQ(fn("value label make"), "");
  EXPECT_EQ(fn("data label"), "Cars");
  EXPECT_EQ(fn("sortedby"), "make price");
  EXPECT_EQ(fn("char price[note1]"), "checked");
  EXPECT_EQ(fn("char price[]"), "note1");
  EXPECT_EQ(fn("char _dta[source]"), "made by hand");
  EXPECT_EQ(fn("char _dta[none]"), "");
  EXPECT_EQ(fn("label yesno 1"), "yes");
  EXPECT_EQ(fn("label yesno 2"), "2");  // no text: the value itself
  EXPECT_EQ(fn("label (price) 1"), "yes");
  fn("label nosuch 1", 111);
  fn("type nosuch", 111);
  EXPECT_NE(side.text.find("variable nosuch not found"), std::string::npos);
  fn("type", 198);
  fn("char price", 198);
}

}  // namespace
}  // namespace nuvra
