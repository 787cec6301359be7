// libFuzzer target for expressions: arbitrary text is compiled against a
// small dataset (numeric and string variables, missing values) and, when
// it compiles, evaluated at every observation, one at a time and in a
// block, which must agree bit for bit. The scalar evaluator used by the
// interpreter (gathering, then compiling) gets the same text. Anything
// but a return code or a value is a failure: a crash, a sanitizer report,
// a hang, or a disagreement (abort).
//
// Built and run by `make fuzz` (a clang build with coverage hooks), from
// the seeds in tests/fuzz/corpus/<target>/.
#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "data/expr/expr.h"
#include "gui/null_side.h"
#include "interp/interp.h"
#include "interp/simple_expr.h"

namespace {

nuvra::Interp& interp() {
  static nuvra::gui::NullSide side;
  static nuvra::Interp* ip = [] {
    auto* p = new nuvra::Interp(&side);
    nuvra::data::Dataset& ds = p->dataset;
    ds.set_obs(7);
    int x = 0, b = 0, s = 0, e = 0;
    ds.add_variable("x", nuvra::data::kDouble, &x);
    ds.add_variable("b", nuvra::data::kByte, &b);
    ds.add_variable("s", 5, &s);
    ds.add_variable("e", nuvra::data::kFloat, &e);
    const double vals[7] = {1, -2.5, nuvra::data::kMissing, 0, 1e300, nuvra::data::missing_value(2), 3};
    const char* strs[7] = {"a", "", "hello", "a b", "{", "\"", "zz"};
    for (int i = 1; i <= 7; ++i) {
      ds.store(x, i, vals[i - 1]);
      ds.store(b, i, i * 20 - 70);
      ds.store_str(s, i, strs[i - 1]);
      ds.store(e, i, vals[7 - i]);
    }
    p->scalars["sc"] = nuvra::ScalarValue{false, 4, ""};
    p->r_results.scalars["N"] = 7;
    return p;
  }();
  return *ip;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  nuvra::Interp& ip = interp();
  // The first byte picks the version rules.
  ip.version = (data[0] & 1) ? 600 : 1010;
  ip.modern_missing = (data[0] & 2) == 0;
  std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);

  nuvra::expr::Program p;
  if (nuvra::expr::compile(ip, text, nuvra::expr::Want::kAny, &p) == 0) {
    if (p.code.size() > nuvra::expr::kMaxCodeUnits) std::abort();
    nuvra::expr::EvalContext one, many;
    nuvra::expr::bind(ip, p, &one);
    if (p.type == nuvra::expr::Type::kString) {
      for (int i = 1; i <= 7; ++i) (void)nuvra::expr::eval_string(one, i);
    } else {
      double single[7];
      for (int i = 1; i <= 7; ++i) single[i - 1] = nuvra::expr::eval_number(one, i);
      if (nuvra::expr::block_ok(p)) {
        nuvra::expr::bind(ip, p, &many);
        double block[7];
        nuvra::expr::eval_block(many, 1, 7, block);
        for (int i = 0; i < 7; ++i)
          if (std::bit_cast<uint64_t>(single[i]) != std::bit_cast<uint64_t>(block[i])) {
            std::fprintf(stderr, "block and single disagree on \"%s\" at %d\n", text.c_str(), i + 1);
            std::abort();
          }
      }
    }
  }
  // The interpreter's path: gather the longest expression, then compile.
  nuvra::ExprValue v;
  size_t used = 0;
  if (nuvra::eval_expression(ip, text, &v, &used) == 0 && used > text.size()) std::abort();
  ip.out.flush();
  return 0;
}
