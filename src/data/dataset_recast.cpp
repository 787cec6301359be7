// Storage-type changes: promotion on replace, recast, settling the legacy
// codes of old files.
#include <chrono>
#include <cmath>

#include "data/dataset.h"

namespace nuvra::data {

namespace {

// Lets the caller look for Break every 100 observations, but not more often
// than every 10 ms, so that polling costs nothing measurable in the loop.
class Poller {
 public:
  explicit Poller(const BreakPoll& poll) : poll_(poll) {}
  bool broken(std::int64_t done) {
    if (!poll_ || done % 100 != 0) return false;
    auto now = std::chrono::steady_clock::now();
    if (now - last_ < std::chrono::milliseconds(10)) return false;
    last_ = now;
    return poll_();
  }

 private:
  const BreakPoll& poll_;
  std::chrono::steady_clock::time_point last_{};  // the first check polls at once
};

}  // namespace

int Dataset::promoted_type(int t, double v) {
  t = modern_type(t);
  if (t == kFloat || t == kDouble || is_string_type(t) || is_missing(v)) return t;
  if (v == std::trunc(v)) {
    if (std::fabs(v) >= 2147483648.0) return kDouble;
    if (t == kByte && (v < kByteMin || v > kByteMax)) t = kInt;
    if (t == kInt && (v < kIntMin || v > kIntMax)) t = kLong;
    if (t == kLong && (v < kLongMin || v > kLongMax)) t = kDouble;
    return t;
  }
  return t == kLong ? kDouble : kFloat;
}

rc_t Dataset::recast(int j, int t, const BreakPoll& poll) {
  InvariantGuard guard{*this};
  if (j < 1 || j > nvar_all() || !is_valid_type(t)) return 198;
  Variable& var0 = vars_[static_cast<std::size_t>(j - 1)];
  int ot = var0.type;
  if (t == ot) return 0;
  if (is_string_type(t) != is_string_type(ot)) return 109;
  int bo = type_width(ot), bn = type_width(t);
  // The new values are built beyond the used width, as the system's own
  // temporary variable; only when all are there does the variable change.
  if (rc_t rc = make_room(bn, true)) return rc;
  std::uint32_t off = vars_[static_cast<std::size_t>(j - 1)].offset;
  std::uint32_t tmp = used_;
  Poller poller(poll);
  for (std::int64_t s = 0; s < nobs_; ++s) {
    if (poller.broken(s)) return 1;
    char* rec = records_ + static_cast<std::size_t>(s) * w_;
    if (is_string_type(t)) {
      std::size_t len = stored_string_length(rec + off, bo);
      store_string(rec + tmp, bn, std::string_view(rec + off, len));
    } else {
      store_value(t, rec + tmp, fetch_value(ot, rec + off));
    }
  }
  std::vector<Segment> segs;
  if (off) segs.push_back(Segment{0, 0, off});
  segs.push_back(Segment{tmp, off, static_cast<std::uint32_t>(bn)});
  std::uint32_t rest = used_ - off - static_cast<std::uint32_t>(bo);
  if (rest) segs.push_back(Segment{off + static_cast<std::uint32_t>(bo), off + static_cast<std::uint32_t>(bn), rest});
  if (rc_t rc = remap_records(segs, used_ - bo + bn)) return rc;
  vars_[static_cast<std::size_t>(j - 1)].type = static_cast<std::uint8_t>(t);
  recompute_offsets();
  changed_ = true;
  return 0;
}

rc_t Dataset::promote_for_value(int j, double v, int* new_type, const BreakPoll& poll) {
  int t = type(j);
  int nt = promoted_type(t, v);
  rc_t rc = nt == t ? 0 : recast(j, nt, poll);
  if (rc == 901 || rc == 902 || rc == 1010) rc = 903;
  *new_type = type(j);
  return rc;
}

std::int64_t Dataset::count_lossy(int j, int t) const {
  int ot = type(j);
  if (t == ot) return 0;
  std::int64_t n = 0;
  char buf[8];
  for (std::int64_t i = 1; i <= nobs_; ++i) {
    const char* p = value_ptr(j, i);
    if (is_string_type(ot)) {
      if (is_string_type(t) && stored_string_length(p, ot) > static_cast<std::size_t>(t)) ++n;
      continue;
    }
    if (!is_numeric_type(t)) continue;
    double v = fetch_value(ot, p);
    store_value(t, buf, v);
    double back = fetch_value(t, buf);
    if (std::bit_cast<std::uint64_t>(back) != std::bit_cast<std::uint64_t>(v) && !(back == v)) ++n;
  }
  return n;
}

rc_t Dataset::settle_legacy_variables(const BreakPoll& poll) {
  InvariantGuard guard{*this};
  for (int j = 1; j <= nvar_all(); ++j) {
    int t = type(j);
    if (!is_legacy_type(t)) continue;
    int mt = modern_type(t);
    std::uint32_t off = offset(j);
    if (mt == kFloat || mt == kDouble) {
      // The old files knew one missing value at the top of the range:
      // everything from there up (infinities, NaNs included) is `.`.
      for (std::int64_t s = 0; s < nobs_; ++s) {
        char* p = records_ + static_cast<std::size_t>(s) * w_ + off;
        double v = fetch_value(t, p);
        if (!(v < (mt == kFloat ? 0x1p127 : 0x1p1023))) store_value(mt, p, kMissing);
      }
      vars_[static_cast<std::size_t>(j - 1)].type = static_cast<std::uint8_t>(mt);
      continue;
    }
    bool outgrown = false;
    for (std::int64_t s = 0; s < nobs_ && !outgrown; ++s) {
      double v = fetch_value(t, records_ + static_cast<std::size_t>(s) * w_ + off);
      outgrown = !is_missing(v) && (v > type_max(mt) || v < type_min(mt));
    }
    if (outgrown) {
      int next = mt == kByte ? kInt : mt == kInt ? kLong : kDouble;
      if (rc_t rc = recast(j, next, poll)) return rc;
      continue;
    }
    for (std::int64_t s = 0; s < nobs_; ++s) {
      char* p = records_ + static_cast<std::size_t>(s) * w_ + off;
      store_value(mt, p, fetch_value(t, p));
    }
    vars_[static_cast<std::size_t>(j - 1)].type = static_cast<std::uint8_t>(mt);
  }
  return 0;
}

}  // namespace nuvra::data
