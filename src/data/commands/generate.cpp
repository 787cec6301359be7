// generate, replace and assert.
//
// A failing generate or replace leaves the dataset as it was. generate
// only ever adds one variable, and drops it again on a Break. replace
// never stores a value until every value is known and the one promotion
// the new values need has been made:
//  - evaluated in blocks (when the expression may be), the values are
//    computed twice when the variable might need promotion: once to learn
//    the type, once to store; evaluating has no side effects there;
//  - evaluated one observation at a time (subscripts of the variable
//    itself, sum(), changing functions, strings), the new values are kept
//    beside the data and the expression reads them in place of the stored
//    ones, exactly as stored values, so x[_n-1] sees what was replaced.
#include "data/commands/generate.h"

#include <omp.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstring>
#include <new>

#include "data/expr/expr.h"
#include "data/expr/sample.h"
#include "data/expr/shape.h"
#include "interp/interp.h"
#include "interp/messages.h"
#include "data/names.h"
#include "interp/parse.h"

namespace nuvra {
namespace {

using expr::kBlock;

// 1234567 -> "1,234,567"
std::string with_commas(std::int64_t n) {
  std::string d = std::to_string(n < 0 ? -n : n), out;
  for (size_t i = 0; i < d.size(); ++i) {
    if (i > 0 && (d.size() - i) % 3 == 0) out += ',';
    out += d[i];
  }
  return n < 0 ? "-" + out : out;
}

bool same_value(double a, double b) {
  return (std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b)) | (a == b);
}

// What a value reads as once stored in type t.
double as_stored(int t, double v) {
  char buf[8];
  data::store_value(t, buf, v);
  return data::fetch_value(t, buf);
}

// The part of a command line after "name =": the expression, then the
// qualifiers and options, read by the standard parse.
struct Assignment {
  std::string exp;
  CommandLine cl;
};

// Reads "= exp [if] [in] [, options]" from `rest` (a view into the
// command buffer).
rc_t read_assignment(Interp& ip, std::string_view rest, const ParseSettings& st, Assignment* out) {
  size_t i = 0;
  while (i < rest.size() && (rest[i] == ' ' || rest[i] == '\t')) ++i;
  if (i >= rest.size() || rest[i] != '=') return msg_required(ip, "=exp");
  ++i;
  // "==" is a comparison, not an assignment.
  if (i < rest.size() && rest[i] == '=') return msg_invalid(ip, "syntax");
  size_t used = 0;
  if (rc_t rc = gather_expression(ip, rest.substr(i), &used)) return rc;
  out->exp = std::string(trim(rest.substr(i, used)));
  if (out->exp.empty()) return msg_required(ip, "=exp");
  size_t at = static_cast<size_t>(rest.data() - ip.cmdbuf.data()) + i + used;
  ip.reader.set_pos(at);
  return standard_parse(ip, st, &out->cl);
}

void report_missing_generated(Interp& ip, std::int64_t n) {
  if (n <= 0) return;
  ip.out.set_class(output::OutClass::Text);
  ip.out.printf_markup("(%s missing value%s generated)\n", with_commas(n).c_str(), n == 1 ? "" : "s");
}

// The shapes of a value program and its condition (kNone for no
// condition).
struct Shapes {
  expr::Shape value, cond;
};

// Evaluates blocks of observations for one pass: the condition into pass[],
// then each value that passes handed to put(row, value) (row 0-based). A
// straight-line value is fetched, computed and handed on in one loop;
// otherwise the evaluator fills the block first. Holds its own copies of
// the evaluation contexts (their stacks are working storage), so that each
// thread of a pass has one.
class BlockRunner {
 public:
  BlockRunner(const Shapes& sh, const expr::EvalContext& value, expr::Condition& cond)
      : sh_(sh), vcx_(value), has_cond_(!cond.empty()) {
    if (has_cond_) ccx_ = cond.context();
  }
  template <class Put>
  void run(std::int64_t i, int m, Put& put) {
    const std::int64_t r0 = i - 1;
    const bool shaped = expr::shape_runs(sh_.value, vcx_, i, m);
    if (!has_cond_) {
      if (shaped)
        expr::shape_each(sh_.value, vcx_, i, m, [&](int k, double v) { put(r0 + k, v); });
      else {
        expr::eval_block(vcx_, i, m, vals_);
        for (int k = 0; k < m; ++k) put(r0 + k, vals_[k]);
      }
      return;
    }
    if (expr::shape_runs(sh_.cond, ccx_, i, m)) {
      expr::shape_pass(sh_.cond, ccx_, i, m, pass_);
    } else {
      expr::eval_block(ccx_, i, m, vals_);
      for (int k = 0; k < m; ++k) pass_[k] = vals_[k] != 0;
    }
    // The observations that pass, listed without a branch on each: a
    // condition true for half of them at random would otherwise mispredict
    // every other time.
    int np = 0;
    for (int k = 0; k < m; ++k) {
      picked_[np] = static_cast<std::uint16_t>(k);
      np += pass_[k];
    }
    if (shaped && sh_.value.kind == expr::Shape::Kind::kConstant) {
      for (int q = 0; q < np; ++q) put(r0 + picked_[q], sh_.value.value);
      return;
    }
    if (shaped)
      expr::shape_each(sh_.value, vcx_, i, m, [&](int k, double v) { vals_[k] = v; });
    else
      expr::eval_block(vcx_, i, m, vals_);
    for (int q = 0; q < np; ++q) put(r0 + picked_[q], vals_[picked_[q]]);
  }

