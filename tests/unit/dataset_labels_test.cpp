// Characteristics and value labels.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "data/dataset.h"

using namespace nuvra::data;

namespace {

std::vector<char> bytes(std::initializer_list<int> v) {
  std::vector<char> out;
  for (int b : v) out.push_back(static_cast<char>(b));
  return out;
}

}  // namespace

TEST(Characteristics, DefineCutDeleteAndOwners) {
  Dataset ds;
  ASSERT_EQ(ds.add_variable("x", kByte), 0);
  ds.set_changed(false);
  ASSERT_EQ(ds.set_char("_dta", "note1", "first"), 0);
  EXPECT_TRUE(ds.changed());
  ASSERT_EQ(ds.set_char("_dta", "note0", "second"), 0);
  ASSERT_EQ(ds.set_char("x", "units", "kg"), 0);
  ASSERT_EQ(ds.set_char("_dta", "note1", "replaced"), 0);
  const auto& e = ds.chars().entries("_dta");
  ASSERT_EQ(e.size(), 2u);
  EXPECT_EQ(e[0].name, "note1");  // definition order, not name order
  EXPECT_EQ(e[0].contents, "replaced");
  EXPECT_EQ(e[1].name, "note0");
  EXPECT_EQ(ds.chars().owners(), (std::vector<std::string>{"_dta", "x"}));

  ASSERT_EQ(ds.set_char("x", "long", std::string(70000, 'c')), 0);
  ASSERT_NE(ds.chars().get("x", "long"), nullptr);
  EXPECT_EQ(ds.chars().get("x", "long")->size(), 67783u);
  ASSERT_EQ(ds.set_char("x", "ok", std::string(67783, 'c')), 0);
  EXPECT_EQ(ds.chars().get("x", "ok")->size(), 67783u);

  ASSERT_EQ(ds.set_char("_dta", "note1", ""), 0);  // empty contents delete
  EXPECT_EQ(ds.chars().get("_dta", "note1"), nullptr);
  EXPECT_EQ(ds.chars().entries("_dta").size(), 1u);
  ASSERT_EQ(ds.set_char("_dta", "never", ""), 0);

  std::string m;
  EXPECT_EQ(ds.set_char("nosuch", "a", "b", &m), 111);
  EXPECT_EQ(m, "variable nosuch not found");
  EXPECT_EQ(ds.set_char("x", "1bad", "b", &m), 198);
  EXPECT_EQ(m, "1bad invalid name");
  EXPECT_EQ(ds.set_char("x", "", "b", &m), 198);
  EXPECT_EQ(m, "nothing found where name expected");
}

TEST(ValueLabels, BlockLayoutBuiltByHand) {
  ValueLabel t;
  ASSERT_EQ(ValueLabel::encode({{1, "yes"}, {0, "no"}, {-1, "?"}}, &t), 0);
  // n = 3, txtlen = 2 + 3 + 4 = 9; entries by value: -1 "?", 0 "no", 1 "yes"
  const auto expect = bytes({3, 0, 0, 0,   9, 0, 0, 0,
                             0, 0, 0, 0,   2, 0, 0, 0,   5, 0, 0, 0,
                             0xFF, 0xFF, 0xFF, 0xFF,   0, 0, 0, 0,   1, 0, 0, 0,
                             '?', 0, 'n', 'o', 0, 'y', 'e', 's', 0});
  EXPECT_EQ(t.block(), expect);
  EXPECT_EQ(t.size(), 3);
  EXPECT_STREQ(t.find(1), "yes");
  EXPECT_STREQ(t.find(-1), "?");
  EXPECT_EQ(t.find(2), nullptr);
  ValueLabel empty;
  EXPECT_EQ(empty.block(), bytes({0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(ValueLabels, FileBlocksKeptVerbatim) {
  // Entries out of value order, texts out of entry order, as a file may
  // hold them: value 5 "five" at offset 4, value -3 "neg" at offset 0.
  const auto block = bytes({2, 0, 0, 0,   9, 0, 0, 0,
                            4, 0, 0, 0,   0, 0, 0, 0,
                            5, 0, 0, 0,   0xFD, 0xFF, 0xFF, 0xFF,
                            'n', 'e', 'g', 0, 'f', 'i', 'v', 'e', 0});
  ValueLabel t;
  ASSERT_EQ(ValueLabel::from_block(block.data(), block.size(), &t), 0);
  EXPECT_EQ(t.block(), block);
  EXPECT_STREQ(t.find(5), "five");
  EXPECT_STREQ(t.find(-3), "neg");
  EXPECT_EQ(t.find(0), nullptr);
  EXPECT_EQ(t.longest_text(), 4u);
  auto m = t.decode();
  EXPECT_EQ(m.size(), 2u);
  EXPECT_EQ(m[-3], "neg");

  auto bad = block;
  bad[4] = 8;  // txtlen disagrees with the length
  EXPECT_EQ(ValueLabel::from_block(bad.data(), bad.size(), &t), 198);
  bad = block;
  bad[8] = 9;  // offset past the text area
  EXPECT_EQ(ValueLabel::from_block(bad.data(), bad.size(), &t), 198);
  bad = block;
  bad.back() = 'x';  // last text unterminated
  EXPECT_EQ(ValueLabel::from_block(bad.data(), bad.size(), &t), 198);
  bad = block;
  bad[3] = static_cast<char>(0x80);  // negative n
  EXPECT_EQ(ValueLabel::from_block(bad.data(), bad.size(), &t), 198);
  EXPECT_EQ(ValueLabel::from_block(block.data(), 7, &t), 198);
}

TEST(ValueLabels, StoreDefineModifyDrop) {
  Dataset ds;
  auto& st = ds.value_labels();
  ASSERT_EQ(st.define("yn", 1, "yes"), 0);
  ASSERT_EQ(st.define("yn", 0, "no"), 0);
  ASSERT_EQ(st.define("yn", 1, "Yes"), 0);
  ASSERT_EQ(st.define("abc", 7, std::string(33000, 't')), 0);
  const ValueLabel* yn = st.get("yn");
  ASSERT_NE(yn, nullptr);
  EXPECT_EQ(yn->size(), 2);
  EXPECT_STREQ(yn->find(1), "Yes");
  EXPECT_EQ(st.get("abc")->longest_text(), 32000u);
  EXPECT_EQ(st.names(), (std::vector<std::string>{"abc", "yn"}));
  ASSERT_EQ(st.define("yn", 1, ""), 0);  // empty text removes the value
  EXPECT_EQ(st.get("yn")->size(), 1);
  std::string m;
  EXPECT_EQ(st.define("9x", 1, "a", &m), 198);
  EXPECT_EQ(m, "9x invalid name");
  EXPECT_TRUE(st.drop("abc"));
  EXPECT_FALSE(st.drop("abc"));
  // The labels belong to the dataset's checksum: a change shows.
  std::uint64_t before = ds.checksum();
  ASSERT_EQ(st.define("yn", 2, "two"), 0);
  EXPECT_NE(ds.checksum(), before);
}
