// The dataset at size: `set obs 10000000`, five double variables added and
// filled, then `describe`. Prints the time of each step and the peak
// resident memory against what the records need (record width plus the
// 8 bytes of slot and scratch entries per observation).
//
//   dataset_bench [observations]      (default 10000000)
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "data/commands/commands.h"
#include "gui/window_side.h"
#include "interp/interp.h"
#include "output/nmcl_stream.h"

namespace {

// Keeps what describe prints, to show it once at the end.
class QuietSide : public nuvra::gui::WindowSide {
 public:
  int read_key() override { return nuvra::gui::kKeyEndOfInput; }
  void alert(const std::array<std::string, 4>&) override {}
  int sink(const uint8_t* rec, int kind) override {
    if (kind == nuvra::output::kSinkLine) text += nuvra::output::plain_text(rec) + "\n";
    return 0;
  }
  std::string text;
};

double seconds_since(std::chrono::steady_clock::time_point t) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

long peak_rss_kb() {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return ru.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) {
  long long n = argc > 1 ? std::atoll(argv[1]) : 10000000LL;
  QuietSide side;
  nuvra::Interp ip(&side);
  long rss0 = peak_rss_kb();

  auto t = std::chrono::steady_clock::now();
  bool handled = false;
  if (nuvra::set_data_setting(ip, "obs", std::to_string(n), &handled)) return 1;
  std::printf("set obs %lld: %.3f s\n", n, seconds_since(t));

  t = std::chrono::steady_clock::now();
  for (int k = 1; k <= 5; ++k) {
    std::string name = "d" + std::to_string(k);
    int j = 0;
    if (ip.dataset.add_variable(name, nuvra::data::kDouble, &j)) return 1;
    nuvra::data::Column c = ip.dataset.column(j);
    for (long long r = 0; r < n; ++r) c.store(r, static_cast<double>(r % 1000) + 0.5 * k);
  }
  std::printf("add and fill 5 doubles: %.3f s\n", seconds_since(t));

  t = std::chrono::steady_clock::now();
  ip.cmdbuf = "describe";
  ip.reader.attach(&ip.cmdbuf, 0);
  ip.token.assign(ip.reader.next());
  ip.command_name = "describe";
  if (nuvra::cmd_describe(ip)) return 1;
  ip.out.flush();
  std::printf("describe: %.3f s\n", seconds_since(t));

  nuvra::data::MemoryInfo m = ip.dataset.memory_info();
  // Records are allotted wider than the variables need so that adding a
  // variable rarely moves the data; the bound is stated for both widths.
  double need_used = static_cast<double>(n) * (m.used_width + 8);
  double need_allotted = static_cast<double>(n) * (m.width + 8);
  long peak = peak_rss_kb();
  std::printf("used width %u, allotted width %u\n", m.used_width, m.width);
  std::printf("used width + 8 bytes/obs: %.1f MB; allotted width + 8 bytes/obs: %.1f MB\n",
              need_used / 1048576.0, need_allotted / 1048576.0);
  std::printf("peak resident: %.1f MB (%.1f MB at start)\n", peak / 1024.0, rss0 / 1024.0);
  std::printf("%s", side.text.c_str());
  return 0;
}