 private:
  const Shapes& sh_;
  expr::EvalContext vcx_, ccx_;
  bool has_cond_;
  double vals_[kBlock];
  char pass_[kBlock];
  std::uint16_t picked_[kBlock];
};

// Runs `value` over observations first..last where `cond` holds, handing
// each value to put(row, value) (row = observation - 1), in order. Blocks
// when allowed, else one observation at a time. Returns 1 on a Break when
// `breakable`. The programs are bound.
template <class Put>
rc_t over_blocks(Interp& ip, expr::EvalContext& cx, bool blocks, expr::Condition& cond, const Shapes& sh,
                 std::int64_t first, std::int64_t last, bool breakable, Put& put) {
  if (blocks) {
    BlockRunner run(sh, cx, cond);
    for (std::int64_t i = first; i <= last; i += kBlock) {
      // Once a block (256 observations): the poll also keeps the windows
      // answering, so it must come round often.
      if (breakable && ip.poll_break()) return 1;
      run.run(i, static_cast<int>(std::min<std::int64_t>(kBlock, last - i + 1)), put);
    }
    return 0;
  }
  int count = 0;
  for (std::int64_t i = first; i <= last; ++i) {
    if (breakable && ++count % 64 == 0 && ip.poll_break()) return 1;
    if (cond.test(i)) put(i - 1, expr::eval_number(cx, i));
  }
  return 0;
}

// Observations each thread of a parallel pass gets at least: below this the
// cost of starting the threads outweighs the work.
constexpr std::int64_t kMinShare = std::int64_t{1} << 16;

// Threads for a block pass over n observations: one per processor in use,
// as long as each keeps at least kMinShare observations; 1 runs serially.
int block_threads(const Interp& ip, std::int64_t n) {
  std::int64_t t = std::min<std::int64_t>(ip.processors, n / kMinShare);
  return t > 1 ? static_cast<int>(t) : 1;
}

// Whether a value program and its condition may run over pieces of the
// range at the same time: both evaluate in blocks (so no sum(), no changing
// function such as runiform(), no strings, no subscripted read of the
// target), which leaves each observation's value depending on stored
// values only, never on the order observations are visited in.
bool parallel_ok(const expr::Program& value, expr::Condition& cond, int target) {
  return expr::block_ok(value, target) && (cond.empty() || expr::block_ok(cond.program(), target));
}

// over_blocks for programs parallel_ok() accepts, on `threads` threads:
// the range is cut into one contiguous piece per thread, on block
// boundaries of the serial run, and thread t hands its values to its own
// copy of puts[t] (copied back when the pass ends, so that the threads
// never share a cache line while they run); a put must write only its own
// row. Only the calling thread polls Break; the others stop at their next
// block. Every value is the one the serial run computes, bit for bit.
template <class Put>
rc_t over_blocks_parallel(Interp& ip, expr::EvalContext& cx, expr::Condition& cond, const Shapes& sh,
                          std::int64_t first, std::int64_t last, int threads, bool breakable,
                          std::vector<Put>& puts) {
  if (!cond.empty()) cond.rebind();
  const std::int64_t nblocks = (last - first + kBlock) / kBlock;
  std::atomic<bool> stop{false};
#pragma omp parallel num_threads(threads)
  {
    const int t = omp_get_thread_num();
    const int granted = omp_get_num_threads();
    // Piece of thread t: blocks [b0, b1).
    const std::int64_t b0 = nblocks * t / granted, b1 = nblocks * (t + 1) / granted;
    BlockRunner run(sh, cx, cond);
    Put put = puts[static_cast<size_t>(t)];
    for (std::int64_t b = b0; b < b1; ++b) {
      if (stop.load(std::memory_order_relaxed)) break;
      if (breakable && t == 0 && ip.poll_break()) {
        stop.store(true, std::memory_order_relaxed);
        break;
      }
      const std::int64_t i = first + b * kBlock;
      run.run(i, static_cast<int>(std::min<std::int64_t>(kBlock, last - i + 1)), put);
    }
    puts[static_cast<size_t>(t)] = put;
  }
  return stop.load() ? 1 : 0;
}

// The shapes of a pass, with the condition bound (the straight-line loops
// read its context directly).
Shapes shapes_of(const expr::Program& value, expr::Condition& cond) {
  Shapes s;
  s.value = expr::shape_of(value);
  if (!cond.empty()) {
    cond.rebind();
    s.cond = expr::shape_of(cond.program());
  }
  return s;
}

// generate's store: each value as the new variable's type stores it,
// counting the values that are not missing once stored.
struct GenerateStore {
  data::Column col;
  std::int64_t kept = 0;
  [[gnu::always_inline]] void operator()(std::int64_t r, double v) {
    if (col.type == data::kDouble) {
      std::memcpy(col.at(r), &v, 8);
      kept += !data::is_missing(v);
      return;
    }
    col.store(r, v);
    kept += !data::is_missing(col.fetch(r));
  }
};

// The narrowest type from `type` up that holds every value seen.
struct PromotionScan {
  int type = 0;
  void operator()(std::int64_t, double v) { type = data::Dataset::promoted_type(type, v); }
};

}  // namespace

