// Variables: names, adding with its limits, finding, dropping, renaming,
// reordering, the hidden and reserved variables, attributes and flags.
#include <gtest/gtest.h>

#include <string>

#include "data/dataset.h"

using namespace nuvra::data;
using nuvra::rc_t;

namespace {

void expect_rc(rc_t got, rc_t rc, const std::string& msg_got, const std::string& msg) {
  EXPECT_EQ(got, rc);
  EXPECT_EQ(msg_got, msg);
}

}  // namespace

TEST(Names, ValidationRules) {
  std::string m;
  expect_rc(validate_name("", &m), 198, m, "nothing found where name expected");
  expect_rc(validate_name("a b", &m), 198, m, "a b invalid name");
  expect_rc(validate_name("1x", &m), 198, m, "1x invalid name");
  expect_rc(validate_name("x.y", &m), 198, m, "x.y invalid name");
  expect_rc(validate_name("x~", &m), 198, m, "x~ invalid name");
  EXPECT_EQ(validate_name(std::string(33, 'a')), 198);
  EXPECT_EQ(validate_name(std::string(32, 'a')), 0);
  EXPECT_EQ(validate_name("_x9"), 0);
  EXPECT_EQ(validate_name("Z"), 0);
  EXPECT_EQ(validate_name("a`b"), 0);          // not in the forbidden set
  EXPECT_EQ(validate_name("a\xC3\xA9"), 0);    // other bytes after the first
  EXPECT_EQ(validate_name("\xC3\xA9"), 198);   // but not first
  EXPECT_EQ(validate_name("(e)"), 198);
}

TEST(Names, NewVariableNames) {
  Dataset ds;
  std::string m;
  expect_rc(ds.add_variable("str5", kByte, nullptr, &m), 198, m, "str5 invalid variable name");
  expect_rc(ds.add_variable("str10", kByte, nullptr, &m), 198, m, "str10 invalid variable name");
  expect_rc(ds.add_variable("_n", kByte, nullptr, &m), 198, m, "_n invalid varname");
  expect_rc(ds.add_variable("_cons", kByte, nullptr, &m), 198, m, "_cons invalid varname");
  expect_rc(ds.add_variable("double", kByte, nullptr, &m), 198, m, "double invalid varname");
  expect_rc(ds.add_variable(std::string(33, 'v'), kByte, nullptr, &m), 198, m,
            std::string(33, 'v') + " invalid varname");
  expect_rc(ds.add_variable("a-b", kByte, nullptr, &m), 198, m, "a-b invalid name");
  EXPECT_EQ(ds.nvar(), 0);
  EXPECT_EQ(ds.add_variable("str", kByte), 0);
  EXPECT_EQ(ds.add_variable("strx", kByte), 0);
  EXPECT_EQ(ds.add_variable("str0", kByte), 0);
  EXPECT_EQ(ds.add_variable("str05", kByte), 0);
  EXPECT_EQ(ds.add_variable("_N2", kByte), 0);
  expect_rc(ds.add_variable("strx", kInt, nullptr, &m), 110, m, "strx already defined");
  EXPECT_EQ(ds.add_variable("ok", 245), 198);  // no such type
  EXPECT_EQ(ds.nvar(), 5);
}

TEST(Variables, AddSetsDefaultsAndFlags) {
  Dataset ds;
  EXPECT_FALSE(ds.changed());
  int j = 0;
  ASSERT_EQ(ds.add_variable("price", kLong, &j), 0);
  EXPECT_EQ(j, 1);
  EXPECT_EQ(ds.format(1), "%12.0g");
  EXPECT_EQ(ds.label(1), "");
  EXPECT_EQ(ds.value_label_name(1), "");
  EXPECT_TRUE(ds.changed());
  ASSERT_EQ(ds.add_variable("make", 18, &j), 0);
  EXPECT_EQ(ds.format(2), "%18s");
  EXPECT_EQ(ds.offset(2), 4u);
  EXPECT_FALSE(ds.has_temporaries());
  ASSERT_EQ(ds.add_variable("__000001", kByte), 0);
  EXPECT_TRUE(ds.has_temporaries());
  ds.set_changed(false);
  ASSERT_EQ(ds.set_obs(1), 0);
  ds.set_changed(false);
  ds.store(1, 1, 5);
  EXPECT_FALSE(ds.changed());  // per-value stores leave the flag to the caller
}

