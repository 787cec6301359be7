// sleep, and the hundred stopwatches of `timer`.
#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <string>
#include <string_view>

#include "interp/builtins.h"
#include "interp/interp.h"
#include "interp/parse.h"
#include "interp/messages.h"
#include "data/names.h"
#include "interp/simple_expr.h"

namespace nuvra {

namespace {

using Clock = std::chrono::steady_clock;
using Stopwatch = TimerStopwatch;

inline constexpr int kTimers = 100;

std::array<Stopwatch, kTimers + 1>& stopwatches(Interp& ip) { return ip.timers; }

// A whole number from an expression; 198 when it is anything else.
rc_t whole_number(Interp& ip, std::string_view text, double* out) {
  text = trim(text);
  if (text.empty()) return msg_invalid(ip, "syntax");
  ExprValue v;
  size_t used = 0;
  if (rc_t rc = eval_expression(ip, text, &v, &used)) return rc;
  if (v.is_string || used != text.size() || is_missing(v.num) || v.num != std::floor(v.num))
    return msg_invalid(ip, "syntax");
  *out = v.num;
  return 0;
}

rc_t timer_number(Interp& ip, std::string_view text, int* out) {
  double v;
  if (rc_t rc = whole_number(ip, text, &v)) return rc;
  if (v < 1 || v > kTimers)
    return msg_quoting(ip.out, "timer number must be between 1 and 100\n", "", "", 198);
  *out = static_cast<int>(v);
  return 0;
}


}  // namespace

// sleep #: waits # milliseconds, answering Break every 10 ms.
rc_t cmd_sleep(Interp& ip) {
  double ms;
  if (rc_t rc = whole_number(ip, ip.reader.rest(), &ms)) return rc;
  if (ms < 0) return msg_invalid(ip, "syntax");
  SessionClock& clock = *ip.session_clock;
  Clock::time_point end = clock.now() + std::chrono::microseconds(static_cast<long long>(ms * 1000));
  while (true) {
    if (ip.poll_break()) return kBreak;
    Clock::time_point now = clock.now();
    if (now >= end) return 0;
    clock.wait(std::min<Clock::duration>(end - now, std::chrono::milliseconds(10)));
  }
}

// timer on # | off # | clear [#] | list [#]
rc_t cmd_timer(Interp& ip) {
  std::string_view rest = ip.reader.rest();
  std::string_view sub = take_word(rest);
  auto& t = stopwatches(ip);
  if (sub == "on" || sub == "off") {
    int n;
    if (rc_t rc = timer_number(ip, rest, &n)) return rc;
    Stopwatch& w = t[static_cast<size_t>(n)];
    if (sub == "on") {
      if (w.on) return msg_quoting(ip.out, "timer " + std::to_string(n) + " already on\n", "", "", 198);
      w.on = true;
      w.started = ip.session_clock->now();
    } else {
      if (!w.on) return msg_quoting(ip.out, "timer " + std::to_string(n) + " not on\n", "", "", 198);
      w.on = false;
      w.total += std::chrono::duration<double>(ip.session_clock->now() - w.started).count();
      ++w.count;
    }
    return 0;
  }
  if (sub == "clear") {
    if (trim(rest).empty()) {
      t.fill(Stopwatch{});
      return 0;
    }
    int n;
    if (rc_t rc = timer_number(ip, rest, &n)) return rc;
    t[static_cast<size_t>(n)] = Stopwatch{};
    return 0;
  }
  if (sub.empty() || sub == "list") {
    int only = 0;
    if (!trim(rest).empty())
      if (rc_t rc = timer_number(ip, rest, &only)) return rc;
    ip.r_results.clear();
    for (int n = 1; n <= kTimers; ++n) {
      const Stopwatch& w = t[static_cast<size_t>(n)];
      if (only ? n != only : (w.count == 0 && !w.on)) continue;
      // A running interval is not yet counted; the line says it runs.
      ip.out.printf_markup("{txt}%4d: {res}%9.2f{txt} / {res}%8lld{txt} = {res}%10.4f%s\n", n, w.total, w.count,
                           w.count ? w.total / static_cast<double>(w.count) : 0.0,
                           w.on ? "{txt}  (running)" : "");
      ip.r_results.scalars["t" + std::to_string(n)] = w.total;
      ip.r_results.scalars["nt" + std::to_string(n)] = static_cast<double>(w.count);
    }
    return 0;
  }
  return msg_invalid(ip, "syntax");
}

}  // namespace nuvra
