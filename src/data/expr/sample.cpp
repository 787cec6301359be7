#include "data/expr/sample.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

#include "data/names.h"
#include "data/dataset.h"

namespace nuvra::expr {

rc_t compile_condition(Env& env, std::string_view if_text, Condition* out) {
  out->env_ = &env;
  out->bound_ = false;
  out->empty_ = true;
  out->prog_ = Program{};
  bool blank = std::all_of(if_text.begin(), if_text.end(), [](char c) { return c == ' ' || c == '\t'; });
  if (blank) return 0;
  if (rc_t rc = compile(env, if_text, Want::kNumeric, &out->prog_)) return rc;
  out->empty_ = false;
  out->blocks_ = block_ok(out->prog_);
  return 0;
}

void Condition::rebind() {
  if (empty_ || env_ == nullptr) return;
  bind(*env_, prog_, &cx_);
  bound_ = true;
}

bool Condition::test(std::int64_t i) {
  if (empty_) return true;
  if (!bound_) rebind();
  return eval_number(cx_, i) != 0;
}

void Condition::test_block(std::int64_t first, int n, char* pass) {
  if (empty_) {
    std::fill(pass, pass + n, 1);
    return;
  }
  if (!bound_) rebind();
  if (blocks_) {
    eval_block(cx_, first, n, buf_);
    for (int k = 0; k < n; ++k) pass[k] = buf_[k] != 0;
  } else {
    for (int k = 0; k < n; ++k) pass[k] = eval_number(cx_, first + k) != 0;
  }
}

rc_t mark_sample(Env& env, std::string_view if_text, std::int64_t first, std::int64_t last,
                 std::vector<char>* mask, std::int64_t* count) {
  Condition cond;
  if (rc_t rc = compile_condition(env, if_text, &cond)) return rc;
  std::int64_t nobs = env.data_in_memory().nobs();
  mask->assign(static_cast<size_t>(nobs), 0);
  if (first < 1) first = 1;
  if (last > nobs) last = nobs;
  std::int64_t n = 0;
  int blocks = 0;
  for (std::int64_t i = first; i <= last; i += kBlock) {
    if (++blocks % 64 == 0 && env.break_requested()) return 1;
    int m = static_cast<int>(std::min<std::int64_t>(kBlock, last - i + 1));
    char* pass = mask->data() + (i - 1);
    cond.test_block(i, m, pass);
    for (int k = 0; k < m; ++k) n += pass[k];
  }
  if (count) *count = n;
  return 0;
}

rc_t read_in_range(Env& env, std::string_view text, std::int64_t nobs, std::int64_t* first, std::int64_t* last) {
  text = trim(text);
  size_t slash = text.find('/');
  auto position = [&](std::string_view w, std::int64_t* out) {
    w = trim(w);
    if (w == "f" || w == "F") {
      *out = 1;
      return true;
    }
    if (w == "l" || w == "L") {
      *out = nobs;
      return true;
    }
    std::string t(w);
    if (t.empty()) return false;
    char* end = nullptr;
    double v = std::strtod(t.c_str(), &end);
    if (*end != '\0' || v != std::floor(v) || std::fabs(v) > 9e15) return false;
    *out = v < 0 ? nobs + static_cast<std::int64_t>(v) + 1 : static_cast<std::int64_t>(v);
    return true;
  };
  std::int64_t f, l;
  if (slash == std::string_view::npos) {
    if (!position(text, &f)) return env.report_quoting("invalid ", "syntax", "\n", 198);
    l = f;
  } else if (!position(text.substr(0, slash), &f) || !position(text.substr(slash + 1), &l)) {
    return env.report_quoting("invalid ", "syntax", "\n", 198);
  }
  if (f < 1 || l > nobs || f > l) return env.report_quoting("Obs. nos. out of range\n", "", "", 198);
  *first = f;
  *last = l;
  return 0;
}

}  // namespace nuvra::expr