TEST(Variables, FindExactThenUniqueAbbreviation) {
  Dataset ds;
  std::string m;
  int j = 0;
  ASSERT_EQ(ds.add_variable("myvar", kFloat), 0);
  ASSERT_EQ(ds.find("myv", &j), 0);
  EXPECT_EQ(j, 1);
  ASSERT_EQ(ds.add_variable("myvar2", kFloat), 0);
  ASSERT_EQ(ds.find("myvar", &j), 0);
  EXPECT_EQ(j, 1);
  expect_rc(ds.find("myv", &j, &m), 111, m, "myv ambiguous abbreviation");
  ASSERT_EQ(ds.find("myvar2", &j), 0);
  EXPECT_EQ(j, 2);
  expect_rc(ds.find("other", &j, &m), 111, m, "variable other not found");
  expect_rc(ds.find("MYVAR", &j, &m), 111, m, "variable MYVAR not found");
  expect_rc(ds.find("", &j, &m), 198, m, "nothing found where name expected");
  ds.set_varabbrev(false);
  expect_rc(ds.find("myvar2x", &j, &m), 111, m, "variable myvar2x not found");
  ASSERT_EQ(ds.drop_variables({2}), 0);
  expect_rc(ds.find("myv", &j, &m), 111, m, "variable myv not found");
  ASSERT_EQ(ds.find("myvar", &j), 0);
  ds.set_varabbrev(true);
  ASSERT_EQ(ds.find("myv", &j), 0);
}

TEST(Variables, OrdinaryDatasetHoldsMaxvarMinusOne) {
  Dataset ds;
  ASSERT_EQ(ds.maxvar(), 5000);
  ASSERT_EQ(ds.set_obs(3), 0);
  for (int k = 1; k <= 4999; ++k) ASSERT_EQ(ds.add_variable("v" + std::to_string(k), kByte), 0) << k;
  for (int i = 1; i <= 3; ++i) ds.store(4999, i, i);
  std::uint64_t before = ds.checksum();
  std::uint32_t w = ds.allotted_width();
  EXPECT_EQ(ds.add_variable("v5000", kByte), 900);
  EXPECT_EQ(ds.checksum(), before);
  EXPECT_EQ(ds.allotted_width(), w);
  // The reserved variable may still be added: the one kept for the system.
  int j = 0;
  ASSERT_EQ(ds.add_reserved_variable(kLong, &j), 0);
  EXPECT_EQ(j, 5000);
  EXPECT_EQ(ds.name(j), "_delete");
  EXPECT_EQ(ds.add_reserved_variable(kLong), 110);
  EXPECT_EQ(ds.set_maxvar(4000), 900);
}

TEST(Variables, MaxvarSetting) {
  Dataset ds;
  EXPECT_EQ(ds.set_maxvar(2047), 198);
  EXPECT_EQ(ds.set_maxvar(32768), 198);
  EXPECT_EQ(ds.set_maxvar(32767), 0);
  EXPECT_EQ(ds.max_width(), 393204u);
  EXPECT_EQ(ds.set_maxvar(2048), 0);
}

