// The expression engines with no interpreter behind them: a small
// environment holding a dataset, scalars, matrices and posted results is
// all that compiling, evaluating, `if` marking, `in` ranges and matrix
// expressions need.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "data/by_state.h"
#include "data/dataset.h"
#include "data/expr/env.h"
#include "data/expr/expr.h"
#include "data/expr/sample.h"
#include "data/functions/random.h"
#include "data/functions/regex.h"
#include "output/output.h"
#include "stats/matexpr.h"
#include "stats/matrix.h"

namespace nuvra {
namespace {

class TableEnv : public expr::Env {
 public:
  data::Dataset& data_in_memory() override { return ds; }
  output::Output& message_stream() override { return out; }
  rc_t report(rc_t code) override {
    reported.push_back(code);
    return code;
  }
  rc_t report_quoting(std::string_view before, std::string_view user, std::string_view after,
                      rc_t code) override {
    said += std::string(before) + std::string(user) + std::string(after);
    reported.push_back(code);
    return code;
  }
  bool break_requested() override { return false; }
  int run_version() const override { return version; }
  bool missing_values_modern() const override { return true; }
  double rc_variable() const override { return 0; }
  const expr::ScalarValue* find_scalar(std::string_view name) const override {
    auto it = scalars.find(std::string(name));
    return it == scalars.end() ? nullptr : &it->second;
  }
  const stats::Matrix* find_matrix(std::string_view name) const override {
    auto it = matrices.find(std::string(name));
    return it == matrices.end() ? nullptr : &it->second;
  }
  bool saved_number(char cls, std::string_view name, double* v) override {
    if (cls != 'r' || name != "N") return false;
    *v = 42;
    return true;
  }
  bool saved_text(char, std::string_view, std::string*) override { return false; }
  bool no_estimation_results() const override { return !matrices.count("e(b)"); }
  const std::string* estimation_macro(std::string_view name) const override {
    return name == "properties" ? &properties : nullptr;
  }
  const std::string* find_local(std::string_view) const override { return nullptr; }
  rng::RandomState& random_state() override { return random; }
  RegexMatch& regex_state() override { return regex; }
  const ByState& by_state() const override { return by; }
  int program_depth() const override { return 0; }
  expr::MatrixSettings matrix_settings() const override { return {}; }

  data::Dataset ds{std::size_t{1} << 24};
  output::Output out;
  std::map<std::string, expr::ScalarValue> scalars;
  std::map<std::string, stats::Matrix> matrices;
  std::string properties = "b V";
  int version = 1010;
  rng::RandomState random;
  RegexMatch regex;
  ByState by;
  std::vector<rc_t> reported;
  std::string said;
};

class ExprEnvTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(env.ds.set_obs(4), 0);
    int j = 0;
    ASSERT_EQ(env.ds.add_variable("x", data::kDouble, &j), 0);
    for (int i = 1; i <= 4; ++i) env.ds.store(j, i, 10.0 * i);
    env.scalars["k"] = expr::ScalarValue{false, 2.5, ""};
    env.scalars["word"] = expr::ScalarValue{true, 0, "abc"};
    stats::Matrix a = stats::Matrix::make(2, 2);
    a.v = {1, 2, 3, 4};
    env.matrices["A"] = a;
    stats::Matrix b = stats::Matrix::make(1, 1);
    b.v = {0.75};
    b.colnames = {"x"};
    env.matrices["e(b)"] = b;
    stats::Matrix v = stats::Matrix::make(1, 1);
    v.v = {4};
    env.matrices["e(V)"] = v;
  }
  double num(const std::string& text, std::int64_t obs = 1) {
    expr::Program p;
    EXPECT_EQ(expr::compile(env, text, expr::Want::kAny, &p), 0) << text << ": " << env.said;
    expr::EvalContext cx;
    expr::bind(env, p, &cx);
    return expr::eval_number(cx, obs);
  }
  TableEnv env;
};

