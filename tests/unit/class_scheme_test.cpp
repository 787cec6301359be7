// Schemes and styles: reading scheme files, inheritance between schemes,
// and filling instances from a style, with the notes printed when a style
// cannot be had.
#include "class/scheme.h"
#include "class_test_host.h"

#include <sstream>

namespace nuvra::cls {
namespace {

rc_t NoParent(const std::string&, const Scheme**) { return 4039; }

TEST(SchemeFile, StylesAreReadWithQuotesStrippedAndRepeatedBlocksMerged) {
  Scheme s;
  std::string why;
  ASSERT_EQ(ParseScheme("* comment\nscheme mine\n\nstyle box default {\n  size 2.5\n"
                        "  color \"dark blue\"\n  label.text a b c\n}\n"
                        "style box big {\n size 10\n}\nstyle box default {\n size 3\n}\n",
                        NoParent, &s, &why),
            0)
      << why;
  EXPECT_EQ(s.name, "mine");
  EXPECT_EQ(*s.Lookup("box", "default", "size"), "3");  // the later block wins
  EXPECT_EQ(*s.Lookup("box", "default", "color"), "dark blue");
  EXPECT_EQ(*s.Lookup("box", "default", "label.text"), "a b c");
  EXPECT_EQ(s.Lookup("box", "default", "width"), nullptr);
  EXPECT_EQ(s.Lookup("line", "default", "size"), nullptr);
  EXPECT_EQ(s.StyleNames("box"), (std::vector<std::string>{"default", "big"}));
  EXPECT_TRUE(s.StyleNames("line").empty());
}

TEST(SchemeFile, MalformedFilesSayWhatAndWhere) {
  struct Case {
    const char* text;
    const char* why;
  };
  const Case cases[] = {
      {"style box default {\n}\n", "scheme NAME expected (line 1)"},
      {"", "scheme NAME expected (line 0)"},
      {"scheme a\nstyle box {\n}\n", "style CLASS NAME { expected (line 2)"},
      {"scheme a\nstyle box big\n", "style CLASS NAME { expected (line 2)"},
      {"scheme a\nstyle box big {\n size\n}\n", "value required after size (line 3)"},
      {"scheme a\nstyle box big {\n 9size 1\n}\n", "9size invalid attribute name (line 3)"},
      {"scheme a\nstyle box big {\n size 1\n", "style big not closed by } (line 3)"},
      {"scheme a\nsize 1\n", "size not allowed; style CLASS NAME { expected (line 2)"},
      {"scheme a, parent(b)\n", "option parent(b) not allowed (line 1)"},
  };
  for (const Case& c : cases) {
    Scheme s;
    std::string why;
    EXPECT_EQ(ParseScheme(c.text, NoParent, &s, &why), 198) << c.text;
    EXPECT_EQ(why, c.why) << c.text;
  }
  Scheme s;
  std::string why;
  EXPECT_EQ(ParseScheme("scheme a, inherit(b)\n", NoParent, &s, &why), 4039);
}

TEST(SchemeFile, AnInheritingSchemeRestatesOnlyWhatItChanges) {
  Scheme parent;
  std::string why;
  ASSERT_EQ(ParseScheme("scheme base\nstyle box default {\n size 2\n color red\n}\n"
                        "style line default {\n width 1\n}\n",
                        NoParent, &parent, &why),
            0);
  auto load = [&](const std::string& name, const Scheme** out) -> rc_t {
    if (name != "base") return 4039;
    *out = &parent;
    return 0;
  };
  Scheme child;
  ASSERT_EQ(ParseScheme("scheme kid, inherit(base)\nstyle box default {\n size 5\n}\n"
                        "style box big {\n size 9\n}\n",
                        load, &child, &why),
            0)
      << why;
  EXPECT_EQ(child.parent, "base");
  EXPECT_EQ(*child.Lookup("box", "default", "size"), "5");
  EXPECT_EQ(*child.Lookup("box", "default", "color"), "red");
  EXPECT_EQ(*child.Lookup("line", "default", "width"), "1");
  EXPECT_EQ(*child.Lookup("box", "big", "size"), "9");
  // The parent is not changed by its child.
  EXPECT_EQ(*parent.Lookup("box", "default", "size"), "2");
  EXPECT_EQ(parent.FindStyle("box", "big"), nullptr);
}

class ClassStyles : public testing::ClassEngine {
 protected:
  void SetUp() override {
    ClassEngine::SetUp();
    Write("st", "class st {\n double size = 1\n string color = \"none\"\n class inner = .new pt\n}\n");
    Write("st2", "class st2, inherit(st) {\n double extra = 0\n}\n");
    Write("plain", "class plain {\n double size = 1\n}\n");
    WriteFile("scheme-default.scheme",
              "scheme default\nstyle st default {\n size 2\n color \"dark blue\"\n}\n"
              "style st big {\n size 10\n inner.x 77\n missing 5\n color red\n extra 4\n}\n");
    WriteFile("scheme-alt.scheme", "scheme alt, inherit(default)\nstyle st big {\n size 20\n}\n"
                                   "style st tiny {\n size 0.5\n}\n");
    WriteFile("scheme-bare.scheme", "scheme bare\nstyle st big {\n size 30\n}\n");
    WriteFile("scheme-bad.scheme", "scheme bad\nstyle st big\n");
    WriteFile("scheme-c1.scheme", "scheme c1, inherit(c2)\n");
    WriteFile("scheme-c2.scheme", "scheme c2, inherit(c1)\n");
    WriteFile("scheme-other.scheme", "scheme different\n");
  }
  std::string Note(const std::string& text) { return "{p 0 4}{txt}" + text + "{p_end}\n"; }
};

TEST_F(ClassStyles, SetstyleFillsAttributesAndRecordsTheIndex) {
  Run(".a = .new st");
  Run(".a.setstyle big");
  EXPECT_EQ(Num(".a.size"), 10);
  EXPECT_EQ(Text(".a.color"), "red");
  EXPECT_EQ(Num(".a.inner.x"), 77);  // a dotted path below an attribute
  EXPECT_EQ(Num(".a.styledex"), 2);  // default is first in the scheme, big second
  EXPECT_EQ(Text(".a.__STYLES[2]"), "big");
  EXPECT_EQ(host.printed, "");       // `missing` is passed over quietly
  // A subclass without styles of its own takes its superclass's.
  Run(".b = .new st2");
  Run(".b.setstyle big");
  EXPECT_EQ(Num(".b.size"), 10);
  EXPECT_EQ(Num(".b.extra"), 4);
  // No style name means the default style.
  Run(".c = .new st");
  Run(".c.setstyle");
  EXPECT_EQ(Num(".c.size"), 2);
  EXPECT_EQ(Text(".c.color"), "dark blue");
  EXPECT_EQ(engine.Check(), "");
}

TEST_F(ClassStyles, AStyleThatCannotBeHadIsANoteNotAnError) {
  Run(".a = .new st");
  Run(".a.size = 6");
  host.printed.clear();
  Run(".a.setstyle nosuch");
  EXPECT_EQ(host.printed, Note("(note:  named style nosuch not found in class st,  default attributes used)"));
  EXPECT_EQ(Num(".a.size"), 2);  // the default style's
  EXPECT_EQ(Num(".a.styledex"), 1);
  Run(".p = .new plain");
  host.printed.clear();
  Run(".p.setstyle big");
  EXPECT_EQ(host.printed, Note("(note:  could not create style for class plain in the current scheme)"));
  EXPECT_EQ(Num(".p.size"), 1);
  EXPECT_EQ(Text(".p.classmv.arrnels"), "0");  // no list of style names made
  host.printed.clear();
  Run(".a.styledex = 7");
  Run(".a._restyle");
  EXPECT_EQ(host.printed,
            Note("(note:  _restyle could not find style indexed 7 in the current scheme for class st)"));
  // Indices that are not whole numbers within the list, however large.
  for (const char* bad : {"1.5", "0", "-2", "1e300"}) {
    host.printed.clear();
    Run(std::string(".a.styledex = ") + bad);
    Run(".a._restyle");
    EXPECT_NE(host.printed.find("_restyle could not find style indexed"), std::string::npos) << bad;
  }
  EXPECT_EQ(Num(".a.size"), 2);
  // A member that is not an instance cannot be styled.
  Refused(".a.size.setstyle big", 4014);
  EXPECT_EQ(engine.Check(), "");
}

TEST_F(ClassStyles, ASchemeChangeKeepsIndicesAndRestyleReadsTheNewValues) {
  Run(".a = .new st");
  Run(".a.setstyle big");
  ASSERT_EQ(engine.UseScheme("alt"), 0) << host.errors;
  EXPECT_EQ(engine.CurrentSchemeName(), "alt");
  Run(".a._restyle");
  EXPECT_EQ(Num(".a.size"), 20);      // alt's big
  EXPECT_EQ(Text(".a.color"), "red");  // inherited from default's big
  Run(".a.setstyle tiny");
  EXPECT_EQ(Num(".a.styledex"), 3);  // appended after default and big
  EXPECT_EQ(Num(".a.size"), 0.5);
  // In a scheme without the indexed style, restyle says so.
  ASSERT_EQ(engine.UseScheme("bare"), 0);
  host.printed.clear();
  Run(".a._restyle");
  EXPECT_EQ(host.printed,
            Note("(note:  _restyle could not find style indexed 3 in the current scheme for class st)"));
  EXPECT_EQ(Num(".a.size"), 0.5);
  Run(".a.styledex = 2");
  Run(".a._restyle");
  EXPECT_EQ(Num(".a.size"), 30);
  // The same through the engine's own calls.
  ASSERT_EQ(engine.UseScheme("default"), 0);
  EXPECT_EQ(engine.SetStyle(KeyOf(".a"), "default"), 0);
  EXPECT_EQ(Num(".a.size"), 2);
  EXPECT_EQ(Num(".a.styledex"), 1);
  ASSERT_EQ(engine.UseScheme("bare"), 0);
  Run(".a.styledex = 2");
  EXPECT_EQ(engine.Restyle(KeyOf(".a")), 0);
  EXPECT_EQ(Num(".a.size"), 30);
  EXPECT_EQ(engine.SetStyle(KeyOf(".a.size"), "big"), 4014);
  EXPECT_EQ(engine.Check(), "");
}

TEST_F(ClassStyles, SchemesThatCannotBeReadAreRefusedAndTheCurrentOneStays) {
  EXPECT_EQ(engine.UseScheme("nosuch"), 4039);
  EXPECT_EQ(engine.UseScheme("bad"), 198);
  EXPECT_NE(host.errors.find("style CLASS NAME { expected (line 2) in scheme-bad.scheme"), std::string::npos);
  host.errors.clear();
  EXPECT_EQ(engine.UseScheme("c1"), 198);
  EXPECT_NE(host.errors.find("inherits from itself"), std::string::npos);
  EXPECT_EQ(engine.UseScheme("other"), 198);
  EXPECT_EQ(engine.UseScheme("../x"), 4039);
  EXPECT_EQ(engine.CurrentSchemeName(), "default");
  const Scheme* s = engine.CurrentScheme();
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(*s->Lookup("st", "default", "color"), "dark blue");
}

TEST_F(ClassStyles, WithoutAnySchemeFileStylingNotesAndGoesOn) {
  std::filesystem::remove(host.dir / "scheme-default.scheme");
  EXPECT_EQ(engine.CurrentScheme(), nullptr);
  Run(".a = .new st");
  Run(".a.setstyle big");
  EXPECT_EQ(host.printed, Note("(note:  could not create style for class st in the current scheme)"));
  EXPECT_EQ(Num(".a.size"), 1);
  EXPECT_EQ(host.errors, "");
}

TEST_F(ClassStyles, ASchemeGivenAsTextServesLikeOneReadFromItsFile) {
  ASSERT_EQ(engine.DefineScheme("mine", "scheme mine, inherit(default)\nstyle st big {\n size 40\n}\n"), 0)
      << host.errors;
  ASSERT_EQ(engine.UseScheme("mine"), 0);
  Run(".a = .new st");
  Run(".a.setstyle big");
  EXPECT_EQ(Num(".a.size"), 40);
  EXPECT_EQ(Text(".a.color"), "red");  // default's big, through the parent
  EXPECT_EQ(engine.DefineScheme("mine", "scheme mine\n"), 198);
  EXPECT_EQ(engine.DefineScheme("other2", "scheme different\n"), 198);
  EXPECT_EQ(engine.DefineScheme("../x", "scheme x\n"), 4039);
  EXPECT_EQ(engine.DefineScheme("broken", "scheme broken\nstyle st big\n"), 198);
  // Nothing of a refused scheme is kept, and the current one stays.
  EXPECT_EQ(engine.UseScheme("broken"), 4039);
  EXPECT_EQ(engine.CurrentSchemeName(), "mine");
  Run(".a._restyle");
  EXPECT_EQ(Num(".a.size"), 40);
  EXPECT_EQ(engine.Check(), "");
}

// The default scheme shipped in the ado tree, which sits beside the
// executables of a build.
TEST(SchemeFile, TheShippedDefaultSchemeReadsAndEveryClassHasADefaultStyle) {
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe");
  std::filesystem::path file = exe.parent_path().parent_path() / "ado" / "base" / "s" / SchemeFileName("default");
  if (!std::filesystem::exists(file)) GTEST_SKIP() << file << " not found";
  std::ifstream in(file);
  std::stringstream text;
  text << in.rdbuf();
  Scheme s;
  std::string why;
  ASSERT_EQ(ParseScheme(text.str(), NoParent, &s, &why), 0) << why;
  EXPECT_EQ(s.name, "default");
  EXPECT_FALSE(s.classes.empty());
  for (const auto& [cls, styles] : s.classes) {
    EXPECT_NE(s.FindStyle(cls, "default"), nullptr) << cls;
    // Every style of a class sets what its default style sets.
    for (const StyleDef& d : styles)
      for (const StyleEntry& e : s.FindStyle(cls, "default")->entries)
        EXPECT_NE(d.Find(e.attribute), nullptr) << cls << " " << d.name << " " << e.attribute;
  }
}

}  // namespace
}  // namespace nuvra::cls
