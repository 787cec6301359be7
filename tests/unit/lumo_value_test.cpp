// Lumo value records: empty values, the overflow check, moving versus
// copying storage, strings, free lists and the pointer-cycle guard.
#include <gtest/gtest.h>

#include <cstring>

#include "lumo/value.h"
#include "lumo_test_host.h"

namespace {

using namespace nuvra::lumo;

TEST(LumoValue, EmptyValuesOwnAnEightByteBlock) {
  Values v;
  const int kShapes[][2] = {{0, 0}, {1, 0}, {0, 1}};
  for (const auto& s : kShapes) {
    ValueRecord* r = v.NewValue("", kReal, s[0], s[1]);
    ASSERT_NE(r, nullptr);
    EXPECT_NE(r->data, nullptr);
    EXPECT_EQ(r->allocated, 8u);
    EXPECT_EQ(element_count(r), 0);
    EXPECT_EQ(r->refcount, 0);
    v.Free(r);
  }
  ValueRecord* c = v.NewValue("", kComplex, 0, 3);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->allocated, 8u);
  EXPECT_EQ(v.NewValue("", kComplex, 2, 3)->allocated, 96u);
}

TEST(LumoValue, OverflowingSizeFailsWithTheMessage) {
  Values v;
  // 70000 x 70000 x 8 bytes does not fit in 32 bits.
  EXPECT_EQ(v.NewValue("", kReal, 70000, 70000), nullptr);
  EXPECT_EQ(v.take_error(), "unable to allocate real <tmp>[70000,70000]");
  EXPECT_EQ(v.NewValue("big", kComplex, 40000, 40000), nullptr);
  EXPECT_EQ(v.take_error(), "unable to allocate complex big[40000,40000]");
  EXPECT_EQ(v.record_count(), 0u);
  // Through the language: the message in the traceback, and 3900.
  LumoFixture f;
  EXPECT_EQ(f.Run("x = J(70000, 70000, 0)"), 3900);
  EXPECT_NE(f.host.errors.find("unable to allocate real <tmp>[70000,70000]"), std::string::npos) << f.host.errors;
  EXPECT_EQ(f.Run("x"), 3499);  // nothing was assigned
}

TEST(LumoValue, TemporaryMovesAndVariableCopies) {
  Values v;
  ValueRecord* d = v.NewGlobal("d", kReal, 0, 0);
  ValueRecord* t = v.NewValue("", kReal, 2, 2);
  for (int k = 0; k < 4; ++k) reals(t)[k] = k + 1;
  t->refcount = 1;  // held by one stack slot only
  void* block = t->data;
  ASSERT_EQ(v.Copy(d, t, true), 0);
  EXPECT_EQ(d->data, block);  // moved, not copied
  EXPECT_EQ(d->rows, 2);
  EXPECT_EQ(t->rows, 0);  // the temporary carries d's old storage away
  v.Release(t);

  ValueRecord* e = v.NewGlobal("e", kReal, 0, 0);
  ++d->refcount;  // a second holder: the value must be copied
  ASSERT_EQ(v.Copy(e, d, true), 0);
  EXPECT_NE(e->data, d->data);
  reals(e)[0] = 99;
  EXPECT_EQ(reals(d)[0], 1);
  EXPECT_EQ(reals(e)[3], 4);
  // Copying a string array duplicates every string.
  ValueRecord* s = v.NewGlobal("s", kString, 1, 2);
  bool ok;
  slots(s)[0] = v.NewString("abc", &ok);
  ValueRecord* s2 = v.NewGlobal("s2", kReal, 0, 0);
  ASSERT_EQ(v.Copy(s2, s, false), 0);
  EXPECT_NE(slots(s2)[0], slots(s)[0]);
  EXPECT_EQ(slots(s2)[1], nullptr);
  EXPECT_EQ(compare_strings(string_of(slots(s2)[0]), string_of(slots(s)[0])), 0);
}

TEST(LumoValue, AssignmentInTheLanguageHasValueSemantics) {
  LumoFixture f;
  ASSERT_EQ(f.Run("a = J(2, 2, 1)"), 0);
  ValueRecord* a = f.session.values().FindGlobal("a");
  ASSERT_NE(a, nullptr);
  ASSERT_EQ(f.Run("b = a"), 0);
  ASSERT_EQ(f.Run("b[1,1] = 5"), 0);
  ValueRecord* b = f.session.values().FindGlobal("b");
  ASSERT_NE(b, nullptr);
  EXPECT_NE(a->data, b->data);
  EXPECT_EQ(reals(a)[0], 1);
  EXPECT_EQ(reals(b)[0], 5);
}