// ---------------------------------------------------------------- generate

rc_t cmd_generate(Interp& ip) {
  data::Dataset& ds = ip.dataset;
  std::string_view rest = ip.reader.rest();
  std::string_view s = rest;
  std::string_view first = take_name(s);
  int type = 0;
  std::string_view name = first;
  {
    std::string_view probe = trim(s);
    int t = data::parse_type_name(first);
    if (t != 0 && !probe.empty() && probe.front() != '=' && probe.front() != ':') {
      type = t;
      name = take_name(s);
    }
  }
  if (name.empty()) return msg_invalid(ip, "syntax");
  std::string label;
  s = trim(s);
  if (!s.empty() && s.front() == ':') {
    s.remove_prefix(1);
    label = std::string(take_name(s));
    if (label.empty()) return msg_invalid(ip, "syntax");
  }
  std::string msg;
  if (rc_t rc = ds.check_new_name(name, &msg)) return msg_quoting(ip.out, "", msg, "\n", rc);
  if (!label.empty()) {
    if (rc_t rc = data::validate_name(label, &msg)) return msg_quoting(ip.out, "", msg, "\n", rc);
  }

  ParseSettings st{.allow_if = true, .allow_in = true, .allow_options = false};
  Assignment a;
  if (rc_t rc = read_assignment(ip, s, st, &a)) return rc;
  expr::Program value;
  if (rc_t rc = expr::compile(ip, a.exp, expr::Want::kAny, &value)) return rc;
  bool is_str = value.type == expr::Type::kString;
  if (type != 0 && data::is_string_type(type) != is_str) return rc_message(ip, 109);
  expr::Condition cond;
  if (rc_t rc = expr::compile_condition(ip, a.cl.has_if ? a.cl.if_text : "", &cond)) return rc;

  std::int64_t nobs = ds.nobs();
  std::int64_t lo = a.cl.in_first, hi = a.cl.in_last;
  std::int64_t stored = 0;  // non-missing values stored
  expr::EvalContext cx;
  int j = 0;

  if (is_str) {
    // The width comes from the values, so they are all computed first.
    expr::bind(ip, value, &cx);
    std::vector<std::string> vals(static_cast<size_t>(nobs));
    std::vector<char> set(static_cast<size_t>(nobs), 0);
    size_t widest = 1;
    for (std::int64_t i = lo; i <= hi; ++i) {
      if (i % 4096 == 0 && ip.poll_break()) return 1;
      if (!cond.test(i)) continue;
      std::string& v = vals[static_cast<size_t>(i - 1)];
      v = expr::eval_string(cx, i);
      if (v.size() > data::kStrMax) v.resize(data::kStrMax);
      set[static_cast<size_t>(i - 1)] = 1;
      widest = std::max(widest, v.size());
    }
    if (type == 0) type = static_cast<int>(widest);
    if (rc_t rc = ds.add_variable(name, type, &j, &msg)) {
      if (!msg.empty()) return msg_quoting(ip.out, "", msg, "\n", rc);
      return rc_message(ip, rc);
    }
    for (std::int64_t i = lo; i <= hi; ++i) {
      const std::string& v = vals[static_cast<size_t>(i - 1)];
      if (!set[static_cast<size_t>(i - 1)]) continue;
      ds.store_str(j, i, v);
      if (!v.empty()) ++stored;
    }
  } else {
    if (type == 0) type = data::kFloat;
    // Every observation gets a value below, so the new column is not set
    // to missing first.
    const bool writes_all = lo == 1 && hi == nobs && cond.empty();
    rc_t added = writes_all ? ds.add_variable_unfilled(name, type, &j, &msg) : ds.add_variable(name, type, &j, &msg);
    if (rc_t rc = added) {
      if (!msg.empty()) return msg_quoting(ip.out, "", msg, "\n", rc);
      return rc_message(ip, rc);
    }
    // From here the new variable exists: a failure to allocate takes it
    // away again before the failure is reported.
    try {
      // Columns are looked up after the variable exists: adding it may
      // have moved the data.
      expr::bind(ip, value, &cx);
      const Shapes sh = shapes_of(value, cond);
      bool blocks = expr::block_ok(value) && (cond.empty() || expr::block_ok(cond.program()));
      const int threads = blocks && parallel_ok(value, cond, 0) ? block_threads(ip, hi - lo + 1) : 1;
      std::vector<GenerateStore> puts(static_cast<size_t>(threads), GenerateStore{ds.column(j), 0});
      rc_t rc = threads > 1 ? over_blocks_parallel(ip, cx, cond, sh, lo, hi, threads, true, puts)
                            : over_blocks(ip, cx, blocks, cond, sh, lo, hi, true, puts[0]);
      for (const GenerateStore& p : puts) stored += p.kept;
      if (rc) {
        ds.drop_variables({j});
        return rc;
      }
    } catch (const std::bad_alloc&) {
      ds.drop_variables({j});
      throw;
    }
  }
  if (!label.empty()) ds.set_value_label_name(j, label);
  ds.set_changed(true);
  report_missing_generated(ip, nobs - stored);
  return 0;
}