TEST_F(ExprEnvTest, ValuesComeFromTheEnvironment) {
  EXPECT_EQ(num("x * k + 1", 3), 76);  // 30 * 2.5 + 1
  EXPECT_EQ(num("scalar(k)"), 2.5);
  EXPECT_EQ(num("el(A, 2, 1)"), 3);
  EXPECT_EQ(num("A[1,2]"), 2);
  EXPECT_EQ(num("_b[x]"), 0.75);
  EXPECT_EQ(num("_se[x]"), 2);  // sqrt of e(V)[1,1] = 4
  EXPECT_EQ(num("r(N) + 1"), 43);
  EXPECT_EQ(num("has_eprop(V)"), 1);
  EXPECT_EQ(num("has_eprop(svy)"), 0);
  EXPECT_DOUBLE_EQ(num("_caller()"), 10.1);

  expr::Program p;
  ASSERT_EQ(expr::compile(env, "word + \"d\"", expr::Want::kAny, &p), 0);
  expr::EvalContext cx;
  expr::bind(env, p, &cx);
  EXPECT_EQ(expr::eval_string(cx, 1), "abcd");
}

TEST_F(ExprEnvTest, FailuresAreReportedThroughTheEnvironment) {
  expr::Program p;
  EXPECT_EQ(expr::compile(env, "scalar(nosuch)", expr::Want::kAny, &p), 111);
  EXPECT_EQ(env.said, "scalar nosuch not found\n");
  EXPECT_EQ(expr::compile(env, "x +", expr::Want::kAny, &p), 198);
  ASSERT_FALSE(env.reported.empty());
  EXPECT_EQ(env.reported.back(), 198);
  env.matrices.erase("e(b)");
  EXPECT_EQ(expr::compile(env, "_b[x]", expr::Want::kAny, &p), 301);
}

TEST_F(ExprEnvTest, SamplesAndRangesNeedOnlyTheEnvironment) {
  std::vector<char> mask;
  std::int64_t n = 0;
  ASSERT_EQ(expr::mark_sample(env, "x >= 20 & x < 40", 1, 4, &mask, &n), 0);
  EXPECT_EQ(n, 2);
  EXPECT_EQ(mask, (std::vector<char>{0, 1, 1, 0}));

  std::int64_t first = 0, last = 0;
  ASSERT_EQ(expr::read_in_range(env, " -2/l ", 4, &first, &last), 0);
  EXPECT_EQ(first, 3);
  EXPECT_EQ(last, 4);
  ASSERT_EQ(expr::read_in_range(env, "f/2", 4, &first, &last), 0);
  EXPECT_EQ(first, 1);
  EXPECT_EQ(last, 2);
  env.said.clear();
  EXPECT_EQ(expr::read_in_range(env, "5", 4, &first, &last), 198);
  EXPECT_EQ(env.said, "Obs. nos. out of range\n");
  env.said.clear();
  EXPECT_EQ(expr::read_in_range(env, "2/x", 4, &first, &last), 198);
  EXPECT_EQ(env.said, "invalid syntax\n");
}

TEST_F(ExprEnvTest, MatrixExpressionsNeedOnlyTheEnvironment) {
  stats::Matrix m;
  bool scalar = true;
  ASSERT_EQ(stats::eval_matrix(env, "A' * k", &m, &scalar), 0) << env.said;
  EXPECT_FALSE(scalar);
  ASSERT_EQ(m.rows, 2);
  ASSERT_EQ(m.cols, 2);
  EXPECT_EQ(m.v, (std::vector<double>{2.5, 7.5, 5, 10}));
  stats::Matrix inv;
  stats::Matrix s = stats::Matrix::make(2, 2);
  s.v = {4, 0, 0, 2};
  ASSERT_EQ(stats::invsym(env, s, &inv), 0);
  EXPECT_EQ(inv.v, (std::vector<double>{0.25, 0, 0, 0.5}));
  EXPECT_EQ(stats::invsym(env, env.matrices["A"], &inv), 505);  // not symmetric
}

}  // namespace
}  // namespace nuvra
