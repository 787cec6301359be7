#include "interp/expr_cache.h"

namespace nuvra {

namespace {

// Passes every request on to the real environment and notes whether the
// compiler asked for anything beyond the dataset's names and the settings
// that are part of the cache key.
class RecordingEnv : public expr::Env {
 public:
  explicit RecordingEnv(expr::Env& inner) : in_(inner) {}
  mutable bool consulted = false;

  data::Dataset& data_in_memory() override { return in_.data_in_memory(); }
  output::Output& message_stream() override { return in_.message_stream(); }
  rc_t report(rc_t code) override { return in_.report(code); }
  rc_t report_quoting(std::string_view before, std::string_view user, std::string_view after,
                      rc_t code) override {
    return in_.report_quoting(before, user, after, code);
  }
  bool break_requested() override { return in_.break_requested(); }
  int run_version() const override { return in_.run_version(); }
  bool missing_values_modern() const override { return in_.missing_values_modern(); }

  double rc_variable() const override { return note(), in_.rc_variable(); }
  const expr::ScalarValue* find_scalar(std::string_view name) const override {
    return note(), in_.find_scalar(name);
  }
  const stats::Matrix* find_matrix(std::string_view name) const override {
    return note(), in_.find_matrix(name);
  }
  bool saved_number(char cls, std::string_view name, double* out) override {
    return note(), in_.saved_number(cls, name, out);
  }
  bool saved_text(char cls, std::string_view name, std::string* out) override {
    return note(), in_.saved_text(cls, name, out);
  }
  bool no_estimation_results() const override { return note(), in_.no_estimation_results(); }
  const std::string* estimation_macro(std::string_view name) const override {
    return note(), in_.estimation_macro(name);
  }
  const std::string* find_local(std::string_view name) const override {
    return note(), in_.find_local(name);
  }
  rng::RandomState& random_state() override { return note(), in_.random_state(); }
  RegexMatch& regex_state() override { return note(), in_.regex_state(); }
  const ByState& by_state() const override { return note(), in_.by_state(); }
  int program_depth() const override { return note(), in_.program_depth(); }
  expr::MatrixSettings matrix_settings() const override { return note(), in_.matrix_settings(); }

 private:
  void note() const { consulted = true; }
  expr::Env& in_;
};

}  // namespace

const expr::Program* ExpressionCache::find(std::string_view text, int version,
                                           bool modern_missing) const {
  for (const Entry& e : entries_)
    if (e.used && e.version == version && e.modern_missing == modern_missing && e.text == text)
      return &e.program;
  return nullptr;
}

rc_t ExpressionCache::compile(expr::Env& env, std::string_view text, expr::Program* out,
                              const expr::Program** cached) {
  *cached = nullptr;
  RecordingEnv rec(env);
  if (rc_t rc = expr::compile(rec, text, expr::Want::kAny, out)) return rc;
  // Variables are looked up by name and kept by number, and a time-series
  // read carries the data's order: both can change under the same text.
  if (rec.consulted || !out->vars.empty() || !out->ts.empty()) return 0;
  Entry& e = entries_[next_];
  next_ = (next_ + 1) % kEntries;
  e.used = false;
  e.text.assign(text);
  e.version = env.run_version();
  e.modern_missing = env.missing_values_modern();
  e.program = *out;
  e.used = true;
  *cached = &e.program;
  return 0;
}

void ExpressionCache::clear() {
  for (Entry& e : entries_) e.used = false;
}

bool ExpressionCache::integer_literal(std::string_view text, double* v) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && text[i] == '-') {
    negative = true;
    ++i;
  }
  size_t digits = text.size() - i;
  if (digits == 0 || digits > 15) return false;
  // "-0" is negative zero to the compiler; "007" is left to it too.
  if (text[i] == '0' && (digits > 1 || negative)) return false;
  long long n = 0;
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (c < '0' || c > '9') return false;
    n = n * 10 + (c - '0');
  }
  *v = static_cast<double>(negative ? -n : n);
  return true;
}

}  // namespace nuvra