// ----------------------------------------------------------------- replace

namespace {

struct Changes {
  std::int64_t real = 0, to_missing = 0;
};

// replace's store: each value as the variable's type stores it, counting
// the stored values that differ from the old ones, and those of them that
// are missing.
struct ReplaceStore {
  data::Column col;
  Changes changes;
  [[gnu::always_inline]] void operator()(std::int64_t r, double v) {
    char* at = col.at(r);
    double old, now = v;
    if (col.type == data::kDouble) {
      std::memcpy(&old, at, 8);
      std::memcpy(at, &v, 8);
    } else {
      old = data::fetch_value(col.type, at);
      data::store_value(col.type, at, v);
      now = data::fetch_value(col.type, at);
    }
    // Counted without a branch: old and new values may differ at random.
    const bool changed = !same_value(old, now);
    changes.real += changed;
    changes.to_missing += changed & data::is_missing(now);
  }
};

void report_changes(Interp& ip, const Changes& c) {
  ip.out.set_class(output::OutClass::Text);
  if (c.to_missing > 0)
    ip.out.printf_markup("(%s real change%s made, %s to missing)\n", with_commas(c.real).c_str(),
                         c.real == 1 ? "" : "s", with_commas(c.to_missing).c_str());
  else
    ip.out.printf_markup("(%s real change%s made)\n", with_commas(c.real).c_str(), c.real == 1 ? "" : "s");
}

// Changes variable j to type t (the promotion), printing the line.
rc_t promote(Interp& ip, int j, int t) {
  data::Dataset& ds = ip.dataset;
  int old = ds.type(j);
  if (t == old) return 0;
  rc_t rc = ds.recast(j, t);
  if (rc == 901 || rc == 902 || rc == 1010) rc = 903;
  if (rc) return rc_message(ip, rc);
  ip.out.set_class(output::OutClass::Text);
  ip.out.print_plain(data::promotion_line(ds.name(j), old, t));
  ip.out.print_markup("\n");
  return 0;
}

}  // namespace

