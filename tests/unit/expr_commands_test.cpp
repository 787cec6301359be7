// generate, replace, assert and the if/in API, through their
// handlers with captured output.
#include <bit>

#include "data/commands/generate.h"
#include "data/expr/sample.h"
#include "expr_fixture.h"
#include "interp/parse.h"

namespace nuvra {
namespace {

using testing::ExprTest;
using testing::is_dot;
const double M = data::kMissing;

class CommandsTest : public ExprTest {
 protected:
  std::vector<double> column(const std::string& var) {
    std::vector<double> v;
    for (int64_t i = 1; i <= ip.dataset.nobs(); ++i) v.push_back(at(var, i));
    return v;
  }
  // Runs a command that must fail, and checks the data did not move.
  void fails_untouched(Handler h, const std::string& line, rc_t want) {
    std::uint64_t before = ip.dataset.checksum();
    int nvar = ip.dataset.nvar();
    EXPECT_EQ(call(h, line), want) << line << ": " << printed;
    EXPECT_EQ(ip.dataset.checksum(), before) << line;
    EXPECT_EQ(ip.dataset.nvar(), nvar) << line;
  }
};

TEST_F(CommandsTest, GenerateComputesAndReportsMissing) {
  add("x", data::kDouble, {1, 2, M, 4});
  ASSERT_EQ(call(cmd_generate, "double y = 2*x + 1"), 0) << printed;
  EXPECT_EQ(printed, "(1 missing value generated)\n");
  EXPECT_EQ(ip.dataset.type(ip.dataset.find_exact("y")), data::kDouble);
  std::vector<double> y = column("y");
  EXPECT_EQ(y[0], 3);
  EXPECT_EQ(y[3], 9);
  EXPECT_TRUE(is_dot(y[2]));
  EXPECT_TRUE(ip.dataset.changed());

  ASSERT_EQ(call(cmd_generate, "z = x if x > 1"), 0);
  EXPECT_EQ(printed, "(2 missing values generated)\n");
  EXPECT_EQ(ip.dataset.type(ip.dataset.find_exact("z")), data::kFloat);  // the default type
  ASSERT_EQ(call(cmd_generate, "w = _n in 2/3"), 0);
  EXPECT_EQ(column("w")[1], 2);
  EXPECT_TRUE(is_dot(column("w")[3]));
  ASSERT_EQ(call(cmd_generate, "all = 1"), 0);
  EXPECT_EQ(printed, "");
  ASSERT_EQ(call(cmd_generate, "byte small = 100*x"), 0);  // no promotion: 200 does not fit
  EXPECT_EQ(printed, "(3 missing values generated)\n");
  EXPECT_EQ(column("small")[0], 100);
}

TEST_F(CommandsTest, GenerateStringsAndLabels) {
  add("x", data::kDouble, {1, 2, 3});
  ASSERT_EQ(call(cmd_generate, "s = \"ab\" + string(x)"), 0) << printed;
  EXPECT_EQ(ip.dataset.type(ip.dataset.find_exact("s")), 3);  // str3, from the widest value
  EXPECT_EQ(ip.dataset.fetch_str(ip.dataset.find_exact("s"), 2), "ab2");
  ASSERT_EQ(call(cmd_generate, "str10 t = \"a\" if x == 2"), 0);
  EXPECT_EQ(printed, "(2 missing values generated)\n");
  EXPECT_EQ(ip.dataset.type(ip.dataset.find_exact("t")), 10);
  ASSERT_EQ(call(cmd_generate, "int k:yesno = x > 1"), 0);
  EXPECT_EQ(ip.dataset.value_label_name(ip.dataset.find_exact("k")), "yesno");
  fails_untouched(cmd_generate, "int bad = \"a\"", 109);
  fails_untouched(cmd_generate, "str5 bad = 1", 109);
}

TEST_F(CommandsTest, FailingGenerateLeavesTheDataAlone) {
  add("x", data::kDouble, {1, 2, 3});
  fails_untouched(cmd_generate, "x = 1", 110);
  EXPECT_EQ(printed, "x already defined\n");
  fails_untouched(cmd_generate, "y = nosuch + 1", 111);
  fails_untouched(cmd_generate, "y = (x", 132);
  fails_untouched(cmd_generate, "y = x if nosuch", 111);
  fails_untouched(cmd_generate, "y = x in 5/9", 198);
  fails_untouched(cmd_generate, "y", 100);
  fails_untouched(cmd_generate, "1y = 2", 198);
  fails_untouched(cmd_generate, "y = x, opt", 101);
}

TEST_F(CommandsTest, ReplaceCountsRealChanges) {
  add("x", data::kDouble, {1, 2, 3, 4});
  ASSERT_EQ(call(cmd_replace, "x = x*2 if x > 2"), 0);
  EXPECT_EQ(printed, "(2 real changes made)\n");
  EXPECT_EQ(column("x"), (std::vector<double>{1, 2, 6, 8}));
  ASSERT_EQ(call(cmd_replace, "x = 1 in 1"), 0);
  EXPECT_EQ(printed, "(0 real changes made)\n");
  ASSERT_EQ(call(cmd_replace, "x = . if x > 5"), 0);
  EXPECT_EQ(printed, "(2 real changes made, 2 to missing)\n");
  ASSERT_EQ(call(cmd_replace, "x = 5 in 1"), 0);
  EXPECT_EQ(printed, "(1 real change made)\n");
}

TEST_F(CommandsTest, ReplacePromotes) {
  add("b", data::kByte, {1, 2, 3});
  ASSERT_EQ(call(cmd_replace, "b = 1000 in 2"), 0);
  EXPECT_EQ(printed, "b was byte now int\n(1 real change made)\n");
  EXPECT_EQ(ip.dataset.type(ip.dataset.find_exact("b")), data::kInt);
  EXPECT_EQ(column("b"), (std::vector<double>{1, 1000, 3}));
  ASSERT_EQ(call(cmd_replace, "b = b + 0.5 in 3"), 0);
  EXPECT_EQ(printed, "b was int now float\n(1 real change made)\n");
  EXPECT_EQ(column("b")[2], 3.5);

  add("c", data::kByte, {1, 2, 3});
  ASSERT_EQ(call(cmd_replace, "c = 1000 in 2, nopromote"), 0);
  EXPECT_EQ(printed, "(1 real change made, 1 to missing)\n");
  EXPECT_EQ(ip.dataset.type(ip.dataset.find_exact("c")), data::kByte);

  add_str("s", 3, {"abc", "de", "f"});
  ASSERT_EQ(call(cmd_replace, "s = s + \"xyz\" in 1"), 0);
  EXPECT_EQ(printed, "s was str3 now str6\n(1 real change made)\n");
  EXPECT_EQ(ip.dataset.fetch_str(ip.dataset.find_exact("s"), 1), "abcxyz");
  ASSERT_EQ(call(cmd_replace, "s = \"123456789\" in 2, nopromote"), 0);
  EXPECT_EQ(ip.dataset.fetch_str(ip.dataset.find_exact("s"), 2), "123456");
  ASSERT_EQ(call(cmd_replace, "s = \"\" in 3"), 0);
  EXPECT_EQ(printed, "(1 real change made, 1 to missing)\n");
}

// replace x = x[_n-1] + 1 sees the values it has already replaced.
TEST_F(CommandsTest, ReplaceSeesItsOwnNewValues) {
  add("x", data::kDouble, {10, 20, 30, 40, 50});
  ASSERT_EQ(call(cmd_replace, "x = x[_n-1] + 1 if _n > 1"), 0);
  EXPECT_EQ(column("x"), (std::vector<double>{10, 11, 12, 13, 14}));
  EXPECT_EQ(printed, "(4 real changes made)\n");
  // The same through a promotion in the middle: 100 + 30 does not fit a
  // byte, and the values after it build on the promoted value.
  add("b", data::kByte, {99, 1, 1, 1, 1});
  ASSERT_EQ(call(cmd_replace, "b = b[_n-1] + 30 if _n > 1"), 0);
  EXPECT_EQ(column("b"), (std::vector<double>{99, 129, 159, 189, 219}));
  EXPECT_EQ(printed, "b was byte now int\n(4 real changes made)\n");
  // Without promotion, the byte's missing value is what the next one sees.
  add("c", data::kByte, {99, 1, 1, 1, 1});
  ASSERT_EQ(call(cmd_replace, "c = c[_n-1] + 30 if _n > 1, nopromote"), 0);
  EXPECT_TRUE(is_dot(column("c")[1]));
  EXPECT_TRUE(is_dot(column("c")[2]));
  // A string variable, one observation at a time.
  add_str("s", 1, {"a", "b", "c", "d", "e"});
  ASSERT_EQ(call(cmd_replace, "s = s[_n-1] + s if _n > 1"), 0);
  EXPECT_EQ(ip.dataset.fetch_str(ip.dataset.find_exact("s"), 5), "abcde");
  EXPECT_EQ(printed, "s was str1 now str5\n(4 real changes made)\n");
}

// The block path and the one-at-a-time path give the same data: the
// second form adds sum(0), which is 0 but forbids blocks.
TEST_F(CommandsTest, BothEvaluationPathsAgree) {
  const int n = 5000;
  std::vector<double> x(n), y(n);
  for (int i = 0; i < n; ++i) {
    x[i] = (i * 7919 % 1000) / 1000.0;
    y[i] = i % 13 == 0 ? M : (i * 104729 % 997) / 99.0;
  }
  add("x", data::kDouble, x);
  add("y1", data::kDouble, y);
  add("y2", data::kDouble, y);
  add("b1", data::kInt, std::vector<double>(n, 1));
  add("b2", data::kInt, std::vector<double>(n, 1));
  ASSERT_EQ(call(cmd_replace, "y1 = y1*y1 - x if x > 0.5"), 0);
  std::string first = printed;
  ASSERT_EQ(call(cmd_replace, "y2 = y2*y2 - x + sum(0) if x > 0.5"), 0);
  EXPECT_EQ(printed, first);
  ASSERT_EQ(call(cmd_replace, "b1 = 10*x if x < 0.3"), 0);
  first = printed;
  ASSERT_EQ(call(cmd_replace, "b2 = 10*x + sum(0) if x < 0.3"), 0);
  EXPECT_EQ(printed.substr(2), first.substr(2));  // the names differ
  EXPECT_EQ(first.substr(0, 22), "b1 was int now float\n(");
  ASSERT_EQ(call(cmd_generate, "double g1 = sqrt(x)*y1 if y1 < 50"), 0);
  first = printed;
  ASSERT_EQ(call(cmd_generate, "double g2 = sqrt(x)*y1 + sum(0) if y1 < 50"), 0);
  EXPECT_EQ(printed, first);
  for (auto [a, b] : {std::pair{"y1", "y2"}, {"b1", "b2"}, {"g1", "g2"}}) {
    std::vector<double> ca = column(a), cb = column(b);
    for (int i = 0; i < n; ++i)
      ASSERT_EQ(std::bit_cast<std::uint64_t>(ca[i]), std::bit_cast<std::uint64_t>(cb[i])) << a << " obs " << i + 1;
  }
}

TEST_F(CommandsTest, FailingReplaceLeavesTheDataAlone) {
  add("x", data::kByte, {1, 2, 3});
  add_str("s", 2, {"a", "b", "c"});
  fails_untouched(cmd_replace, "x = \"a\"", 109);
  fails_untouched(cmd_replace, "s = 1", 109);
  fails_untouched(cmd_replace, "nosuch = 1", 111);
  fails_untouched(cmd_replace, "x = 1 if nosuch", 111);
  fails_untouched(cmd_replace, "x", 100);
  fails_untouched(cmd_replace, "x = 1, bogus", 198);
  fails_untouched(cmd_replace, "x == 1", 198);
}

// A Break stops generate and replace before they change anything.
TEST_F(CommandsTest, BreakLeavesTheDataAlone) {
  const int n = 40000;
  add("x", data::kDouble, std::vector<double>(n, 1));
  add("b", data::kByte, std::vector<double>(n, 1));
  ip.break_request = true;
  fails_untouched(cmd_generate, "y = x + 1", 1);
  fails_untouched(cmd_generate, "y = x[_n-1] + sum(x)", 1);
  fails_untouched(cmd_replace, "b = 1000", 1);           // blocks: stopped before the promotion
  fails_untouched(cmd_replace, "x = x[_n-1] + 1", 1);   // one at a time
  ip.break_request = false;
}

TEST_F(CommandsTest, AssertCountsContradictions) {
  add("x", data::kDouble, {1, 2, 3, 4, 5});
  EXPECT_EQ(call(cmd_assert, "x > 0"), 0);
  EXPECT_EQ(printed, "");
  EXPECT_EQ(call(cmd_assert, "x < 4"), 9);
  EXPECT_EQ(printed, "2 contradictions in 5 observations\nassertion is false\n");
  EXPECT_EQ(call(cmd_assert, "x < 5 if x > 2"), 9);
  EXPECT_EQ(printed, "1 contradiction in 3 observations\nassertion is false\n");
  EXPECT_EQ(call(cmd_assert, "x < 4, rc0"), 0);
  EXPECT_EQ(printed, "2 contradictions in 5 observations\nassertion is false\n");
  EXPECT_EQ(call(cmd_assert, "x < 4 in 1/3"), 0);
  EXPECT_EQ(call(cmd_assert, "x == ."), 9);  // missing is not a contradiction... but 0 is
  EXPECT_EQ(call(cmd_assert, "\"a\""), 109);
}

TEST_F(CommandsTest, TheSampleApi) {
  add("x", data::kDouble, {1, 2, M, 4, 5});
  std::vector<char> mask;
  int64_t n = 0;
  ASSERT_EQ(expr::mark_sample(ip, "x < 5", 2, 5, &mask, &n), 0);
  EXPECT_EQ(mask, (std::vector<char>{0, 1, 0, 1, 0}));
  EXPECT_EQ(n, 2);
  ASSERT_EQ(expr::mark_sample(ip, "", 1, 5, &mask, &n), 0);
  EXPECT_EQ(n, 5);
  CommandLine cl;
  cl.has_if = true;
  cl.if_text = "x != 2";
  ASSERT_EQ(expr::mark_sample(ip, cl, &mask, &n), 0);
  EXPECT_EQ(n, 4);
  expr::Condition cond;
  ASSERT_EQ(expr::compile_condition(ip, "x[_n+1] > x", &cond), 0);
  EXPECT_TRUE(cond.test(1));
  EXPECT_TRUE(cond.test(2));   // . > 2
  EXPECT_FALSE(cond.test(3));  // 4 > .
  EXPECT_TRUE(cond.test(5));   // x[6] is outside: . > 5
  expr::Condition none;
  ASSERT_EQ(expr::compile_condition(ip, "  ", &none), 0);
  EXPECT_TRUE(none.empty());
  EXPECT_TRUE(none.test(1));
}

}  // namespace
}  // namespace nuvra
