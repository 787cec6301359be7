// The storage-type limits read three ways, as a function, as c() and as the
// expanded text of c(), must agree with each other and with the values the
// storage types imply.
#include <cmath>
#include <string>

#include "data/limits.h"
#include "expr_fixture.h"
#include "interp/creturn.h"

namespace nuvra::testing {
namespace {

class StorageLimitsTest : public ExprTest {};

TEST_F(StorageLimitsTest, FunctionAndCReturnAgreeForEveryLimit) {
  add("x", data::kByte, {1});
  int seen = 0;
  for (const data::StorageLimit& l : data::kStorageLimits) {
    std::string name = l.name;
    CValue c;
    ASSERT_TRUE(c_value(ip, name, &c)) << name;
    ASSERT_FALSE(c.is_string) << name;
    EXPECT_EQ(num(name + "()"), c.num) << name;
    // The expanded text reads back as the very same double.
    EXPECT_EQ(std::strtod(c_text(ip, name).c_str(), nullptr), c.num) << name;
    ++seen;
  }
  EXPECT_EQ(seen, 13);
}

TEST_F(StorageLimitsTest, ValuesFollowFromTheStorageTypes) {
  add("x", data::kByte, {1});
  // Integer types keep their top 27 codes for `.` and `.a`..`.z`.
  EXPECT_EQ(num("maxbyte()"), 127 - 27);
  EXPECT_EQ(num("minbyte()"), -127);
  EXPECT_EQ(num("maxint()"), 32767 - 27);
  EXPECT_EQ(num("minint()"), -32767);
  EXPECT_EQ(num("maxlong()"), 2147483647.0 - 27);
  EXPECT_EQ(num("minlong()"), -2147483647.0);
  // float and double stop one binade below their largest exponent.
  EXPECT_EQ(num("maxfloat()"), std::ldexp(1.0, 127) - std::ldexp(1.0, 103));
  EXPECT_EQ(num("minfloat()"), -(std::ldexp(1.0, 127) - std::ldexp(1.0, 103)));
  EXPECT_EQ(num("maxdouble()"), std::ldexp(1.0, 1023) - std::ldexp(1.0, 970));
  EXPECT_EQ(num("epsfloat()"), std::ldexp(1.0, -23));
  EXPECT_EQ(num("epsdouble()"), std::ldexp(1.0, -52));
  EXPECT_EQ(num("smallestdouble()"), std::ldexp(1.0, -1022));
  // A limit takes no argument.
  EXPECT_EQ(compile("maxbyte(1)"), 198);
}

TEST_F(StorageLimitsTest, ExpandedCValueComparesEqualToTheFunction) {
  add("x", data::kByte, {1});
  for (const data::StorageLimit& l : data::kStorageLimits) {
    std::string name = l.name;
    EXPECT_EQ(num("(" + c_text(ip, name) + ") == " + name + "()"), 1) << name;
  }
}

}  // namespace
}  // namespace nuvra::testing
