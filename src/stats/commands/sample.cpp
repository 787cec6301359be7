#include "stats/sample.h"

#include <sys/mman.h>

#include <cmath>
#include <cstdint>
#include <new>

#include "data/expr/expr.h"
#include "data/expr/sample.h"
#include "data/missing.h"
#include "interp/interp.h"
#include "interp/messages.h"
#include "interp/parse.h"

namespace nuvra::stats {

rc_t select_sample(Interp& ip, const CommandLine& cl, Sample* out) {
  *out = Sample{};
  std::int64_t first = std::max<std::int64_t>(1, cl.in_first);
  std::int64_t last = std::min(cl.in_last, ip.nobs());
  if (last < first) {
    out->count = 0;
    return 0;
  }
  if (!cl.has_if) {
    out->first = first;
    out->count = last - first + 1;
    return 0;
  }
  std::vector<char> mask;
  std::int64_t n = 0;
  try {
    if (rc_t rc = expr::mark_sample(ip, cl.if_text, first, last, &mask, &n)) return rc;
  } catch (const std::bad_alloc&) {
    return rc_message(ip, 909);
  }
  if (n == 0) return 0;
  std::int64_t lo = first, hi = last;
  while (!mask[lo - 1]) ++lo;
  while (!mask[hi - 1]) --hi;
  out->count = n;
  if (hi - lo + 1 == n) {
    out->first = lo;
    return 0;
  }
  out->contiguous = false;
  try {
    out->obs.reserve(static_cast<size_t>(n));
  } catch (const std::bad_alloc&) {
    return rc_message(ip, 909);
  }
  for (std::int64_t i = lo; i <= hi; ++i)
    if (mask[i - 1]) out->obs.push_back(i);
  return 0;
}

rc_t evaluate_weights(Interp& ip, const CommandLine& cl, const Sample& s, std::vector<double>* weights) {
  weights->clear();
  if (!cl.has_weight) return 0;
  expr::Program prog;
  if (rc_t rc = expr::compile(ip, cl.weight_text, expr::Want::kNumeric, &prog)) return rc;
  expr::EvalContext cx;
  expr::bind(ip, prog, &cx);
  try {
    weights->resize(static_cast<size_t>(s.size()));
  } catch (const std::bad_alloc&) {
    return rc_message(ip, 909);
  }
  for (std::int64_t pos = 0; pos < s.size(); ++pos) {
    if ((pos & 0xFFFF) == 0xFFFF && ip.poll_break()) return 1;
    (*weights)[pos] = expr::eval_number(cx, s.row(pos) + 1);
  }
  // The checks look only at observations the weights will be used for.
  for (double w : *weights) {
    if (data::is_missing(w)) continue;
    if (w < 0 && cl.weight_type != kIweight)
      return msg_quoting(ip.out, "negative weights encountered\n", "", "", 402);
    if (cl.weight_type == kFweight && w != std::floor(w))
      return msg_quoting(ip.out, "may not use noninteger frequency weights\n", "", "", 401);
  }
  return 0;
}

double* pass_scratch(Interp& ip, std::int64_t n) {
  std::vector<double>& v = ip.pass_scratch;
  if (n <= 0) return nullptr;
  if (static_cast<std::int64_t>(v.size()) < n) {
    try {
      std::vector<double>().swap(v);
      v.reserve(static_cast<size_t>(n));
#ifdef MADV_HUGEPAGE
      // Large pages make the first touch of the new memory far cheaper.
      auto begin = reinterpret_cast<std::uintptr_t>(v.data());
      std::uintptr_t page = 4096, first = (begin + page - 1) & ~(page - 1);
      std::uintptr_t end = (begin + static_cast<std::uintptr_t>(n) * sizeof(double)) & ~(page - 1);
      if (end > first) madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
#endif
      v.resize(static_cast<size_t>(n));
    } catch (const std::bad_alloc&) {
      std::vector<double>().swap(v);
      return nullptr;
    }
  }
  return v.data();
}

std::function<bool()> break_poll(Interp& ip) {
  return [&ip] { return ip.poll_break(); };
}

}  // namespace nuvra::stats
