// The class engine without an interpreter: layout, lookup, copy against
// reference, destructors, contexts and the refusals are checked against
// the store itself, which is walked for consistency after every failure.
#include "class_test_host.h"

namespace nuvra::cls {
namespace {

using testing::ClassEngine;

TEST_F(ClassEngine, InstancesShareThePrototypeLayoutAndOwnTheirValues) {
  Run(".a = .new pt");
  Run(".b = .new pt");
  Run(".b.x = 5");
  EXPECT_EQ(Num(".a.x"), 1);
  EXPECT_EQ(Num(".b.x"), 5);
  const Object* a = engine.store().Find(KeyOf(".a"));
  const Object* b = engine.store().Find(KeyOf(".b"));
  ASSERT_TRUE(a && b);
  EXPECT_EQ(a->classtype, b->classtype);
  EXPECT_NE(a->attrib_array, b->attrib_array);
  const Object* ct = engine.store().Find(a->classtype);
  const Object* proto = engine.store().Find(ct->prototype);
  EXPECT_EQ(a->num_attribs, 3);
  EXPECT_EQ(proto->num_attribs, 3);
  // Names live in the prototype only, at the same positions.
  for (int i = 1; i <= 3; ++i) {
    EXPECT_EQ(engine.store().Find(engine.store().ArrayGet(a->attrib_array, i))->name, "");
    EXPECT_NE(engine.store().Find(engine.store().ArrayGet(proto->attrib_array, i))->name, "");
  }
  EXPECT_EQ(engine.store().Find(engine.store().ArrayGet(proto->attrib_array, 2))->name, "y");
  EXPECT_EQ(Text(".a.s"), "hi");
  // The class attribute is one object seen from both instances.
  EXPECT_EQ(KeyOf(".a.shared"), KeyOf(".b.shared"));
  EXPECT_EQ(engine.Check(), "");
}

TEST_F(ClassEngine, LookupOrderPutsDynamicAttributesBeforeThePrototype) {
  Run(".a = .new pt");
  Run(".a.Declare double x = 40");
  EXPECT_EQ(Num(".a.x"), 40);
  const Object* a = engine.store().Find(KeyOf(".a"));
  EXPECT_EQ(a->num_dynamics, 1);
  // The positional attribute is still there, untouched.
  EXPECT_EQ(engine.store().Find(engine.store().ArrayGet(a->attrib_array, 1))->num, 1);
  // Reserved names reach the arrays themselves.
  EXPECT_EQ(KeyOf(".a.instancemv"), a->attrib_array);
  EXPECT_EQ(KeyOf(".a.dynamicmv"), a->dynamic_array);
  const Object* ct = engine.store().Find(a->classtype);
  EXPECT_EQ(KeyOf(".a.classmv"), ct->class_attrib_array);
  EXPECT_EQ(KeyOf(".a.superclass"), ct->inherits_array);
  // A dynamic attribute may even shadow a reserved-looking class name.
  Run(".a.Declare double shared = 1");
  EXPECT_EQ(Num(".a.shared"), 1);
  Run(".b = .new pt");
  EXPECT_EQ(Num(".b.shared"), 7);
  Refused(".a.Declare double x = 2", 4029);
  Refused(".a.nothing = 1", 4012);
}

TEST_F(ClassEngine, ReferenceSharesAndCopyDoesNotWithOncopyAndDestructorsCounted) {
  Run(".box = .new box");
  EXPECT_EQ(host.counters["oncopy"], 1);  // the prototype's point was copied
  Run(".a = .new pt");
  Run(".c = .a");
  EXPECT_EQ(host.counters["oncopy"], 2);
  Run(".c.x = 9");
  EXPECT_EQ(Num(".a.x"), 1);
  Run(".box.other.ref = .a.ref");
  Run(".box.other.x = 8");
  EXPECT_EQ(Num(".a.x"), 8);
  EXPECT_EQ(KeyOf(".box.other"), KeyOf(".a"));
  EXPECT_EQ(host.counters["oncopy"], 2);
  EXPECT_EQ(Text(".a.ref_n"), "2");  // its context slot and the reference
  EXPECT_EQ(host.counters["destructor"], 0);
  Run(".c = 3");  // the copy is replaced, so destroyed
  EXPECT_EQ(host.counters["destructor"], 1);
  ASSERT_EQ(engine.Command("free .a"), 0);  // still reached through the box
  EXPECT_EQ(host.counters["destructor"], 1);
  EXPECT_EQ(Num(".box.other.x"), 8);
  ASSERT_EQ(engine.Command("free .box"), 0);
  EXPECT_EQ(host.counters["destructor"], 3);  // a and the box's point
  EXPECT_EQ(engine.Check(), "");
}

TEST_F(ClassEngine, RefusalsGiveTheirCodesAndLeaveTheStoreConsistent) {
  Run(".a = .new pt");
  Run(".box = .new box");
  Run(".p3 = .new pt3");
  Run(".o = .new other");  // loaded now, so that a refusal later adds no class
  Refused(".box.p = .a.ref", 4011);
  Refused(".box.p.ref = 5", 4011);
  Run(".box.other.ref = .p3.ref");
  Refused(".box.other.ref = .a.ref", 4009);
  Refused(".box.p = .new other", 4010);
  Refused(".nobody.x = 1", 4012);
  Refused(".__key(fffffff).x = 1", 4017);
  Refused(".a.x = \"text\"", 4021);
  size_t before = engine.store().Count();
  EXPECT_EQ(engine.Command("free .a.x"), 4014);
  EXPECT_EQ(engine.store().Count(), before);
  Write("nameless", "class nameless {\n double\n}\n");
  Write("badtype", "class badtype {\n matrix m\n}\n");
  Write("cyca", "class cyca, inherit(cycb) {\n}\n");
  Write("cycb", "class cycb, inherit(cyca) {\n}\n");
  Write("open", "class open {\n double x\n");
  Refused(".n = .new nameless", 198);
  EXPECT_NE(host.errors.find("attribute declaration requires a name"), std::string::npos);
  Refused(".n = .new badtype", 198);
  EXPECT_NE(host.errors.find("not a valid attribute type"), std::string::npos);
  Refused(".n = .new cyca", 4020);
  Refused(".n = .new open", 4042);
  Refused(".n = .new missing", 4001);
  // Nothing of the failed classes stays defined.
  Refused(".n = .new cycb", 4020);
  // Unchanged by all of it.
  EXPECT_EQ(Num(".a.x"), 1);
  EXPECT_EQ(KeyOf(".box.other"), KeyOf(".p3"));
}

TEST_F(ClassEngine, InheritedLayoutComesFirstAndMembersAreFoundInSuperclasses) {
  Run(".p = .new pt3");
  EXPECT_EQ(Num(".p.x"), 1);
  EXPECT_EQ(Num(".p.z"), 3);
  EXPECT_EQ(Num(".p.shared"), 7);
  const Object* p = engine.store().Find(KeyOf(".p"));
  EXPECT_EQ(p->num_attribs, 4);
  EXPECT_EQ(engine.store().Find(engine.store().ArrayGet(p->attrib_array, 4))->num, 3);
  EXPECT_EQ(Text(".p.isofclass pt"), "1");
  Run(".a = .new pt");
  EXPECT_EQ(Text(".a.isofclass pt3"), "0");
  Run(".q = .p");
  EXPECT_EQ(host.counters["oncopy"], 1);  // the superclass's program
}

TEST_F(ClassEngine, AReferenceCycleIsFreedAndContextsEndWithTheirProgram) {
  size_t empty = engine.store().Count();
  Run(".b1 = .new box");
  Run(".b2 = .new box");
  Run(".b1.other.ref = .b2.ref");
  Run(".b2.other.ref = .b1.ref");
  ASSERT_EQ(engine.Command("free .b1"), 0);
  EXPECT_EQ(host.counters["destructor"], 0);
  ASSERT_EQ(engine.Command("free .b2"), 0);
  EXPECT_EQ(host.counters["destructor"], 2);
  ASSERT_EQ(engine.Command("free _all"), 0);
  EXPECT_EQ(engine.store().Count(), empty);
  // Freeing the classes destroys the point the box prototype held.
  EXPECT_EQ(host.counters["destructor"], 3);
  // A program's own objects are freed when it returns.
  host.programs["maker"] = {".tmp = .new pt", ".tmp2 = .new pt"};
  ASSERT_EQ(host.RunProgram("maker", ""), 0);
  EXPECT_EQ(host.counters["destructor"], 5);
  Slot s;
  EXPECT_EQ(engine.Resolve(".tmp", &s, true), 4012);
  EXPECT_EQ(engine.Check(), "");
}

TEST_F(ClassEngine, AnObjectReplacedByItsOwnProgramIsDestroyedWhenTheProgramReturns) {
  Write("renew", "class renew {\n double x = 1\n}\n"
                 "program .again\n.a = .new renew\nend\n"
                 "program .destructor\n count renewed\nend\n");
  Run(".a = .new renew");
  Run(".a.x = 5");
  Run(".a.again");
  // The running object was kept while its program ran, then nothing held it.
  EXPECT_EQ(host.counters["renewed"], 1);
  EXPECT_EQ(Num(".a.x"), 1);
  EXPECT_EQ(engine.Check(), "");
}

TEST_F(ClassEngine, EndlessMemberRecursionStopsAtTheNestingLimit) {
  Write("rec", "class rec {\n double n\n}\nprogram .down\n .n = 1\n .down\nend\n");
  Run(".r = .new rec");
  EXPECT_EQ(engine.Statement(".r.down"), 1000);
  EXPECT_EQ(Num(".r.n"), 1);
  EXPECT_EQ(engine.Check(), "");
}

TEST_F(ClassEngine, ArraysGrowByNodesAndKeepOrder) {
  Run(".box = .new box");
  for (int i = 1; i <= 20; ++i) Run(".box.list.Arrpush " + std::to_string(i * 10));
  const Object* list = engine.store().Find(KeyOf(".box.list"));
  EXPECT_EQ(list->nels, 20);
  EXPECT_EQ(list->size, 24);  // three nodes of eight
  EXPECT_EQ(Num(".box.list[17]"), 170);
  Run(".box.list.Arrdropel 3");
  EXPECT_EQ(Num(".box.list[3]"), 40);
  EXPECT_EQ(Text(".box.list.arrnels"), "19");
  EXPECT_EQ(Text(".box.list.arrindexof 200"), "19");
  EXPECT_EQ(engine.Statement(".box.list[0] = 1"), 4016);
  Run(".box.list.Arrdropall");
  EXPECT_EQ(Text(".box.list.arrnels"), "0");
  EXPECT_EQ(engine.Statement(".box.list.Arrpop"), 4015);
  EXPECT_EQ(engine.Check(), "");
}

TEST_F(ClassEngine, SectionWordsNeedTheirColonAndEnoughLetters) {
  Write("s1", "class s1 {\n * comment\n classw:\n double c\n instance:\n double i\n}\n");
  Run(".a = .new s1");
  const Object* ct = engine.store().Find(engine.ClassOf(KeyOf(".a")));
  EXPECT_EQ(ct->num_class_attribs, 1);
  EXPECT_EQ(engine.store().Find(KeyOf(".a"))->num_attribs, 1);
  Write("s2", "class s2 {\n clas:\n double c\n}\n");
  Refused(".b = .new s2", 198);
  Write("s3", "class s3 {\n classwide :\n double c\n}\n");
  Refused(".b = .new s3", 198);
}

TEST_F(ClassEngine, DescribeByKeyAndKeyNames) {
  Run(".a = .new pt");
  Key k = KeyOf(".a");
  EXPECT_EQ(Text(".a.objkey"), ObjectStore::KeyName(k));
  Key parsed = 0;
  EXPECT_EQ(ObjectStore::ParseKeyName(ObjectStore::KeyName(0x1f), &parsed), 9u);
  EXPECT_EQ(parsed, 0x1fu);
  ASSERT_EQ(engine.Describe(ObjectStore::KeyName(k)), 0);
  EXPECT_EQ(host.results["type"], "class");
  EXPECT_EQ(host.results["typecode"], "3");
  EXPECT_EQ(host.results["num_attribs"], "3");
  EXPECT_EQ(Num(ObjectStore::KeyName(k) + ".y"), 2);
  EXPECT_EQ(engine.Describe("__key(fffffff)"), 4017);
}

TEST_F(ClassEngine, OncopySrcNamesTheSourceOfTheCopyBeingMadeAndNothingElse) {
  Write("cp", "class cp {\n double x = 1\n double from = 0\n}\n"
              "program .oncopy\n .from = .oncopy_src.x\nend\n");
  Run(".a = .new cp");
  Run(".a.x = 4");
  Key a = KeyOf(".a");
  Key proto = engine.store().Find(engine.ClassOf(a))->prototype;
  std::vector<std::string> seen;
  host.before_run = [&](const std::string& program) {
    if (program != "cp.oncopy") return;
    // The instance being made is the one of class cp that is neither the
    // source nor the prototype.
    std::vector<Key> made;
    for (const auto& [k, o] : engine.store().All())
      if (o.type == TypeCode::Instance && engine.ClassName(k) == "cp" && k != a && k != proto)
        made.push_back(k);
    ASSERT_EQ(made.size(), 1u);
    for (const char* member : {".oncopy_src", ".oncopy_src.x"}) {
      std::string out;
      EXPECT_EQ(engine.MacroText(ObjectStore::KeyName(made[0]) + member, &out), 0) << member;
      seen.push_back(out);
    }
  };
  Run(".b = .a");
  host.before_run = nullptr;
  EXPECT_EQ(seen, (std::vector<std::string>{ObjectStore::KeyName(a), "4"}));
  EXPECT_EQ(Num(".b.from"), 4);
  EXPECT_EQ(Num(".b.x"), 4);
  // Outside a copy there is no source, whichever way it is asked for.
  Refused(".a.oncopy_src", 4012);
  Refused(".b.oncopy_src.x = 1", 4012);
  Slot s;
  EXPECT_EQ(engine.Resolve(".b.oncopy_src", &s, true), 4012);
}

TEST_F(ClassEngine, FreeTakesTopLevelInstancesByNameOrKeyAndRefusesAllElse) {
  Run(".p = .new pt");
  Run(".box = .new box");
  Run(".box.list.Arrpush 5");
  Run(".d = 5");
  Key p = KeyOf(".p");
  Cmd("free " + ObjectStore::KeyName(p));
  EXPECT_EQ(host.counters["destructor"], 1);
  EXPECT_FALSE(engine.store().Exists(p));
  Slot s;
  EXPECT_EQ(engine.Resolve(".p", &s, true), 4012);
  // Held inside another object, by key or by name.
  CmdRefused("free " + ObjectStore::KeyName(KeyOf(".box.p")), 4034);
  CmdRefused("free .box.p", 4034);
  // Parts of the store that are never unlinked alone.
  Key node = engine.store().Find(KeyOf(".box.list"))->node0;
  ASSERT_EQ(engine.store().Find(node)->type, TypeCode::ArrayNode);
  CmdRefused("free " + ObjectStore::KeyName(node), 4014);
  EXPECT_EQ(host.errors, "attempt to cls_unlink() an array node\n");
  Key context = kNullKey;
  for (const auto& [k, o] : engine.store().All())
    if (o.type == TypeCode::Context) context = k;
  ASSERT_NE(context, kNullKey);
  CmdRefused("free " + ObjectStore::KeyName(context), 4014);
  EXPECT_EQ(host.errors, "attempt to cls_unlink() a context\n");
  CmdRefused("free .d", 4014);
  EXPECT_EQ(host.errors, "rc 4014\n");
  // A type code the store does not know.
  Key d = KeyOf(".d");
  engine.store().Find(d)->type = static_cast<TypeCode>(77);
  host.errors.clear();
  EXPECT_EQ(engine.Command("free " + ObjectStore::KeyName(d)), 4006);
  EXPECT_EQ(host.errors, "attempt to cls_unlink() an object of unknown type\n");
  engine.store().Find(d)->type = TypeCode::Double;
  EXPECT_EQ(Num(".d"), 5);
  EXPECT_EQ(Num(".box.list[1]"), 5);
  EXPECT_EQ(host.counters["destructor"], 1);
  EXPECT_EQ(engine.Check(), "");
}

TEST_F(ClassEngine, ProgramsThatFreeEverythingMidStatementLeaveTheStoreWhole) {
  Write("killer", "class killer {\n double v = 1\n}\nprogram .new\n class free _all\nend\n");
  Write("kcopy", "class kcopy {\n double v = 1\n}\nprogram .oncopy\n class free _all\nend\n");
  Write("kholder", "class kholder {\n class k = .new kcopy\n double w = 2\n}\n");
  Write("runner", "class runner {\n class c\n}\nprogram .go\n .c = .new kholder\n class try\nend\n");
  // A constructor started by Declare frees the very instance declaring.
  Run(".a = .new pt");
  Run(".a.Declare class c = .new killer");
  EXPECT_EQ(engine.Check(), "");
  Slot s;
  EXPECT_EQ(engine.Resolve(".a", &s, true), 4012);
  // An oncopy run while a prototype is copied frees every class; the
  // instance made keeps its class, as the self-test inside the program sees.
  Run(".r = .new runner");
  Run(".r.go");
  EXPECT_EQ(engine.Check(), "");
  EXPECT_EQ(engine.Resolve(".r", &s, true), 4012);
  // A member run through macro text lets go of what it drops.
  Run(".b = .new box");
  Run(".b.list.Arrpush 5");
  std::string out;
  EXPECT_EQ(engine.MacroText(".b.list.Arrpop", &out), 0);
  EXPECT_EQ(engine.Check(), "");
  EXPECT_EQ(Text(".b.list.arrnels"), "0");
}

}  // namespace
}  // namespace nuvra::cls
