// A fixture for the expression tests: an interpreter with captured output,
// a helper to fill the dataset, and shorthands to compile and evaluate.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "data/expr/expr.h"
#include "interp/builtins.h"
#include "interp/interp.h"
#include "test_side.h"

namespace nuvra::testing {

class ExprTest : public ::testing::Test {
 protected:
  ExprTest() : ip(&side) {}

  // Adds a numeric variable holding `values` (observations are added as
  // needed; the dataset grows to the longest list).
  int add(const std::string& name, int type, const std::vector<double>& values) {
    data::Dataset& ds = ip.dataset;
    if (static_cast<int64_t>(values.size()) > ds.nobs()) {
      EXPECT_EQ(ds.set_obs(static_cast<int64_t>(values.size())), 0);
    }
    int j = 0;
    EXPECT_EQ(ds.add_variable(name, type, &j), 0) << name;
    for (size_t i = 0; i < values.size(); ++i) ds.store(j, static_cast<int64_t>(i) + 1, values[i]);
    return j;
  }
  int add_str(const std::string& name, int width, const std::vector<std::string>& values) {
    data::Dataset& ds = ip.dataset;
    if (static_cast<int64_t>(values.size()) > ds.nobs()) {
      EXPECT_EQ(ds.set_obs(static_cast<int64_t>(values.size())), 0);
    }
    int j = 0;
    EXPECT_EQ(ds.add_variable(name, width, &j), 0) << name;
    for (size_t i = 0; i < values.size(); ++i) ds.store_str(j, static_cast<int64_t>(i) + 1, values[i]);
    return j;
  }

  // Compiles; returns the code and leaves the message in `printed`.
  rc_t compile(const std::string& text, expr::Want want = expr::Want::kAny) {
    side.text.clear();
    rc_t rc = expr::compile(ip, text, want, &prog);
    ip.out.flush();
    printed = side.text;
    return rc;
  }
  // The value of a numeric expression at observation `obs`.
  double num(const std::string& text, int64_t obs = 1) {
    EXPECT_EQ(compile(text), 0) << text << ": " << printed;
    EXPECT_EQ(prog.type, expr::Type::kNumeric) << text;
    expr::EvalContext cx;
    expr::bind(ip, prog, &cx);
    return expr::eval_number(cx, obs);
  }
  std::string str(const std::string& text, int64_t obs = 1) {
    EXPECT_EQ(compile(text), 0) << text << ": " << printed;
    EXPECT_EQ(prog.type, expr::Type::kString) << text;
    expr::EvalContext cx;
    expr::bind(ip, prog, &cx);
    return expr::eval_string(cx, obs);
  }
  // Runs a command handler on `line` (the words after the command name).
  rc_t call(Handler handler, const std::string& line) {
    ip.cmdbuf = line;
    ip.reader.attach(&ip.cmdbuf, 0);
    side.text.clear();
    rc_t rc = handler(ip);
    ip.out.flush();
    printed = side.text;
    return rc;
  }
  double at(const std::string& var, int64_t obs) {
    int j = ip.dataset.find_exact(var);
    EXPECT_NE(j, 0) << var;
    return j ? ip.dataset.fetch(j, obs) : 0;
  }

  CaptureSide side;
  Interp ip;
  expr::Program prog;
  std::string printed;
};

inline bool is_dot(double v) { return data::missing_code(v) == 0; }

}  // namespace nuvra::testing
