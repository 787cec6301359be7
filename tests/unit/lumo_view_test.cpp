// Lumo views against a small dataset kept by the test host: cells are
// read when used, not when the view is made; stores go through the host;
// cells that have left the dataset are never read, and a view of a
// dropped variable is refused.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "data/missing.h"
#include "lumo/value.h"
#include "lumo/view.h"
#include "lumo_test_host.h"

namespace {

using namespace nuvra::lumo;
using nuvra::rc_t;

// Two numeric variables and one string variable, observations by row.
class DataHost : public LumoTestHost {
 public:
  std::vector<std::vector<double>> num = {{1, 10}, {2, 20}, {3, 30}};
  std::vector<std::string> str = {"a", "bb", "ccc"};
  int vars = 3;
  int reads = 0;
  int64_t DataObs() override { return int64_t(num.size()); }
  int DataVars() override { return vars; }
  bool DataIsString(int var) override { return var == 3; }
  int DataFindVar(std::string_view name) override { return name == "p" ? 1 : name == "q" ? 2 : name == "s" ? 3 : 0; }
  double DataNumber(int64_t obs, int var) override {
    ++reads;
    EXPECT_TRUE(obs >= 1 && obs <= DataObs() && var >= 1 && var <= 2) << obs << " " << var;
    return num[size_t(obs - 1)][size_t(var - 1)];
  }
  std::string DataString(int64_t obs, int var) override {
    ++reads;
    EXPECT_TRUE(obs >= 1 && obs <= DataObs() && var == 3);
    return str[size_t(obs - 1)];
  }
  rc_t DataStore(int64_t obs, int var, double v) override {
    num[size_t(obs - 1)][size_t(var - 1)] = v;
    return 0;
  }
  rc_t DataStoreString(int64_t obs, int var, std::string_view s) override {
    (void)var;
    str[size_t(obs - 1)] = std::string(s);
    return 0;
  }
};

struct ViewFixture {
  DataHost host;
  Session session{host};
  int Run(std::string_view text) {
    int rc = 0;
    if (session.Run(text, &rc) == Session::Outcome::kIncomplete) return -1;
    return rc;
  }
  double Scalar(const char* name) {
    ValueRecord* v = session.values().FindGlobal(name);
    return v && v->eltype == kReal && v->representation == kArray && v->rows == 1 && v->cols == 1 ? reals(v)[0] : -12345;
  }
};

TEST(LumoViews, IndexBlocksOfBothRepresentations) {
  Values values;
  ValueRecord* v = values.NewGlobal("v", kReal, 0, 0);
  ASSERT_EQ(MakeView(values, v, kReal, {2, 3}, {2, 1}), 0);
  EXPECT_EQ(v->representation, kView1);
  EXPECT_EQ(v->allocated, 4u * (2 + 1));  // the variables, then the first observation
  EXPECT_EQ(ViewObs(v, 0), 2);
  EXPECT_EQ(ViewObs(v, 1), 3);
  EXPECT_EQ(ViewVar(v, 0), 2);
  ASSERT_EQ(MakeView(values, v, kReal, {3, 1, 2}, {1}), 0);
  EXPECT_EQ(v->representation, kView2);
  EXPECT_EQ(v->allocated, 4u * (3 + 1));  // the variables, then every observation
  EXPECT_EQ(ViewObs(v, 0), 3);
  EXPECT_EQ(ViewObs(v, 1), 1);
  EXPECT_EQ(ViewObs(v, 2), 2);
}

TEST(LumoViews, ReadAtEachUseAndWrittenThrough) {
  ViewFixture f;
  ASSERT_EQ(f.Run("V = ."), 0);
  int before = f.host.reads;
  ASSERT_EQ(f.Run("nv_view(V, (2,3), \"q p\")"), 0);
  EXPECT_EQ(f.host.reads, before);  // making a view reads nothing
  f.host.num[2][0] = 7;             // changed after the view was made
  ASSERT_EQ(f.Run("a = V[2,2]"), 0);
  EXPECT_EQ(f.Scalar("a"), 7);
  ASSERT_EQ(f.Run("V[1,1] = 5"), 0);  // observation 2, variable q
  EXPECT_EQ(f.host.num[1][1], 5);
  // A copy is an array and stays as it was.
  ASSERT_EQ(f.Run("C = V"), 0);
  f.host.num[1][1] = 6;
  ASSERT_EQ(f.Run("c = C[1,1]; v = V[1,1]; s = sum(V)"), 0);
  EXPECT_EQ(f.Scalar("c"), 5);
  EXPECT_EQ(f.Scalar("v"), 6);
  EXPECT_EQ(f.Scalar("s"), 6 + 2 + 30 + 7);
  // A string view, and a type mismatch that leaves the data alone.
  ASSERT_EQ(f.Run("S = \"\"; nv_sview(S, ., 3); S[3] = \"new\""), 0);
  EXPECT_EQ(f.host.str[2], "new");
  EXPECT_EQ(f.Run("V[1,1] = \"x\""), 3250);
  EXPECT_EQ(f.host.num[1][1], 6);
  // A string variable in a numeric view is refused.
  EXPECT_EQ(f.Run("nv_view(V, 1, (1,3))"), 3250);
}

TEST(LumoViews, CellsOutsideTheDatasetAreNeverRead) {
  ViewFixture f;
  ASSERT_EQ(f.Run("V = .; nv_view(V, ., (1,2)); S = \"\"; nv_sview(S, ., \"s\")"), 0);
  f.host.num.pop_back();  // observation 3 dropped
  ASSERT_EQ(f.Run("b = V[3,1]; c = V[2,1]; n = strlen(S[3])"), 0);
  EXPECT_TRUE(nuvra::data::is_missing(f.Scalar("b")));
  EXPECT_EQ(f.Scalar("c"), 2);
  EXPECT_EQ(f.Scalar("n"), 0);
  // Storing into such a cell is refused before anything is written.
  EXPECT_EQ(f.Run("V[.,1] = (8\\8\\8)"), 3300);
  EXPECT_EQ(f.host.num[0][0], 1);
  EXPECT_EQ(f.host.num[1][0], 2);
}

TEST(LumoViews, AViewOfADroppedVariableIsRefused) {
  ViewFixture f;
  ASSERT_EQ(f.Run("V = .; nv_view(V, ., (1,2)); S = \"\"; nv_sview(S, ., \"s\")"), 0);
  f.host.vars = 2;  // s dropped
  int reads = f.host.reads;
  EXPECT_EQ(f.Run("n = strlen(S[1])"), 3500);
  EXPECT_NE(f.host.errors.find("3500  invalid Nuvra variable name"), std::string::npos) << f.host.errors;
  EXPECT_EQ(f.Run("S[1] = \"x\""), 3500);
  EXPECT_EQ(f.Run("v = nv_viewvars(S)"), 3500);
  EXPECT_EQ(f.Run("T = S"), 3500);
  EXPECT_EQ(f.host.reads, reads);
  EXPECT_EQ(f.host.str[0], "a");
  // V's variables are all still there.
  ASSERT_EQ(f.Run("c = V[2,2]"), 0);
  EXPECT_EQ(f.Scalar("c"), 20);
}

}  // namespace
