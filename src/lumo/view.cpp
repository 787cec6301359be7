// Views onto the dataset: making them and reading their cells.
#include "lumo/view.h"

#include <string>

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
  if (consecutive)
    idx[cols] = uint32_t(obs.empty() ? 1 : obs[0]);
  else
    for (int32_t i = 0; i < rows; ++i) idx[cols + i] = uint32_t(obs[size_t(i)]);
  return 0;
}

bool ViewCellExists(Host& host, const ValueRecord* view, int32_t i, int32_t j) {
  int var = ViewVar(view, j);
  int64_t obs = ViewObs(view, i);
  if (var < 1 || var > host.DataVars() || obs < 1 || obs > host.DataObs()) return false;
  return host.DataIsString(var) == (view->eltype == kString);
}

ValueRecord* ViewToArray(Values& values, Host& host, const ValueRecord* view) {
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
