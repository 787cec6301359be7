// colsum and quadcolsum of a view read the dataset's storage directly:
// the sums are those of a copy of the view, bit for bit, over every
// numeric storage type, missing values, selections, observation lists and
// cells that have since left the dataset, and no cell is read one by one.
// Views follow their variables when others are dropped or reordered.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "data/dataset.h"
#include "data/missing.h"
#include "lumo/value.h"
#include "lumo_test_host.h"

namespace {

using namespace nuvra;
using namespace nuvra::lumo;

// A host over a real dataset.  With direct off it offers no storage, so
// the built-ins take the copy of the view cell by cell.
class DatasetHost : public LumoTestHost {
 public:
  data::Dataset ds{std::size_t{1} << 24};
  bool direct = true;
  int64_t reads = 0;
  int64_t DataObs() override { return ds.nobs(); }
  int DataVars() override { return ds.nvar(); }
  bool DataIsString(int var) override { return ds.is_string(var); }
  int DataFindVar(std::string_view name) override { return ds.find_exact(name); }
  uint64_t DataVarId(int var) override { return ds.var(var).id; }
  int DataVarById(uint64_t id) override { return ds.find_by_id(id); }
  std::string DataString(int64_t obs, int var) override {
    ++reads;
    return ds.fetch_str(var, obs);
  }
  rc_t DataStore(int64_t obs, int var, double v) override {
    ds.store(var, obs, v);
    return 0;
  }
  double DataNumber(int64_t obs, int var) override {
    ++reads;
    return ds.fetch(var, obs);
  }
  bool DataColumn(int var, data::Column* out) override {
    if (!direct) return false;
    *out = ds.column(var);
    return true;
  }
};

constexpr int64_t kObs = 2500;  // more than one block of rows

// b byte, i int, l long, f float, d double, sel (a selection), s string.
// Every numeric variable has system and extended missing values.
struct ColsumFixture {
  DatasetHost host;
  Session session{host};
  ColsumFixture() {
    data::Dataset& ds = host.ds;
    const int types[] = {data::kByte, data::kInt, data::kLong, data::kFloat, data::kDouble, data::kByte};
    const char* names[] = {"b", "i", "l", "f", "d", "sel"};
    for (int v = 0; v < 6; ++v) EXPECT_EQ(ds.add_variable(names[v], types[v]), 0);
    EXPECT_EQ(ds.add_variable("s", 3), 0);
    EXPECT_EQ(ds.set_obs(kObs), 0);
    for (int64_t k = 1; k <= kObs; ++k) {
      ds.store(1, k, double(k % 200 - 100));
      ds.store(2, k, double((k * 7) % 30000 - 15000));
      ds.store(3, k, double((k * 100003) % 2000000000 - 1000000000));
      ds.store(4, k, 0.1 * double(k));
      ds.store(5, k, std::sin(double(k)) * 1e6);
      ds.store(6, k, double(k % 3 == 0));
      for (int v = 1; v <= 5; ++v) {
        if (k % (90 + v) == 0) ds.store(v, k, data::kMissing);
        if (k % (60 + 7 * v) == 0) ds.store(v, k, data::missing_value(1 + v));
        if (k % 1000 == 500) ds.store(v, k, data::missing_value(26));
      }
      ds.store_str(7, k, "x");
    }
  }
  int Run(std::string_view text) {
    int rc = 0;
    if (session.Run(text, &rc) == Session::Outcome::kIncomplete) return -1;
    return rc;
  }
  std::vector<double> Reals(const char* name) {
    ValueRecord* v = session.values().FindGlobal(name);
    if (!v || v->eltype != kReal || v->representation != kArray) return {-12345};
    return std::vector<double>(reals(v), reals(v) + element_count(v));
  }
  // The sums of `call` (over the view V) taken directly and from a copy;
  // the direct pass must read no cell one by one.
  void ExpectSameAsCopy(const std::string& call) {
    SCOPED_TRACE(call);
    host.direct = true;
    int64_t reads = host.reads;
    ASSERT_EQ(Run("a = " + call), 0) << host.errors;
    EXPECT_EQ(host.reads, reads);
    host.direct = false;
    ASSERT_EQ(Run("c = " + call), 0) << host.errors;
    EXPECT_GT(host.reads, reads);
    std::vector<double> a = Reals("a"), c = Reals("c");
    ASSERT_EQ(a.size(), c.size());
    EXPECT_EQ(std::memcmp(a.data(), c.data(), a.size() * sizeof(double)), 0);
  }
  void ExpectAllFormsSameAsCopy() {
    for (const char* call : {"colsum(V)", "colsum(V, 1)", "colsum(V, 0)", "quadcolsum(V)", "quadcolsum(V, 0)"})
      ExpectSameAsCopy(call);
  }
};

TEST(LumoViewColsum, EveryStorageTypeAndViewFormSumsAsItsCopy) {
  ColsumFixture f;
  ASSERT_EQ(f.Run("V = .; nv_view(V, ., \"b i l f d\")"), 0);
  f.ExpectAllFormsSameAsCopy();
  // Consecutive observations from the middle, an observation list in no
  // order with repeats, a selection variable, and variables repeated.
  ASSERT_EQ(f.Run("V = .; nv_view(V, (700::2300), \"d f l i b\")"), 0);
  f.ExpectAllFormsSameAsCopy();
  ASSERT_EQ(f.Run("V = .; nv_view(V, (2500\\1\\1234\\7\\7\\1099), (1,2,3,4,5))"), 0);
  f.ExpectAllFormsSameAsCopy();
  ASSERT_EQ(f.Run("V = .; nv_view(V, ., \"b i l f d b\", \"sel\")"), 0);
  f.ExpectAllFormsSameAsCopy();
}

TEST(LumoViewColsum, SumsAgainstHandComputedValues) {
  ColsumFixture f;
  ASSERT_EQ(f.Run("V = .; nv_view(V, ., \"b f\"); a = colsum(V); z = colsum(V, 0)"), 0);
  double b = 0, fl = 0;
  for (int64_t k = 1; k <= kObs; ++k) {
    bool bmiss = k % 91 == 0 || k % 67 == 0 || k % 1000 == 500;
    bool fmiss = k % 94 == 0 || k % 88 == 0 || k % 1000 == 500;
    if (!bmiss) b += double(k % 200 - 100);
    if (!fmiss) fl += double(float(0.1 * double(k)));  // a float variable holds the float nearest
  }
  EXPECT_EQ(f.Reals("a"), (std::vector<double>{b, fl}));
  std::vector<double> z = f.Reals("z");
  ASSERT_EQ(z.size(), 2u);
  EXPECT_TRUE(data::is_missing(z[0]) && data::is_missing(z[1]));
}

TEST(LumoViewColsum, CellsThatLeftTheDatasetCountAsMissing) {
  ColsumFixture f;
  ASSERT_EQ(f.Run("V = .; nv_view(V, (2000::2500), \"b d\"); W = .; nv_view(W, (2500\\3\\2400), \"l\")"), 0);
  ASSERT_EQ(f.host.ds.set_obs(2200), 0);
  f.ExpectSameAsCopy("colsum(V)");
  f.ExpectSameAsCopy("colsum(V, 0)");
  f.ExpectSameAsCopy("colsum(W)");
}

// A view shows the variables it was made of, whatever their numbers have
// become; once one of them is dropped every use of the view fails rather
// than reading whichever variable has taken its number.
TEST(LumoViewColsum, ViewsFollowTheirVariablesNotTheirNumbers) {
  ColsumFixture f;
  ASSERT_EQ(f.Run("V = .; nv_view(V, ., \"b d\"); a0 = colsum(V)"), 0) << f.host.errors;
  std::vector<double> a0 = f.Reals("a0");
  ASSERT_EQ(f.host.ds.drop_variables({2, 4}), 0);  // i and f: d is now variable 3
  f.ExpectSameAsCopy("colsum(V)");
  EXPECT_EQ(f.Reals("a"), a0);
  ASSERT_EQ(f.host.ds.reorder_variables({3, 2, 1, 4, 5}), 0);  // d first, b third
  ASSERT_EQ(f.Run("n = nv_viewvars(V); q = colsum(V); V[1,2] = 42; c = V[1,1]"), 0) << f.host.errors;
  EXPECT_EQ(f.Reals("n"), (std::vector<double>{3, 1}));
  EXPECT_EQ(f.Reals("q"), a0);
  EXPECT_EQ(f.host.ds.fetch(1, 1), 42);     // d, observation 1
  EXPECT_EQ(f.Reals("c"), std::vector<double>{-99});  // b of observation 1: 1 % 200 - 100
  ASSERT_EQ(f.Run("X = .; nv_subview(X, V, 1, 2); x = X[1,1]"), 0) << f.host.errors;
  EXPECT_EQ(f.Reals("x"), std::vector<double>{42});

  ASSERT_EQ(f.host.ds.drop_variables({1}), 0);  // d
  const double b1 = f.host.ds.fetch(2, 1);
  for (const char* use : {"a = colsum(V)", "a = quadcolsum(V, 0)", "c = V[1,1]", "V[1,1] = 1", "n = nv_viewvars(V)",
                          "W = V", "Y = .; nv_subview(Y, V, 1, 1)", "x = X[1,1]", "printf(\"%g\", sum(V))"}) {
    f.host.errors.clear();
    EXPECT_EQ(f.Run(use), 3500) << use;
    EXPECT_NE(f.host.errors.find("3500  invalid Nuvra variable name"), std::string::npos) << use << f.host.errors;
  }
  EXPECT_EQ(f.host.ds.fetch(2, 1), b1);  // b was not written
  EXPECT_TRUE(f.session.values().FindGlobal("V")->representation != kArray);
}

// The view outlives the dataset it was made of: after the dataset is
// emptied and made again (its storage freed and taken anew) the view
// refuses to be read instead of reaching into freed storage, which the
// address sanitizer of the test build would report.
TEST(LumoViewColsum, AViewThatOutlivesItsVariablesReadsNoFreedMemory) {
  ColsumFixture f;
  ASSERT_EQ(f.Run("V = .; nv_view(V, ., \"d l\"); S = \"\"; nv_sview(S, (1::3), \"s\")"), 0) << f.host.errors;
  f.host.ds.clear();
  ASSERT_EQ(f.host.ds.set_memory(std::size_t{1} << 20), 0);
  EXPECT_EQ(f.Run("a = colsum(V)"), 3500);
  EXPECT_EQ(f.Run("t = S[2]"), 3500);
  // New variables of the same names are other variables.
  ASSERT_EQ(f.host.ds.add_variable("d", data::kDouble), 0);
  ASSERT_EQ(f.host.ds.add_variable("l", data::kLong), 0);
  ASSERT_EQ(f.host.ds.add_variable("s", 3), 0);
  ASSERT_EQ(f.host.ds.set_obs(10), 0);
  EXPECT_EQ(f.Run("a = colsum(V)"), 3500);
  EXPECT_EQ(f.Run("S[1] = \"y\""), 3500);
  EXPECT_EQ(f.host.ds.fetch_str(3, 1), "");
  // A view made now reads the new variables.
  ASSERT_EQ(f.Run("V = .; nv_view(V, ., \"d l\"); a = colsum(V)"), 0) << f.host.errors;
  EXPECT_EQ(f.Reals("a"), (std::vector<double>{0, 0}));
}

TEST(LumoViewColsum, StringViewsAndBadArgumentsFailAsBefore) {
  ColsumFixture f;
  ASSERT_EQ(f.Run("S = .; nv_sview(S, ., \"s\"); V = .; nv_view(V, ., \"b\")"), 0);
  EXPECT_EQ(f.Run("a = colsum(S)"), 3251);
  EXPECT_EQ(f.Run("a = colsum(V, \"x\")"), 3253);
  EXPECT_EQ(f.Run("a = colsum(V, (1,2))"), 3204);
  EXPECT_TRUE(f.session.values().FindGlobal("V")->representation != kArray);  // still a view
}

}  // namespace
