// The undo log, the subcommands that change or name one object, and the
// active context: each change and its roll-back checked by value, each
// refusal by its code with the store left consistent.
#include "class_test_host.h"

namespace nuvra::cls {
namespace {

class ClassUndo : public testing::ClassEngine {
 protected:
  void SetUp() override {
    ClassEngine::SetUp();
    Write("lg", "class lg {\n array __LOG\n double x = 1\n string s = \"a\"\n"
                " class p = .new pt\n class q\n}\n"
                "program .setboth\n .x = 7\n .s = \"b\"\nend\n");
  }
  int LogSize(const std::string& owner) { return engine.store().ArrayNels(KeyOf(owner + ".__LOG")); }
};

TEST_F(ClassUndo, OneCommandIsOneGroupAndTheLatestGroupIsUndoneFirst) {
  Run(".g = .new lg");
  EXPECT_EQ(LogSize(".g"), 0);  // making the instance is not a change
  Run(".g.x = 5");
  // <BeginCmd>, the old value of x, <EndCmd>
  ASSERT_EQ(LogSize(".g"), 3);
  Key log = KeyOf(".g.__LOG");
  const Object* first = engine.store().Find(engine.store().ArrayGet(log, 1));
  const Object* entry = engine.store().Find(engine.store().ArrayGet(log, 2));
  const Object* last = engine.store().Find(engine.store().ArrayGet(log, 3));
  EXPECT_EQ(first->text, "<BeginCmd>");
  EXPECT_EQ(last->text, "<EndCmd>");
  EXPECT_EQ(entry->type, TypeCode::Double);
  EXPECT_EQ(entry->num, 1);
  EXPECT_EQ(entry->name, ObjectStore::KeyName(KeyOf(".g")) + ".x");
  // A member program changing two attributes is still one command.
  Run(".g.setboth");
  EXPECT_EQ(LogSize(".g"), 3 + 4);
  EXPECT_EQ(Num(".g.x"), 7);
  EXPECT_EQ(Text(".g.s"), "b");
  Cmd("undo");
  EXPECT_EQ(Num(".g.x"), 5);
  EXPECT_EQ(Text(".g.s"), "a");
  EXPECT_EQ(LogSize(".g"), 3);
  Cmd("undo .g");
  EXPECT_EQ(Num(".g.x"), 1);
  EXPECT_EQ(LogSize(".g"), 0);
  CmdRefused("undo", 4037);
  CmdRefused("undo .g", 4037);
  // Two groups at once, by count.
  Run(".g.x = 2");
  Run(".g.x = 3");
  Run(".g.x = 4");
  Cmd("undo .g 2");
  EXPECT_EQ(Num(".g.x"), 2);
  EXPECT_EQ(Text(".g._undoLOG"), "");
  EXPECT_EQ(Num(".g.x"), 1);
  // Undo inside a member program takes back what the program did so far.
  Write("lg2", "class lg2 {\n array __LOG\n double x = 1\n}\n"
               "program .setundo\n .x = 2\n class undo\n .x = 3\nend\n");
  Run(".h = .new lg2");
  Run(".h.x = 9");
  Run(".h.setundo");
  EXPECT_EQ(Num(".h.x"), 3);
  Cmd("undo .h");
  EXPECT_EQ(Num(".h.x"), 9);
  EXPECT_EQ(engine.Check(), "");
}

TEST_F(ClassUndo, UndoPutsBackReplacedObjectsAndKeepsChangedOnesInPlace) {
  Run(".g = .new lg");
  // A reference to the attribute sees the roll-back: the object is the same.
  Run(".r.ref = .g.x.ref");
  Key x = KeyOf(".g.x");
  Run(".g.x = 5");
  EXPECT_EQ(Num(".r"), 5);
  Cmd("undo");
  EXPECT_EQ(Num(".r"), 1);
  EXPECT_EQ(KeyOf(".g.x"), x);
  // An empty class slot filled, then emptied again: the instance is freed.
  Run(".g.q = .new pt");
  EXPECT_EQ(Text(".g.q.classname"), "pt");
  Cmd("undo");
  EXPECT_EQ(Text(".g.q.objtype"), "attribute");
  EXPECT_EQ(host.counters["destructor"], 1);
  // An instance replaced by one of a subclass, then the original back.
  Run(".g.p.x = 30");  // p keeps no log of its own: not undoable
  Run(".g.p = .new pt3");
  EXPECT_EQ(Text(".g.p.classname"), "pt3");
  Cmd("undo");
  EXPECT_EQ(Text(".g.p.classname"), "pt");
  EXPECT_EQ(Num(".g.p.x"), 30);
  EXPECT_EQ(host.counters["destructor"], 2);  // the pt3 contents
  // `class set` changes the type; undo brings the double back.
  Cmd("set .g.x = \"text\"");
  EXPECT_EQ(Text(".g.x.objtype"), "string");
  Cmd("undo");
  EXPECT_EQ(Text(".g.x.objtype"), "double");
  EXPECT_EQ(Num(".g.x"), 1);
  // A reference assigned and undone.
  Run(".a = .new pt");
  Run(".g.q.ref = .a.ref");
  EXPECT_EQ(KeyOf(".g.q"), KeyOf(".a"));
  Cmd("undo");
  EXPECT_EQ(Text(".g.q.objtype"), "attribute");
  EXPECT_EQ(Num(".a.x"), 1);
  EXPECT_EQ(engine.Check(), "");
}

TEST_F(ClassUndo, ACopyStartsWithAnEmptyLogAndNeverUndoesItsSource) {
  Run(".g = .new lg");
  Run(".g.x = 5");
  Run(".h = .g");
  EXPECT_EQ(Num(".h.x"), 5);
  EXPECT_EQ(LogSize(".h"), 0);
  CmdRefused("undo .h", 4037);
  EXPECT_EQ(Num(".g.x"), 5);
  Run(".h.x = 6");
  Cmd("undo .h");
  EXPECT_EQ(Num(".h.x"), 5);
  EXPECT_EQ(Num(".g.x"), 5);
  Cmd("undo .g");
  EXPECT_EQ(Num(".g.x"), 1);
  EXPECT_EQ(Num(".h.x"), 5);
  // Copied into an attribute of another logged instance, the same.
  Run(".g.x = 7");
  Write("lgbox", "class lgbox {\n class inner\n}\n");
  Run(".b = .new lgbox");
  Run(".b.inner = .g");
  EXPECT_EQ(LogSize(".b.inner"), 0);
  EXPECT_EQ(engine.Check(), "");
}

TEST_F(ClassUndo, UndoAcrossLogsChecksThemAllFirstAndTakesThisCommandsGroupsFirst) {
  Write("lg2", "class lg2 {\n array __LOG\n double x = 1\n}\n"
               "program .setundo\n .x = 2\n class undo\n .x = 3\nend\n");
  Run(".g = .new lg");
  Run(".h = .new lg2");
  Run(".h.x = 9");
  Run(".g.x = 5");
  // The latest group overall is g's, but the one the program has open is
  // the latest of all.
  Run(".h.setundo");
  EXPECT_EQ(Num(".h.x"), 3);
  EXPECT_EQ(Num(".g.x"), 5);
  Cmd("undo .h");
  EXPECT_EQ(Num(".h.x"), 9);
  // Two groups in two logs, one of them damaged: nothing is undone.
  Run(".h.x = 6");
  Run(".g.__LOG.Arrpop");
  CmdRefused("undo 2", 4036);
  EXPECT_EQ(Num(".h.x"), 6);
  EXPECT_EQ(Num(".g.x"), 5);
  // Both whole again: both undone, latest first.
  Run(".g.__LOG.Arrdropall");
  Run(".g.x = 7");
  Run(".h.x = 8");
  Cmd("undo 2");
  EXPECT_EQ(Num(".g.x"), 5);
  EXPECT_EQ(Num(".h.x"), 6);
  EXPECT_EQ(engine.Check(), "");
}

TEST_F(ClassUndo, LogLevelLogOwnerAndAllon) {
  Run(".g = .new lg");
  Run(".a = .new pt");
  EXPECT_EQ(Text(".g._loglevel"), "1");
  EXPECT_EQ(Text(".a._loglevel"), "0");  // no __LOG
  Refused(".a.x._loglevel", 4014);
  Refused(".g._loglevel x", 198);
  Run(".g._loglevel 0");
  Run(".g.x = 5");
  EXPECT_EQ(LogSize(".g"), 0);
  CmdRefused("undo .g", 4037);
  Run(".g._loglevel 1");
  // Changes below the owner are not its own until allon.
  Run(".g.p.x = 9");
  EXPECT_EQ(LogSize(".g"), 0);
  EXPECT_EQ(Text(".g.p._lref"), "");
  Run(".g.allon");
  EXPECT_EQ(Text(".g.p._lref"), ObjectStore::KeyName(KeyOf(".g")));
  Run(".g.p.x = 10");
  EXPECT_EQ(LogSize(".g"), 3);
  Cmd("undo .g");
  EXPECT_EQ(Num(".g.p.x"), 9);
  // Undo named by the instance whose change it was goes to its owner's log.
  Run(".g.p.y = 11");
  Cmd("undo .g.p");
  EXPECT_EQ(Num(".g.p.y"), 2);
  // _lref sends another instance's changes to this log.
  Run(".a._lref .g");
  Run(".a.x = 4");
  EXPECT_EQ(LogSize(".g"), 3);
  Cmd("undo");
  EXPECT_EQ(Num(".a.x"), 1);
  Refused(".a._lref .g.x", 4014);
  // allon on an instance without a log gives it one of its own.
  Run(".a.allon");
  EXPECT_EQ(Text(".a.dynamicmv.arrnels"), "1");
  EXPECT_EQ(Text(".a._lref"), ObjectStore::KeyName(KeyOf(".a")));
  Run(".a.y = 3");
  EXPECT_EQ(LogSize(".g"), 0);
  Cmd("undo .a");
  EXPECT_EQ(Num(".a.y"), 2);
  EXPECT_EQ(engine.Check(), "");
}

TEST_F(ClassUndo, ADamagedOrMissingLogIsRefusedAndNothingChanges) {
  Run(".g = .new lg");
  Run(".a = .new pt");
  Run(".g.x = 5");
  Run(".g.x = 6");
  Run(".g.__LOG.Arrpop");  // the last <EndCmd> is gone
  CmdRefused("undo .g", 4036);
  EXPECT_EQ(Num(".g.x"), 6);
  Run(".g.__LOG.Arrdropel 1");  // the first <BeginCmd> is gone
  Run(".g.__LOG.Arrdropel 4");  // and the rest of the second group
  Run(".g.__LOG.Arrdropel 3");
  ASSERT_EQ(LogSize(".g"), 2);  // old value and <EndCmd>: no begin
  CmdRefused("undo .g", 4036);
  EXPECT_EQ(Num(".g.x"), 6);
  CmdRefused("undo .a", 4035);
  CmdRefused("undo .a.x", 4014);
  CmdRefused("undo .nobody", 4012);
  CmdRefused("undo .g 0", 198);
  CmdRefused("undo .g .a", 198);
  Refused(".a._undoLOG", 4035);
  EXPECT_EQ(engine.Check(), "");
}

TEST_F(ClassUndo, TheActiveContextKeepsObjectsBeyondTheirProgram) {
  Run(".keep = .new pt");
  host.programs["maker"] = {".made = .new pt"};
  ASSERT_EQ(host.RunProgram("maker", ""), 0);
  Slot s;
  EXPECT_EQ(engine.Resolve(".made", &s, true), 4012);
  EXPECT_EQ(host.counters["destructor"], 1);
  host.programs["keeper"] = {".keep._set_to_active_context", ".made = .new pt",
                             ".keep._clear_active_context", ".later = .new pt"};
  ASSERT_EQ(host.RunProgram("keeper", ""), 0) << host.errors;
  EXPECT_EQ(engine.Resolve(".made", &s, true), 0);
  EXPECT_EQ(engine.Resolve(".later", &s, true), 4012);
  EXPECT_EQ(host.counters["destructor"], 2);
  Refused(".keep._clear_active_context", 4033);
  Refused(".keep.x._set_to_active_context", 4032);
  // An active context that ends is no longer active.
  host.programs["inner"] = {".mine = .new pt", ".mine._set_to_active_context"};
  ASSERT_EQ(host.RunProgram("inner", ""), 0);
  Refused(".keep._clear_active_context", 4033);
  EXPECT_EQ(engine.Check(), "");
}

TEST_F(ClassUndo, ModifyChangesInPlaceAndSetReplaces) {
  Run(".a = 5");
  Cmd("modify .a = 6");
  EXPECT_EQ(Num(".a"), 6);
  CmdRefused("modify .a = \"s\"", 4021);
  EXPECT_EQ(Num(".a"), 6);
  CmdRefused("modify .b = 1", 4012);
  CmdRefused("modify .a", 198);
  CmdRefused("modif .a = 1", 198);
  EXPECT_NE(host.errors.find("not a class definition or subcommand"), std::string::npos);
  Run(".p = .new pt");
  Run(".box = .new box");
  Run(".box.other.ref = .p.ref");
  Cmd("modify .box.other.x = 3");
  EXPECT_EQ(Num(".p.x"), 3);
  // set replaces the reference itself, not what it refers to.
  Cmd("set .box.other = 4");
  EXPECT_EQ(Num(".box.other"), 4);
  EXPECT_EQ(Text(".p.classname"), "pt");
  EXPECT_EQ(Num(".p.x"), 3);
  Cmd("set .a = \"text\"");
  EXPECT_EQ(Text(".a"), "text");
  Cmd("set .c = 2");
  EXPECT_EQ(Num(".c"), 2);
  CmdRefused("set .p.oncopy = 1", 4025);
  CmdRefused("modify .p.oncopy = 1", 4025);
  CmdRefused("set .p.nothing.deeper = 1", 4012);
  CmdRefused("set .p.classname = 1", 4012);
  EXPECT_EQ(engine.Check(), "");
}

TEST_F(ClassUndo, NameofGivesTheShortestDottedNameGlobalOrLocal) {
  Run(".p = .new pt");
  Run(".box = .new box");
  Cmd("nameof .box.p.y");
  EXPECT_EQ(host.results["name"], ".box.p.y");
  EXPECT_NE(host.printed.find(".box.p.y\n"), std::string::npos);
  Cmd("nameof " + ObjectStore::KeyName(KeyOf(".box.p")));
  EXPECT_EQ(host.results["name"], ".box.p");
  // Through a reference: the name of the object, the shortest one.
  Run(".box.other.ref = .p.ref");
  Cmd("nameof .box.other");
  EXPECT_EQ(host.results["name"], ".p");
  Run(".box.list.Arrpush 5");
  Run(".box.list.Arrpush 6");
  Cmd("nameof .box.list[2]");
  EXPECT_EQ(host.results["name"], ".box.list[2]");
  // A prototype has no dotted name: its key is its name.
  Key proto = engine.store().Find(engine.ClassOf(KeyOf(".p")))->prototype;
  Cmd("nameof " + ObjectStore::KeyName(proto));
  EXPECT_EQ(host.results["name"], ObjectStore::KeyName(proto));
  // Inside a member program the local form starts from its instance.
  Write("nest", "class nest {\n class inner = .new pt\n}\n"
                "program .whl\n class nameoflocal .inner.x\nend\n"
                "program .whg\n class nameof .inner.x\nend\n");
  Run(".n = .new nest");
  Run(".n.whl");
  EXPECT_EQ(host.results["name"], ".inner.x");
  Run(".n.whg");
  EXPECT_EQ(host.results["name"], ".n.inner.x");
  // At top level the local form is the global one.
  Cmd("nameoflocal .n.inner.x");
  EXPECT_EQ(host.results["name"], ".n.inner.x");
  CmdRefused("nameof", 198);
  CmdRefused("nameof .p .box", 198);
  CmdRefused("nameof .nobody", 4012);
  CmdRefused("nameofl .p", 198);
}

TEST_F(ClassUndo, ToplevelTryDumpAndProgramDirectory) {
  Run(".one = 1");
  Run(".two = .new pt");
  Cmd("toplevel");
  EXPECT_EQ(host.results["names"], "one two");
  // Inside a program its own objects come first.
  host.programs["lister"] = {".three = 3", "class toplevel"};
  ASSERT_EQ(host.RunProgram("lister", ""), 0);
  EXPECT_EQ(host.results["names"], "three one two");
  CmdRefused("toplevel x", 198);
  CmdRefused("toplev", 198);

  host.printed.clear();
  Cmd("try");
  EXPECT_NE(host.printed.find("self-test passed"), std::string::npos);
  // A damaged store is found.
  Object* two = engine.store().Find(KeyOf(".two"));
  two->num_attribs = 99;
  host.errors.clear();
  EXPECT_EQ(engine.Command("try"), 4052);
  EXPECT_NE(host.errors.find("attribute counts disagree"), std::string::npos);
  two->num_attribs = 3;
  Cmd("try");

  host.printed.clear();
  Cmd("_dmm");
  size_t lines = 0;
  for (char c : host.printed) lines += c == '\n';
  EXPECT_EQ(lines, engine.store().Count() + 1);  // a heading, then one line each
  CmdRefused("_dmm all", 198);

  host.printed.clear();
  Cmd("pgmdir pt");
  EXPECT_NE(host.printed.find("class pt\n"), std::string::npos);
  EXPECT_NE(host.printed.find(".oncopy"), std::string::npos);
  EXPECT_NE(host.printed.find("pt.destructor"), std::string::npos);
  host.printed.clear();
  Cmd("pgmdir pt3");
  EXPECT_NE(host.printed.find("class pt3, inherits pt\n"), std::string::npos);
  EXPECT_NE(host.printed.find("(no member programs)"), std::string::npos);
  CmdRefused("pgmdir nosuch", 4001);
}

}  // namespace
}  // namespace nuvra::cls
