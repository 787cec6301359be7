// Views onto the dataset: making them and reading their cells.
#include "lumo/view.h"

#include <algorithm>
#include <string>

#include "data/dataset.h"
#include "stats/ddouble.h"

namespace nuvra::lumo {

rc_t MakeView(Values& values, ValueRecord* v, int eltype, const std::vector<int64_t>& obs, const std::vector<int>& vars) {
  bool consecutive = true;
  for (size_t i = 1; i < obs.size(); ++i)
    if (obs[i] != obs[i - 1] + 1) consecutive = false;
  auto rows = int32_t(obs.size()), cols = int32_t(vars.size());
  int representation = consecutive ? kView1 : kView2;
  if (rc_t rc = values.Reshape(v, eltype, rows, cols, representation)) return rc;
  values.views_made = true;
  auto* idx = static_cast<uint32_t*>(v->data);
  for (int32_t j = 0; j < cols; ++j) idx[j] = uint32_t(vars[size_t(j)]);
  if (Host* host = values.data_host) {
    v->view_ids.resize(size_t(cols));
    for (int32_t j = 0; j < cols; ++j) {
      int var = vars[size_t(j)];
      v->view_ids[size_t(j)] = var >= 1 && var <= host->DataVars() ? host->DataVarId(var) : 0;
    }
  }
  if (consecutive)
    idx[cols] = uint32_t(obs.empty() ? 1 : obs[0]);
  else
    for (int32_t i = 0; i < rows; ++i) idx[cols + i] = uint32_t(obs[size_t(i)]);
  return 0;
}

bool FollowViewVars(Host& host, const ValueRecord* view) {
  if (view->view_ids.empty()) return true;
  auto* idx = static_cast<uint32_t*>(const_cast<void*>(view->data));
  const int nvar = host.DataVars();
  for (int32_t j = 0; j < view->cols; ++j) {
    const uint64_t id = view->view_ids[size_t(j)];
    const int var = int(idx[j]);
    if (var >= 1 && var <= nvar && host.DataVarId(var) == id) continue;
    const int now = id ? host.DataVarById(id) : 0;
    if (now == 0) return false;
    idx[j] = uint32_t(now);
  }
  return true;
}

bool ViewCellExists(Host& host, const ValueRecord* view, int32_t i, int32_t j) {
  int var = ViewVar(view, j);
  int64_t obs = ViewObs(view, i);
  if (var < 1 || var > host.DataVars() || obs < 1 || obs > host.DataObs()) return false;
  return host.DataIsString(var) == (view->eltype == kString);
}

namespace {

// Adds rows [i0, i1) of a view's column to acc, the column stored as type
// T (-1: the column's own type, looked up per cell).  A constant T lets
// the conversion be worked out once, outside the loop; the conversion
// itself is the storage rule's own.  Observations past nobs have left the
// dataset and count as missing.
template <int T, class Acc>
void SumRows(const data::Column& c, const ValueRecord* view, int32_t i0, int32_t i1, int64_t nobs, Acc& acc,
             char& miss) {
  const int type = T >= 0 ? T : c.type;
  auto add = [&](int64_t obs) {
    double d = obs <= nobs ? data::fetch_value(type, c.at(obs - 1)) : data::kMissing;
    if (data::is_missing(d)) miss = 1;
    else acc += d;
  };
  const auto* idx = static_cast<const uint32_t*>(view->data);
  if (view->representation == kView1) {
    const int64_t first = idx[view->cols];
    for (int32_t i = i0; i < i1; ++i) add(first + i);
  } else {
    const uint32_t* obs = idx + view->cols;
    for (int32_t i = i0; i < i1; ++i) add(obs[i]);
  }
}

template <class Acc>
void SumColumnRows(const data::Column& c, const ValueRecord* view, int32_t i0, int32_t i1, int64_t nobs, Acc& acc,
                   char& miss) {
  switch (c.type) {
    case data::kByte: return SumRows<data::kByte>(c, view, i0, i1, nobs, acc, miss);
    case data::kInt: return SumRows<data::kInt>(c, view, i0, i1, nobs, acc, miss);
    case data::kLong: return SumRows<data::kLong>(c, view, i0, i1, nobs, acc, miss);
    case data::kFloat: return SumRows<data::kFloat>(c, view, i0, i1, nobs, acc, miss);
    case data::kDouble: return SumRows<data::kDouble>(c, view, i0, i1, nobs, acc, miss);
    default: return SumRows<-1>(c, view, i0, i1, nobs, acc, miss);
  }
}

}  // namespace

template <class Acc>
bool ViewColumnSums(Host& host, const ValueRecord* view, Acc* acc, char* miss) {
  if (!FollowViewVars(host, view)) return false;
  const int32_t cols = view->cols, rows = view->rows;
  std::vector<data::Column> column(static_cast<size_t>(cols));
  std::vector<char> live(size_t(cols), 0);
  for (int32_t j = 0; j < cols; ++j) {
    int var = ViewVar(view, j);
    live[size_t(j)] = var >= 1 && var <= host.DataVars() && !host.DataIsString(var);
    if (live[size_t(j)] && !host.DataColumn(var, &column[size_t(j)])) return false;
  }
  const int64_t nobs = host.DataObs();
  for (int32_t j = 0; j < cols; ++j) {
    acc[j] = Acc(0);
    miss[j] = live[size_t(j)] || rows == 0 ? 0 : 1;
  }
  // The records hold every variable of an observation side by side: a
  // block of rows is read once from memory and then summed column by
  // column from the cache.
  constexpr int32_t kBlock = 1024;
  for (int32_t i0 = 0; i0 < rows; i0 += kBlock) {
    int32_t i1 = std::min(rows, i0 + kBlock);
    for (int32_t j = 0; j < cols; ++j)
      if (live[size_t(j)]) SumColumnRows(column[size_t(j)], view, i0, i1, nobs, acc[j], miss[j]);
  }
  return true;
}

template bool ViewColumnSums<double>(Host&, const ValueRecord*, double*, char*);
template bool ViewColumnSums<stats::DD>(Host&, const ValueRecord*, stats::DD*, char*);

ValueRecord* ViewToArray(Values& values, Host& host, const ValueRecord* view) {
  if (!FollowViewVars(host, view)) {
    values.set_error(kViewVarDropped, "");
    return nullptr;
  }
  ValueRecord* a = values.NewValue("", view->eltype, view->rows, view->cols);
  if (!a) return nullptr;
  for (int32_t i = 0; i < view->rows; ++i) {
    for (int32_t j = 0; j < view->cols; ++j) {
      int64_t k = int64_t(i) * view->cols + j;
      bool live = ViewCellExists(host, view, i, j);
      if (view->eltype != kString) {
        reals(a)[k] = live ? host.DataNumber(ViewObs(view, i), ViewVar(view, j)) : data::kMissing;
        continue;
      }
      if (!live) continue;  // the element is already the empty string
      std::string s = host.DataString(ViewObs(view, i), ViewVar(view, j));
      bool ok;
      slots(a)[k] = values.NewString(s, &ok);
      if (!ok) {
        values.Free(a);
        return nullptr;
      }
    }
  }
  return a;
}

}  // namespace nuvra::lumo
