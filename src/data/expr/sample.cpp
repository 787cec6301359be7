#include "data/expr/sample.h"

#include <algorithm>

#include "interp/interp.h"
#include "interp/parse.h"

namespace nuvra::expr {

rc_t compile_condition(Interp& ip, std::string_view if_text, Condition* out) {
  out->ip_ = &ip;
  out->bound_ = false;
  out->empty_ = true;
  out->prog_ = Program{};
  bool blank = std::all_of(if_text.begin(), if_text.end(), [](char c) { return c == ' ' || c == '\t'; });
  if (blank) return 0;
  if (rc_t rc = compile(ip, if_text, Want::kNumeric, &out->prog_)) return rc;
  out->empty_ = false;
  out->blocks_ = block_ok(out->prog_);
  return 0;
}

void Condition::rebind() {
  if (empty_ || ip_ == nullptr) return;
  bind(*ip_, prog_, &cx_);
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

rc_t mark_sample(Interp& ip, std::string_view if_text, std::int64_t first, std::int64_t last,
                 std::vector<char>* mask, std::int64_t* count) {
  Condition cond;
  if (rc_t rc = compile_condition(ip, if_text, &cond)) return rc;
  std::int64_t nobs = ip.dataset.nobs();
  mask->assign(static_cast<size_t>(nobs), 0);
  if (first < 1) first = 1;
  if (last > nobs) last = nobs;
  std::int64_t n = 0;
  int blocks = 0;
  for (std::int64_t i = first; i <= last; i += kBlock) {
    if (++blocks % 64 == 0 && ip.poll_break()) return 1;
    int m = static_cast<int>(std::min<std::int64_t>(kBlock, last - i + 1));
    char* pass = mask->data() + (i - 1);
    cond.test_block(i, m, pass);
    for (int k = 0; k < m; ++k) n += pass[k];
  }
  if (count) *count = n;
  return 0;
}

rc_t mark_sample(Interp& ip, const CommandLine& cl, std::vector<char>* mask, std::int64_t* count) {
  // Without `in` the range is the interpreter's observation window: every
  // observation, or under `by` the current group.
  std::int64_t first = cl.has_in ? cl.in_first : ip.obs_first();
  std::int64_t last = cl.has_in ? cl.in_last : ip.obs_last();
  return mark_sample(ip, cl.has_if ? std::string_view(cl.if_text) : std::string_view(), first, last, mask, count);
}

}  // namespace nuvra::expr
