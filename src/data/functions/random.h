// Random numbers for expressions: the generators, their state (which
// `set seed` sets and c(seed) reports), and the transformations that turn
// uniform numbers into draws from other distributions.
//
// The generator of runiform() and every r...() function is the 64-bit
// Mersenne Twister, MT19937-64 (T. Nishimura, "Tables of 64-bit Mersenne
// Twisters", ACM TOMACS 10, 2000), with its reference seeding. uniform0(),
// the generator of old programs, is G. Marsaglia's KISS of 1999 (MWC,
// 3-shift register and congruential generators combined). Both are
// written here in plain integer arithmetic, and every transformation is
// written here too, so a seed gives the same numbers on every machine.
//
// Draws whose arguments are missing or outside their domain give `.` and
// consume no random numbers.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace nuvra::rng {

class Mt64 {
 public:
  static constexpr int kN = 312;
  void seed(std::uint64_t s);
  std::uint64_t next();

 private:
  friend class RandomState;
  std::uint64_t mt_[kN] = {};
  int index_ = kN + 1;
};

class Kiss99 {
 public:
  void seed(std::uint64_t s);
  std::uint32_t next();

 private:
  friend class RandomState;
  std::uint32_t z_ = 362436069, w_ = 521288629, jsr_ = 123456789, jcong_ = 380116160;
};

class RandomState {
 public:
  // The seed a session starts with.
  static constexpr std::uint32_t kDefaultSeed = 123456789;
  // Seeds `set seed` accepts as numbers.
  static constexpr double kMaxSeed = 2147483647.0;

  RandomState() { seed(kDefaultSeed); }
  // Seeds both generators from one number.
  void seed(std::uint32_t s);
  // The whole state as text (c(seed)), and back: restore() accepts only
  // text that state() could have made, and leaves the state alone
  // otherwise.
  std::string state() const;
  bool restore(std::string_view text);

  // Uniform on (0, 1): never 0, never 1.
  double uniform();
  double uniform0();

 private:
  Mt64 mt_;
  Kiss99 old_;
};

double rnormal(RandomState& r);
double rnormal(RandomState& r, double mean, double sd);
double rgamma(RandomState& r, double shape, double scale);
double rbeta(RandomState& r, double a, double b);
double rchi2(RandomState& r, double df);
double rt(RandomState& r, double df);
double rpoisson(RandomState& r, double mean);
double rbinomial(RandomState& r, double n, double p);
double rnbinomial(RandomState& r, double n, double p);
double rhypergeometric(RandomState& r, double N, double K, double n);

}  // namespace nuvra::rng
