// The host interface.  Every handler checks all of its arguments before
// it asks the host to change anything, so a refused call leaves the
// dataset, macros, scalars and matrices as they were.
#include "lumo/builtins_host.h"

#include <cctype>
#include <cmath>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "data/missing.h"
#include "lumo/builtin_args.h"
#include "lumo/builtins_view.h"
#include "lumo/host.h"
#include "lumo/view.h"

namespace nuvra::lumo {

namespace {

using data::is_missing;
using data::kMissing;

constexpr size_t kNameMax = 32;
constexpr size_t kCharMax = 67784;

std::string_view Text(const ValueRecord* v, int64_t k = 0) {
  StringRef s = string_of(slots(v)[k]);
  return {s.bytes, s.length};
}

// A name argument: a string scalar held in an array.
bool NameArg(Machine& m, const ValueRecord* v, std::string* out) {
  if (v->kind == kKindFunction) return BiFail(m, 3102);
  if (is_view(v)) return BiFail(m, 3103);
  if (v->eltype != kString) return BiFail(m, 3254);
  if (v->rows != 1 || v->cols != 1) return BiFail(m, 3204);
  *out = std::string(Text(v));
  return true;
}

// Contents: a string scalar (a view of one string cell is read).
bool StringScalarArg(Machine& m, int n, int k, std::string* out) {
  if (!m.RealizeTop(n - 1 - k)) return false;
  const ValueRecord* v = BiArg(m, n, k);
  if (!m.CheckMatrix(v) || !m.CheckString(v) || !m.CheckScalar(v)) return false;
  *out = std::string(Text(v));
  return true;
}

// A real argument with any view realised.
ValueRecord* RealArg(Machine& m, int n, int k) {
  if (!m.RealizeTop(n - 1 - k)) return nullptr;
  ValueRecord* v = BiArg(m, n, k);
  if (!m.CheckMatrix(v) || !m.CheckReal(v)) return nullptr;
  return v;
}

bool IsName(std::string_view s, size_t max = kNameMax) {
  if (s.empty() || s.size() > max) return false;
  if (!(std::isalpha(static_cast<unsigned char>(s[0])) || s[0] == '_')) return false;
  for (char c : s)
    if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_')) return false;
  return true;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

// A host name in one of its forms: name, r(name), e(name), s(name),
// c(name), or owner[charname].
struct HostName {
  Space space = Space::Global;
  std::string name;
  bool is_char = false;
  std::string owner;
};

bool ParseHostName(Host& host, std::string_view text, HostName* out) {
  size_t bracket = text.find('[');
  if (bracket != std::string_view::npos) {
    auto cut = [](std::string_view s) {
      s = Trim(s);
      size_t e = s.find_first_of(" []");
      return e == std::string_view::npos ? s : s.substr(0, e);
    };
    std::string_view owner = cut(text.substr(0, bracket));
    std::string_view rest = text.substr(bracket + 1);
    size_t close = rest.find(']');
    if (close == std::string_view::npos || !Trim(rest.substr(close + 1)).empty()) return false;
    std::string_view charname = cut(rest.substr(0, close));
    if (!IsName(owner) || !IsName(charname)) return false;
    if (owner != "_dta" && host.DataFindVar(owner) == 0) return false;
    out->is_char = true;
    out->owner = std::string(owner);
    out->name = std::string(charname);
    return true;
  }
  text = Trim(text);
  if (text.size() >= 2 && text[1] == '(') {
    char c = text[0];
    if (c != 'r' && c != 'e' && c != 's' && c != 'c') return false;
    if (text.back() != ')') return false;
    out->space = static_cast<Space>(c);
    text = Trim(text.substr(2, text.size() - 3));
  }
  if (!IsName(text)) return false;
  out->name = std::string(text);
  return true;
}

bool HostNameArg(Machine& m, const ValueRecord* v, HostName* out) {
  std::string text;
  if (!NameArg(m, v, &text)) return false;
  if (!ParseHostName(m.host(), text, out)) return BiFail(m, 3300);
  return true;
}

ValueRecord* NewString(Machine& m, std::string_view s) {
  ValueRecord* r = m.values().NewValue("", kString, 1, 1);
  if (!r) return nullptr;
  bool ok;
  slots(r)[0] = m.values().NewString(s, &ok);
  if (!ok) {
    m.values().Free(r);
    return nullptr;
  }
  return r;
}

// ---- cells

// One observation and one variable, each a real scalar in range, the
// variable of the kind wanted.
bool Cell(Machine& m, int n, bool want_string, int64_t* obs, int* var) {
  Host& host = m.host();
  ValueRecord* i = RealArg(m, n, 0);
  if (!i || !m.CheckScalar(i)) return false;
  ValueRecord* j = RealArg(m, n, 1);
  if (!j || !m.CheckScalar(j)) return false;
  double di = reals(i)[0], dj = reals(j)[0];
  if (!(di >= 1 && di <= double(host.DataObs()) && di == std::floor(di))) return BiFail(m, 3300);
  if (!(dj >= 1 && dj <= host.DataVars() && dj == std::floor(dj))) return BiFail(m, 3300);
  *obs = int64_t(di);
  *var = int(dj);
  if (host.DataIsString(*var) != want_string) return BiFail(m, 3250);
  return true;
}

// Observations, variables and the optional selection variable of the
// block forms; the variables all of the kind wanted.
bool Block(Machine& m, int n, int nfixed, bool want_string, std::vector<int64_t>* obs, std::vector<int>* vars) {
  Host& host = m.host();
  for (int k = 0; k < n; ++k)
    if (!m.RealizeTop(n - 1 - k)) return false;
  if (!NumberList(m, BiArg(m, n, 0), host.DataObs(), obs)) return false;
  if (!VariableList(m, BiArg(m, n, 1), vars)) return false;
  for (int j : *vars)
    if (host.DataIsString(j) != want_string) return BiFail(m, 3250);
  if (n > nfixed) {
    const ValueRecord* s = BiArg(m, n, 2);
    bool none = s->eltype == kString && element_count(s) == 1 && string_of(slots(s)[0]).length == 0;
    if (!none) {
      std::vector<int> sel;
      if (!VariableList(m, s, &sel)) return false;
      if (sel.size() != 1) return BiFail(m, 3300);
      if (host.DataIsString(sel[0])) return BiFail(m, 3250);
      std::vector<int64_t> kept;
      for (int64_t i : *obs)
        if (host.DataNumber(i, sel[0]) != 0) kept.push_back(i);
      obs->swap(kept);
    }
  }
  if (obs->size() > size_t(INT32_MAX)) return BiFail(m, 3300);
  return true;
}

void DataBlock(Machine& m, int n, bool strings) {
  Host& host = m.host();
  std::vector<int64_t> obs;
  std::vector<int> vars;
  if (!Block(m, n, 2, strings, &obs, &vars)) return;
  ValueRecord* r = m.values().NewValue("", strings ? kString : kReal, int32_t(obs.size()), int32_t(vars.size()));
  if (!r) return m.RaiseAllocation();
  for (size_t i = 0; i < obs.size(); ++i)
    for (size_t j = 0; j < vars.size(); ++j) {
      size_t k = i * vars.size() + j;
      if (!strings) {
        reals(r)[k] = host.DataNumber(obs[i], vars[j]);
        continue;
      }
      bool ok;
      slots(r)[k] = m.values().NewString(host.DataString(obs[i], vars[j]), &ok);
      if (!ok) {
        m.values().Free(r);
        return m.RaiseAllocation();
      }
    }
  BiReturn(m, n, r);
}

void StoreBlock(Machine& m, int n, bool strings) {
  Host& host = m.host();
  std::vector<int64_t> obs;
  std::vector<int> vars;
  if (!Block(m, n, 3, strings, &obs, &vars)) return;
  const ValueRecord* x = BiArg(m, n, n - 1);
  if (!m.CheckMatrix(x) || !(strings ? m.CheckString(x) : m.CheckReal(x))) return;
  if (size_t(x->rows) != obs.size() || size_t(x->cols) != vars.size()) return (void)BiFail(m, 3200);
  // All or nothing: a store the host refuses part of the way through
  // leaves the dataset as it was.
  rc_t rc;
  if (strings) {
    std::vector<std::string_view> texts(obs.size() * vars.size());
    for (size_t k = 0; k < texts.size(); ++k) texts[k] = Text(x, int64_t(k));
    rc = host.DataStoreStringBlock(obs, vars, texts);
  } else {
    rc = host.DataStoreBlock(obs, vars, reals(x));
  }
  if (rc) return m.RaiseError(rc, Machine::MessageFor(3598));
  BiReturnVoid(m, n);
}

// ---- variables

// Variable numbers from names (a string scalar of names separated by
// blanks, or a string vector); 0 for a name not found.  With abbrev, a
// unique abbreviation finds its variable.
bool FindVars(Machine& m, const ValueRecord* v, bool abbrev, std::vector<std::string>* names, std::vector<int>* out) {
  if (!m.CheckMatrix(v) || !m.CheckString(v)) return false;
  if (element_count(v) > 1 && !m.CheckVector(v)) return false;
  Host& host = m.host();
  for (int64_t k = 0; k < element_count(v); ++k) {
    std::string_view t = Text(v, k);
    while (true) {
      t = Trim(t);
      if (t.empty()) break;
      size_t e = std::min(t.find(' '), t.size());
      names->emplace_back(t.substr(0, e));
      t.remove_prefix(e);
    }
  }
  for (const std::string& name : *names) {
    int j = host.DataFindVar(name);
    if (j == 0 && abbrev) {
      for (int c = 1; c <= host.DataVars(); ++c)
        if (host.DataVarName(c).compare(0, name.size(), name) == 0) {
          if (j != 0) {
            j = 0;
            break;
          }
          j = c;
        }
    }
    out->push_back(j);
  }
  return true;
}

void Varindex(Machine& m, int n, bool soft) {
  if (!m.RealizeTop(n - 1)) return;
  bool abbrev = false;
  if (n == 2) {
    double d;
    if (!m.RealizeTop(0) || !BiRealScalar(m, BiArg(m, n, 1), &d)) return;
    abbrev = d != 0 && !is_missing(d);
  }
  std::vector<std::string> names;
  std::vector<int> vars;
  if (!FindVars(m, BiArg(m, n, 0), abbrev, &names, &vars)) return;
  for (size_t k = 0; k < vars.size(); ++k)
    if (vars[k] == 0 && !soft) return m.RaiseError(3500, "variable " + names[k] + " not found");
  ValueRecord* r = m.values().NewValue("", kReal, 1, int32_t(vars.size()));
  if (!r) return m.RaiseAllocation();
  for (size_t k = 0; k < vars.size(); ++k) reals(r)[k] = vars[k] ? vars[k] : kMissing;
  BiReturn(m, n, r);
}

// A variable given by number or by name.
bool OneVar(Machine& m, int n, int k, int* var) {
  if (!m.RealizeTop(n - 1 - k)) return false;
  const ValueRecord* v = BiArg(m, n, k);
  if (!m.CheckMatrix(v) || !m.CheckScalar(v)) return false;
  Host& host = m.host();
  if (v->eltype == kString) {
    *var = host.DataFindVar(Text(v));
    if (*var == 0) {
      m.RaiseError(3500, "variable " + std::string(Text(v)) + " not found");
      return false;
    }
    return true;
  }
  if (!m.CheckReal(v)) return false;
  double d = reals(v)[0];
  if (!(d >= 1 && d <= host.DataVars() && d == std::floor(d))) return BiFail(m, 3300);
  *var = int(d);
  return true;
}

bool ValidType(std::string_view t) {
  if (t == "byte" || t == "int" || t == "long" || t == "float" || t == "double") return true;
  if (t.size() < 4 || t.substr(0, 3) != "str") return false;
  int w = 0;
  for (char c : t.substr(3)) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    w = w * 10 + (c - '0');
    if (w > 244) return false;
  }
  return w >= 1;
}

// ---- macros, scalars, matrices

rc_t HostFailure(Machine& m, rc_t rc) {
  m.RaiseError(rc, Machine::MessageFor(3598));
  return rc;
}

// e(b), e(V) and e(sample) are the estimation results proper: only
// `ereturn post` and the estimation commands set them.
bool Protected(const HostName& h) {
  return h.space == Space::E && (h.name == "b" || h.name == "V" || h.name == "sample");
}

void Stripe(Machine& m, int n, bool rows) {
  HostName h;
  if (!HostNameArg(m, BiArg(m, n, 0), &h)) return;
  if (h.is_char || h.space == Space::C) return (void)BiFail(m, 3300);
  Host& host = m.host();
  HostMatrix hm;
  if (n == 1) {
    if (!host.GetMatrix(h.space, h.name, &hm)) return BiReturn(m, n, m.values().NewValue("", kString, 0, 2));
    int32_t k = rows ? hm.rows : hm.cols;
    std::vector<std::string> s;
    for (int32_t i = 0; i < k; ++i) {
      s.push_back(rows ? hm.roweq[size_t(i)] : hm.coleq[size_t(i)]);
      s.push_back(rows ? hm.rownames[size_t(i)] : hm.colnames[size_t(i)]);
    }
    return BiReturn(m, n, BiNewStrings(m, k, 2, s));
  }
  if (!m.RealizeTop(0)) return;
  const ValueRecord* s = BiArg(m, n, 1);
  if (!m.CheckMatrix(s) || !m.CheckString(s)) return;
  if (Protected(h)) return (void)BiFail(m, 3300);
  if (!host.GetMatrix(h.space, h.name, &hm)) return (void)BiFail(m, 3300);
  int32_t k = rows ? hm.rows : hm.cols;
  if (s->rows != k || s->cols != 2) return (void)BiFail(m, 3200);
  for (int32_t i = 0; i < k; ++i) {
    std::string_view eq = Text(s, 2 * int64_t(i)), name = Text(s, 2 * int64_t(i) + 1);
    if (name.empty() || name.find(' ') != std::string_view::npos || eq.find(' ') != std::string_view::npos ||
        name.size() > kNameMax || eq.size() > kNameMax)
      return (void)BiFail(m, 3300);
  }
  for (int32_t i = 0; i < k; ++i) {
    (rows ? hm.roweq : hm.coleq)[size_t(i)] = std::string(Text(s, 2 * int64_t(i)));
    (rows ? hm.rownames : hm.colnames)[size_t(i)] = std::string(Text(s, 2 * int64_t(i) + 1));
  }
  if (rc_t rc = host.SetMatrix(h.space, h.name, hm)) return (void)HostFailure(m, rc);
  BiReturnVoid(m, n);
}

HostMatrix FromValue(const ValueRecord* x) {
  HostMatrix hm;
  hm.rows = x->rows;
  hm.cols = x->cols;
  hm.v.assign(reals(x), reals(x) + element_count(x));
  for (int32_t i = 0; i < x->rows; ++i) {
    hm.roweq.emplace_back();
    hm.rownames.push_back("r" + std::to_string(i + 1));
  }
  for (int32_t j = 0; j < x->cols; ++j) {
    hm.coleq.emplace_back();
    hm.colnames.push_back("c" + std::to_string(j + 1));
  }
  return hm;
}

void RunHostCommand(Machine& m, int n, bool soft) {
  std::string cmd;
  if (!StringScalarArg(m, n, 0, &cmd)) return;
  for (int k = 1; k < n; ++k) {
    double d;
    if (!m.RealizeTop(n - 1 - k) || !BiRealScalar(m, BiArg(m, n, k), &d)) return;
  }
  // Longer than a command line can be: refused before anything runs.
  if (cmd.size() >= m.host().MacroLengthLimit()) return (void)BiFail(m, 3300);
  std::string_view line = cmd;
  while (!line.empty() && line.front() == ' ') line.remove_prefix(1);
  rc_t rc = line.empty() ? 0 : m.host().RunCommand(line);
  if (soft) return BiReturn(m, n, m.values().NewScalar(rc));
  if (rc) return m.RaiseError(rc, Machine::MessageFor(3598));
  BiReturnVoid(m, n);
}

// nv_addvar(types, names): new variables, their numbers returned.  Every
// type and name is checked first; an addition the host refuses part way
// drops what was added.  _nv_addvar returns the host's return code
// instead of failing when the host refuses.
void AddVar(Machine& m, int n, bool soft) {
  for (int k = 0; k < n; ++k)
    if (!m.RealizeTop(n - 1 - k)) return;
  const ValueRecord *t = BiArg(m, n, 0), *nm = BiArg(m, n, 1);
  if (!m.CheckMatrix(t) || !m.CheckString(t) || !m.CheckMatrix(nm) || !m.CheckString(nm)) return;
  if (!m.CheckVector(nm) || (element_count(t) != 1 && element_count(t) != element_count(nm))) return (void)BiFail(m, 3200);
  Host& host = m.host();
  std::vector<std::string> names;
  for (int64_t k = 0; k < element_count(nm); ++k) {
    std::string_view s = Text(nm, k);
    if (!IsName(s) || host.DataFindVar(s) != 0) return (void)BiFail(m, 3300);
    for (const std::string& earlier : names)
      if (earlier == s) return (void)BiFail(m, 3300);
    names.emplace_back(s);
    if (!ValidType(Text(t, element_count(t) == 1 ? 0 : k))) return (void)BiFail(m, 3300);
  }
  std::vector<int> made;
  for (size_t k = 0; k < names.size(); ++k) {
    int j = 0;
    if (rc_t rc = host.DataAddVar(Text(t, element_count(t) == 1 ? 0 : int64_t(k)), names[k], &j)) {
      host.DataDropVars(made);
      if (soft) return BiReturn(m, n, m.values().NewScalar(rc));
      return (void)HostFailure(m, rc);
    }
    made.push_back(j);
  }
  ValueRecord* r = m.values().NewValue("", kReal, 1, int32_t(made.size()));
  if (!r) return m.RaiseAllocation();
  for (size_t k = 0; k < made.size(); ++k) reals(r)[k] = made[k];
  BiReturn(m, n, r);
}

void AddObs(Machine& m, int n, bool soft) {
  ValueRecord* c = RealArg(m, n, 0);
  if (!c || !m.CheckScalar(c)) return;
  double d = reals(c)[0];
  if (!(d >= 0 && d == std::floor(d) && d <= 2147483647.0)) return (void)BiFail(m, 3300);
  if (n == 2) {
    ValueRecord* f = RealArg(m, n, 1);
    if (!f || !m.CheckScalar(f)) return;
  }
  rc_t rc = d > 0 ? m.host().DataAddObs(int64_t(d)) : 0;
  if (soft) return BiReturn(m, n, m.values().NewScalar(rc));
  if (rc) return m.RaiseError(rc, Machine::MessageFor(3598));
  BiReturnVoid(m, n);
}

}  // namespace

bool IsHostBuiltin(const char* name) {
  return std::strncmp(name, "nv_", 3) == 0 || std::strncmp(name, "_nv_", 4) == 0;
}

// _nv_data(i, j), _nv_sdata(i, j): one cell.
void BiNvDataCell(Machine& m, int n) {
  int64_t i;
  int j;
  if (!Cell(m, n, false, &i, &j)) return;
  BiReturn(m, n, m.values().NewScalar(m.host().DataNumber(i, j)));
}
void BiNvSdataCell(Machine& m, int n) {
  int64_t i;
  int j;
  if (!Cell(m, n, true, &i, &j)) return;
  BiReturn(m, n, NewString(m, m.host().DataString(i, j)));
}

// nv_data(obs, vars [, selectvar]) and nv_sdata: a copy of the block.
void BiNvData(Machine& m, int n) { DataBlock(m, n, false); }
void BiNvSdata(Machine& m, int n) { DataBlock(m, n, true); }

// _nv_store(i, j, x), _nv_sstore(i, j, s): one cell.
void BiNvStoreCell(Machine& m, int n) {
  int64_t i;
  int j;
  if (!Cell(m, n, false, &i, &j)) return;
  ValueRecord* x = RealArg(m, n, 2);
  if (!x || !m.CheckScalar(x)) return;
  if (rc_t rc = m.host().DataStore(i, j, reals(x)[0])) return (void)HostFailure(m, rc);
  BiReturnVoid(m, n);
}
void BiNvSstoreCell(Machine& m, int n) {
  int64_t i;
  int j;
  std::string s;
  if (!Cell(m, n, true, &i, &j) || !StringScalarArg(m, n, 2, &s)) return;
  if (rc_t rc = m.host().DataStoreString(i, j, s)) return (void)HostFailure(m, rc);
  BiReturnVoid(m, n);
}

// nv_store(obs, vars [, selectvar], X) and nv_sstore: X into the block.
void BiNvStore(Machine& m, int n) { StoreBlock(m, n, false); }
void BiNvSstore(Machine& m, int n) { StoreBlock(m, n, true); }

// nv_varindex(names [, abbrev]): the variables' numbers; an unknown name
// fails.  _nv_varindex gives missing for it instead.
void BiNvVarindex(Machine& m, int n) { Varindex(m, n, false); }
void BiNvVarindexSoft(Machine& m, int n) { Varindex(m, n, true); }

// nv_varname(vars): the names as a row vector.
void BiNvVarname(Machine& m, int n) {
  ValueRecord* v = RealArg(m, n, 0);
  if (!v) return;
  if (n == 2 && !RealArg(m, n, 1)) return;
  v = BiArg(m, n, 0);
  if (element_count(v) > 1 && !m.CheckVector(v)) return;
  std::vector<std::string> names;
  for (int64_t k = 0; k < element_count(v); ++k) {
    double d = reals(v)[k];
    if (!(d >= 1 && d <= m.host().DataVars() && d == std::floor(d))) return (void)BiFail(m, 3300);
    names.push_back(m.host().DataVarName(int(d)));
  }
  BiReturn(m, n, BiNewStrings(m, 1, int32_t(names.size()), names));
}

void BiNvVartype(Machine& m, int n) {
  int j;
  if (!OneVar(m, n, 0, &j)) return;
  BiReturn(m, n, NewString(m, m.host().DataVarType(j)));
}
void BiNvIsnumvar(Machine& m, int n) {
  int j;
  if (!OneVar(m, n, 0, &j)) return;
  BiReturn(m, n, m.values().NewScalar(!m.host().DataIsString(j)));
}
void BiNvIsstrvar(Machine& m, int n) {
  int j;
  if (!OneVar(m, n, 0, &j)) return;
  BiReturn(m, n, m.values().NewScalar(m.host().DataIsString(j)));
}
void BiNvIsname(Machine& m, int n) {
  std::string s;
  if (!StringScalarArg(m, n, 0, &s)) return;
  BiReturn(m, n, m.values().NewScalar(IsName(s)));
}

void BiNvAddvar(Machine& m, int n) { AddVar(m, n, false); }
void BiNvAddvarRc(Machine& m, int n) { AddVar(m, n, true); }

// nv_addobs(n): n more observations (missing values, empty strings);
// _nv_addobs returns the host's return code instead of failing.
void BiNvAddobs(Machine& m, int n) { AddObs(m, n, false); }
void BiNvAddobsRc(Machine& m, int n) { AddObs(m, n, true); }

// nv_viewvars(V), nv_viewobs(V): what a view shows.
void BiNvViewvars(Machine& m, int n) {
  const ValueRecord* v = BiArg(m, n, 0);
  if (!m.CheckMatrix(v)) return;
  if (!is_view(v)) return (void)BiFail(m, 3104);
  if (!FollowViewVars(m.host(), v)) return (void)BiFail(m, kViewVarDropped);
  ValueRecord* r = m.values().NewValue("", kReal, 1, v->cols);
  if (!r) return m.RaiseAllocation();
  for (int32_t j = 0; j < v->cols; ++j) reals(r)[j] = ViewVar(v, j);
  BiReturn(m, n, r);
}
void BiNvViewobs(Machine& m, int n) {
  const ValueRecord* v = BiArg(m, n, 0);
  if (!m.CheckMatrix(v)) return;
  if (!is_view(v)) return (void)BiFail(m, 3104);
  ValueRecord* r = m.values().NewValue("", kReal, v->rows, 1);
  if (!r) return m.RaiseAllocation();
  for (int32_t i = 0; i < v->rows; ++i) reals(r)[i] = double(ViewObs(v, i));
  BiReturn(m, n, r);
}

// nv_local(name [, contents]).  Locals are kept under the name with "_"
// in front, so a name of 32 characters or more cannot exist.
void BiNvLocal(Machine& m, int n) {
  std::string name;
  if (!NameArg(m, BiArg(m, n, 0), &name)) return;
  Host& host = m.host();
  if (n == 1) {
    std::string text;
    if (name.empty() || name.size() >= kNameMax || !host.GetLocal(name, &text)) text.clear();
    return BiReturn(m, n, NewString(m, text));
  }
  std::string contents;
  if (!StringScalarArg(m, n, 1, &contents)) return;
  if (!IsName(name, kNameMax - 1)) return (void)BiFail(m, 3300);
  contents.resize(std::min(contents.size(), host.MacroLengthLimit()));
  if (rc_t rc = host.SetLocal(name, contents)) return (void)HostFailure(m, rc);
  BiReturnVoid(m, n);
}

// nv_global(name [, contents]): a global macro, a macro of r(), e() or
// s(), a c() value, or a characteristic.
void BiNvGlobal(Machine& m, int n) {
  HostName h;
  if (!HostNameArg(m, BiArg(m, n, 0), &h)) return;
  Host& host = m.host();
  if (h.space == Space::E && h.name == "sample") return (void)BiFail(m, 3300);
  if (n == 1) {
    std::string text;
    bool found = h.is_char ? host.GetChar(h.owner, h.name, &text) : host.GetMacro(h.space, h.name, &text);
    if (!found) text.clear();
    return BiReturn(m, n, NewString(m, text));
  }
  std::string contents;
  if (!StringScalarArg(m, n, 1, &contents)) return;
  if (h.space == Space::C || Protected(h)) return (void)BiFail(m, 3300);
  rc_t rc;
  if (h.is_char) {
    contents.resize(std::min(contents.size(), kCharMax));
    rc = host.SetChar(h.owner, h.name, contents);
  } else {
    contents.resize(std::min(contents.size(), host.MacroLengthLimit()));
    rc = host.SetMacro(h.space, h.name, contents);
  }
  if (rc) return (void)HostFailure(m, rc);
  BiReturnVoid(m, n);
}

// nv_numscalar(name [, value]): a numeric scalar of the host or of r(),
// e() or s(); reading one that does not exist gives a 0 x 0 matrix.
void BiNvNumscalar(Machine& m, int n) {
  HostName h;
  if (!HostNameArg(m, BiArg(m, n, 0), &h)) return;
  if (h.is_char || h.space == Space::C) return (void)BiFail(m, 3300);
  Host& host = m.host();
  if (n == 1) {
    double d;
    if (!host.GetScalar(h.space, h.name, &d)) return BiReturn(m, n, m.values().NewValue("", kReal, 0, 0));
    return BiReturn(m, n, m.values().NewScalar(d));
  }
  ValueRecord* x = RealArg(m, n, 1);
  if (!x || !m.CheckScalar(x)) return;
  if (Protected(h)) return (void)BiFail(m, 3300);
  if (rc_t rc = host.SetScalar(h.space, h.name, reals(x)[0])) return (void)HostFailure(m, rc);
  BiReturnVoid(m, n);
}

// nv_matrix(name [, X]): a matrix of the host or of r(), e() or s();
// stored with rows r1.. and columns c1..; reading one that does not
// exist gives a 0 x 0 matrix.
void BiNvMatrix(Machine& m, int n) {
  HostName h;
  if (!HostNameArg(m, BiArg(m, n, 0), &h)) return;
  if (h.is_char || h.space == Space::C) return (void)BiFail(m, 3300);
  Host& host = m.host();
  if (n == 1) {
    HostMatrix hm;
    if (!host.GetMatrix(h.space, h.name, &hm)) return BiReturn(m, n, m.values().NewValue("", kReal, 0, 0));
    ValueRecord* r = m.values().NewValue("", kReal, hm.rows, hm.cols);
    if (!r) return m.RaiseAllocation();
    if (!hm.v.empty()) std::memcpy(reals(r), hm.v.data(), hm.v.size() * sizeof(double));
    return BiReturn(m, n, r);
  }
  ValueRecord* x = RealArg(m, n, 1);
  if (!x) return;
  if (Protected(h)) return (void)BiFail(m, 3300);
  if (rc_t rc = host.SetMatrix(h.space, h.name, FromValue(x))) return (void)HostFailure(m, rc);
  BiReturnVoid(m, n);
}

void BiNvMatrixRowstripe(Machine& m, int n) { Stripe(m, n, true); }
void BiNvMatrixColstripe(Machine& m, int n) { Stripe(m, n, false); }

// nv_replacematrix(name, X): new values for an existing matrix of the
// same shape; its row and column names stay.
void BiNvReplacematrix(Machine& m, int n) {
  HostName h;
  if (!HostNameArg(m, BiArg(m, n, 0), &h)) return;
  ValueRecord* x = RealArg(m, n, 1);
  if (!x) return;
  if (h.is_char || h.space == Space::C || Protected(h)) return (void)BiFail(m, 3300);
  HostMatrix hm;
  if (!m.host().GetMatrix(h.space, h.name, &hm)) return (void)BiFail(m, 3300);
  if (hm.rows != x->rows || hm.cols != x->cols) return (void)BiFail(m, 3200);
  hm.v.assign(reals(x), reals(x) + element_count(x));
  if (rc_t rc = m.host().SetMatrix(h.space, h.name, hm)) return (void)HostFailure(m, rc);
  BiReturnVoid(m, n);
}

void BiNvRclear(Machine& m, int n) {
  m.host().ClearResults(Space::R);
  BiReturnVoid(m, n);
}
void BiNvEclear(Machine& m, int n) {
  m.host().ClearResults(Space::E);
  BiReturnVoid(m, n);
}
void BiNvSclear(Machine& m, int n) {
  m.host().ClearResults(Space::S);
  BiReturnVoid(m, n);
}

// nuvra(cmd [, flag1 [, flag2]]): runs a command line; a failure ends
// the Lumo code with the command's return code.  _nuvra returns the code.
// The flags are accepted and checked; neither changes what runs.
void BiNuvra(Machine& m, int n) { RunHostCommand(m, n, false); }
void BiNuvraRc(Machine& m, int n) { RunHostCommand(m, n, true); }

}  // namespace nuvra::lumo
