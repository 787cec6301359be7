#include "data/functions/random.h"

#include <algorithm>
#include <cmath>

#include <boost/math/special_functions/gamma.hpp>

#include "data/functions/distributions.h"
#include "data/functions/math_policy.h"

namespace nuvra::rng {

using fn::bad;
using fn::kM;

// ----------------------------------------------------------- MT19937-64

void Mt64::seed(std::uint64_t s) {
  mt_[0] = s;
  for (int i = 1; i < kN; ++i)
    mt_[i] = 6364136223846793005ULL * (mt_[i - 1] ^ (mt_[i - 1] >> 62)) + static_cast<std::uint64_t>(i);
  index_ = kN;
}

std::uint64_t Mt64::next() {
  constexpr int kMid = 156;
  constexpr std::uint64_t kMatrixA = 0xB5026F5AA96619E9ULL;
  constexpr std::uint64_t kUpper = 0xFFFFFFFF80000000ULL, kLower = 0x7FFFFFFFULL;
  if (index_ >= kN) {
    if (index_ == kN + 1) seed(5489);
    auto mix = [&](std::uint64_t a, std::uint64_t b, std::uint64_t far) {
      std::uint64_t x = (a & kUpper) | (b & kLower);
      return far ^ (x >> 1) ^ ((x & 1) ? kMatrixA : 0);
    };
    int i = 0;
    for (; i < kN - kMid; ++i) mt_[i] = mix(mt_[i], mt_[i + 1], mt_[i + kMid]);
    for (; i < kN - 1; ++i) mt_[i] = mix(mt_[i], mt_[i + 1], mt_[i + kMid - kN]);
    mt_[kN - 1] = mix(mt_[kN - 1], mt_[0], mt_[kMid - 1]);
    index_ = 0;
  }
  std::uint64_t x = mt_[index_++];
  x ^= (x >> 29) & 0x5555555555555555ULL;
  x ^= (x << 17) & 0x71D67FFFEDA60000ULL;
  x ^= (x << 37) & 0xFFF7EEE000000000ULL;
  x ^= x >> 43;
  return x;
}

// ------------------------------------------------------------- KISS 1999

namespace {
// SplitMix64, to spread one seed over several state words.
std::uint64_t splitmix(std::uint64_t& s) {
  std::uint64_t z = (s += 0x9E3779B97F4A7C15ULL);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}
}  // namespace

void Kiss99::seed(std::uint64_t s) {
  std::uint64_t a = splitmix(s), b = splitmix(s);
  // The multiply-with-carry halves must not start at 0 (or at their one
  // other fixed point); the shift register must not be 0.
  z_ = static_cast<std::uint32_t>(a) % 0x9068FFFEU + 1;
  w_ = static_cast<std::uint32_t>(a >> 32) % 0x464FFFFEU + 1;
  jsr_ = static_cast<std::uint32_t>(b) | 1;
  jcong_ = static_cast<std::uint32_t>(b >> 32);
}

std::uint32_t Kiss99::next() {
  z_ = 36969 * (z_ & 65535) + (z_ >> 16);
  w_ = 18000 * (w_ & 65535) + (w_ >> 16);
  std::uint32_t mwc = (z_ << 16) + w_;
  jcong_ = 69069 * jcong_ + 1234567;
  jsr_ ^= jsr_ << 17;
  jsr_ ^= jsr_ >> 13;
  jsr_ ^= jsr_ << 5;
  return (mwc ^ jcong_) + jsr_;
}

// ----------------------------------------------------------------- state

void RandomState::seed(std::uint32_t s) {
  mt_.seed(s);
  old_.seed(s);
}

namespace {
constexpr char kHex[] = "0123456789abcdef";
void put_hex(std::string& out, std::uint64_t v, int digits) {
  for (int i = digits - 1; i >= 0; --i) out += kHex[(v >> (4 * i)) & 15];
}
bool get_hex(std::string_view& in, int digits, std::uint64_t* v) {
  if (in.size() < static_cast<size_t>(digits)) return false;
  std::uint64_t r = 0;
  for (int i = 0; i < digits; ++i) {
    char c = in[static_cast<size_t>(i)];
    int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
    if (d < 0) return false;
    r = r << 4 | static_cast<std::uint64_t>(d);
  }
  in.remove_prefix(static_cast<size_t>(digits));
  *v = r;
  return true;
}
}  // namespace

// "X", the 312 words of the twister, its position, then the four words
// of the old generator, all in lower-case hexadecimal.
std::string RandomState::state() const {
  std::string s = "X";
  s.reserve(1 + 16 * Mt64::kN + 3 + 32);
  for (std::uint64_t w : mt_.mt_) put_hex(s, w, 16);
  put_hex(s, static_cast<std::uint64_t>(std::min(mt_.index_, Mt64::kN)), 3);
  put_hex(s, old_.z_, 8);
  put_hex(s, old_.w_, 8);
  put_hex(s, old_.jsr_, 8);
  put_hex(s, old_.jcong_, 8);
  return s;
}

bool RandomState::restore(std::string_view text) {
  if (text.size() != 1 + 16 * Mt64::kN + 3 + 32 || text[0] != 'X') return false;
  text.remove_prefix(1);
  Mt64 mt;
  bool nonzero = false;
  for (std::uint64_t& w : mt.mt_) {
    if (!get_hex(text, 16, &w)) return false;
    nonzero = nonzero || w != 0;
  }
  std::uint64_t index, z, w, jsr, jcong;
  if (!get_hex(text, 3, &index) || !get_hex(text, 8, &z) || !get_hex(text, 8, &w) || !get_hex(text, 8, &jsr) ||
      !get_hex(text, 8, &jcong))
    return false;
  if (!nonzero || index > static_cast<std::uint64_t>(Mt64::kN) || jsr == 0 || z == 0 || w == 0) return false;
  mt.index_ = static_cast<int>(index);
  mt_ = mt;
  old_.z_ = static_cast<std::uint32_t>(z);
  old_.w_ = static_cast<std::uint32_t>(w);
  old_.jsr_ = static_cast<std::uint32_t>(jsr);
  old_.jcong_ = static_cast<std::uint32_t>(jcong);
  return true;
}

double RandomState::uniform() {
  // 52 random bits centred in their interval: (k + 1/2) / 2^52 is exact
  // and lies strictly inside (0, 1).
  return (static_cast<double>(mt_.next() >> 12) + 0.5) * 0x1p-52;
}

double RandomState::uniform0() { return (static_cast<double>(old_.next()) + 0.5) * 0x1p-32; }

// -------------------------------------------------------- transformations

namespace {

constexpr double kMaxCount = 9007199254740992.0;  // 2^53

double lgam(double x) { return boost::math::lgamma(x, fn::Pol()); }

// Standard gamma with shape a: G. Marsaglia and W. W. Tsang, "A simple
// method for generating gamma variables", ACM TOMS 26, 2000; shapes
// below 1 by G(a) = G(a+1) U^(1/a).
double std_gamma(RandomState& r, double a) {
  if (a < 1) {
    double u = r.uniform();
    return std_gamma(r, a + 1) * std::exp(std::log(u) / a);
  }
  double d = a - 1.0 / 3, c = 1 / std::sqrt(9 * d);
  for (;;) {
    double x, v;
    do {
      x = rnormal(r);
      v = 1 + c * x;
    } while (v <= 0);
    v = v * v * v;
    double u = r.uniform();
    if (u < 1 - 0.0331 * (x * x) * (x * x)) return d * v;
    if (std::log(u) < 0.5 * x * x + d * (1 - v + std::log(v))) return d * v;
  }
}

// Poisson: inversion by sequential search for small means; above, the
// transformed rejection with squeeze PTRS of W. Hormann, "The transformed
// rejection method for generating Poisson random variables", Insurance:
// Mathematics and Economics 12, 1993.
double poisson_draw(RandomState& r, double m) {
  if (m == 0) return 0;
  if (m < 10) {
    double p = std::exp(-m), f = p, u = r.uniform(), k = 0;
    while (u > f && k < 1000) {
      k += 1;
      p *= m / k;
      f += p;
    }
    return k;
  }
  double slam = std::sqrt(m), loglam = std::log(m);
  double b = 0.931 + 2.53 * slam, a = -0.059 + 0.02483 * b;
  double invalpha = 1.1239 + 1.1328 / (b - 3.4), vr = 0.9277 - 3.6224 / (b - 2);
  for (;;) {
    double u = r.uniform() - 0.5, v = r.uniform();
    double us = 0.5 - std::fabs(u);
    double k = std::floor((2 * a / us + b) * u + m + 0.43);
    if (us >= 0.07 && v <= vr) return k;
    if (k < 0 || (us < 0.013 && v > us)) continue;
    if (std::log(v) + std::log(invalpha) - std::log(a / (us * us) + b) <= -m + k * loglam - lgam(k + 1)) return k;
  }
}

// Binomial with p <= 1/2: inversion for a small mean; above, BTRS of
// W. Hormann, "The generation of binomial random variates", J. Statist.
// Comput. Simul. 46, 1993.
double binomial_draw(RandomState& r, double n, double p) {
  if (p == 0 || n == 0) return 0;
  double q = 1 - p;
  if (n * p < 10) {
    double s = p / q, a = (n + 1) * s, f = std::exp(n * std::log1p(-p)), u = r.uniform(), k = 0;
    while (u > f) {
      u -= f;
      k += 1;
      if (k > n) return n;
      f *= a / k - s;
    }
    return k;
  }
  double spq = std::sqrt(n * p * q), b = 1.15 + 2.53 * spq, a = -0.0873 + 0.0248 * b + 0.01 * p;
  double c = n * p + 0.5, vr = 0.92 - 4.2 / b, alpha = (2.83 + 5.1 / b) * spq, lpq = std::log(p / q);
  double m = std::floor((n + 1) * p), h = lgam(m + 1) + lgam(n - m + 1);
  for (;;) {
    double u = r.uniform() - 0.5, v = r.uniform();
    double us = 0.5 - std::fabs(u);
    double k = std::floor((2 * a / us + b) * u + c);
    if (k < 0 || k > n) continue;
    if (us >= 0.07 && v <= vr) return k;
    v = std::log(v * alpha / (a / (us * us) + b));
    if (v <= h - lgam(k + 1) - lgam(n - k + 1) + (k - m) * lpq) return k;
  }
}

inline bool whole(double x) { return x == std::floor(x) && std::fabs(x) <= kMaxCount; }

}  // namespace

double rnormal(RandomState& r) { return fn::invnormal(r.uniform()); }

double rnormal(RandomState& r, double mean, double sd) {
  if (bad(mean) || bad(sd) || !(sd >= 0)) return kM;
  double v = mean + sd * rnormal(r);
  return bad(v) ? kM : v;
}

double rgamma(RandomState& r, double shape, double scale) {
  if (bad(shape) || bad(scale) || !(shape > 0) || !(scale > 0)) return kM;
  double v = scale * std_gamma(r, shape);
  return bad(v) ? kM : v;
}

double rbeta(RandomState& r, double a, double b) {
  if (bad(a) || bad(b) || !(a > 0) || !(b > 0)) return kM;
  double x = std_gamma(r, a), y = std_gamma(r, b);
  // Both shapes tiny: both draws can underflow, and the ratio tends to 0
  // or 1 with probabilities b/(a+b) and a/(a+b).
  if (x + y == 0) return r.uniform() < a / (a + b) ? 1.0 : 0.0;
  return x / (x + y);
}

double rchi2(RandomState& r, double df) {
  if (bad(df) || !(df > 0)) return kM;
  double v = 2 * std_gamma(r, df / 2);
  return bad(v) ? kM : v;
}

double rt(RandomState& r, double df) {
  if (bad(df) || !(df > 0)) return kM;
  double z = rnormal(r), c = 2 * std_gamma(r, df / 2);
  double v = z / std::sqrt(c / df);
  return bad(v) ? kM : v;
}

double rpoisson(RandomState& r, double mean) {
  if (bad(mean) || !(mean >= 0) || mean > kMaxCount) return kM;
  return poisson_draw(r, mean);
}

double rbinomial(RandomState& r, double n, double p) {
  if (bad(n) || bad(p) || !whole(n) || !(n >= 0) || !(p >= 0 && p <= 1)) return kM;
  if (p > 0.5) return n - binomial_draw(r, n, 1 - p);
  return binomial_draw(r, n, p);
}

double rnbinomial(RandomState& r, double n, double p) {
  if (bad(n) || bad(p) || !(n > 0) || !(p > 0 && p <= 1)) return kM;
  if (p == 1) return 0;
  // A Poisson draw whose mean is a gamma draw: failures before the n-th
  // success.
  double m = std_gamma(r, n) * (1 - p) / p;
  if (!(m <= kMaxCount)) return kM;
  return poisson_draw(r, m);
}

// Hypergeometric: inversion searching outward from the mode, taking the
// probabilities below and above it in turn, so the search is short
// however far the support reaches.
double rhypergeometric(RandomState& r, double N, double K, double n) {
  if (bad(N) || bad(K) || bad(n) || !whole(N) || !whole(K) || !whole(n)) return kM;
  if (!(N >= 1 && N <= 4294967295.0 && K >= 0 && K <= N && n >= 0 && n <= N)) return kM;
  double lo = std::max(0.0, n + K - N), hi = std::min(n, K);
  if (lo == hi) return lo;
  double mode = std::clamp(std::floor((n + 1) * (K + 1) / (N + 2)), lo, hi);
  double pm = fn::hypergeometricp(N, K, n, mode);
  double u = r.uniform() - pm;
  if (u <= 0) return mode;
  double kd = mode, ku = mode, pd = pm, pu = pm;
  // Once both tails' probabilities have underflowed nothing is left.
  while ((kd > lo && pd > 0) || (ku < hi && pu > 0)) {
    if (kd > lo) {
      pd *= kd * (N - K - n + kd) / ((K - kd + 1) * (n - kd + 1));
      kd -= 1;
      u -= pd;
      if (u <= 0) return kd;
    }
    if (ku < hi) {
      pu *= (K - ku) * (n - ku) / ((ku + 1) * (N - K - n + ku + 1));
      ku += 1;
      u -= pu;
      if (u <= 0) return ku;
    }
  }
  return mode;  // what rounding left of u
}

}  // namespace nuvra::rng
