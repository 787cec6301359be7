// The data commands through their handlers, with captured output: what
// they change, what they report, and that a failing command leaves the
// dataset (data, labels, characteristics) exactly as it was.
#include <gtest/gtest.h>

#include "data/commands/commands.h"
#include "interp/interp.h"
#include "interp/line_source.h"
#include "test_side.h"

namespace nuvra {
namespace {

using Handler = rc_t (*)(Interp&);

class DataCmdTest : public ::testing::Test {
 protected:
  DataCmdTest() : ip(&side) {}

  // Runs one handler on `line` as if the dispatcher had matched `name`.
  rc_t run(Handler h, std::string_view name, std::string_view rest, std::vector<std::string> body = {}) {
    side.text.clear();
    ip.cmdbuf = std::string(name) + " " + std::string(rest);
    ip.reader.attach(&ip.cmdbuf, 0);
    ip.token.assign(ip.reader.next());
    ip.command_name = std::string(name);
    BlockSource src(&body);
    SourceGuard guard(ip, &src);
    rc_t rc = h(ip);
    ip.out.flush();
    return rc;
  }
  rc_t set(std::string_view name, std::string_view value) {
    side.text.clear();
    bool handled = false;
    rc_t rc = set_data_setting(ip, name, value, &handled);
    EXPECT_TRUE(handled) << name;
    ip.out.flush();
    return rc;
  }
  // x (float) 1 2 3, y (float) 1.5 2.5 . , name (str8) a bb ccc; label
  // yn on x; a characteristic on x and one on _dta.
  void small_dataset() {
    ASSERT_EQ(run(cmd_input, "input", "x y str8 name", {"1 1.5 a", "2 2.5 bb", "3 . ccc", "end"}), 0);
    ASSERT_EQ(run(cmd_label, "label", "define yn 1 \"yes\" 2 \"no\""), 0);
    ASSERT_EQ(run(cmd_label, "label", "values x yn"), 0);
    ASSERT_EQ(run(cmd_char, "char", "x[unit] kg"), 0);
    ASSERT_EQ(run(cmd_char, "char", "define _dta[source] \"made here\""), 0);
  }
  std::string names() const {
    std::string s;
    for (int j = 1; j <= ip.dataset.nvar(); ++j) s += (s.empty() ? "" : " ") + ip.dataset.name(j);
    return s;
  }

