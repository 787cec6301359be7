// The rest of the host interface: views onto views, dropping and keeping
// variables and observations, variable attributes, value labels,
// temporary names, macro expansion and string scalars.  As everywhere in
// the host interface, every argument is checked before the host is asked
// to change anything.
#include "lumo/builtins_host2.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "data/expr/strfuncs.h"
#include "data/format.h"
#include "data/missing.h"
#include "data/value_labels.h"
#include "lumo/builtin_args.h"
#include "lumo/builtins_view.h"
#include "lumo/host.h"
#include "lumo/view.h"

namespace nuvra::lumo {

namespace {

using data::is_missing;
using data::kMissing;

constexpr size_t kNameMax = 32;
// Variable labels and value-label texts are cut to these lengths.
constexpr size_t kVarLabelMax = 80;
constexpr size_t kLabelTextMax = 32000;

std::string_view Text(const ValueRecord* v, int64_t k = 0) {
  StringRef s = string_of(slots(v)[k]);
  return {s.bytes, s.length};
}

bool IsName(std::string_view s) {
  if (s.empty() || s.size() > kNameMax) return false;
  if (!(std::isalpha(static_cast<unsigned char>(s[0])) || s[0] == '_')) return false;
  for (char c : s)
    if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_')) return false;
  return true;
}

// A name argument: a string scalar held in an array (3102, 3103, 3254,
// 3204 otherwise); valid as a name, or 3300.
bool NameArg(Machine& m, const ValueRecord* v, std::string* out, bool check = true) {
  if (v->kind == kKindFunction) return BiFail(m, 3102);
  if (is_view(v)) return BiFail(m, 3103);
  if (v->eltype != kString) return BiFail(m, 3254);
  if (v->rows != 1 || v->cols != 1) return BiFail(m, 3204);
  *out = std::string(Text(v));
  if (check && !IsName(*out)) return BiFail(m, 3300);
  return true;
}

// Argument k with a view turned into its cells.
ValueRecord* Cells(Machine& m, int n, int k) {
  if (!m.RealizeTop(n - 1 - k)) return nullptr;
  return BiArg(m, n, k);
}

bool StringScalar(Machine& m, int n, int k, std::string* out) {
  const ValueRecord* v = Cells(m, n, k);
  if (!v || !m.CheckMatrix(v) || !m.CheckString(v) || !m.CheckScalar(v)) return false;
  *out = std::string(Text(v));
  return true;
}

void HostFailed(Machine& m, rc_t rc) { m.RaiseError(rc, Machine::MessageFor(3598)); }

// One variable, by number or by (exact) name.
bool OneVar(Machine& m, int n, int k, int* var) {
  const ValueRecord* v = Cells(m, n, k);
  if (!v || !m.CheckMatrix(v) || !m.CheckScalar(v)) return false;
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

// Indices from 1 to hi given as a real vector, or `.` for all of them.
bool Indices(Machine& m, const ValueRecord* v, int64_t hi, std::vector<int64_t>* out) {
  return NumberList(m, v, hi, out);
}

// ---- views onto views

// The observation and variable lists of rows `rows` and columns `cols` of
// the view (or array) v.
void SubLists(const ValueRecord* v, const std::vector<int64_t>& rows, const std::vector<int64_t>& cols,
              std::vector<int64_t>* obs, std::vector<int>* vars) {
  for (int64_t i : rows) obs->push_back(ViewObs(v, int32_t(i - 1)));
  for (int64_t j : cols) vars->push_back(ViewVar(v, int32_t(j - 1)));
}

// X made a view of rows and cols of V; for an array V, X gets a copy of
// that part.
void MakeSub(Machine& m, int n, ValueRecord* x, ValueRecord* v, const std::vector<int64_t>& rows,
             const std::vector<int64_t>& cols) {
  if (!is_view(v)) {
    if (v->eltype != kReal && v->eltype != kString) return (void)BiFail(m, 3255);
    ValueRecord* r = m.values().NewValue("", v->eltype, int32_t(rows.size()), int32_t(cols.size()));
    if (!r) return m.RaiseAllocation();
    for (size_t i = 0; i < rows.size(); ++i)
      for (size_t j = 0; j < cols.size(); ++j) {
        int64_t to = int64_t(i * cols.size() + j), from = (rows[i] - 1) * v->cols + (cols[j] - 1);
        if (v->eltype == kReal) {
          reals(r)[to] = reals(v)[from];
          continue;
        }
        bool ok;
        slots(r)[to] = m.values().NewString(Text(v, from), &ok);
        if (!ok) {
          m.values().Free(r);
          return m.RaiseAllocation();
        }
      }
    ++r->refcount;
    rc_t rc = m.values().Copy(x, r, true);
    m.values().Release(r);
    if (rc) return (void)BiFail(m, rc);
    return BiReturnVoid(m, n);
  }
  if (!FollowViewVars(m.host(), v)) return (void)BiFail(m, kViewVarDropped);
  std::vector<int64_t> obs;
  std::vector<int> vars;
  SubLists(v, rows, cols, &obs, &vars);
  if (rc_t rc = MakeView(m.values(), x, v->eltype, obs, vars)) return (void)BiFail(m, rc);
  BiReturnVoid(m, n);
}

bool OutputArg(Machine& m, ValueRecord* x) {
  if (x->kind == kKindFunction) return BiFail(m, 3102);
  return true;
}

// ---- dropping and keeping

void DropOrKeepVars(Machine& m, int n, bool keep) {
  const ValueRecord* v = Cells(m, n, 0);
  if (!v) return;
  std::vector<int> listed;
  if (!VariableList(m, v, &listed)) return;
  Host& host = m.host();
  std::vector<int> drop;
  if (keep) {
    std::vector<char> kept(size_t(host.DataVars()) + 1, 0);
    for (int j : listed) kept[size_t(j)] = 1;
    for (int j = 1; j <= host.DataVars(); ++j)
      if (!kept[size_t(j)]) drop.push_back(j);
  } else {
    drop = listed;
  }
  if (rc_t rc = host.DataDropVariables(drop)) return HostFailed(m, rc);
  BiReturnVoid(m, n);
}

void ApplyKeep(Machine& m, int n, const std::vector<char>& keep) {
  if (rc_t rc = m.host().DataKeepObs(keep)) return HostFailed(m, rc);
  BiReturnVoid(m, n);
}

void ObsIn(Machine& m, int n, bool keep) {
  const ValueRecord* v = Cells(m, n, 0);
  if (!v) return;
  Host& host = m.host();
  std::vector<int64_t> obs;
  if (!Indices(m, v, host.DataObs(), &obs)) return;
  std::vector<char> mask(size_t(host.DataObs()), keep ? 0 : 1);
  for (int64_t i : obs) mask[size_t(i - 1)] = keep ? 1 : 0;
  ApplyKeep(m, n, mask);
}

// e: a real column with one element per observation; nonzero marks it.
void ObsIf(Machine& m, int n, bool keep) {
  const ValueRecord* e = Cells(m, n, 0);
  if (!e || !m.CheckMatrix(e) || !m.CheckReal(e)) return;
  Host& host = m.host();
  if (e->cols != 1 || e->rows != host.DataObs()) return (void)BiFail(m, 3200);
  std::vector<char> mask(size_t(host.DataObs()));
  for (size_t i = 0; i < mask.size(); ++i) mask[i] = char((reals(e)[i] != 0) == keep);
  ApplyKeep(m, n, mask);
}

// ---- value labels

// The value a label key stands for (.a - .z above the long type's `.`).
double KeyValue(int32_t key) {
  return key > data::kMissingLongCode ? data::missing_value(int(int64_t(key) - data::kMissingLongCode)) : double(key);
}

bool ValuesAndTexts(Machine& m, int n, const ValueRecord** vals, const ValueRecord** texts, int first) {
  *vals = Cells(m, n, first);
  if (!*vals || !m.CheckMatrix(*vals) || !m.CheckReal(*vals)) return false;
  *texts = Cells(m, n, first + 1);
  if (!*texts || !m.CheckMatrix(*texts) || !m.CheckString(*texts)) return false;
  if (element_count(*vals) > 1 && !m.CheckVector(*vals)) return false;
  if (element_count(*vals) != element_count(*texts)) return BiFail(m, 3200);
  return true;
}

}  // namespace

// nv_subview(X, V, i, j): X a view of rows i and columns j (`.` for all)
// of the view V.
void BiNvSubview(Machine& m, int n) {
  ValueRecord *x = BiArg(m, n, 0), *v = BiArg(m, n, 1);
  if (!OutputArg(m, x) || !m.CheckMatrix(v)) return;
  std::vector<int64_t> rows, cols;
  for (int k = 2; k < 4; ++k)
    if (!m.RealizeTop(n - 1 - k)) return;
  if (!Indices(m, BiArg(m, n, 2), v->rows, &rows) || !Indices(m, BiArg(m, n, 3), v->cols, &cols)) return;
  MakeSub(m, n, x, v, rows, cols);
}

// nv_select(X, V, e): X a view of the rows of V where the column e is
// nonzero, or of its columns where the row e is.
void BiNvSelect(Machine& m, int n) {
  ValueRecord *x = BiArg(m, n, 0), *v = BiArg(m, n, 1);
  if (!OutputArg(m, x) || !m.CheckMatrix(v)) return;
  const ValueRecord* e = Cells(m, n, 2);
  if (!e || !m.CheckMatrix(e) || !m.CheckReal(e)) return;
  std::vector<int64_t> rows, cols;
  bool by_rows = e->cols == 1 && e->rows == v->rows && !(e->rows == 1 && v->cols != 1);
  bool by_cols = e->rows == 1 && e->cols == v->cols;
  if (!by_rows && !by_cols) return (void)BiFail(m, 3200);
  int64_t len = by_rows ? v->rows : v->cols;
  for (int64_t k = 0; k < len; ++k)
    if (reals(e)[k] != 0) (by_rows ? rows : cols).push_back(k + 1);
  for (int64_t k = 1; k <= (by_rows ? v->cols : v->rows); ++k) (by_rows ? cols : rows).push_back(k);
  MakeSub(m, n, x, v, rows, cols);
}

// nv_dropvar(vars), nv_keepvar(vars): by number or by name.
void BiNvDropvar(Machine& m, int n) { DropOrKeepVars(m, n, false); }
void BiNvKeepvar(Machine& m, int n) { DropOrKeepVars(m, n, true); }
// nv_dropobsin(obs), nv_keepobsin(obs): the listed observations.
void BiNvDropobsin(Machine& m, int n) { ObsIn(m, n, false); }
void BiNvKeepobsin(Machine& m, int n) { ObsIn(m, n, true); }
// nv_dropobsif(e), nv_keepobsif(e): the observations where e is nonzero.
void BiNvDropobsif(Machine& m, int n) { ObsIf(m, n, false); }
void BiNvKeepobsif(Machine& m, int n) { ObsIf(m, n, true); }

// nv_varrename(var, newname)
void BiNvVarrename(Machine& m, int n) {
  int j;
  std::string name;
  if (!OneVar(m, n, 0, &j) || !StringScalar(m, n, 1, &name)) return;
  if (!IsName(name)) return (void)BiFail(m, 3300);
  int other = m.host().DataFindVar(name);
  if (other == j) return BiReturnVoid(m, n);
  if (other != 0) return (void)BiFail(m, 3300);
  if (rc_t rc = m.host().DataRenameVar(j, name)) return HostFailed(m, rc);
  BiReturnVoid(m, n);
}

// nv_varformat(var [, fmt]): the display format, or a new one that must
// suit the variable's kind.
void BiNvVarformat(Machine& m, int n) {
  int j;
  if (!OneVar(m, n, 0, &j)) return;
  if (n == 1) return BiReturnString(m, n, m.host().DataVarFormat(j));
  std::string fmt;
  if (!StringScalar(m, n, 1, &fmt)) return;
  data::Format f;
  if (!data::parse_format(fmt, &f) || !data::valid_for_type(f, m.host().DataIsString(j))) return (void)BiFail(m, 3300);
  if (rc_t rc = m.host().DataSetVarFormat(j, fmt)) return HostFailed(m, rc);
  BiReturnVoid(m, n);
}

// nv_varlabel(var [, label]): the label, or a new one (cut to 80 bytes).
void BiNvVarlabel(Machine& m, int n) {
  int j;
  if (!OneVar(m, n, 0, &j)) return;
  if (n == 1) return BiReturnString(m, n, m.host().DataVarLabel(j));
  std::string text;
  if (!StringScalar(m, n, 1, &text)) return;
  text.resize(std::min(text.size(), kVarLabelMax));
  if (rc_t rc = m.host().DataSetVarLabel(j, text)) return HostFailed(m, rc);
  BiReturnVoid(m, n);
}

// nv_varvaluelabel(var [, name]): the value label attached, or a new one
// ("" detaches).  Only numeric variables carry value labels.
void BiNvVarvaluelabel(Machine& m, int n) {
  int j;
  if (!OneVar(m, n, 0, &j)) return;
  if (n == 1) return BiReturnString(m, n, m.host().DataVarValueLabel(j));
  std::string name;
  if (!StringScalar(m, n, 1, &name)) return;
  if (!name.empty() && !IsName(name)) return (void)BiFail(m, 3300);
  if (m.host().DataIsString(j)) return (void)BiFail(m, 3300);
  if (rc_t rc = m.host().DataSetVarValueLabel(j, name)) return HostFailed(m, rc);
  BiReturnVoid(m, n);
}

// nv_isfmt(s), nv_isnumfmt(s), nv_isstrfmt(s): whether s is a display
// format, a numeric one, a string one.
static void IsFormat(Machine& m, int n, int which) {
  std::string s;
  if (!StringScalar(m, n, 0, &s)) return;
  data::Format f;
  bool ok = data::parse_format(s, &f);
  bool r = which == 0 ? ok : which == 1 ? ok && data::is_numeric_format(f) : ok && data::is_string_format(f);
  BiReturn(m, n, m.values().NewScalar(r));
}
void BiNvIsfmt(Machine& m, int n) { IsFormat(m, n, 0); }
void BiNvIsnumfmt(Machine& m, int n) { IsFormat(m, n, 1); }
void BiNvIsstrfmt(Machine& m, int n) { IsFormat(m, n, 2); }

void BiNvVlexists(Machine& m, int n) {
  std::string name;
  if (!NameArg(m, BiArg(m, n, 0), &name)) return;
  BiReturn(m, n, m.values().NewScalar(m.host().LabelExists(name)));
}
void BiNvVldrop(Machine& m, int n) {
  std::string name;
  if (!NameArg(m, BiArg(m, n, 0), &name)) return;
  m.host().LabelDrop(name);
  BiReturnVoid(m, n);
}

// nv_vlmap(name, values): the texts of the values ("" where there is none).
void BiNvVlmap(Machine& m, int n) {
  std::string name;
  if (!NameArg(m, BiArg(m, n, 0), &name)) return;
  const ValueRecord* v = Cells(m, n, 1);
  if (!v || !m.CheckMatrix(v) || !m.CheckReal(v)) return;
  std::vector<std::pair<int32_t, std::string>> pairs;
  m.host().LabelGet(name, &pairs);
  std::vector<std::string> out(size_t(element_count(v)));
  for (size_t k = 0; k < out.size(); ++k) {
    int32_t key;
    if (!data::label_key(reals(v)[k], &key)) continue;
    auto it = std::lower_bound(pairs.begin(), pairs.end(), std::make_pair(key, std::string()));
    if (it != pairs.end() && it->first == key) out[k] = it->second;
  }
  BiReturn(m, n, BiNewStrings(m, v->rows, v->cols, out));
}

// nv_vlsearch(name, texts): the value each text labels (the smallest when
// several), missing for a text that labels none.
void BiNvVlsearch(Machine& m, int n) {
  std::string name;
  if (!NameArg(m, BiArg(m, n, 0), &name)) return;
  const ValueRecord* t = Cells(m, n, 1);
  if (!t || !m.CheckMatrix(t) || !m.CheckString(t)) return;
  std::vector<std::pair<int32_t, std::string>> pairs;
  m.host().LabelGet(name, &pairs);
  ValueRecord* r = m.values().NewValue("", kReal, t->rows, t->cols);
  if (!r) return m.RaiseAllocation();
  for (int64_t k = 0; k < element_count(t); ++k) {
    reals(r)[k] = kMissing;
    for (const auto& p : pairs)
      if (p.second == Text(t, k)) {
        reals(r)[k] = KeyValue(p.first);
        break;
      }
  }
  BiReturn(m, n, r);
}

// nv_vlload(name, values, texts): values and texts receive the label's
// pairs as columns (both 0 x 1 when there is no such label).
void BiNvVlload(Machine& m, int n) {
  std::string name;
  if (!NameArg(m, BiArg(m, n, 0), &name)) return;
  ValueRecord *vals = BiArg(m, n, 1), *texts = BiArg(m, n, 2);
  if (!OutputArg(m, vals) || !OutputArg(m, texts)) return;
  ValueRecord* const outs[2] = {vals, texts};
  if (!BiDistinctOutputs(m, outs, 2)) return;
  std::vector<std::pair<int32_t, std::string>> pairs;
  m.host().LabelGet(name, &pairs);
  std::vector<std::string> t;
  for (const auto& p : pairs) t.push_back(p.second);
  ValueRecord* tv = BiNewStrings(m, int32_t(pairs.size()), 1, t);
  ValueRecord* vv = m.values().NewValue("", kReal, int32_t(pairs.size()), 1);
  if (!tv || !vv) {
    if (tv) m.values().Free(tv);
    if (vv) m.values().Free(vv);
    return m.RaiseAllocation();
  }
  for (size_t k = 0; k < pairs.size(); ++k)
    reals(vv)[k] = KeyValue(pairs[k].first);
  ++tv->refcount;
  ++vv->refcount;
  rc_t rc = m.values().Copy(vals, vv, true);
  if (!rc) rc = m.values().Copy(texts, tv, true);
  m.values().Release(tv);
  m.values().Release(vv);
  if (rc) return (void)BiFail(m, rc);
  BiReturnVoid(m, n);
}

// nv_vlmodify(name, values, texts): each value gets its text; an empty
// text removes the value.  The label is made when it does not exist;
// one left with no values is dropped.
void BiNvVlmodify(Machine& m, int n) {
  std::string name;
  if (!NameArg(m, BiArg(m, n, 0), &name)) return;
  const ValueRecord *vals, *texts;
  if (!ValuesAndTexts(m, n, &vals, &texts, 1)) return;
  std::vector<int32_t> keys(size_t(element_count(vals)));
  for (size_t k = 0; k < keys.size(); ++k)
    if (!data::label_key(reals(vals)[k], &keys[k])) return (void)BiFail(m, 3300);
  std::vector<std::pair<int32_t, std::string>> pairs;
  m.host().LabelGet(name, &pairs);
  std::map<int32_t, std::string> table(pairs.begin(), pairs.end());
  for (size_t k = 0; k < keys.size(); ++k) {
    std::string_view t = Text(texts, int64_t(k));
    if (t.empty()) table.erase(keys[k]);
    else table[keys[k]] = std::string(t.substr(0, kLabelTextMax));
  }
  if (table.empty()) {
    m.host().LabelDrop(name);
    return BiReturnVoid(m, n);
  }
  if (rc_t rc = m.host().LabelSet(name, {table.begin(), table.end()})) return HostFailed(m, rc);
  BiReturnVoid(m, n);
}

// nv_tempname([k]), nv_tempfilename([k]): k fresh names (1 when omitted),
// dropped or removed when the program running ends.
static void TempNames(Machine& m, int n, bool files) {
  double k = 1;
  if (n == 1) {
    const ValueRecord* v = Cells(m, n, 0);
    if (!v || !BiRealScalar(m, v, &k)) return;
    if (is_missing(k) || k < 0 || k != std::floor(k) || k > 1e6) return (void)BiFail(m, 3300);
  }
  std::vector<std::string> names;
  for (int i = 0; i < int(k); ++i) names.push_back(files ? m.host().TempFileName() : m.host().TempName());
  BiReturn(m, n, BiNewStrings(m, 1, int32_t(names.size()), names));
}
void BiNvTempname(Machine& m, int n) { TempNames(m, n, false); }
void BiNvTempfilename(Machine& m, int n) { TempNames(m, n, true); }

// nv_macroexpand(s): s with its macros expanded; _nv_macroexpand(s, r)
// stores the expansion in r and returns the return code (r untouched
// when it is not 0).
void BiNvMacroexpand(Machine& m, int n) {
  std::string s, out;
  if (!StringScalar(m, n, 0, &s)) return;
  if (rc_t rc = m.host().ExpandMacros(s, &out)) return HostFailed(m, rc);
  BiReturnString(m, n, out);
}
void BiNvMacroexpandRc(Machine& m, int n) {
  std::string s, out;
  if (!StringScalar(m, n, 0, &s)) return;
  ValueRecord* r = BiArg(m, n, 1);
  if (!OutputArg(m, r)) return;
  if (rc_t rc = m.host().ExpandMacros(s, &out)) return BiReturn(m, n, m.values().NewScalar(rc));
  ValueRecord* tmp = BiNewStrings(m, 1, 1, {out});
  if (!tmp) return m.RaiseAllocation();
  ++tmp->refcount;
  rc_t rc = m.values().Copy(r, tmp, true);
  m.values().Release(tmp);
  if (rc) return (void)BiFail(m, rc);
  BiReturn(m, n, m.values().NewScalar(0));
}

// nv_updata([flag]): whether the data have changed since last saved; with
// flag, sets that.
void BiNvUpdata(Machine& m, int n) {
  if (n == 0) return BiReturn(m, n, m.values().NewScalar(m.host().DataChanged()));
  const ValueRecord* v = Cells(m, n, 0);
  double d;
  if (!v || !BiRealScalar(m, v, &d)) return;
  m.host().SetDataChanged(d != 0);
  BiReturnVoid(m, n);
}

// nv_strscalar(name [, text]): a string scalar of the host (or of r(),
// e(), s()); "" when there is none.
void BiNvStrscalar(Machine& m, int n) {
  std::string text;
  if (!NameArg(m, BiArg(m, n, 0), &text, false)) return;
  std::string_view t = text;
  while (!t.empty() && t.front() == ' ') t.remove_prefix(1);
  while (!t.empty() && t.back() == ' ') t.remove_suffix(1);
  Space space = Space::Global;
  if (t.size() >= 3 && t[1] == '(' && t.back() == ')') {
    if (t[0] != 'r' && t[0] != 'e' && t[0] != 's') return (void)BiFail(m, 3300);
    space = static_cast<Space>(t[0]);
    t = t.substr(2, t.size() - 3);
  }
  std::string name(t);
  if (!IsName(name)) return (void)BiFail(m, 3300);
  if (n == 1) {
    std::string out;
    if (!m.host().GetStrScalar(space, name, &out)) out.clear();
    return BiReturnString(m, n, out);
  }
  std::string contents;
  if (!StringScalar(m, n, 1, &contents)) return;
  if (rc_t rc = m.host().SetStrScalar(space, name, contents)) return HostFailed(m, rc);
  BiReturnVoid(m, n);
}

// nv_tsrevar(names): the variables the names stand for, through the
// host's tsrevar (an operated name such as L.x becomes a temporary
// variable that lives until the program running ends).  r() is left as
// tsrevar leaves it.
void BiNvTsrevar(Machine& m, int n) {
  std::string names;
  if (!StringScalar(m, n, 0, &names)) return;
  if (names.find_first_not_of(' ') == std::string::npos) return (void)BiFail(m, 3300);
  for (char c : names)
    if (c == '"' || c == '`' || c == '$' || c == ',' || c == '\n') return (void)BiFail(m, 3300);
  Host& host = m.host();
  if (rc_t rc = host.RunCommand("quietly tsrevar " + names)) return HostFailed(m, rc);
  std::string list;
  host.GetMacro(Space::R, "varlist", &list);
  std::vector<double> vars;
  std::string_view t = list;
  while (true) {
    size_t b = t.find_first_not_of(' ');
    if (b == std::string_view::npos) break;
    t.remove_prefix(b);
    size_t e = std::min(t.find(' '), t.size());
    int j = host.DataFindVar(t.substr(0, e));
    if (j == 0) return HostFailed(m, 111);
    vars.push_back(j);
    t.remove_prefix(e);
  }
  ValueRecord* r = m.values().NewValue("", kReal, 1, int32_t(vars.size()));
  if (!r) return m.RaiseAllocation();
  for (size_t k = 0; k < vars.size(); ++k) reals(r)[k] = vars[k];
  BiReturn(m, n, r);
}

// nv_dir(kind, type, pattern [, space]): the names of host objects that
// match the pattern (* and ?), sorted, as a column.  kind is "global"
// (type "macro", "numscalar", "strscalar" or "matrix"), "local" (type
// "macro") or "char" (type a variable's name or "_dta"); space "r", "e"
// or "s" lists the stored results of that class instead of the host's own.
void BiNvDir(Machine& m, int n) {
  std::string kind, type, pattern, sp;
  if (!StringScalar(m, n, 0, &kind) || !StringScalar(m, n, 1, &type) || !StringScalar(m, n, 2, &pattern)) return;
  if (n == 4 && !StringScalar(m, n, 3, &sp)) return;
  Space space = Space::Global;
  if (sp == "r" || sp == "e" || sp == "s") space = static_cast<Space>(sp[0]);
  else if (!sp.empty()) return (void)BiFail(m, 3300);
  std::vector<std::string> names;
  if (!m.host().ListNames(kind, type, space, &names)) return (void)BiFail(m, 3300);
  std::vector<std::string> kept;
  for (std::string& s : names)
    if (expr::str_match(s, pattern)) kept.push_back(std::move(s));
  BiReturn(m, n, BiNewStrings(m, int32_t(kept.size()), 1, kept));
}

}  // namespace nuvra::lumo
