// swap_contents exchanges everything that makes up the data and nothing
// else: after the swap each dataset reads exactly as the other did, and
// the settings stay with the object they were made on.
#include <gtest/gtest.h>

#include <string>

#include "data/dataset.h"

namespace nuvra::data {
namespace {

constexpr std::size_t kArea = std::size_t{1} << 24;

// Fills ds with `nvars` double variables named prefix1.., `nobs`
// observations holding base + 10 i + j, and a mark in every store beside
// the data.
void fill(Dataset& ds, const std::string& prefix, int nvars, int nobs, double base) {
  ASSERT_EQ(ds.set_obs(nobs), 0);
  for (int k = 1; k <= nvars; ++k) {
    int j = 0;
    ASSERT_EQ(ds.add_variable(prefix + std::to_string(k), kDouble, &j), 0);
    for (int i = 1; i <= nobs; ++i) ds.store(j, i, base + 10.0 * i + k);
    ds.set_label(j, prefix + " label");
  }
  ds.set_data_label(prefix + " data");
  ds.set_sort_list({1});
  ASSERT_EQ(ds.set_char("_dta", "note", prefix + " note"), 0);
  ASSERT_EQ(ds.value_labels().define(prefix + "lbl", 1, prefix + " one"), 0);
}

TEST(DatasetSwap, EverythingOfTheDataChangesPlacesTheSettingsStay) {
  Dataset a(kArea), b(kArea);
  fill(a, "a", 2, 3, 100);
  fill(b, "b", 3, 5, 200);
  ASSERT_EQ(b.ensure_esample(), 0);
  a.set_changed(false);
  b.set_changed(true);
  ASSERT_EQ(a.set_maxvar(2048), 0);
  b.set_varabbrev(false);
  const std::uint64_t sum_a = a.checksum(), sum_b = b.checksum();
  const MemoryInfo mem_a = a.memory_info(), mem_b = b.memory_info();

  a.swap_contents(b);

  EXPECT_EQ(a.checksum(), sum_b);
  EXPECT_EQ(b.checksum(), sum_a);
  EXPECT_EQ(a.nobs(), 5);
  EXPECT_EQ(b.nobs(), 3);
  EXPECT_EQ(a.nvar(), 3);
  EXPECT_EQ(b.nvar(), 2);
  EXPECT_EQ(a.fetch(3, 5), 253);  // 200 + 10*5 + 3
  EXPECT_EQ(b.fetch(2, 3), 132);  // 100 + 10*3 + 2
  EXPECT_EQ(a.find_exact("b2"), 2);  // the name index travels too
  EXPECT_EQ(a.find_exact("a1"), 0);
  EXPECT_EQ(b.find_exact("a1"), 1);
  EXPECT_EQ(a.label(1), "b label");
  EXPECT_EQ(a.data_label(), "b data");
  EXPECT_EQ(b.data_label(), "a data");
  ASSERT_EQ(a.sort_list().size(), 1u);
  EXPECT_EQ(a.sort_list()[0], 1);
  ASSERT_NE(a.chars().get("_dta", "note"), nullptr);
  EXPECT_EQ(*a.chars().get("_dta", "note"), "b note");
  EXPECT_EQ(*b.chars().get("_dta", "note"), "a note");
  EXPECT_EQ(a.value_labels().names(), (std::vector<std::string>{"blbl"}));
  EXPECT_EQ(b.value_labels().names(), (std::vector<std::string>{"albl"}));
  EXPECT_NE(a.esample_var(), 0);
  EXPECT_EQ(b.esample_var(), 0);
  EXPECT_TRUE(a.changed());
  EXPECT_FALSE(b.changed());
  EXPECT_EQ(a.memory_info().width, mem_b.width);
  EXPECT_EQ(b.memory_info().width, mem_a.width);
  EXPECT_EQ(a.memory_info().n_curmax, mem_b.n_curmax);

  // Settings are the object's own.
  EXPECT_EQ(a.maxvar(), 2048);
  EXPECT_EQ(b.maxvar(), kDefaultMaxvar);
  EXPECT_TRUE(a.varabbrev());
  EXPECT_FALSE(b.varabbrev());

  // Both still work as datasets after the exchange.
  ASSERT_EQ(a.set_obs(6), 0);
  EXPECT_EQ(a.fetch(1, 5), 251);
  int j = 0;
  ASSERT_EQ(b.add_variable("c", kDouble, &j), 0);
  EXPECT_EQ(j, 3);

  // And a swap back restores each as it was.
  Dataset c(kArea), d(kArea);
  fill(c, "c", 1, 2, 0);
  const std::uint64_t sum_c = c.checksum(), sum_d = d.checksum();
  c.swap_contents(d);
  c.swap_contents(d);
  EXPECT_EQ(c.checksum(), sum_c);
  EXPECT_EQ(d.checksum(), sum_d);
  EXPECT_EQ(d.nobs(), 0);
}

}  // namespace
}  // namespace nuvra::data
