// The debugging dump of the Lumo name table: its heading, one line per
// record in the fixed column layout, the free-list counts, and the check
// of the autoloaded byte count, which corrects a count that disagrees
// with the functions.  The name keys are FNV-1a hashes, worked out apart.
#include <gtest/gtest.h>

#include <string>

#include "lumo/value.h"

namespace {

using namespace nuvra::lumo;

const char* kHeading = "al      key     ukey  name               len typ lvl     u1     u2 cu2 cu3  lc\n";

TEST(LumoSymbolDump, ListsRecordsFreeListsAndChecksAutoloadedBytes) {
  Values v;
  ASSERT_NE(v.NewGlobal("x", kReal, 1, 1), nullptr);
  ASSERT_NE(v.NewGlobal("name", kString, 2, 3), nullptr);
  ValueRecord* t = v.NewScalar(2);
  ASSERT_NE(t, nullptr);
  v.Free(t);  // its 8-byte block and its header go to the free lists
  FunctionRecord* f = v.AddFunction("f", {1, 2, 3}, kCtReal, kOrgMatrix);
  ASSERT_NE(f, nullptr);
  // Marked autoloaded behind the count's back: the dump must notice.
  f->autoloaded = true;

  std::string records = std::string(kHeading) +
                        "43 fd0c5087        0 \"x\"                   8   0  -1      1      1   0   1   1\n"
                        "43 8d39bde6        1 \"name\"               48  -3  -1      2      3   0   1   1\n"
                        "44 e30c2799        0 \"f\"                  12   1  -1      1      1   0   1   1\n"
                        "1 scalars free\n"
                        "1 headers free\n";
  EXPECT_EQ(v.DumpSymbols(), records + "m_albytes = 0  actual = 12; reset\n");
  // The count was reset, so the next dump agrees with it.
  EXPECT_EQ(v.DumpSymbols(), records + "m_albytes = 12 verified\n");
  // Dropping the autoloaded function takes its bytes off the count.
  ASSERT_TRUE(v.DropFunction("f"));
  EXPECT_EQ(v.autoloaded_bytes(), 0u);
}

TEST(LumoSymbolDump, EmptyTable) {
  Values v;
  EXPECT_EQ(v.DumpSymbols(), std::string(kHeading) + "0 scalars free\n0 headers free\nm_albytes = 0 verified\n");
}

}  // namespace
