// Probability distributions through the expression library's kernels, so
// that normal(z) in Lumo and in an expression are the same number.
#include "lumo/builtins_dist.h"

#include "data/functions/distributions.h"
#include "lumo/builtins_elementwise.h"

namespace nuvra::lumo {

namespace {

// normalden and lnnormalden take z; x and sd; or x, mean and sd.
template <class K1, class K2, class K3>
void NormalDensity(Machine& m, int n, K1 f1, K2 f2, K3 f3) {
  if (n == 1) return ApplyReal<1>(m, n, 0, "normal", f1);
  if (n == 2) return ApplyReal<2>(m, n, 0, "normal", f2);
  ApplyReal<3>(m, n, 0, "normal", f3);
}

}  // namespace

#define LUMO_DISTRIBUTION(name, nargs, family, kernel) \
  void Bi_##name(Machine& m, int n) { ApplyReal<nargs>(m, n, 0, family, [](auto... x) { return kernel(x...); }); }
#include "lumo/builtins_dist.def"
#undef LUMO_DISTRIBUTION

void BiNormalden(Machine& m, int n) {
  NormalDensity(
      m, n, [](double z) { return fn::normalden(z); }, [](double x, double sd) { return fn::normalden(x, sd); },
      [](double x, double mu, double sd) { return fn::normalden(x, mu, sd); });
}
void BiLnnormalden(Machine& m, int n) {
  NormalDensity(
      m, n, [](double z) { return fn::lnnormalden(z); }, [](double x, double sd) { return fn::lnnormalden(x, sd); },
      [](double x, double mu, double sd) { return fn::lnnormalden(x, mu, sd); });
}

}  // namespace nuvra::lumo