TEST(Variables, DropKeepsValuesAndCutsTheSortList) {
  Dataset ds;
  ASSERT_EQ(ds.add_variable("a", kDouble), 0);
  ASSERT_EQ(ds.add_variable("b", 3), 0);
  ASSERT_EQ(ds.add_variable("c", kInt), 0);
  ASSERT_EQ(ds.add_variable("d", kByte), 0);
  ASSERT_EQ(ds.set_obs(2), 0);
  for (int i = 1; i <= 2; ++i) {
    ds.store(1, i, 0.5 * i);
    ds.store_str(2, i, "xyz");
    ds.store(3, i, -300 * i);
    ds.store(4, i, i);
  }
  ASSERT_EQ(ds.set_char("b", "note", "gone"), 0);
  ASSERT_EQ(ds.set_char("c", "note", "kept"), 0);
  ds.set_sort_list({1, 3, 2});
  ASSERT_EQ(ds.drop_variables({4, 2, 4}), 0);
  ASSERT_EQ(ds.nvar(), 2);
  EXPECT_EQ(ds.name(2), "c");
  EXPECT_EQ(ds.offset(2), 8u);
  EXPECT_EQ(ds.used_width(), 10u);
  for (int i = 1; i <= 2; ++i) {
    EXPECT_EQ(ds.fetch(1, i), 0.5 * i);
    EXPECT_EQ(ds.fetch(2, i), -300 * i);
  }
  EXPECT_EQ(ds.sort_list(), (std::vector<std::uint16_t>{1, 2}));
  EXPECT_EQ(ds.chars().get("b", "note"), nullptr);
  ASSERT_NE(ds.chars().get("c", "note"), nullptr);
  ds.set_sort_list({2, 1});
  ASSERT_EQ(ds.drop_variables({2}), 0);
  EXPECT_TRUE(ds.sort_list().empty());
  int j = 0;
  EXPECT_EQ(ds.find("c", &j), 111);
  EXPECT_EQ(ds.drop_variables({5}), 198);
}

TEST(Variables, RenameAndReorder) {
  Dataset ds;
  ASSERT_EQ(ds.add_variable("a", kByte), 0);
  ASSERT_EQ(ds.add_variable("b", kDouble), 0);
  ASSERT_EQ(ds.add_variable("c", 2), 0);
  ASSERT_EQ(ds.set_obs(3), 0);
  for (int i = 1; i <= 3; ++i) {
    ds.store(1, i, i);
    ds.store(2, i, i + 0.25);
    ds.store_str(3, i, std::string(2, static_cast<char>('a' + i)));
  }
  ASSERT_EQ(ds.set_char("a", "src", "survey"), 0);
  std::string m;
  expect_rc(ds.rename_variable(1, "b", &m), 110, m, "b already defined");
  expect_rc(ds.rename_variable(1, "_b", &m), 198, m, "_b invalid varname");
  ASSERT_EQ(ds.rename_variable(1, "alpha"), 0);
  int j = 0;
  ASSERT_EQ(ds.find("alpha", &j), 0);
  EXPECT_EQ(j, 1);
  EXPECT_EQ(ds.find_exact("a"), 0);
  ASSERT_NE(ds.chars().get("alpha", "src"), nullptr);
  EXPECT_EQ(ds.chars().get("a", "src"), nullptr);

  ds.set_sort_list({1, 2});
  std::uint64_t before = ds.checksum();
  EXPECT_EQ(ds.reorder_variables({3, 1, 1}), 198);
  EXPECT_EQ(ds.reorder_variables({3, 1}), 198);
  EXPECT_EQ(ds.checksum(), before);
  ASSERT_EQ(ds.reorder_variables({3, 1, 2}), 0);
  EXPECT_EQ(ds.name(1), "c");
  EXPECT_EQ(ds.name(2), "alpha");
  EXPECT_EQ(ds.name(3), "b");
  EXPECT_EQ(ds.offset(1), 0u);
  EXPECT_EQ(ds.offset(2), 2u);
  EXPECT_EQ(ds.offset(3), 3u);
  for (int i = 1; i <= 3; ++i) {
    EXPECT_EQ(ds.fetch_str(1, i), std::string(2, static_cast<char>('a' + i)));
    EXPECT_EQ(ds.fetch(2, i), i);
    EXPECT_EQ(ds.fetch(3, i), i + 0.25);
  }
  EXPECT_EQ(ds.sort_list(), (std::vector<std::uint16_t>{2, 3}));
  ASSERT_EQ(ds.find("b", &j), 0);
  EXPECT_EQ(j, 3);
}