rc_t cmd_replace(Interp& ip) {
  data::Dataset& ds = ip.dataset;
  std::string_view s = ip.reader.rest();
  std::string_view name = take_name(s);
  if (name.empty()) return msg_invalid(ip, "syntax");
  int j = 0;
  std::string msg;
  if (rc_t rc = ds.find(name, &j, &msg)) return msg_quoting(ip.out, "", msg, "\n", rc);

  ParseSettings st{.allow_if = true, .allow_in = true};
  Assignment a;
  if (rc_t rc = read_assignment(ip, s, st, &a)) return rc;
  bool nopromote = a.cl.flag("nopromote", 9, 0) == 1;
  if (rc_t rc = a.cl.leftover(ip)) return rc;
  expr::Program value;
  if (rc_t rc = expr::compile(ip, a.exp, expr::Want::kAny, &value)) return rc;
  bool is_str = ds.is_string(j);
  if ((value.type == expr::Type::kString) != is_str) return rc_message(ip, 109);
  expr::Condition cond;
  if (rc_t rc = expr::compile_condition(ip, a.cl.has_if ? a.cl.if_text : "", &cond)) return rc;

  std::int64_t nobs = ds.nobs();
  std::int64_t lo = a.cl.in_first, hi = a.cl.in_last;
  Changes ch;
  expr::EvalContext cx;
  int type = ds.type(j);
  const int original_type = type;
  bool blocks = !is_str && expr::block_ok(value, j) && (cond.empty() || expr::block_ok(cond.program(), j));

  if (blocks) {
    expr::bind(ip, value, &cx);
    Shapes sh = shapes_of(value, cond);
    bool may_promote = !nopromote && type != data::kFloat && type != data::kDouble;
    const int threads = block_threads(ip, hi - lo + 1);
    if (may_promote) {
      // In pieces, each from the current type: when no piece needs a wider
      // type neither does the whole. The type a promotion reaches depends
      // on the order of the values (long, then 0.5, gives double; 0.5, then
      // a large integer, gives float), so otherwise the values are run
      // again in order.
      bool settled = false;
      if (threads > 1) {
        std::vector<PromotionScan> scans(static_cast<size_t>(threads), PromotionScan{type});
        if (rc_t rc = over_blocks_parallel(ip, cx, cond, sh, lo, hi, threads, true, scans)) return rc;
        settled = std::all_of(scans.begin(), scans.end(), [&](const PromotionScan& p) { return p.type == type; });
      }
      PromotionScan scan{type};
      if (!settled) {
        if (rc_t rc = over_blocks(ip, cx, true, cond, sh, lo, hi, true, scan)) return rc;
      }
      if (rc_t prc = promote(ip, j, scan.type)) return prc;
      type = scan.type;
      expr::bind(ip, value, &cx);
      cond.rebind();
    }
    // Storing cannot fail, so it is not interrupted by Break either. The
    // value and the condition never read the target through a subscript,
    // so a piece's stores cannot change what another piece computes.
    const int pieces = threads > 1 && parallel_ok(value, cond, j) ? threads : 1;
    std::vector<ReplaceStore> puts(static_cast<size_t>(pieces), ReplaceStore{ds.column(j), Changes{}});
    if (pieces > 1)
      over_blocks_parallel(ip, cx, cond, sh, lo, hi, pieces, false, puts);
    else
      over_blocks(ip, cx, true, cond, sh, lo, hi, false, puts[0]);
    for (const ReplaceStore& p : puts) {
      ch.real += p.changes.real;
      ch.to_missing += p.changes.to_missing;
    }
  } else {
    // One observation at a time, the new values kept beside the data.
    std::vector<double> nums;
    std::vector<std::string> strs;
    std::vector<char> set(static_cast<size_t>(nobs), 0);
    if (is_str)
      strs.resize(static_cast<size_t>(nobs));
    else
      nums.assign(static_cast<size_t>(nobs), 0.0);
    expr::bind(ip, value, &cx);
    cond.rebind();
    // The variable's own reads see the overlay, in both programs.
    auto overlay = [&](expr::EvalContext& c) {
      for (size_t k = 0; k < c.prog->vars.size(); ++k)
        if (c.prog->vars[k] == j) c.overlay_index = static_cast<int>(k);
      c.overlay_num = &nums;
      c.overlay_str = &strs;
      c.overlay_set = &set;
    };
    overlay(cx);
    if (!cond.empty()) overlay(cond.context());
    data::Column col = ds.column(j);
    int t = type;
    for (std::int64_t i = lo; i <= hi; ++i) {
      if (i % 4096 == 0 && ip.poll_break()) return 1;
      if (!cond.test(i)) continue;
      size_t r = static_cast<size_t>(i - 1);
      if (is_str) {
        std::string v = expr::eval_string(cx, i);
        if (!nopromote && static_cast<int>(std::min<size_t>(v.size(), data::kStrMax)) > t)
          t = static_cast<int>(std::min<size_t>(v.size(), data::kStrMax));
        if (v.size() > static_cast<size_t>(t)) v.resize(static_cast<size_t>(t));
        const char* at = col.at(i - 1);
        std::string_view old(at, data::stored_string_length(at, col.type));
        if (old != v) {
          ++ch.real;
          if (v.empty()) ++ch.to_missing;
        }
        strs[r] = std::move(v);
      } else {
        double v = expr::eval_number(cx, i);
        if (!nopromote) t = data::Dataset::promoted_type(t, v);
        double now = as_stored(t, v);
        double old = col.fetch(i - 1);
        if (!same_value(old, now)) {
          ++ch.real;
          if (data::is_missing(now)) ++ch.to_missing;
        }
        nums[r] = now;
      }
      set[r] = 1;
    }
    if (rc_t rc = promote(ip, j, t)) return rc;
    for (std::int64_t i = lo; i <= hi; ++i) {
      size_t r = static_cast<size_t>(i - 1);
      if (!set[r]) continue;
      if (is_str)
        ds.store_str(j, i, strs[r]);
      else
        ds.store(j, i, nums[r]);
    }
  }
  if (ch.real > 0 || ds.type(j) != original_type) ds.set_changed(true);
  if (ch.real > 0) ds.cut_sort_list_at(j);
  report_changes(ip, ch);
  return 0;
}

