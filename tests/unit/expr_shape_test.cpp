// The straight-line loops of generate and replace against the general
// evaluator (switched off through the shape switch), over every storage
// type and every kind of missing value; and counts worked out by hand.
#include <bit>
#include <cstring>

#include "data/commands/generate.h"
#include "data/expr/shape.h"
#include "expr_fixture.h"

namespace nuvra {
namespace {

using testing::ExprTest;
const double M = data::kMissing;
const double kA = data::missing_value(1);   // .a
const double kZ = data::missing_value(26);  // .z

class ShapeTest : public ExprTest {
 protected:
  ~ShapeTest() override { expr::set_shapes_enabled(true); }

  void drop(const std::string& v) {
    int j = ip.dataset.find_exact(v);
    ASSERT_NE(j, 0) << v;
    ASSERT_EQ(ip.dataset.drop_variables({j}), 0);
  }
  expr::Shape shape(const std::string& text) {
    EXPECT_EQ(compile(text), 0) << text << ": " << printed;
    return expr::shape_of(prog);
  }
  // The stored bytes of a variable, observation after observation.
  std::string bytes(const std::string& var) {
    const data::Dataset& ds = ip.dataset;
    int j = ds.find_exact(var);
    EXPECT_NE(j, 0) << var;
    std::string out;
    if (j == 0) return out;
    for (std::int64_t i = 1; i <= ds.nobs(); ++i)
      out.append(ds.value_ptr(j, i), static_cast<size_t>(data::type_width(ds.type(j))));
    return out;
  }
  // Runs `line` with the loops on into `on`, and off into `off` (the
  // command text names the target by {}); the messages, the types and the
  // stored bytes must agree.
  void agree(Handler h, const std::string& line, const std::string& on, const std::string& off) {
    auto named = [&](const std::string& v) {
      std::string s = line;
      s.replace(s.find("{}"), 2, v);
      return s;
    };
    expr::set_shapes_enabled(true);
    rc_t rc_on = call(h, named(on));
    std::string said_on = printed;
    expr::set_shapes_enabled(false);
    rc_t rc_off = call(h, named(off));
    std::string said_off = printed;
    expr::set_shapes_enabled(true);
    ASSERT_EQ(rc_on, rc_off) << line;
    // The messages name the variable.
    auto unnamed = [](std::string s, const std::string& v) {
      for (size_t at; (at = s.find(v + " was")) != std::string::npos;) s.replace(at, v.size(), "V");
      return s;
    };
    EXPECT_EQ(unnamed(said_on, on), unnamed(said_off, off)) << line;
    if (rc_on) return;
    const data::Dataset& ds = ip.dataset;
    EXPECT_EQ(ds.type(ds.find_exact(on)), ds.type(ds.find_exact(off))) << line;
    EXPECT_EQ(bytes(on), bytes(off)) << line;
  }
};

TEST_F(ShapeTest, RecognisedShapes) {
  add("x", data::kDouble, {1});
  add("y", data::kDouble, {1});
  expr::Shape s = shape("2*x + 1");
  ASSERT_EQ(s.kind, expr::Shape::Kind::kVariable);
  ASSERT_EQ(s.nsteps, 2);
  EXPECT_TRUE(s.steps[0].const_left);
  EXPECT_EQ(s.steps[0].c, 2);
  EXPECT_EQ(s.steps[1].c, 1);
  EXPECT_EQ(s.cmp, 0);
  s = shape("x < .5");
  EXPECT_EQ(s.kind, expr::Shape::Kind::kVariable);
  EXPECT_EQ(s.nsteps, 0);
  EXPECT_EQ(s.cmp, expr::LT);
  EXPECT_EQ(s.cmp_c, .5);
  s = shape(".5 > x");
  EXPECT_EQ(s.cmp, expr::GT);
  EXPECT_TRUE(s.cmp_const_left);
  s = shape("0");
  EXPECT_EQ(s.kind, expr::Shape::Kind::kConstant);
  EXPECT_EQ(s.value, 0);
  // Not straight lines: two variables, subscripts, functions, _n, a
  // missing constant in a step, division by a constant zero, too many
  // steps, a comparison that is not last.
  for (const char* t : {"x + y", "x[_n-1] + 1", "sqrt(x)", "_n", "x + .", "x/0", "x+1+1+1+1+1",
                        "(x < 1) + 1", "x < y"})
    EXPECT_EQ(shape(t).kind, expr::Shape::Kind::kNone) << t;
  expr::set_shapes_enabled(false);
  EXPECT_EQ(shape("2*x + 1").kind, expr::Shape::Kind::kNone);
}

// Every source type, value, condition and target type: the loops store
// what the evaluator stores and say what it says.
TEST_F(ShapeTest, SameAsTheEvaluatorOnEveryType) {
  const std::vector<double> values = {0,    1,   -2.5, 0.25, 100, 101, -127, 32740, 32741, 1e9,
                                      3e38, 4e38, 1e300, -1e300, M,  kA,  kZ,   0.5,  -0.5, 7};
  const int types[] = {data::kByte, data::kInt, data::kLong, data::kFloat, data::kDouble};
  for (int t : types) add("x" + data::type_name(t), t, values);
  add("start", data::kDouble, {1, 0, 2, 0.25, 100, M, kA, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5});
  const char* exprs[] = {"2*X + 1", "X*2 + 1", "1 - X", "X/4", "4/X", "-X", "X", "0", ".", ".a",
                         "X*0.1 - 7 + 2", "X*1e300", "X - 1e300*1e300", "X < .5"};
  const char* conds[] = {"", " if X < .5", " if X >= 1", " if . > X", " if X != .", " if X", " if 2*X + 1 > 3",
                         " if X == .a"};
  int n = 0;
  for (int t : types) {
    const std::string x = "x" + data::type_name(t);
    for (const char* e : exprs) {
      for (const char* c : conds) {
        std::string body = std::string(e) + c;
        for (size_t at; (at = body.find('X')) != std::string::npos;) body.replace(at, 1, x);
        for (int target : types) {
          const std::string tn = data::type_name(target);
          const std::string on = "on" + std::to_string(n), off = "off" + std::to_string(n);
          ++n;
          agree(cmd_generate, tn + " {} = " + body, on, off);
          // replace from the same start, in the target's type, promoting
          // where the values need it; then the same with nopromote.
          for (const std::string& v : {on, off}) {
            drop(v);
            ASSERT_EQ(call(cmd_generate, tn + " " + v + " = start"), 0);
          }
          agree(cmd_replace, "{} = " + body, on, off);
          if (target != data::kDouble && target != data::kFloat) agree(cmd_replace, "{} = " + body + ", nopromote", on, off);
          for (const std::string& v : {on, off}) drop(v);
          if (HasFatalFailure()) return;
        }
      }
    }
  }
}

// Counts and values worked out by hand.
TEST_F(ShapeTest, CountsByHand) {
  add("x2", data::kDouble, {0.2, 0.7, M, kA, 0.4, 0.5});
  add("y", data::kDouble, {1, 0, 3, 4, 0, 6});
  add("k", data::kInt, {1, 2, 3, 4, 5, 6});
  // Passes 0.2 and 0.4 (missing is above every number): obs 1 changes,
  // obs 5 was 0 already.
  ASSERT_EQ(call(cmd_replace, "y = 0 if x2 < .5"), 0);
  EXPECT_EQ(printed, "(1 real change made)\n");
  ASSERT_EQ(call(cmd_replace, "y = 2*x2 + 1"), 0);
  EXPECT_EQ(printed, "(6 real changes made, 2 to missing)\n");
  const double want[] = {2 * 0.2 + 1, 2 * 0.7 + 1, M, M, 2 * 0.4 + 1, 2 * 0.5 + 1};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(std::bit_cast<std::uint64_t>(at("y", i + 1)), std::bit_cast<std::uint64_t>(want[i]));
  ASSERT_EQ(call(cmd_replace, "y = 2*x2 + 1"), 0);
  EXPECT_EQ(printed, "(0 real changes made)\n");
  // A missing condition value selects: x2 + 1 is . at obs 3 and 4.
  ASSERT_EQ(call(cmd_replace, "y = 7 if x2 + 1"), 0);
  EXPECT_EQ(printed, "(6 real changes made)\n");
  ASSERT_EQ(call(cmd_replace, "y = . if x2 >= .5"), 0);
  EXPECT_EQ(printed, "(4 real changes made, 4 to missing)\n");
  // 40, 140 (beyond a byte: .), ., . (arithmetic on .a gives .), 80, 100.
  ASSERT_EQ(call(cmd_generate, "byte b = 200*x2"), 0);
  EXPECT_EQ(printed, "(3 missing values generated)\n");
  EXPECT_EQ(at("b", 1), 40);
  EXPECT_TRUE(testing::is_dot(at("b", 2)));
  EXPECT_TRUE(testing::is_dot(at("b", 4)));
  EXPECT_EQ(at("b", 6), 100);
  // A bare variable keeps the letter: .a stays .a, in a byte too.
  ASSERT_EQ(call(cmd_generate, "byte b2 = x2"), 0);
  EXPECT_EQ(std::bit_cast<std::uint64_t>(at("b2", 4)), std::bit_cast<std::uint64_t>(kA));
  EXPECT_EQ(at("b2", 1), 0);  // 0.2 truncated
  ASSERT_EQ(call(cmd_generate, "z = x2 - 1 if x2 < .6"), 0);
  EXPECT_EQ(printed, "(3 missing values generated)\n");
  EXPECT_EQ(at("z", 1), static_cast<double>(static_cast<float>(0.2 - 1)));
  // 0.2, 0.4 and 0.5 pass: an int cannot hold 100.2.
  ASSERT_EQ(call(cmd_replace, "k = x2 + 100 if x2 < .6"), 0);
  EXPECT_EQ(printed, "k was int now float\n(3 real changes made)\n");
  EXPECT_EQ(at("k", 5), static_cast<double>(static_cast<float>(100.4)));
  EXPECT_EQ(at("k", 2), 2);
}

// Over enough observations to run in pieces: one processor and two give
// the same bytes and messages, and a subscript of the target keeps its
// one-at-a-time meaning.
TEST_F(ShapeTest, PiecesAgreeWithOneProcessor) {
  const int n = 140000;
  std::vector<double> x(n);
  for (int i = 0; i < n; ++i) x[i] = i % 17 == 0 ? M : i % 29 == 0 ? kA : (i * 7919 % 10007) / 10007.0;
  add("x", data::kDouble, x);
  add("i", data::kInt, std::vector<double>(n, 3));
  std::string said[2];
  for (int p = 1; p <= 2; ++p) {
    ip.processors = p;
    std::string s = std::to_string(p);
    ASSERT_EQ(call(cmd_generate, "double g" + s + " = 2*x + 1 if x < .7"), 0);
    said[p - 1] += printed;
    ASSERT_EQ(call(cmd_generate, "double r" + s + " = 5"), 0);
    ASSERT_EQ(call(cmd_replace, "r" + s + " = 0 if x < .5"), 0);
    said[p - 1] += printed;
    ASSERT_EQ(call(cmd_replace, "r" + s + " = x*3 - 1 if x >= .5"), 0);
    said[p - 1] += printed;
    ASSERT_EQ(call(cmd_generate, "int c" + s + " = i"), 0);
    ASSERT_EQ(call(cmd_replace, "c" + s + " = x*1000 if x > .9"), 0);
    said[p - 1] += printed.replace(0, 2, "c#");
  }
  EXPECT_EQ(said[0], said[1]);
  EXPECT_NE(said[0].find("c# was int now float"), std::string::npos) << said[0];
  for (const char* v : {"g", "r", "c"}) EXPECT_EQ(bytes(std::string(v) + "1"), bytes(std::string(v) + "2")) << v;
  ip.processors = 2;
  ASSERT_EQ(call(cmd_generate, "double z = 1"), 0);
  ASSERT_EQ(call(cmd_replace, "z = z[_n-1] + 1 if _n > 1"), 0);
  EXPECT_EQ(at("z", n), n);
}

}  // namespace
}  // namespace nuvra