TEST(Variables, HiddenEstimationSampleStaysLastAndOutOfSight) {
  Dataset ds;
  ASSERT_EQ(ds.add_variable("y", kDouble), 0);
  ASSERT_EQ(ds.set_obs(4), 0);
  for (int i = 1; i <= 4; ++i) ds.store(1, i, i);
  ASSERT_EQ(ds.ensure_esample(), 0);
  int e = ds.esample_var();
  ASSERT_EQ(e, 2);
  EXPECT_EQ(ds.nvar(), 1);
  EXPECT_EQ(ds.nvar_all(), 2);
  EXPECT_EQ(ds.name(e), "(e)");
  EXPECT_EQ(ds.type(e), kByte);
  for (int i = 1; i <= 4; ++i) EXPECT_EQ(ds.fetch(e, i), 0);
  ds.store(e, 2, 1);
  ds.store(e, 4, 1);
  int j = 0;
  EXPECT_EQ(ds.find("(e)", &j), 111);  // never found by name
  ASSERT_EQ(ds.add_variable("x", kInt, &j), 0);
  EXPECT_EQ(j, 2);
  e = ds.esample_var();
  EXPECT_EQ(e, 3);
  EXPECT_EQ(ds.offset(e), 10u);
  const double mark[] = {0, 1, 0, 1};
  for (int i = 1; i <= 4; ++i) {
    EXPECT_EQ(ds.fetch(e, i), mark[i - 1]);
    EXPECT_EQ(ds.fetch(1, i), i);
    EXPECT_EQ(ds.fetch(2, i), kMissing);
  }
  ASSERT_EQ(ds.reorder_variables({2, 1}), 0);
  EXPECT_EQ(ds.esample_var(), 3);
  EXPECT_EQ(ds.fetch(3, 4), 1);
  ds.drop_esample();
  EXPECT_EQ(ds.esample_var(), 0);
  EXPECT_EQ(ds.nvar_all(), 2);
  EXPECT_EQ(ds.used_width(), 10u);
}

TEST(Variables, AttributesAndLimits) {
  Dataset ds;
  ASSERT_EQ(ds.add_variable("x", kFloat), 0);
  EXPECT_EQ(ds.set_format(1, "9.2f"), 120);
  EXPECT_EQ(ds.set_format(1, "%" + std::string(48, '9')), 120);
  EXPECT_EQ(ds.set_format(1, "%9.2f"), 0);
  EXPECT_EQ(ds.format(1), "%9.2f");
  ds.set_label(1, std::string(100, 'L'));
  EXPECT_EQ(ds.label(1).size(), 80u);
  ds.set_data_label(std::string(90, 'D'));
  EXPECT_EQ(ds.data_label().size(), 80u);
  std::string m;
  expect_rc(ds.set_value_label_name(1, "9lbl", &m), 198, m, "9lbl invalid name");
  EXPECT_EQ(ds.set_value_label_name(1, "yesno"), 0);
  EXPECT_EQ(ds.value_label_name(1), "yesno");
  EXPECT_EQ(ds.set_value_label_name(1, ""), 0);
  EXPECT_EQ(ds.value_label_name(1), "");
  ds.clear();
  EXPECT_EQ(ds.nvar(), 0);
  EXPECT_EQ(ds.data_label(), "");
  EXPECT_FALSE(ds.changed());
}

TEST(Variables, InstallFromAFileDescription) {
  Dataset ds;
  std::vector<Variable> vars(3);
  vars[0].name = "id";
  vars[0].type = kLong;
  vars[1].name = "_n";  // a file's names are taken as they come
  vars[1].type = kLegacyByte;
  vars[2].name = "s";
  vars[2].type = 12;
  vars[2].format = "%-12s";
  ASSERT_EQ(ds.install_variables(vars), 0);
  EXPECT_EQ(ds.nvar(), 3);
  EXPECT_EQ(ds.offset(3), 5u);
  EXPECT_EQ(ds.used_width(), 17u);
  EXPECT_GT(ds.allotted_width(), 17u);
  EXPECT_EQ(ds.format(1), "%12.0g");
  EXPECT_EQ(ds.format(3), "%-12s");
  EXPECT_EQ(ds.install_variables(vars), 198);  // only into an empty dataset
}
