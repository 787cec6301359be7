// The interpreter as the expression engines' environment (expr::Env): the
// lookups they make, answered from the interpreter's own stores.
#include "interp/interp.h"
#include "interp/messages.h"
#include "interp/programs.h"

namespace nuvra {

rc_t Interp::report(rc_t code) { return rc_message(*this, code); }

rc_t Interp::report_quoting(std::string_view before, std::string_view user, std::string_view after, rc_t code) {
  return msg_quoting(out, before, user, after, code);
}

const ScalarValue* Interp::find_scalar(std::string_view name) const {
  auto it = scalars.find(std::string(name));
  return it == scalars.end() ? nullptr : &it->second;
}

const stats::Matrix* Interp::find_matrix(std::string_view name) const {
  if ((name.starts_with("r(") || name.starts_with("e(")) && name.ends_with(")")) {
    const SavedResults& r = name[0] == 'r' ? r_results : e_results;
    auto it = r.matrices.find(std::string(name.substr(2, name.size() - 3)));
    return it == r.matrices.end() ? nullptr : &it->second;
  }
  auto it = matrices.find(std::string(name));
  return it == matrices.end() ? nullptr : &it->second;
}

bool Interp::saved_number(char cls, std::string_view name, double* out) {
  return saved_result_scalar(*this, cls, name, out);
}

bool Interp::saved_text(char cls, std::string_view name, std::string* out) {
  return saved_result_text(*this, cls, name, out);
}

const std::string* Interp::estimation_macro(std::string_view name) const {
  auto it = e_results.macros.find(std::string(name));
  return it == e_results.macros.end() ? nullptr : &it->second;
}

expr::MatrixSettings Interp::matrix_settings() const {
  expr::MatrixSettings s;
  s.matsize = matsize;
  s.processors = processors;
  s.sweep_select = sweep_select;
  s.sweep_trace = sweep_trace;
  return s;
}

}  // namespace nuvra