  testing::CaptureSide side;
  Interp ip;
};

TEST_F(DataCmdTest, FailingCommandsLeaveEverythingAsItWas) {
  small_dataset();
  struct Case {
    Handler h;
    const char* name;
    const char* rest;
    rc_t rc;
  };
  const Case cases[] = {
      {cmd_drop_keep, "drop", "nosuch", 111},
      {cmd_drop_keep, "keep", "x in 1", 198},
      {cmd_drop_keep, "drop", "in 4", 198},
      {cmd_rename, "rename", "x y", 110},
      {cmd_rename, "rename", "x str5", 198},
      {cmd_rename, "rename", "x _cons", 198},
      {cmd_order, "order", "y nosuch", 111},
      {cmd_move, "move", "x", 102},
      {cmd_move, "move", "x y name", 103},
      {cmd_format, "format", "x %9.0q", 120},
      {cmd_format, "format", "x name %9.2f", 120},  // x is fine, name is not: neither changes
      {cmd_format, "format", "%-12s x", 120},
      {cmd_label, "label", "define yn 3 \"maybe\"", 110},
      {cmd_label, "label", "define yn 2.5 \"half\", modify", 198},
      {cmd_label, "label", "define yn 4 \"four\" 5, modify", 198},
      {cmd_label, "label", "define yn 1 \"again\", add", 180},
      {cmd_label, "label", "define yn 7 \"x\", add replace", 198},
      {cmd_label, "label", "values name yn", 181},
      {cmd_label, "label", "values x y nosuch yn", 111},
      {cmd_label, "label", "drop yn nosuch", 111},
      {cmd_label, "label", "copy nosuch other", 111},
      {cmd_label, "label", "frobnicate", 198},
      {cmd_char, "char", "nosuch[unit] kg", 111},
      {cmd_char, "char", "rename x y name", 198},
      {cmd_recast, "recast", "byte y", 459},
      {cmd_recast, "recast", "str5 x", 109},
      {cmd_recast, "recast", "quad x", 198},
      {cmd_input, "input", "x newvar", 110},
      {cmd_input, "input", "a b str5", 198},
      {cmd_list, "list", ", separator(-1)", 198},
      {cmd_list, "list", ", table display", 198},
      {cmd_describe, "describe", "nosuch", 111},
      {cmd_compress, "compress", "nosuch", 111},
  };
  for (const Case& c : cases) {
    std::uint64_t before = ip.dataset.checksum();
    EXPECT_EQ(run(c.h, c.name, c.rest), c.rc) << c.name << " " << c.rest << "\n" << side.text;
    EXPECT_EQ(ip.dataset.checksum(), before) << c.name << " " << c.rest;
  }
  // Settings out of range.
  std::uint64_t before = ip.dataset.checksum();
  EXPECT_EQ(set("obs", "2"), 198);
  EXPECT_EQ(set("maxvar", "2047"), 198);
  EXPECT_EQ(side.text, "# must be between 2048 and 32767\n");
  EXPECT_EQ(set("maxvar", "32768"), 198);
  EXPECT_EQ(set("matsize", "9"), 198);
  EXPECT_EQ(side.text, "# must be between 10 and 11000\n");
  EXPECT_EQ(set("type", "long"), 198);
  EXPECT_EQ(set("varabbrev", "maybe"), 198);
  EXPECT_EQ(set("memory", "1b"), 198);
  EXPECT_EQ(set("obs", "2147483647"), 901);
  EXPECT_EQ(ip.dataset.checksum(), before);
  // 100 observations of at least 16 bytes and 8 of overhead do not fit in 1k.
  ASSERT_EQ(set("obs", "100"), 0);
  before = ip.dataset.checksum();
  EXPECT_EQ(set("memory", "1k"), 901);
  EXPECT_EQ(ip.dataset.checksum(), before);
  EXPECT_EQ(ip.maxvar, 5000);
  EXPECT_EQ(ip.matsize, 400);
}

TEST_F(DataCmdTest, MessagesQuoteTheNames) {
  small_dataset();
  run(cmd_recast, "recast", "byte y");
  EXPECT_EQ(side.text, "y:  2 values would be changed; not changed\n");
  run(cmd_label, "label", "drop nosuch");
  EXPECT_EQ(side.text, "value label nosuch not found\n");
  run(cmd_label, "label", "define yn 1 \"x\"");
  EXPECT_EQ(side.text, "label yn already defined\n");
  run(cmd_format, "format", "name %9.2f");
  EXPECT_EQ(side.text, "%9.2f invalid for string variable name\n");
  run(cmd_drop_keep, "drop", "in 4");
  EXPECT_EQ(side.text, "Obs. nos. out of range\n");
}

TEST_F(DataCmdTest, LabelDefineAddModifyReplace) {
  auto table = [&](const char* n) {
    std::string s;
    for (const auto& [v, t] : ip.dataset.value_labels().get(n)->decode()) s += std::to_string(v) + "=" + t + ";";
    return s;
  };
  ASSERT_EQ(run(cmd_label, "label", "define l 1 one 2 `\"two \"x\"\"' -3 \"minus three\""), 0);
  EXPECT_EQ(table("l"), "-3=minus three;1=one;2=two \"x\";");
  EXPECT_EQ(run(cmd_label, "label", "define l 4 four, add"), 0);
  EXPECT_EQ(run(cmd_label, "label", "define l 1 ONE 2 \"\", modify"), 0);
  EXPECT_EQ(table("l"), "-3=minus three;1=ONE;4=four;");
  EXPECT_EQ(run(cmd_label, "label", "define l 9 nine, replace"), 0);
  EXPECT_EQ(table("l"), "9=nine;");
  EXPECT_EQ(run(cmd_label, "label", "copy l m"), 0);
  EXPECT_EQ(run(cmd_label, "label", "copy l m"), 110);
  EXPECT_EQ(run(cmd_label, "label", "copy l m, replace"), 0);
  EXPECT_EQ(run(cmd_label, "label", "list m"), 0);
  EXPECT_EQ(side.text, "m:\n           9 nine\n");
  EXPECT_EQ(run(cmd_label, "label", "dir"), 0);
  EXPECT_EQ(side.text, "l\nm\n");
  EXPECT_EQ(ip.r_results.macros["names"], "l m");
  EXPECT_EQ(run(cmd_label, "label", "drop _all"), 0);
  EXPECT_EQ(ip.dataset.value_labels().count(), 0u);
}

TEST_F(DataCmdTest, LabelsOfDataAndVariables) {
  small_dataset();
  EXPECT_EQ(run(cmd_label, "label", "data \"A title\""), 0);
  EXPECT_EQ(ip.dataset.data_label(), "A title");
  EXPECT_EQ(run(cmd_label, "label", "variable y Height in cm"), 0);
  EXPECT_EQ(ip.dataset.label(2), "Height in cm");
  EXPECT_EQ(run(cmd_label, "label", "var y"), 0);  // no text removes it
  EXPECT_EQ(ip.dataset.label(2), "");
  EXPECT_EQ(run(cmd_label, "label", "values x ."), 0);
  EXPECT_EQ(ip.dataset.value_label_name(1), "");
  EXPECT_EQ(run(cmd_label, "label", "values x y undefinedyet"), 0);
  EXPECT_EQ(ip.dataset.value_label_name(2), "undefinedyet");
}

TEST_F(DataCmdTest, Characteristics) {
  small_dataset();
  EXPECT_EQ(run(cmd_char, "char", "list"), 0);
  EXPECT_EQ(side.text,
            "  _dta[source]:                made here\n"
            "  x[unit]:                     kg\n");
  EXPECT_EQ(run(cmd_char, "char", "rename x y"), 0);
  EXPECT_EQ(ip.dataset.chars().get("y", "unit") != nullptr, true);
  EXPECT_TRUE(ip.dataset.chars().entries("x").empty());
  EXPECT_EQ(run(cmd_char, "char", "x[unit] g"), 0);
  EXPECT_EQ(run(cmd_char, "char", "rename x y"), 110);
  EXPECT_EQ(run(cmd_char, "char", "rename x y, replace"), 0);
  EXPECT_EQ(*ip.dataset.chars().get("y", "unit"), "g");
  EXPECT_EQ(run(cmd_char, "char", "define y[unit]"), 0);  // empty text deletes
  EXPECT_EQ(ip.dataset.chars().get("y", "unit"), nullptr);
  // Characteristics follow a renamed variable and go with a dropped one.
  EXPECT_EQ(run(cmd_char, "char", "name[k] v"), 0);
  EXPECT_EQ(run(cmd_rename, "rename", "name label"), 0);
  EXPECT_EQ(*ip.dataset.chars().get("label", "k"), "v");
  EXPECT_EQ(run(cmd_drop_keep, "drop", "label"), 0);
  EXPECT_TRUE(ip.dataset.chars().entries("label").empty());
}

TEST_F(DataCmdTest, DropKeepOrderMove) {
  small_dataset();
  EXPECT_EQ(run(cmd_drop_keep, "drop", "in 2"), 0);
  EXPECT_EQ(side.text, "(1 observation deleted)\n");
  ASSERT_EQ(ip.dataset.nobs(), 2);
  EXPECT_EQ(ip.dataset.fetch(1, 2), 3.0);
  EXPECT_EQ(run(cmd_drop_keep, "keep", "in -1"), 0);
  EXPECT_EQ(side.text, "(1 observation deleted)\n");
  EXPECT_EQ(ip.dataset.fetch_str(3, 1), "ccc");
  EXPECT_EQ(run(cmd_order, "order", "name y"), 0);
  EXPECT_EQ(names(), "name y x");
  EXPECT_EQ(run(cmd_order, "order", "name, last"), 0);
  EXPECT_EQ(names(), "y x name");
  EXPECT_EQ(run(cmd_move, "move", "name y"), 0);
  EXPECT_EQ(names(), "name y x");
  EXPECT_EQ(run(cmd_move, "move", "name x"), 0);
  EXPECT_EQ(names(), "y name x");
  EXPECT_EQ(ip.dataset.fetch_str(2, 1), "ccc");  // values travel with their variable
  EXPECT_EQ(run(cmd_drop_keep, "keep", "x y"), 0);
  EXPECT_EQ(names(), "y x");
  EXPECT_EQ(run(cmd_drop_keep, "drop", "_all"), 0);
  EXPECT_EQ(ip.dataset.nvar(), 0);
  EXPECT_EQ(ip.dataset.nobs(), 0);
  EXPECT_TRUE(ip.dataset.changed());
  EXPECT_TRUE(ip.data_changed);
}

TEST_F(DataCmdTest, CompressAndRecast) {
  ASSERT_EQ(run(cmd_input, "input", "double d double f long big str20 s",
                {"1 0.5 40000 ab", "-127 .25 . abc", ".a 1024 -5 a", "end"}),
            0);
  EXPECT_EQ(run(cmd_compress, "compress", ""), 0);
  // d holds integers within byte range (and .a); f is exact in float; big
  // needs int's successor long, which it already is; s needs 3 bytes.
  EXPECT_EQ(side.text,
            "  d was double now byte\n"
            "  f was double now float\n"
            "  s was str20 now str3\n"
            "(84 bytes saved)\n");
  EXPECT_EQ(ip.dataset.fetch(1, 3), data::missing_value(1));
  EXPECT_EQ(run(cmd_compress, "compress", ""), 0);
  EXPECT_EQ(side.text, "(0 bytes saved)\n");
  EXPECT_EQ(run(cmd_recast, "recast", "int big"), 459);
  EXPECT_EQ(run(cmd_recast, "recast", "int big, force"), 0);
  EXPECT_EQ(side.text, "big:  1 value changed\n");
  EXPECT_EQ(ip.dataset.type(3), data::kInt);
  EXPECT_TRUE(data::is_missing(ip.dataset.fetch(3, 1)));
  EXPECT_EQ(ip.dataset.fetch(3, 3), -5.0);
  EXPECT_EQ(run(cmd_recast, "recast", "double d f"), 0);
  EXPECT_EQ(side.text, "");
  EXPECT_EQ(ip.dataset.fetch(2, 2), 0.25);
}

TEST_F(DataCmdTest, InputRowsAndPromotion) {
  ASSERT_EQ(run(cmd_input, "input", "byte b str2 s",
                {"1 a", "2", "x y", "1000 abcd", "\"3\" \"q r\"", "end", "not reached"}),
            0);
  EXPECT_NE(side.text.find("2 values expected, 1 given; line ignored\n"), std::string::npos);
  EXPECT_NE(side.text.find("'x' cannot be read as a number for b[2]; line ignored\n"), std::string::npos);
  EXPECT_NE(side.text.find("b was byte now int\n"), std::string::npos);
  EXPECT_NE(side.text.find("s was str2 now str4\n"), std::string::npos);
  ASSERT_EQ(ip.dataset.nobs(), 3);
  EXPECT_EQ(ip.dataset.fetch(1, 2), 1000.0);
  EXPECT_EQ(ip.dataset.fetch_str(2, 2), "abcd");
  EXPECT_EQ(ip.dataset.fetch_str(2, 3), "q r");
  // Existing variables (typed in full) take new observations.
  ASSERT_EQ(run(cmd_input, "input", "s b", {"zz 7", "end"}), 0);
  ASSERT_EQ(ip.dataset.nobs(), 4);
  EXPECT_EQ(ip.dataset.fetch(1, 4), 7.0);
  // With `set type double` new numeric variables are doubles.
  EXPECT_EQ(set("type", "double"), 0);
  ASSERT_EQ(run(cmd_input, "input", "dd", {"0.1", "end"}), 0);
  EXPECT_EQ(ip.dataset.type(3), data::kDouble);
  EXPECT_EQ(ip.dataset.fetch(3, 1), 0.1);
  EXPECT_EQ(set("type", "float"), 0);
  EXPECT_EQ(run(cmd_input, "input", "", {}), 0);  // no lines: nothing read
  ip.dataset.clear();
  EXPECT_EQ(run(cmd_input, "input", "", {}), 104);
}

TEST_F(DataCmdTest, SettingsAndReports) {
  small_dataset();
  EXPECT_EQ(set("obs", "10"), 0);
  EXPECT_EQ(side.text, "obs was 3, now 10\n");
  EXPECT_EQ(ip.dataset.nobs(), 10);
  EXPECT_TRUE(data::is_missing(ip.dataset.fetch(1, 10)));
  EXPECT_EQ(set("maxvar", "2048"), 0);
  EXPECT_EQ(ip.maxvar, 2048);
  EXPECT_EQ(ip.dataset.maxvar(), 2048);
  EXPECT_EQ(set("matsize", "800"), 0);
  EXPECT_EQ(ip.matsize, 800);
  EXPECT_EQ(set("varabbrev", "off"), 0);
  EXPECT_EQ(run(cmd_describe, "describe", "na"), 111);
  EXPECT_EQ(set("varabbrev", "on"), 0);
  EXPECT_EQ(run(cmd_describe, "describe", "na, short"), 0);
  EXPECT_EQ(ip.r_results.scalars["N"], 10);
  EXPECT_EQ(ip.r_results.scalars["k"], 3);
  EXPECT_EQ(ip.r_results.scalars["width"], 16);
  EXPECT_EQ(ip.r_results.scalars["changed"], 1);
  EXPECT_EQ(ip.r_results.scalars["k_max"], 2047);
  EXPECT_EQ(ip.r_results.macros["varlist"], "name");
  EXPECT_EQ(run(cmd_count, "count", "in 2/7"), 0);
  EXPECT_EQ(side.text, "  6\n");
  EXPECT_EQ(run(cmd_memory, "memory", ""), 0);
  EXPECT_EQ(ip.r_results.scalars["N_cur"], 10);
  EXPECT_EQ(ip.r_results.scalars["M_data"], 160);  // 10 observations of 16 bytes
  EXPECT_EQ(ip.r_results.scalars["M_oh"], 80);
  EXPECT_EQ(ip.r_results.scalars["M_matsize"], 800.0 * 800 * 8);
  EXPECT_EQ(ip.r_results.scalars["M_dm"], 201.0 * 2048);
  EXPECT_NE(side.text.find("    data                                      160     0.00%\n"), std::string::npos);
  EXPECT_EQ(set("memory", "4m"), 0);
  EXPECT_EQ(ip.dataset.memory(), 4u << 20);
  EXPECT_EQ(ip.dataset.fetch_str(3, 2), "bb");
  EXPECT_EQ(run(cmd_edit_browse, "browse", ""), 0);
  EXPECT_EQ(side.text, "note: not possible in Nuvra(console)\n");
  EXPECT_EQ(run(cmd_clear, "clear", ""), 0);
  EXPECT_EQ(ip.dataset.nvar(), 0);
  EXPECT_EQ(ip.dataset.value_labels().count(), 0u);
  EXPECT_FALSE(ip.data_changed);
  bool handled = true;
  EXPECT_EQ(set_data_setting(ip, "linesize", "80", &handled), 0);
  EXPECT_FALSE(handled);
}

}  // namespace
}  // namespace nuvra