TEST(LumoValue, StringsCompareBytewiseThenByLength) {
  Values v;
  bool ok;
  EXPECT_EQ(v.NewString("", &ok), nullptr);  // the empty string has no block
  EXPECT_TRUE(ok);
  void* ab = v.NewString("ab", &ok);
  void* abc = v.NewString("abc", &ok);
  void* b = v.NewString("b", &ok);
  const unsigned char* raw = static_cast<const unsigned char*>(ab);
  uint32_t stored;
  std::memcpy(&stored, raw, 4);
  EXPECT_EQ(stored, 3u);  // length + 1
  EXPECT_EQ(raw[6], 0);   // zero-filled after the bytes
  EXPECT_LT(compare_strings(string_of(ab), string_of(abc)), 0);
  EXPECT_LT(compare_strings(string_of(abc), string_of(b)), 0);
  EXPECT_LT(compare_strings(string_of(nullptr), string_of(ab)), 0);
  EXPECT_EQ(compare_strings(string_of(nullptr), string_of(nullptr)), 0);
  std::free(ab);
  std::free(abc);
  std::free(b);
}

TEST(LumoValue, FreeListsAreBounded) {
  Values v;
  std::vector<ValueRecord*> many;
  for (int k = 0; k < 600; ++k) many.push_back(v.NewScalar(k));
  for (ValueRecord* r : many) v.Free(r);
  EXPECT_EQ(v.free_blocks(), Values::kMaxFreeBlocks);
  EXPECT_EQ(v.free_headers(), Values::kMaxFreeHeaders);
  EXPECT_EQ(v.record_count(), 0u);
  // A new scalar reuses a block and a header from the lists.
  ValueRecord* r = v.NewScalar(1);
  EXPECT_EQ(v.free_blocks(), Values::kMaxFreeBlocks - 1);
  EXPECT_EQ(v.free_headers(), Values::kMaxFreeHeaders - 1);
  v.Free(r);
  v.TrimFreeLists();
  EXPECT_EQ(v.free_blocks(), 0u);
}

TEST(LumoValue, ReshapeKeepsABlockOfTheSameSize) {
  Values v;
  ValueRecord* r = v.NewValue("", kReal, 2, 3);
  void* block = r->data;
  ASSERT_EQ(v.Reshape(r, kReal, 3, 2), 0);
  EXPECT_EQ(r->data, block);
  ASSERT_EQ(v.Reshape(r, kReal, 4, 4), 0);
  EXPECT_EQ(r->allocated, 128u);
  EXPECT_EQ(v.Reshape(r, kReal, 70000, 70000), 3900);
  EXPECT_EQ(r->rows, 4);  // unchanged by the failure
}

TEST(LumoValue, PointerColumnPointingAtItselfIsFreedOnce) {
  Values v;
  ValueRecord* p = v.NewGlobal("p", kPointer, 2, 1);
  ValueRecord* q = v.NewValue("", kReal, 1, 1);
  v.SetPointer(p, 0, p);  // the column points at itself
  v.SetPointer(p, 1, q);  // and at a temporary only it holds
  EXPECT_EQ(p->refcount, 2);
  EXPECT_EQ(q->refcount, 1);
  // Setting the target an element already holds leaves the count alone.
  v.SetPointer(p, 1, q);
  EXPECT_EQ(q->refcount, 1);
  EXPECT_EQ(v.record_count(), 2u);
  // Dropping it by name frees it and what it alone held, once each
  // (AddressSanitizer reports a second free).
  v.Free(p);
  EXPECT_EQ(v.record_count(), 0u);
}

TEST(LumoValue, ReleaseFollowsPointerChains) {
  Values v;
  ValueRecord* a = v.NewValue("", kPointer, 1, 1);
  ValueRecord* b = v.NewValue("", kPointer, 1, 1);
  ValueRecord* c = v.NewScalar(3);
  v.SetPointer(b, 0, c);
  v.SetPointer(a, 0, b);
  ++a->refcount;
  EXPECT_EQ(v.record_count(), 3u);
  v.Release(a);
  EXPECT_EQ(v.record_count(), 0u);
}

TEST(LumoValue, GlobalsByName) {
  Values v;
  ValueRecord* g = v.crexternal("g");
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(g->level, -1);
  EXPECT_EQ(g->refcount, 1);
  EXPECT_EQ(v.crexternal("g"), nullptr);  // exists already
  EXPECT_EQ(v.FindGlobal("g"), g);
  v.crexternal("a");
  EXPECT_EQ(v.direxternal(), (std::vector<std::string>{"a", "g"}));
  EXPECT_TRUE(v.rmexternal("g"));
  EXPECT_EQ(v.FindGlobal("g"), nullptr);
  EXPECT_FALSE(v.rmexternal("g"));
  EXPECT_EQ(v.record_count(), 1u);
}

TEST(LumoValue, FailedStatementSweepsUnreferencedRecords) {
  LumoFixture f;
  ASSERT_EQ(f.Run("keep = (1,2,3)"), 0);
  EXPECT_EQ(f.session.values().record_count(), 1u);
  f.session.values().NewValue("", kReal, 1, 1);  // held by nothing
  EXPECT_EQ(f.session.values().record_count(), 2u);
  EXPECT_EQ(f.Run("keep + (1,2)"), 3200);
  EXPECT_EQ(f.session.values().record_count(), 1u);
  EXPECT_EQ(f.Run("keep"), 0);
  EXPECT_EQ(f.host.output, "       1  2  3\n    {c TLC}{hline 11}{c TRC}\n  1 {c |}  1  2  3  {c |}\n    {c BLC}{hline 11}{c BRC}\n");
}

}  // namespace
