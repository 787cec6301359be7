// Random numbers from the host's generators through the expression
// library's transformations: after the same seed, runiform(1, 3) here and
// three calls of runiform() in expressions give the same numbers.
#include "lumo/builtins_random.h"

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "data/functions/random.h"
#include "lumo/builtin_args.h"
#include "lumo/builtins_elementwise.h"

namespace nuvra::lumo {

namespace {

// The most outcomes rdiscrete() builds a table for.
constexpr int64_t kMaxDiscreteTable = 10000000;

// Prints the message and raises "argument out of range"; always false.
bool Refuse(Machine& m, const char* message) {
  m.host().Print(Style::Error, message);
  return BiFail(m, 3300);
}

// The sizes r and c that every random-number function takes first.
bool Sizes(Machine& m, int n, int32_t* r, int32_t* c) {
  double d[2];
  for (int k = 0; k < 2; ++k) {
    if (!BiRealScalar(m, BiArg(m, n, k), &d[k])) return false;
    if (!(d[k] >= 0 && d[k] <= INT32_MAX && d[k] == std::floor(d[k])))
      return Refuse(m, "specification must be a nonnegative integer\n");
  }
  *r = int32_t(d[0]);
  *c = int32_t(d[1]);
  return true;
}

// An (r x R) by (c x C) matrix of draws, R x C the shape the N parameter
// arguments broadcast to: block (i, j) of size r x c holds draws with the
// parameters of element (i, j).  Draws are made row by row of the result.
template <int N, class Draw>
void Draws(Machine& m, int n, const char* family, Draw draw) {
  int32_t r, c, rows = 1, cols = 1;
  ValueRecord* a[N > 0 ? N : 1];
  if (!Sizes(m, n, &r, &c)) return;
  if constexpr (N > 0)
    if (!ConformingReals<N>(m, n, 2, family, a, &rows, &cols)) return;
  int64_t out_rows = int64_t(r) * rows, out_cols = int64_t(c) * cols;
  if (out_rows > INT32_MAX || out_cols > INT32_MAX) return (void)BiFail(m, 3900);
  ValueRecord* v = m.values().NewValue("", kReal, int32_t(out_rows), int32_t(out_cols));
  if (!v) return m.RaiseAllocation();
  rng::RandomState& state = m.host().Random();
  double* out = reals(v);
  for (int64_t i = 0; i < out_rows; ++i)
    for (int64_t j = 0; j < out_cols; ++j) {
      double x[N > 0 ? N : 1];
      if constexpr (N > 0)
        for (int k = 0; k < N; ++k) x[k] = reals(a[k])[ConformIndex(a[k], int32_t(i / r), int32_t(j / c))];
      double d = draw(state, x);
      *out++ = BiBad(d) ? data::kMissing : d;
    }
  BiReturn(m, n, v);
}

// Walker's alias table (in Vose's construction) for probabilities p:
// outcome j is kept with probability keep[j], else alias[j] is taken.
void AliasTable(const std::vector<double>& p, std::vector<double>* keep, std::vector<int64_t>* alias) {
  int64_t k = int64_t(p.size());
  std::vector<double> q(p.size());
  std::vector<int64_t> small, large;
  keep->assign(p.size(), 1.0);
  alias->resize(p.size());
  for (int64_t j = 0; j < k; ++j) {
    q[j] = p[j] * double(k);
    (*alias)[j] = j;
    (q[j] < 1 ? small : large).push_back(j);
  }
  while (!small.empty() && !large.empty()) {
    int64_t s = small.back(), l = large.back();
    small.pop_back();
    large.pop_back();
    (*keep)[s] = q[s];
    (*alias)[s] = l;
    q[l] = (q[l] + q[s]) - 1;
    (q[l] < 1 ? small : large).push_back(l);
  }
  // What is left over holds probability 1 up to rounding.
}

}  // namespace

void BiRuniform(Machine& m, int n) {
  Draws<0>(m, n, nullptr, [](rng::RandomState& s, const double*) { return s.uniform(); });
}
void BiRnormal(Machine& m, int n) {
  Draws<2>(m, n, "normal", [](rng::RandomState& s, const double* x) { return rng::rnormal(s, x[0], x[1]); });
}
void BiRgamma(Machine& m, int n) {
  Draws<2>(m, n, "gamma", [](rng::RandomState& s, const double* x) { return rng::rgamma(s, x[0], x[1]); });
}
void BiRbeta(Machine& m, int n) {
  Draws<2>(m, n, "beta", [](rng::RandomState& s, const double* x) { return rng::rbeta(s, x[0], x[1]); });
}
void BiRt(Machine& m, int n) {
  Draws<1>(m, n, "t", [](rng::RandomState& s, const double* x) { return rng::rt(s, x[0]); });
}
void BiRpoisson(Machine& m, int n) {
  Draws<1>(m, n, "Poisson", [](rng::RandomState& s, const double* x) { return rng::rpoisson(s, x[0]); });
}
void BiRbinomial(Machine& m, int n) {
  Draws<2>(m, n, "binomial", [](rng::RandomState& s, const double* x) { return rng::rbinomial(s, x[0], x[1]); });
}
void BiRnbinomial(Machine& m, int n) {
  Draws<2>(m, n, "negative binomial",
           [](rng::RandomState& s, const double* x) { return rng::rnbinomial(s, x[0], x[1]); });
}
void BiRhypergeometric(Machine& m, int n) {
  Draws<3>(m, n, "hypergeometric",
           [](rng::RandomState& s, const double* x) { return rng::rhypergeometric(s, x[0], x[1], x[2]); });
}

// rdiscrete(r, c, p): r x c draws of the outcomes 1, 2, ..., k taken with
// the probabilities of the vector p.
void BiRdiscrete(Machine& m, int n) {
  int32_t r, c;
  if (!Sizes(m, n, &r, &c)) return;
  ValueRecord* pv = BiArg(m, n, 2);
  if (!m.CheckMatrix(pv) || !m.CheckReal(pv) || !m.CheckVector(pv)) return;
  int64_t k = element_count(pv);
  if (k > kMaxDiscreteTable) {
    char buf[80];
    std::snprintf(buf, sizeof buf, "exceeded maximum table size of %lld\n", static_cast<long long>(kMaxDiscreteTable));
    Refuse(m, buf);
    return;
  }
  std::vector<double> p(reals(pv), reals(pv) + k);
  double sum = 0;
  for (double d : p) {
    if (!(d >= 0 && d <= 1)) return (void)Refuse(m, "probabilities must be in [0,1]\n");
    sum += d;
  }
  // Probabilities written to a few digits do not add up to 1 exactly.
  if (k == 0 || !(std::fabs(sum - 1) <= 1e-10)) return (void)Refuse(m, "sum of the probabilities must be 1\n");
  for (double& d : p) d /= sum;
  std::vector<double> keep;
  std::vector<int64_t> alias;
  AliasTable(p, &keep, &alias);
  ValueRecord* v = m.values().NewValue("", kReal, r, c);
  if (!v) return m.RaiseAllocation();
  rng::RandomState& state = m.host().Random();
  for (int64_t e = 0; e < element_count(v); ++e) {
    // One uniform picks the column (its whole part) and tosses the coin
    // (its fraction).
    double u = state.uniform() * double(k);
    int64_t j = std::min(int64_t(u), k - 1);
    reals(v)[e] = double((u - double(j) < keep[j] ? j : alias[j]) + 1);
  }
  BiReturn(m, n, v);
}

// rseed() returns the generators' state as text; rseed(s) sets it from
// such a text, or seeds the generators afresh from a number as `set seed`
// does.
void BiRseed(Machine& m, int n) {
  rng::RandomState& state = m.host().Random();
  if (n == 0) {
    std::string text = state.state();
    return BiReturnString(m, n, text);
  }
  ValueRecord* s = BiArg(m, n, 0);
  if (!m.CheckMatrix(s) || !m.CheckScalar(s)) return;
  if (s->eltype == kString) {
    StringRef t = string_of(slots(s)[0]);
    if (!state.restore(std::string_view(t.bytes, t.length))) return (void)BiFail(m, 3300);
  } else {
    double d;
    if (!BiRealScalar(m, s, &d)) return;
    if (!(d >= 0 && d <= rng::RandomState::kMaxSeed && d == std::floor(d))) return (void)BiFail(m, 3300);
    state.seed(static_cast<std::uint32_t>(d));
  }
  BiReturnVoid(m, n);
}

}  // namespace nuvra::lumo