// ------------------------------------------------------------------ assert

rc_t cmd_assert(Interp& ip) {
  std::string_view rest = ip.reader.rest();
  size_t used = 0;
  if (rc_t rc = gather_expression(ip, rest, &used)) return rc;
  std::string text(trim(rest.substr(0, used)));
  if (text.empty()) return msg_required(ip, "expression");
  ip.reader.set_pos(static_cast<size_t>(rest.data() - ip.cmdbuf.data()) + used);
  ParseSettings st{.allow_if = true, .allow_in = true};
  CommandLine cl;
  if (rc_t rc = standard_parse(ip, st, &cl)) return rc;
  bool rc0 = cl.flag("rc0", 3, 0) == 1;
  bool fast = cl.flag("fast", 4, 0) == 1;
  cl.flag("null", 4, 0);
  if (rc_t rc = cl.leftover(ip)) return rc;
  expr::Program p;
  if (rc_t rc = expr::compile(ip, text, expr::Want::kNumeric, &p)) return rc;
  expr::Condition cond;
  if (rc_t rc = expr::compile_condition(ip, cl.has_if ? cl.if_text : "", &cond)) return rc;
  expr::EvalContext cx;
  expr::bind(ip, p, &cx);
  std::int64_t lo = cl.in_first, hi = cl.in_last;
  std::int64_t checked = 0, contradictions = 0;
  bool blocks = expr::block_ok(p) && (cond.empty() || expr::block_ok(cond.program()));
  double vals[kBlock];
  char pass[kBlock];
  int count = 0;
  for (std::int64_t i = lo; i <= hi;) {
    if ((blocks || ++count % 64 == 0) && ip.poll_break()) return 1;
    int m = static_cast<int>(std::min<std::int64_t>(blocks ? kBlock : 1, hi - i + 1));
    cond.test_block(i, m, pass);
    if (blocks)
      expr::eval_block(cx, i, m, vals);
    else if (pass[0])
      vals[0] = expr::eval_number(cx, i);
    for (int k = 0; k < m; ++k) {
      if (!pass[k]) continue;
      ++checked;
      if (vals[k] == 0) ++contradictions;
    }
    if (fast && contradictions > 0) break;
    i += m;
  }
  if (contradictions == 0) return 0;
  {
    ip.out.set_class(output::OutClass::Error);
    if (!fast)
      ip.out.printf_markup("%s contradiction%s in %s observation%s\n", with_commas(contradictions).c_str(),
                           contradictions == 1 ? "" : "s", with_commas(checked).c_str(), checked == 1 ? "" : "s");
    ip.out.print_markup("assertion is false\n");
    ip.out.set_class(output::OutClass::Text);
  }
  return rc0 ? 0 : 9;
}

}  // namespace nuvra
