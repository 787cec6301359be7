// nv_store and nv_sstore write a block, and a store into a view its cells,
// all or nothing: a store refused part of the way through leaves every
// cell, storage type and the dataset's changed flag as they were; a block
// that succeeds keeps each value as stores one by one would.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "data/dataset.h"
#include "data/storage.h"
#include "interp/interp.h"
#include "lumo_test_host.h"
#include "test_side.h"

namespace {

using namespace nuvra;

// A host of two numeric variables over three observations that refuses
// the store numbered refuse_at (counting from 1).
class RefusingHost : public LumoTestHost {
 public:
  std::vector<std::vector<double>> num = {{1, 10}, {2, 20}, {3, 30}};
  std::vector<std::string> str = {"a", "bb", "ccc"};
  int stores = 0, refuse_at = 0;
  int64_t DataObs() override { return 3; }
  int DataVars() override { return 3; }
  bool DataIsString(int var) override { return var == 3; }
  double DataNumber(int64_t obs, int var) override { return num.at(size_t(obs - 1)).at(size_t(var - 1)); }
  std::string DataString(int64_t obs, int) override { return str.at(size_t(obs - 1)); }
  rc_t DataStore(int64_t obs, int var, double v) override {
    if (++stores == refuse_at) return 903;
    num.at(size_t(obs - 1)).at(size_t(var - 1)) = v;
    return 0;
  }
  rc_t DataStoreString(int64_t obs, int, std::string_view s) override {
    if (++stores == refuse_at) return 903;
    str.at(size_t(obs - 1)) = std::string(s);
    return 0;
  }
};

TEST(LumoStoreBlock, AnyHostPutsBackWhatWasWrittenBeforeARefusal) {
  RefusingHost host;
  lumo::Session session{host};
  int rc = 0;
  // Row-major: (1,p) (1,q) (3,p) (3,q) (1,p) (1,q); the fifth store is
  // refused, after observation 1 has been written twice over.
  host.refuse_at = 5;
  session.Run("nv_store((1,3,1), (1,2), (7,8 \\ 9,10 \\ 11,12))", &rc);
  EXPECT_NE(rc, 0);
  EXPECT_EQ(host.num, (std::vector<std::vector<double>>{{1, 10}, {2, 20}, {3, 30}}));
  host.stores = 0;
  host.refuse_at = 3;
  session.Run("nv_sstore((2,1,3), 3, (\"x\" \\ \"y\" \\ \"z\"))", &rc);
  EXPECT_NE(rc, 0);
  EXPECT_EQ(host.str, (std::vector<std::string>{"a", "bb", "ccc"}));
  host.refuse_at = 0;
  session.Run("nv_store((1,3,1), (1,2), (7,8 \\ 9,10 \\ 11,12))", &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_EQ(host.num, (std::vector<std::vector<double>>{{11, 12}, {2, 20}, {9, 10}}));
}

TEST(LumoStoreBlock, AViewStoreRefusedPartWayIsUndone) {
  RefusingHost host;
  lumo::Session session{host};
  int rc = 0;
  session.Run("V = .; nv_view(V, (1,3), (1,2)); S = \"\"; nv_sview(S, (3\\2), 3)", &rc);
  ASSERT_EQ(rc, 0) << host.errors;
  host.refuse_at = 4;  // the last of the four cells
  session.Run("V[.,.] = (7,8 \\ 9,10)", &rc);
  EXPECT_NE(rc, 0);
  EXPECT_EQ(host.num, (std::vector<std::vector<double>>{{1, 10}, {2, 20}, {3, 30}}));
  host.stores = 0;
  host.refuse_at = 2;
  session.Run("S[.,1] = (\"x\" \\ \"y\")", &rc);
  EXPECT_NE(rc, 0);
  EXPECT_EQ(host.str, (std::vector<std::string>{"a", "bb", "ccc"}));
  host.refuse_at = 0;
  session.Run("V[.,.] = (7,8 \\ 9,10); V[2,1] = 0; S[.,1] = (\"x\" \\ \"y\")", &rc);
  ASSERT_EQ(rc, 0) << host.errors;
  EXPECT_EQ(host.num, (std::vector<std::vector<double>>{{7, 8}, {2, 20}, {0, 10}}));
  EXPECT_EQ(host.str, (std::vector<std::string>{"a", "y", "x"}));
}

// The real dataset: variables that must widen, in a data area too small
// for the second widening.
class StoreBlockTest : public ::testing::Test {
 protected:
  StoreBlockTest() : ip(&side) {}
  rc_t run(std::string_view line) {
    rc_t rc = ip.execute_line(line);
    ip.out.flush();
    return rc;
  }
  // p, q byte and s, t str1 over n observations in a 1 MB data area.
  void Cramped(int64_t n) {
    data::Dataset& ds = ip.dataset;
    ASSERT_EQ(ds.set_memory(std::size_t{1} << 20), 0);
    ASSERT_EQ(ds.add_variable("p", data::kByte), 0);
    ASSERT_EQ(ds.add_variable("q", data::kByte), 0);
    ASSERT_EQ(ds.add_variable("s", 1), 0);
    ASSERT_EQ(ds.add_variable("t", 1), 0);
    ASSERT_EQ(ds.set_obs(n), 0);
    for (int64_t i = 1; i <= n; ++i) {
      ds.store(1, i, double(i % 100));
      ds.store(2, i, -double(i % 100));
      ds.store_str(3, i, "a");
      ds.store_str(4, i, "b");
    }
    ds.set_changed(false);
  }
  nuvra::testing::CaptureSide side;
  Interp ip;
};

TEST_F(StoreBlockTest, ARefusedWideningLeavesTheDatasetAsItWas) {
  Cramped(70000);
  data::Dataset& ds = ip.dataset;
  std::uint64_t before = ds.checksum();
  // p widens to int within the width it has; q then needs a wider record
  // than 70,000 observations leave room for.  So do s to str2, then t.
  EXPECT_NE(run("lumo: nv_store((1,2), \"p q\", (300, 400 \\ 1, 2))"), 0);
  EXPECT_EQ(ds.type(1), data::kByte);
  EXPECT_EQ(ds.type(2), data::kByte);
  EXPECT_EQ(ds.fetch(1, 1), 1);
  EXPECT_EQ(ds.fetch(2, 1), -1);
  EXPECT_FALSE(ds.changed());
  EXPECT_EQ(ds.checksum(), before);
  EXPECT_NE(run("lumo: nv_sstore((1\\2), \"s t\", (\"ab\", \"defg\" \\ \"x\", \"y\"))"), 0);
  EXPECT_EQ(ds.type(3), 1);
  EXPECT_EQ(ds.type(4), 1);
  EXPECT_EQ(ds.fetch_str(3, 1), "a");
  EXPECT_FALSE(ds.changed());
  EXPECT_EQ(ds.checksum(), before);
  // One variable at a time fits.
  ASSERT_EQ(run("lumo: nv_store((1,2), \"p\", (300 \\ 2))"), 0);
  EXPECT_EQ(ds.type(1), data::kInt);
  EXPECT_EQ(ds.fetch(1, 1), 300);
  EXPECT_TRUE(ds.changed());
}

TEST_F(StoreBlockTest, AViewStoreWhoseWideningIsRefusedLeavesTheDatasetAsItWas) {
  Cramped(70000);
  data::Dataset& ds = ip.dataset;
  ASSERT_EQ(run("lumo: V = .; nv_view(V, (1::2), \"p q\"); S = \"\"; nv_sview(S, (1::2), \"s t\")"), 0);
  std::uint64_t before = ds.checksum();
  // Stored one cell at a time, p would have been widened and written
  // before q's widening was refused.
  EXPECT_NE(run("lumo: V[.,.] = (300, 400 \\ 1, 2)"), 0);
  EXPECT_EQ(ds.type(1), data::kByte);
  EXPECT_EQ(ds.type(2), data::kByte);
  EXPECT_EQ(ds.fetch(1, 1), 1);
  EXPECT_FALSE(ds.changed());
  EXPECT_EQ(ds.checksum(), before);
  EXPECT_NE(run("lumo: S[1,.] = (\"ab\", \"defg\")"), 0);
  EXPECT_EQ(ds.type(3), 1);
  EXPECT_EQ(ds.type(4), 1);
  EXPECT_EQ(ds.fetch_str(3, 1), "a");
  EXPECT_FALSE(ds.changed());
  EXPECT_EQ(ds.checksum(), before);
  // One variable at a time fits.
  ASSERT_EQ(run("lumo: V[.,1] = (300 \\ 2)"), 0);
  EXPECT_EQ(ds.type(1), data::kInt);
  EXPECT_EQ(ds.fetch(1, 1), 300);
  EXPECT_EQ(ds.fetch(1, 2), 2);
  EXPECT_TRUE(ds.changed());
}

TEST_F(StoreBlockTest, EachValueIsKeptAsTheTypeReachedAtItsTurn) {
  Cramped(10);
  data::Dataset& ds = ip.dataset;
  // p: 0.1 makes it float, which 3e9 then fits.  q: 3e9 first makes it
  // double, so 0.1 is kept exactly.
  ASSERT_EQ(run("lumo: nv_store((1::2), \"p q\", (0.1, 3e9 \\ 3e9, 0.1))"), 0);
  EXPECT_EQ(ds.type(1), data::kFloat);
  EXPECT_EQ(ds.type(2), data::kDouble);
  EXPECT_EQ(ds.fetch(1, 1), double(0.1f));
  EXPECT_EQ(ds.fetch(1, 2), 3e9);
  EXPECT_EQ(ds.fetch(2, 1), 3e9);
  EXPECT_EQ(ds.fetch(2, 2), 0.1);
  EXPECT_EQ(ds.fetch(1, 3), 3);  // untouched cells keep their values
  ASSERT_EQ(run("lumo: nv_sstore((3\\1), \"s\", (\"hello\" \\ \"hi\"))"), 0);
  EXPECT_EQ(ds.type(3), 5);
  EXPECT_EQ(ds.fetch_str(3, 3), "hello");
  EXPECT_EQ(ds.fetch_str(3, 1), "hi");
  EXPECT_EQ(ds.fetch_str(3, 2), "a");
}

}  // namespace
