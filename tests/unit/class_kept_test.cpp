// Objects kept for the session at the outermost level: they outlive the
// program that made them, replace only their own kind, and go with their
// destructors when dropped.
#include "class_test_host.h"

namespace nuvra::cls {
namespace {

using testing::ClassEngine;

TEST_F(ClassEngine, KeptObjectsOutliveTheProgramThatMadeThem) {
  host.depth = 2;  // as if two programs deep
  Key g = kNullKey;
  ASSERT_EQ(engine.NewInstance("pt", "", &g), 0);
  ASSERT_EQ(engine.KeepTopLevel("g", g), 0);
  Run(".local = .new pt");
  engine.EndContext(2);
  host.depth = 0;
  EXPECT_EQ(KeyOf(".g"), g);
  EXPECT_EQ(Num(".g.y"), 2);
  Slot s;
  EXPECT_EQ(engine.Resolve(".local", &s, true), 4012);
  EXPECT_EQ(engine.OutermostObjects(), std::vector<Key>{g});
  EXPECT_EQ(engine.Check(), "");
}

TEST_F(ClassEngine, KeepingANameAgainReplacesInPlaceAndDestroysTheOld) {
  Key a = kNullKey, b = kNullKey, c = kNullKey;
  ASSERT_EQ(engine.NewInstance("pt", "", &a), 0);
  ASSERT_EQ(engine.KeepTopLevel("first", a), 0);
  ASSERT_EQ(engine.NewInstance("pt", "", &b), 0);
  ASSERT_EQ(engine.KeepTopLevel("second", b), 0);
  ASSERT_EQ(engine.NewInstance("pt", "", &c), 0);
  ASSERT_EQ(engine.KeepTopLevel("first", c), 0);
  EXPECT_EQ(host.counters["destructor"], 1);
  EXPECT_FALSE(engine.store().Exists(a));
  EXPECT_EQ(engine.OutermostObjects(), (std::vector<Key>{c, b}));
  EXPECT_EQ(KeyOf(".first"), c);
  EXPECT_EQ(engine.Check(), "");
}

TEST_F(ClassEngine, KeepingRefusesANameHeldByAnythingElse) {
  Run(".d = 5");
  Run(".o = .new other");
  Run(".p = .new pt");  // the class is read before the store is counted
  const size_t before = engine.store().Count();
  int refused = 0;
  for (const char* name : {"d", "o"}) {
    Key k = kNullKey;
    ASSERT_EQ(engine.NewInstance("pt", "", &k), 0);
    EXPECT_EQ(engine.KeepTopLevel(name, k), 110) << name;
    // The refused instance is freed like any other, destructor and all.
    EXPECT_FALSE(engine.store().Exists(k)) << name;
    EXPECT_EQ(host.counters["destructor"], ++refused) << name;
  }
  EXPECT_EQ(Num(".d"), 5);
  EXPECT_EQ(engine.store().Count(), before);
  EXPECT_EQ(engine.Check(), "");
}

TEST_F(ClassEngine, DroppingAKeptObjectRunsItsDestructor) {
  Key a = kNullKey, loose = kNullKey;
  ASSERT_EQ(engine.NewInstance("box", "", &a), 0);
  ASSERT_EQ(engine.KeepTopLevel("a", a), 0);
  const size_t kept = engine.store().Count();
  // A new instance nobody holds yet is freed by a drop as well.
  ASSERT_EQ(engine.NewInstance("pt", "", &loose), 0);
  engine.DropTopLevel(loose);
  EXPECT_EQ(engine.store().Count(), kept);
  EXPECT_EQ(host.counters["destructor"], 1);
  // The box holds a point of its own: both go.
  engine.DropTopLevel(a);
  EXPECT_EQ(host.counters["destructor"], 2);
  EXPECT_TRUE(engine.OutermostObjects().empty());
  Slot s;
  EXPECT_EQ(engine.Resolve(".a", &s, true), 4012);
  EXPECT_EQ(engine.Check(), "");
}

}  // namespace
}  // namespace nuvra::cls
