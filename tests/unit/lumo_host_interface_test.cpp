// The nv_ host interface against a host kept in maps: every argument is
// checked before anything changes, with the codes of the interface; names
// take their six forms; e(b), e(V), e(sample) and c() are not writable.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "data/missing.h"
#include "lumo/value.h"
#include "lumo_test_host.h"

namespace {

using namespace nuvra::lumo;
using nuvra::rc_t;
using namespace std::string_literals;

// Variables p and q (numeric) and s (string), three observations.
class MapHost : public LumoTestHost {
 public:
  std::vector<std::vector<double>> num = {{1, 10}, {2, 20}, {3, 30}};
  std::vector<std::string> str = {"a", "bb", "ccc"};
  std::vector<std::string> names = {"p", "q", "s"};
  std::map<std::string, std::string> locals, globals, rmacros, chars;
  std::map<std::string, double> scalars;
  std::map<std::string, HostMatrix> matrices;
  std::vector<std::string> commands;
  int reads = 0, stores = 0, local_lookups = 0, added = 0;
  rc_t command_rc = 0;

  int64_t DataObs() override { return int64_t(num.size()); }
  int DataVars() override { return int(names.size()); }
  bool DataIsString(int var) override { return names[size_t(var - 1)] == "s"; }
  int DataFindVar(std::string_view name) override {
    for (size_t j = 0; j < names.size(); ++j)
      if (names[j] == name) return int(j + 1);
    return 0;
  }
  double DataNumber(int64_t obs, int var) override {
    ++reads;
    return num.at(size_t(obs - 1)).at(size_t(var - 1));
  }
  std::string DataString(int64_t obs, int) override {
    ++reads;
    return str.at(size_t(obs - 1));
  }
  rc_t DataStore(int64_t obs, int var, double v) override {
    ++stores;
    num.at(size_t(obs - 1)).at(size_t(var - 1)) = v;
    return 0;
  }
  rc_t DataStoreString(int64_t obs, int, std::string_view s) override {
    ++stores;
    str.at(size_t(obs - 1)) = std::string(s);
    return 0;
  }
  std::string DataVarName(int var) override { return names[size_t(var - 1)]; }
  std::string DataVarType(int var) override { return DataIsString(var) ? "str3" : "double"; }
  // Refuses a variable beyond max_vars, as a dataset without room would.
  size_t max_vars = 100;
  rc_t DataAddVar(std::string_view, std::string_view name, int* var) override {
    if (names.size() >= max_vars) return 900;
    ++added;
    names.emplace_back(name);
    for (auto& row : num) row.push_back(nuvra::data::kMissing);
    *var = int(names.size());
    return 0;
  }
  // Only the variables just added are dropped again: the last ones.
  void DataDropVars(const std::vector<int>& vars) override {
    for (size_t k = 0; k < vars.size(); ++k) {
      names.pop_back();
      for (auto& row : num) row.pop_back();
    }
  }
  bool GetLocal(std::string_view name, std::string* out) override {
    ++local_lookups;
    auto it = locals.find(std::string(name));
    if (it == locals.end()) return false;
    *out = it->second;
    return true;
  }
  rc_t SetLocal(std::string_view name, std::string_view text) override {
    locals[std::string(name)] = std::string(text);
    return 0;
  }
  size_t MacroLengthLimit() override { return 10; }
  bool GetMacro(Space space, std::string_view name, std::string* out) override {
    if (space == Space::C) {
      if (name != "pi") return false;
      *out = "3.141592653589793";
      return true;
    }
    auto& map = space == Space::Global ? globals : rmacros;
    auto it = map.find(std::string(1, char(space)) + std::string(name));
    if (it == map.end()) return false;
    *out = it->second;
    return true;
  }
  rc_t SetMacro(Space space, std::string_view name, std::string_view text) override {
    (space == Space::Global ? globals : rmacros)[std::string(1, char(space)) + std::string(name)] = std::string(text);
    return 0;
  }
  bool GetChar(std::string_view owner, std::string_view name, std::string* out) override {
    auto it = chars.find(std::string(owner) + "[" + std::string(name) + "]");
    if (it == chars.end()) return false;
    *out = it->second;
    return true;
  }
  rc_t SetChar(std::string_view owner, std::string_view name, std::string_view text) override {
    chars[std::string(owner) + "[" + std::string(name) + "]"] = std::string(text);
    return 0;
  }
  bool GetScalar(Space space, std::string_view name, double* out) override {
    auto it = scalars.find(std::string(1, char(space)) + std::string(name));
    if (it == scalars.end()) return false;
    *out = it->second;
    return true;
  }
  rc_t SetScalar(Space space, std::string_view name, double v) override {
    scalars[std::string(1, char(space)) + std::string(name)] = v;
    return 0;
  }
  bool GetMatrix(Space space, std::string_view name, HostMatrix* out) override {
    auto it = matrices.find(std::string(1, char(space)) + std::string(name));
    if (it == matrices.end()) return false;
    *out = it->second;
    return true;
  }
  rc_t SetMatrix(Space space, std::string_view name, const HostMatrix& m) override {
    matrices[std::string(1, char(space)) + std::string(name)] = m;
    return 0;
  }
  rc_t RunCommand(std::string_view line) override {
    commands.emplace_back(line);
    return command_rc;
  }
};

struct HostFixture {
  MapHost host;
  Session session{host};
  int Run(std::string_view text) {
    int rc = 0;
    if (session.Run(text, &rc) == Session::Outcome::kIncomplete) return -1;
    return rc;
  }
  std::string Str(const char* name) {
    ValueRecord* v = session.values().FindGlobal(name);
    if (!v || v->eltype != kString || element_count(v) != 1) return "<not a string scalar>";
    StringRef s = string_of(slots(v)[0]);
    return std::string(s.bytes, s.length);
  }
  std::vector<double> Reals(const char* name) {
    ValueRecord* v = session.values().FindGlobal(name);
    if (!v || v->eltype != kReal) return {-12345};
    return std::vector<double>(reals(v), reals(v) + element_count(v));
  }
};

TEST(LumoHostInterface, NvLocalReadsCallersMacrosAndChecksNames) {
  HostFixture f;
  f.host.locals["a"] = "alpha";
  ASSERT_EQ(f.Run("x = nv_local(\"a\"); y = nv_local(\"undefined\")"), 0);
  EXPECT_EQ(f.Str("x"), "alpha");
  EXPECT_EQ(f.Str("y"), "");
  // 32 characters cannot name a local: "" without asking the host.
  int before = f.host.local_lookups;
  ASSERT_EQ(f.Run("z = nv_local(\"" + std::string(32, 'k') + "\")"), 0);
  EXPECT_EQ(f.Str("z"), "");
  EXPECT_EQ(f.host.local_lookups, before);
  // Contents are cut at the maximum macro length (10 in this host).
  ASSERT_EQ(f.Run("nv_local(\"b\", \"0123456789abc\")"), 0);
  EXPECT_EQ(f.host.locals["b"], "0123456789");
  EXPECT_EQ(f.Run("nv_local(\"1b\", \"x\")"), 3300);
  EXPECT_EQ(f.Run("nv_local(\"b\", 5)"), 3254);
  EXPECT_EQ(f.Run("nv_local(5)"), 3254);
  EXPECT_EQ(f.Run("nv_local((\"a\", \"b\"))"), 3204);
  EXPECT_EQ(f.host.locals.count("1b"), 0u);
  EXPECT_EQ(f.host.locals["b"], "0123456789");
}

TEST(LumoHostInterface, NvGlobalTakesSixFormsAndRefusesProtectedNames) {
  HostFixture f;
  f.host.globals["\0g"s] = "global text";
  f.host.rmacros["rcmd"] = "regress";
  f.host.chars["q[note]"] = "a note";
  ASSERT_EQ(f.Run("a = nv_global(\"g\"); b = nv_global(\"  r( cmd ) \"); c = nv_global(\"q[note]\");"
                  "d = nv_global(\"c(pi)\"); e = nv_global(\"_dta[none]\")"),
            0)
      << f.host.errors;
  EXPECT_EQ(f.Str("a"), "global text");
  EXPECT_EQ(f.Str("b"), "regress");
  EXPECT_EQ(f.Str("c"), "a note");
  EXPECT_EQ(f.Str("d"), "3.141592653589793");
  EXPECT_EQ(f.Str("e"), "");
  ASSERT_EQ(f.Run("nv_global(\"e(title)\", \"t\"); nv_global(\"_dta[src]\", \"made\")"), 0);
  EXPECT_EQ(f.host.rmacros["etitle"], "t");
  EXPECT_EQ(f.host.chars["_dta[src]"], "made");
  // Refused, and nothing written.
  EXPECT_EQ(f.Run("nv_global(\"c(pi)\", \"3\")"), 3300);
  EXPECT_EQ(f.Run("nv_global(\"e(V)\", \"x\")"), 3300);
  EXPECT_EQ(f.Run("nv_global(\"e(b)\", \"x\")"), 3300);
  EXPECT_EQ(f.Run("nv_global(\"e(sample)\", \"x\")"), 3300);
  EXPECT_EQ(f.Run("x = nv_global(\"e(sample)\")"), 3300);
  EXPECT_EQ(f.Run("x = nv_global(\"q[" + std::string(33, 'n') + "]\")"), 3300);
  EXPECT_EQ(f.Run("x = nv_global(\"nosuchvar[note]\")"), 3300);
  EXPECT_EQ(f.Run("x = nv_global(\"x(name)\")"), 3300);
  EXPECT_EQ(f.Run("x = nv_global(\"r(name\")"), 3300);
  EXPECT_EQ(f.Run("x = nv_global(\"\")"), 3300);
  EXPECT_EQ(f.Run("x = nv_global(\"" + std::string(33, 'g') + "\")"), 3300);
  EXPECT_EQ(f.host.rmacros.size(), 2u);
  EXPECT_EQ(f.host.chars.size(), 2u);
  // A view where a name is required.
  ASSERT_EQ(f.Run("S = \"\"; nv_sview(S, 1, \"s\")"), 0);
  EXPECT_EQ(f.Run("x = nv_global(S)"), 3103);
}

TEST(LumoHostInterface, CellsAreCheckedBeforeTheDatasetIsTouched) {
  HostFixture f;
  int reads = f.host.reads;
  EXPECT_EQ(f.Run("x = _nv_data(\"1\", 1)"), 3253);
  EXPECT_EQ(f.Run("x = _nv_data(1, \"1\")"), 3253);
  EXPECT_EQ(f.Run("x = _nv_data((1,2), 1)"), 3204);
  EXPECT_EQ(f.Run("x = _nv_data(4, 1)"), 3300);
  EXPECT_EQ(f.Run("x = _nv_data(1, 4)"), 3300);
  EXPECT_EQ(f.Run("x = _nv_data(1, 3)"), 3250);  // s is a string
  EXPECT_EQ(f.host.reads, reads);
  ASSERT_EQ(f.Run("x = _nv_data(2, 2); t = _nv_sdata(3, 3)"), 0);
  EXPECT_EQ(f.Reals("x"), std::vector<double>{20});
  EXPECT_EQ(f.Str("t"), "ccc");
  ASSERT_EQ(f.Run("_nv_store(1, 2, 11); _nv_sstore(2, 3, \"new\")"), 0);
  EXPECT_EQ(f.host.num[0][1], 11);
  EXPECT_EQ(f.host.str[1], "new");
  int stores = f.host.stores;
  EXPECT_EQ(f.Run("_nv_store(1, 3, 5)"), 3250);  // a number into a string variable
  EXPECT_EQ(f.Run("_nv_sstore(1, 1, \"x\")"), 3250);
  EXPECT_EQ(f.Run("_nv_store(1, 1, \"x\")"), 3253);
  EXPECT_EQ(f.host.stores, stores);
}

TEST(LumoHostInterface, BlocksCopyAndStoreWhole) {
  HostFixture f;
  ASSERT_EQ(f.Run("X = nv_data(., (1,2)); Y = nv_data((3\\1), \"q\"); Z = nv_data(., \"p q\", \"p\")"), 0);
  EXPECT_EQ(f.Reals("X"), (std::vector<double>{1, 10, 2, 20, 3, 30}));
  EXPECT_EQ(f.Reals("Y"), (std::vector<double>{30, 10}));
  EXPECT_EQ(f.Reals("Z"), (std::vector<double>{1, 10, 2, 20, 3, 30}));  // p is never 0
  ASSERT_EQ(f.Run("nv_store((1,3), \"p\", (7\\9))"), 0);
  EXPECT_EQ(f.host.num[0][0], 7);
  EXPECT_EQ(f.host.num[2][0], 9);
  int stores = f.host.stores;
  EXPECT_EQ(f.Run("nv_store((1,3), \"p\", (7\\9\\8))"), 3200);
  EXPECT_EQ(f.Run("nv_store((1,3), \"p q s\", J(2,3,1))"), 3250);
  EXPECT_EQ(f.Run("nv_store((1,4), \"p\", (7\\9))"), 3300);
  EXPECT_EQ(f.Run("nv_store(., \"nosuch\", (7\\9\\8))"), 3500);
  EXPECT_EQ(f.host.stores, stores);
  ASSERT_EQ(f.Run("nv_sstore(., 3, (\"x\"\\\"y\"\\\"z\"))"), 0);
  EXPECT_EQ(f.host.str, (std::vector<std::string>{"x", "y", "z"}));
}

TEST(LumoHostInterface, VariablesByNameAndNumber) {
  HostFixture f;
  ASSERT_EQ(f.Run("i = nv_varindex(\"q s\"); j = _nv_varindex((\"p\", \"zz\")); k = nv_varindex(\"s\", 1)"), 0);
  EXPECT_EQ(f.Reals("i"), (std::vector<double>{2, 3}));
  ASSERT_EQ(f.Reals("j").size(), 2u);
  EXPECT_EQ(f.Reals("j")[0], 1);
  EXPECT_TRUE(nuvra::data::is_missing(f.Reals("j")[1]));
  EXPECT_EQ(f.Run("i = nv_varindex(\"zz\")"), 3500);
  ASSERT_EQ(f.Run("n = nv_varname((3,1)); t = nv_vartype(\"s\"); a = nv_isstrvar(3); b = nv_isnumvar(\"p\")"), 0);
  ValueRecord* n = f.session.values().FindGlobal("n");
  ASSERT_EQ(element_count(n), 2);
  EXPECT_EQ(string_of(slots(n)[0]).length, 1u);
  EXPECT_EQ(f.Str("t"), "str3");
  EXPECT_EQ(f.Reals("a"), std::vector<double>{1});
  EXPECT_EQ(f.Reals("b"), std::vector<double>{1});
  EXPECT_EQ(f.Run("n = nv_varname(4)"), 3300);
  // nv_addvar checks every name and type before adding any.
  EXPECT_EQ(f.Run("v = nv_addvar(\"double\", (\"new1\", \"2bad\"))"), 3300);
  EXPECT_EQ(f.Run("v = nv_addvar(\"double\", (\"new1\", \"p\"))"), 3300);
  EXPECT_EQ(f.Run("v = nv_addvar(\"double\", (\"new1\", \"new1\"))"), 3300);
  EXPECT_EQ(f.Run("v = nv_addvar(\"str245\", \"new1\")"), 3300);
  EXPECT_EQ(f.Run("v = nv_addvar((\"double\", \"int\", \"byte\"), (\"new1\", \"new2\"))"), 3200);
  EXPECT_EQ(f.host.added, 0);
  ASSERT_EQ(f.Run("v = nv_addvar((\"double\", \"str5\"), (\"new1\", \"new2\"))"), 0);
  EXPECT_EQ(f.Reals("v"), (std::vector<double>{4, 5}));
  EXPECT_EQ(f.host.added, 2);
  // The host has room for one more: the second of two is refused, the
  // first dropped again, and _nv_addvar returns the host's code.
  f.host.max_vars = 6;
  ASSERT_EQ(f.Run("r = _nv_addvar(\"double\", (\"new3\", \"new4\"))"), 0) << f.host.errors;
  EXPECT_EQ(f.Reals("r"), std::vector<double>{900});
  EXPECT_EQ(f.host.names.size(), 5u);
  EXPECT_EQ(f.Run("v = nv_addvar(\"double\", (\"new3\", \"new4\"))"), 900);
  EXPECT_EQ(f.host.names.size(), 5u);
  // Bad arguments are still errors in the underscore form.
  EXPECT_EQ(f.Run("r = _nv_addvar(\"double\", \"2bad\")"), 3300);
  ASSERT_EQ(f.Run("r = _nv_addvar(\"byte\", \"new3\")"), 0);
  EXPECT_EQ(f.Reals("r"), std::vector<double>{6});
}

TEST(LumoHostInterface, ScalarsMatricesAndStripes) {
  HostFixture f;
  ASSERT_EQ(f.Run("nv_numscalar(\"s1\", 2.5); a = nv_numscalar(\"s1\"); b = nv_numscalar(\"none\")"), 0);
  EXPECT_EQ(f.Reals("a"), std::vector<double>{2.5});
  EXPECT_EQ(f.Reals("b"), std::vector<double>{});  // 0 x 0
  ASSERT_EQ(f.Run("nv_matrix(\"M\", (1,2\\3,4)); R = nv_matrix(\"M\")"), 0);
  EXPECT_EQ(f.Reals("R"), (std::vector<double>{1, 2, 3, 4}));
  EXPECT_EQ(f.host.matrices["\0M"s].colnames, (std::vector<std::string>{"c1", "c2"}));
  ASSERT_EQ(f.Run("nv_matrixcolstripe(\"M\", (\"eq\", \"a\" \\ \"\", \"b\")); S = nv_matrixcolstripe(\"M\")"), 0);
  EXPECT_EQ(f.host.matrices["\0M"s].colnames, (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(f.host.matrices["\0M"s].coleq, (std::vector<std::string>{"eq", ""}));
  EXPECT_EQ(f.Run("nv_matrixrowstripe(\"M\", (\"\", \"a\"))"), 3200);
  EXPECT_EQ(f.Run("nv_matrixrowstripe(\"M\", (\"\", \"a b\" \\ \"\", \"c\"))"), 3300);
  EXPECT_EQ(f.Run("nv_matrixrowstripe(\"none\", (\"\", \"a\"))"), 3300);
  EXPECT_EQ(f.host.matrices["\0M"s].rownames, (std::vector<std::string>{"r1", "r2"}));
  ASSERT_EQ(f.Run("nv_replacematrix(\"M\", (5,6\\7,8))"), 0);
  EXPECT_EQ(f.host.matrices["\0M"s].v, (std::vector<double>{5, 6, 7, 8}));
  EXPECT_EQ(f.host.matrices["\0M"s].colnames, (std::vector<std::string>{"a", "b"}));  // kept
  EXPECT_EQ(f.Run("nv_replacematrix(\"M\", (5,6))"), 3200);
  EXPECT_EQ(f.Run("nv_matrix(\"e(b)\", (1,2))"), 3300);
  EXPECT_EQ(f.Run("nv_matrix(\"e(V)\", (1,2))"), 3300);
  EXPECT_EQ(f.Run("nv_numscalar(\"c(pi)\", 3)"), 3300);
  EXPECT_EQ(f.host.matrices.size(), 1u);
  ASSERT_EQ(f.Run("nv_matrix(\"r(table)\", I(2)); nv_numscalar(\"e(N)\", 40)"), 0);
  EXPECT_EQ(f.host.matrices.count("rtable"), 1u);
  EXPECT_EQ(f.host.scalars["eN"], 40);
}

TEST(LumoHostInterface, HostCommands) {
  HostFixture f;
  ASSERT_EQ(f.Run("nuvra(\"   sum p\"); nuvra(\"    \")"), 0);
  EXPECT_EQ(f.host.commands, (std::vector<std::string>{"sum p"}));
  // Longer than a command can be (10 in this host): refused, not run.
  EXPECT_EQ(f.Run("nuvra(\"summarize p\")"), 3300);
  EXPECT_EQ(f.host.commands.size(), 1u);
  f.host.command_rc = 111;
  ASSERT_EQ(f.Run("rc = _nuvra(\"des zz\", 1, 0)"), 0);
  EXPECT_EQ(f.Reals("rc"), std::vector<double>{111});
  EXPECT_EQ(f.Run("nuvra(\"des zz\")"), 111);
  EXPECT_EQ(f.Run("nuvra(1)"), 3254);
  EXPECT_EQ(f.Run("nuvra(\"x\", \"flag\")"), 3253);
  EXPECT_EQ(f.host.commands.size(), 3u);
}

TEST(LumoHostInterface, ViewsReportTheirCellsAndOutliveTheirVariables) {
  HostFixture f;
  ASSERT_EQ(f.Run("V = .; nv_view(V, (3,1), \"q p\"); vv = nv_viewvars(V); vo = nv_viewobs(V)"), 0);
  EXPECT_EQ(f.Reals("vv"), (std::vector<double>{2, 1}));
  EXPECT_EQ(f.Reals("vo"), (std::vector<double>{3, 1}));
  EXPECT_EQ(f.Run("x = nv_viewvars((1,2))"), 3104);
  // The whole dataset goes; the host's storage is freed.  Using the view
  // is refused and never touches the freed rows.
  f.host.num.clear();
  f.host.num.shrink_to_fit();
  f.host.names.clear();
  f.host.str.clear();
  int reads = f.host.reads;
  EXPECT_EQ(f.Run("s = sum(V, 0)"), 3500);
  EXPECT_EQ(f.Run("c = colsum(V)"), 3500);
  EXPECT_EQ(f.host.reads, reads);
  EXPECT_EQ(f.Run("V[1,1] = 3"), 3500);
}

}  // namespace
