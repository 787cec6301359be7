// The host interface against the real interpreter: refused calls leave
// the dataset, macros and value labels exactly as they were; drop, keep,
// rename, formats, labels, views onto views, temporary names, macro
// expansion; and the session built-ins (timers shared with `timer`,
// version, c(), output styles, Break control).
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "data/missing.h"
#include "interp/interp.h"
#include "test_side.h"

namespace nuvra {
namespace {

class LumoHostSession : public ::testing::Test {
 protected:
  // x double 1 2 3, s str3 "a" "bb" "ccc", g byte 1 2 1 labelled by gl.
  LumoHostSession() : ip(&side) {
    int x, s, g;
    EXPECT_EQ(ip.dataset.add_variable("x", 255, &x), 0);
    EXPECT_EQ(ip.dataset.add_variable("s", 3, &s), 0);
    EXPECT_EQ(ip.dataset.add_variable("g", 251, &g), 0);
    EXPECT_EQ(ip.dataset.set_obs(3), 0);
    const char* strs[] = {"a", "bb", "ccc"};
    for (int i = 1; i <= 3; ++i) {
      ip.dataset.store(x, i, i);
      ip.dataset.store_str(s, i, strs[i - 1]);
      ip.dataset.store(g, i, i == 2 ? 2 : 1);
    }
    EXPECT_EQ(ip.dataset.value_labels().define("gl", 1, "one"), 0);
    EXPECT_EQ(ip.dataset.value_labels().define("gl", 2, "two"), 0);
    EXPECT_EQ(ip.dataset.set_value_label_name(g, "gl"), 0);
    ip.macros.set_global("G", "zz");
  }
  rc_t run(const std::string& line) {
    side.text.clear();
    rc_t rc = ip.execute_line(line);
    ip.out.flush();
    return rc;
  }
  // A Lumo expression's value, shown through a global macro.
  std::string value(const std::string& expr) {
    EXPECT_EQ(run("lumo: nv_global(\"R\", " + expr + ")"), 0) << side.text;
    const std::string* r = ip.macros.global("R");
    return r ? *r : "<none>";
  }
  std::map<int32_t, std::string> label(const char* name) {
    const data::ValueLabel* vl = ip.dataset.value_labels().get(name);
    return vl ? vl->decode() : std::map<int32_t, std::string>{{-1, "<none>"}};
  }
  testing::CaptureSide side;
  Interp ip;
};

TEST_F(LumoHostSession, RefusedCallsChangeNothing) {
  uint64_t before = ip.dataset.checksum();
  std::map<int32_t, std::string> gl = label("gl");
  struct Case {
    const char* call;
    rc_t rc;
  };
  const Case cases[] = {
      {"nv_dropvar(\"x nosuch\")", 3500},
      {"nv_keepvar((1, 9))", 3300},
      {"nv_dropobsin((1, 4))", 3300},
      {"nv_keepobsin(0)", 3300},
      {"nv_dropobsif((1 \\ 0))", 3200},
      {"nv_keepobsif((1, 0, 1))", 3200},
      {"nv_varrename(\"x\", \"s\")", 3300},
      {"nv_varrename(\"x\", \"1bad\")", 3300},
      {"nv_varrename(4, \"y\")", 3300},
      {"nv_varformat(\"s\", \"%9.2f\")", 3300},
      {"nv_varformat(\"x\", \"%5s\")", 3300},
      {"nv_varformat(\"x\", \"junk\")", 3300},
      {"nv_varvaluelabel(\"s\", \"gl\")", 3300},
      {"nv_varvaluelabel(\"g\", \"1gl\")", 3300},
      {"nv_varlabel(\"x\", 5)", 3254},
      {"nv_vlmodify(\"gl\", (3, 4.5), (\"three\", \"x\"))", 3300},
      {"nv_vlmodify(\"gl\", (3, 4), \"three\")", 3200},
      {"nv_vlmodify(\"gl\", 3, 3)", 3254},
      {"nv_vldrop(\"g l\")", 3300},
      {"nv_vldrop(1)", 3254},
      {"nv_strscalar(\"c(os)\", \"x\")", 3300},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(run(std::string("lumo: ") + c.call), c.rc) << c.call << "\n" << side.text;
    EXPECT_EQ(ip.dataset.checksum(), before) << c.call;
    EXPECT_EQ(label("gl"), gl) << c.call;
    EXPECT_EQ(ip.dataset.nvar(), 3) << c.call;
    EXPECT_EQ(ip.dataset.name(1), "x") << c.call;
    EXPECT_EQ(ip.dataset.format(1), "%10.0g") << c.call;
    EXPECT_EQ(ip.dataset.value_label_name(3), "gl") << c.call;
  }
  // Views onto views refuse rows and columns the view does not have.
  ASSERT_EQ(run("lumo: V = .; nv_view(V, ., \"x\")"), 0) << side.text;
  EXPECT_EQ(run("lumo: W = .; nv_subview(W, V, 4, 1)"), 3300);
  EXPECT_EQ(run("lumo: nv_subview(W, V, 1, 2)"), 3300);
  EXPECT_EQ(run("lumo: nv_select(W, V, (1, 0))"), 3200);
  EXPECT_EQ(ip.dataset.checksum(), before);
}

TEST_F(LumoHostSession, AttributesLabelsAndNames) {
  ASSERT_EQ(run("lumo: nv_varrename(1, \"y\"); nv_varformat(\"y\", \"%9.2f\"); nv_varlabel(\"y\", \"Weight (kg)\")"), 0)
      << side.text;
  EXPECT_EQ(ip.dataset.name(1), "y");
  EXPECT_EQ(ip.dataset.format(1), "%9.2f");
  EXPECT_EQ(ip.dataset.label(1), "Weight (kg)");
  EXPECT_EQ(value("nv_varformat(1) + \"|\" + nv_varlabel(\"y\") + \"|\" + nv_varvaluelabel(3)"),
            "%9.2f|Weight (kg)|gl");
  ASSERT_EQ(run("lumo: nv_varlabel(1, 100 * \"a\")"), 0);
  EXPECT_EQ(ip.dataset.label(1), std::string(80, 'a'));
  EXPECT_EQ(value("strofreal(nv_isfmt(\"%9.2f\")) + strofreal(nv_isnumfmt(\"%5s\")) + "
                  "strofreal(nv_isstrfmt(\"%5s\")) + strofreal(nv_isfmt(\"%q\"))"),
            "1010");

  // Value labels: modify (an empty text removes), map, search, load.
  ASSERT_EQ(run("lumo: nv_vlmodify(\"gl\", (3, 1), (\"three\", \"\"))"), 0) << side.text;
  EXPECT_EQ(label("gl"), (std::map<int32_t, std::string>{{2, "two"}, {3, "three"}}));
  ASSERT_EQ(run("lumo: L = nv_vlmap(\"gl\", (1, 2, 3, .)); nv_global(\"R\", L[1] + \"|\" + L[2] + \"|\" + L[3] + \"|\" + L[4])"), 0)
      << side.text;
  EXPECT_EQ(*ip.macros.global("R"), "|two|three|");
  EXPECT_EQ(value("strofreal(nv_vlsearch(\"gl\", \"three\")) + \",\" + strofreal(nv_vlsearch(\"gl\", \"zz\"))"), "3,.");
  ASSERT_EQ(run("lumo: v = .; t = \"\"; nv_vlload(\"gl\", v, t); nv_global(\"R\", strofreal(rows(v)) + strofreal(v[2]) + t[1])"),
            0)
      << side.text;
  EXPECT_EQ(*ip.macros.global("R"), "23two");
  ASSERT_EQ(run("lumo: nv_vlmodify(\"new\", .a, \"missing a\")"), 0) << side.text;
  EXPECT_EQ(value("nv_vlmap(\"new\", .a) + strofreal(nv_vlexists(\"new\"))"), "missing a1");
  ASSERT_EQ(run("lumo: nv_vldrop(\"new\")"), 0);
  EXPECT_EQ(value("strofreal(nv_vlexists(\"new\"))"), "0");
  // Removing the last value drops the label.
  ASSERT_EQ(run("lumo: nv_vlmodify(\"gl\", (2, 3), (\"\", \"\"))"), 0);
  EXPECT_FALSE(ip.dataset.value_labels().exists("gl"));

  // Temporary names, macro expansion, string scalars, the changed flag.
  EXPECT_EQ(value("nv_tempname(2)[1] + \" \" + nv_tempname()"), "__000000 __000002");
  // The dollar sign is made inside Lumo, or the command line would have
  // expanded the macro before Lumo saw it.
  EXPECT_EQ(value("nv_macroexpand(\"a \" + char(36) + \"G b\")"), "a zz b");
  ASSERT_EQ(run("lumo: r = \"\"; k = _nv_macroexpand(\"<\" + char(36) + \"G>\", r); nv_global(\"R\", strofreal(k) + r)"), 0) << side.text;
  EXPECT_EQ(*ip.macros.global("R"), "0<zz>");
  ASSERT_EQ(run("lumo: nv_strscalar(\"ss\", \"text\")"), 0) << side.text;
  ASSERT_TRUE(ip.scalars.count("ss"));
  EXPECT_TRUE(ip.scalars["ss"].is_string);
  EXPECT_EQ(ip.scalars["ss"].str, "text");
  EXPECT_EQ(value("nv_strscalar(\"ss\") + \"|\" + nv_strscalar(\"none\")"), "text|");
  ASSERT_EQ(run("lumo: nv_updata(0)"), 0);
  EXPECT_FALSE(ip.dataset.changed());
  EXPECT_EQ(value("strofreal(nv_updata())"), "0");
}

TEST_F(LumoHostSession, DropKeepAndViewsOntoViews) {
  ASSERT_EQ(run("lumo: V = .; nv_view(V, ., \"x\"); W = .; nv_subview(W, V, (3 \\ 1), 1); W[1] = 30"), 0)
      << side.text;
  EXPECT_EQ(ip.dataset.fetch(1, 3), 30);
  EXPECT_EQ(value("lumo_representation(W) + strofreal(W[2])"), "View21");
  ASSERT_EQ(run("lumo: S = .; nv_select(S, V, (1 \\ 0 \\ 1)); S[2] = 33"), 0) << side.text;
  EXPECT_EQ(ip.dataset.fetch(1, 3), 33);
  EXPECT_EQ(value("strofreal(rows(S)) + strofreal(S[1])"), "21");
  // From an array, a copy of the part.
  ASSERT_EQ(run("lumo: A = (1, 2 \\ 3, 4); B = .; nv_subview(B, A, 2, (2, 1))"), 0) << side.text;
  EXPECT_EQ(value("strofreal(B[1]) + strofreal(B[2]) + strofreal(isview(B))"), "430");

  ASSERT_EQ(run("lumo: nv_dropobsif((0 \\ 1 \\ 0))"), 0) << side.text;
  ASSERT_EQ(ip.dataset.nobs(), 2);
  EXPECT_EQ(ip.dataset.fetch(1, 1), 1);
  EXPECT_EQ(ip.dataset.fetch(1, 2), 33);
  EXPECT_EQ(ip.dataset.fetch_str(2, 2), "ccc");
  ASSERT_EQ(run("lumo: nv_keepobsin(2)"), 0);
  ASSERT_EQ(ip.dataset.nobs(), 1);
  EXPECT_EQ(ip.dataset.fetch(1, 1), 33);
  ASSERT_EQ(run("lumo: nv_dropvar(\"s\")"), 0) << side.text;
  ASSERT_EQ(ip.dataset.nvar(), 2);
  EXPECT_EQ(ip.dataset.name(2), "g");
  ASSERT_EQ(run("lumo: nv_keepvar(2)"), 0);
  ASSERT_EQ(ip.dataset.nvar(), 1);
  EXPECT_EQ(ip.dataset.name(1), "g");
  // V's variable x is gone: using V is refused, never a read of freed
  // memory or of whichever variable now has x's number.
  EXPECT_EQ(run("lumo: v = V[2]"), 3500);
}

TEST_F(LumoHostSession, SessionBuiltins) {
  // The stopwatches are the timer command's.
  ASSERT_EQ(run("lumo: timer_clear(); timer_on(3); timer_off(3); timer_on(3); timer_off(3)"), 0) << side.text;
  EXPECT_EQ(ip.timers[3].count, 2);
  EXPECT_FALSE(ip.timers[3].on);
  EXPECT_EQ(value("strofreal(timer_value(3)[2])"), "2");
  ASSERT_EQ(run("timer on 4"), 0);
  ASSERT_EQ(run("lumo: timer_off(4); timer_clear(3)"), 0);
  EXPECT_EQ(ip.timers[4].count, 1);
  EXPECT_EQ(ip.timers[3].count, 0);
  EXPECT_EQ(run("lumo: timer_on(101)"), 3300);
  EXPECT_EQ(run("lumo: timer_value(0)"), 3300);

  EXPECT_EQ(value("strofreal(nuvraversion())"), std::to_string(kExecutableVersion));
  ASSERT_EQ(run("lumo: nuvrasetversion(900)"), 0) << side.text;
  EXPECT_EQ(ip.version, 900);
  EXPECT_EQ(run("lumo: nuvrasetversion(99999)"), 3300);
  EXPECT_EQ(ip.version, 900);
  ip.version = kExecutableVersion;
  EXPECT_EQ(value("strofreal(callersversion())"), std::to_string(kExecutableVersion));
  ASSERT_EQ(run("version 8: lumo: nv_global(\"R\", strofreal(callersversion()))"), 0) << side.text;
  EXPECT_EQ(*ip.macros.global("R"), "800");

  EXPECT_EQ(value("strofreal(c(\"linesize\")) + c(\"os\") + strofreal(c(\"N\")) + strofreal(c(\"nosuch\"))"),
            "79Unix3.");

  ASSERT_EQ(run("lumo: display(\"{res}a{c -(}\"); display(\"{b}\", 1); display((\"x\" \\ \"y\"))"), 0) << side.text;
  EXPECT_EQ(side.text, "a{\n{b}\nx\ny\n");
  EXPECT_EQ(run("lumo: displayas(\"bold\")"), 3300);
  ASSERT_EQ(run("lumo: displayas(\"err\"); printf(\"e\\n\"); displayas(\"text\"); displayflush()"), 0) << side.text;

  EXPECT_EQ(value("strofreal(breakkey()) + strofreal(querybreakintr())"), "01");
  EXPECT_EQ(value("strofreal(setbreakintr(0)) + strofreal(querybreakintr())"), "10");
  // The setting lasts only as long as the Lumo code that made it.
  EXPECT_TRUE(ip.break_allowed);
}

TEST_F(LumoHostSession, DirectoryOfHostObjects) {
  // The fixture has set G already: G, Ga and Gb match G*.
  ASSERT_EQ(run("global Gb 1"), 0);
  ASSERT_EQ(run("global Ga 1"), 0);
  ASSERT_EQ(run("scalar n1 = 1"), 0);
  ASSERT_EQ(run("scalar s1 = \"a\""), 0);
  ASSERT_EQ(run("char x[note] hello"), 0);
  ip.r_results.scalars["rs"] = 1;
  ASSERT_EQ(run("lumo: a = nv_dir(\"global\", \"macro\", \"G*\"); b = nv_dir(\"global\", \"numscalar\", \"*\");"
                "c = nv_dir(\"global\", \"strscalar\", \"*\"); d = nv_dir(\"char\", \"x\", \"*\");"
                "e = nv_dir(\"global\", \"numscalar\", \"*\", \"r\");"
                "nv_global(\"R\", a[1] + a[2] + \"|\" + b[1] + \"|\" + c[1] + \"|\" + d[1] + \"|\" + e[1] + \"|\""
                "+ strofreal(rows(a)) + strofreal(rows(nv_dir(\"global\", \"matrix\", \"*\"))))"),
            0)
      << side.text;
  EXPECT_EQ(*ip.macros.global("R"), "GGa|n1|s1|note|rs|30");
  EXPECT_EQ(run("lumo: nv_dir(\"global\", \"typo\", \"*\")"), 3300);
  EXPECT_EQ(run("lumo: nv_dir(\"char\", \"nosuch\", \"*\")"), 3300);
  EXPECT_EQ(run("lumo: nv_dir(\"global\", \"macro\", \"*\", \"q\")"), 3300);
}

TEST_F(LumoHostSession, TimeSeriesOperatedNames) {
  ASSERT_EQ(run("lumo: v = nv_tsrevar(\"g x\"); nv_matrix(\"V\", v)"), 0) << side.text;
  EXPECT_EQ(ip.matrices["V"].v, (std::vector<double>{3, 1}));
  ASSERT_EQ(run("generate tt = _n"), 0);
  ASSERT_EQ(run("tsset tt"), 0) << side.text;
  // L.x becomes a new variable holding x one period back: . 1 2.
  ASSERT_EQ(run("lumo: v = nv_tsrevar(\"x L.x\"); nv_matrix(\"V\", v); nv_matrix(\"L\", nv_data(., v[2]))"), 0)
      << side.text;
  ASSERT_EQ(ip.matrices["V"].v.size(), 2u);
  EXPECT_EQ(ip.matrices["V"].v[0], 1);
  EXPECT_EQ(ip.matrices["V"].v[1], 5);
  EXPECT_EQ(ip.matrices["L"].v, (std::vector<double>{data::kMissing, 1, 2}));
  EXPECT_EQ(run("lumo: nv_tsrevar(\"nosuch\")"), 111);
  EXPECT_EQ(run("lumo: nv_tsrevar(\"x, list\")"), 3300);
}

// The same string in an expression and in Lumo gives the same answer:
// each expression function is computed by `generate`, its Lumo twin from
// the same text, and the two compared cell by cell; one cell of each is
// also checked by hand so that the comparison cannot pass vacuously.
TEST_F(LumoHostSession, StringFunctionsAgreeWithExpressions) {
  ASSERT_EQ(run("generate str20 t = \"2026-12-07 x\" in 1"), 0) << side.text;
  ASSERT_EQ(run("replace t = \" cat concat cat \" in 2"), 0);
  ASSERT_EQ(run("replace t = \" 1.5e3\" in 3"), 0);
  const char* gens[] = {
      "generate str40 r1 = regexr(t, \"([0-9]+)-([0-9]+)\", \"\\2/\\1\")",
      "generate str40 r2 = subinstr(t, \"cat\", \"dog\", .)",
      "generate str40 r3 = subinword(t, \"cat\", \"dog\", 1)",
      "generate r4 = strmatch(t, \"*cat*\")",
      "generate r5 = indexnot(t, \" 0123456789\")",
      "generate str40 r6 = strproper(t)",
      "generate double r7 = real(t)",
      "generate r8 = regexm(t, \"[a-z]+ \")",
  };
  for (const char* g : gens) ASSERT_EQ(run(g), 0) << g << "\n" << side.text;
  ASSERT_EQ(run("lumo: T = nv_sdata(., \"t\"); R = .; k = _strtoreal(T, R);"
                "d = (sum(regexr(T, \"([0-9]+)-([0-9]+)\", \"\\2/\\1\") :!= nv_sdata(., \"r1\")),"
                "sum(subinstr(T, \"cat\", \"dog\") :!= nv_sdata(., \"r2\")),"
                "sum(subinword(T, \"cat\", \"dog\", 1) :!= nv_sdata(., \"r3\")),"
                "sum(strmatch(T, \"*cat*\") :!= nv_data(., \"r4\")),"
                "sum(indexnot(T, \" 0123456789\") :!= nv_data(., \"r5\")),"
                "sum(strproper(T) :!= nv_sdata(., \"r6\")),"
                "sum(R :!= nv_data(., \"r7\")),"
                "sum(regexm(T, \"[a-z]+ \") :!= nv_data(., \"r8\")));"
                "nv_matrix(\"D\", d)"),
            0)
      << side.text;
  ASSERT_TRUE(ip.matrices.count("D"));
  EXPECT_EQ(ip.matrices["D"].v, std::vector<double>(8, 0.0));
  int t = ip.dataset.find_exact("t");
  EXPECT_EQ(ip.dataset.fetch_str(t + 1, 1), "12/2026-07 x");
  EXPECT_EQ(ip.dataset.fetch_str(t + 2, 2), " dog condog dog ");
  EXPECT_EQ(ip.dataset.fetch_str(t + 3, 2), " dog concat cat ");
  EXPECT_EQ(ip.dataset.fetch(t + 4, 2), 1);
  EXPECT_EQ(ip.dataset.fetch(t + 5, 1), 5);
  EXPECT_EQ(ip.dataset.fetch_str(t + 6, 2), " Cat Concat Cat ");
  EXPECT_EQ(ip.dataset.fetch(t + 7, 3), 1500);
  EXPECT_EQ(ip.dataset.fetch(t + 8, 1), 0);
}

}  // namespace
}  // namespace nuvra
