// Expressions: the compiler that turns expression text into a program of
// 16-bit operation codes, and the evaluator that runs it per observation.
//
//   expr::Program p;
//   if (rc_t rc = expr::compile(ip, "2*x + 1", expr::Want::kNumeric, &p)) return rc;
//   expr::EvalContext cx;
//   expr::bind(ip, p, &cx);                  // window 1.._N, columns looked up
//   double v = expr::eval_number(cx, 5);     // observation 5
//
// Compiling prints its own message and returns the code (109, 111, 130,
// 132, 133, 198, 199, 1000, 101, 301); nothing is thrown out of it.
// Evaluating never fails: run-time problems give `.` (or "").
//
// Two ways to run a program over observations give the same values:
//  - one observation at a time: eval_number / eval_string;
//  - a block of up to kBlock consecutive observations at once:
//    eval_block, allowed when block_ok() says so (numeric programs without
//    sum(), changing functions or strings; and, for a caller that writes a
//    variable while evaluating, no subscript reading that variable).
// The block form is what makes generate and replace run near the speed of
// a hand-written loop: the dispatch cost is paid once per block.
//
// Columns are looked up by bind(); they go stale when variables are
// added, dropped or recast, or observations added or dropped, so a caller
// that does any of that binds again before evaluating.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "data/dataset.h"
#include "data/functions/random.h"
#include "base/rc.h"
#include "data/expr/env.h"

namespace nuvra::expr {

enum Op : std::uint16_t {
#define OP(sym, code, operands, effect) sym = code,
#include "data/expr/opcodes.def"
#undef OP
};

// The largest code area, in 16-bit units.
inline constexpr std::size_t kMaxCodeUnits = 2400;
// sum() calls allowed in one expression.
inline constexpr int kMaxSums = 5;
// Observations evaluated together by eval_block.
inline constexpr int kBlock = 256;

enum class Want { kNumeric, kString, kAny, kNumericOrMatrix };
enum class Type : std::uint8_t { kNumeric, kString, kMatrix };

struct CompileOptions {
  bool allow_ts = true;  // time-series operators allowed by the command
};

// Stands in vars[] for the hidden estimation-sample variable: its number is
// the last one and changes whenever a variable is added, which `generate`
// does between compiling its expression and evaluating it.
constexpr int kEsampleVarRef = -1;

// One time-series operated variable read by a program: the variable, the
// declaration's time and panel variables (indexes into Program::vars;
// panel -1 without panels), and the lag polynomial (see tsops.h).
struct TsRead {
  int var = 0, time = 0, panel = -1;
  double delta = 1;
  long long lag = 0;
  int diff = 0;
  std::vector<long long> seasonal;
  std::vector<double> coef;  // nonzero where a value is needed
};

struct Program {
  std::vector<std::uint16_t> code;
  std::vector<TsRead> ts;            // operated variables (TSVAR operand)
  std::vector<double> consts;        // constant pool
  std::vector<std::string> strings;  // string pool
  std::vector<int> vars;             // variables read (operand v indexes this)
  std::vector<char> var_subscripted; // per vars[]: read through a subscript
  Type type = Type::kNumeric;
  // The two evaluate-once flags: cleared by changing functions and sum(),
  // so callers never fold such an expression to one value.
  bool once = true;
  bool once_matrix = true;
  bool has_strings = false;  // any string operation (block evaluation refused)
  bool reads_obs = false;    // variables, _n, _N or subscripts: not constant
  bool compare_all_missing_equal = false;  // version below 8: .a == .b
  int nsums = 0;
  int max_depth = 0;
  std::string text;
};

// Compiles `text` (the whole text must be one expression). On failure the
// message has been printed and *out is left empty.
rc_t compile(Env& env, std::string_view text, Want want, Program* out,
             const CompileOptions& opt = {});

// Reads the time-series operator text before a variable's last `.`
// ("L2D3S4S1") and writes its canonical form ("L2D3S1S4"). Prints the
// message and returns 198 or 1000 when the operators are invalid.
rc_t ts_canonical(Env& env, std::string_view ops, std::string* canonical);

// ---- evaluation ---------------------------------------------------------

struct EvalContext {
  const Program* prog = nullptr;
  Env* env = nullptr;  // state kept between calls (the last regular-expression match)
  data::Dataset* ds = nullptr;
  double rc_value = 0;  // _rc
  std::int64_t nobs = 0;
  // The evaluation window: the range being run and the current group
  // (sort/by sets the group; without by it is 1.._N).
  std::int64_t range_first = 1, range_last = 0;
  std::int64_t group_first = 1, group_last = 0;
  // A command that runs once over all by-groups: the first observation of
  // each group, then nobs + 1 (group_count + 1 entries). The evaluator
  // moves the group window to the group of each observation it runs, and
  // sum() starts again at each group. Null when the window is one group.
  const std::int64_t* group_starts = nullptr;
  std::size_t group_count = 0;
  std::int64_t sum_group = 0;  // group_first of the group sum() is adding up
  // _by(), _bylastcall(), _byindex(), _byn1(), _byn2() for this command.
  double by_values[5] = {0, 1, 1, 1, 0};
  // One column per prog->vars entry.
  std::vector<data::Column> cols;
  // Variable being replaced one observation at a time: reads of it at an
  // observation whose overlay_set entry is 1 see overlay values instead of
  // the stored ones (replace computes everything before storing anything).
  int overlay_index = -1;  // index into prog->vars, -1 none
  const std::vector<double>* overlay_num = nullptr;
  const std::vector<std::string>* overlay_str = nullptr;
  const std::vector<char>* overlay_set = nullptr;
  // Observations in (panel, time) order for the time-series operators;
  // both empty when the data are already in that order.
  std::vector<std::int64_t> ts_order, ts_rank;
  std::vector<double> ts_work;  // one window of values, sized by bind()
  // Working storage, sized by bind(): kBlock lanes per stack level.
  std::vector<double> stack;
  std::vector<std::string> sstack;
  double sums[kMaxSums] = {0, 0, 0, 0, 0};
  std::string scratch;
  // The session's random-number generators, for runiform() and the r...()
  // functions.
  rng::RandomState* random = nullptr;
};

// Prepares cx for running p over the current dataset: columns, stack,
// window 1.._N. Call again after the dataset's shape changes.
void bind(Env& env, const Program& p, EvalContext* cx);
// Sets the window: the range being run and the current group (by-groups
// set one group at a time). sum() starts again from 0 whenever the window
// is set, and at bind().
void set_window(EvalContext* cx, std::int64_t range_first, std::int64_t range_last,
                std::int64_t group_first, std::int64_t group_last);

// One observation (1-based). Infinities and NaN come out as `.`.
double eval_number(EvalContext& cx, std::int64_t obs);
// The text of a string program at one observation (valid until the next
// evaluation with cx).
const std::string& eval_string(EvalContext& cx, std::int64_t obs);
// Observations first .. first + n - 1 (n <= kBlock) into out[0..n).
// Only for programs for which block_ok() holds.
void eval_block(EvalContext& cx, std::int64_t first, int n, double* out);

// Whether p may be run in blocks. A caller that stores into variable
// `target` (0 for none) while the program runs passes it: a subscript
// reading it forces one observation at a time, so that x[_n-1] sees the
// value just replaced.
bool block_ok(const Program& p, int target = 0);

// Turns an infinity or NaN into `.`; other values pass.
double finish_value(double v);

// A number as display shows it without a format (%9.0g, no leading blank).
std::string number_text(double v);

}  // namespace nuvra::expr
