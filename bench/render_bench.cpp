// Rendering throughput: 1,000,000 short table lines (a {ralign}, a {c |}
// and two %9.0g numbers each) printed through the print entry point with
// the results detached and a text log attached, against a cat-like copy of
// the same markup bytes to a file in the same run.
//
// usage: render_bench [LINES] [DIR]   (DIR holds the scratch files; /tmp)
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "data/format.h"
#include "output/output.h"

namespace {

double seconds_since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace

int main(int argc, char** argv) {
  long lines = argc > 1 ? std::atol(argv[1]) : 1000000;
  std::string dir = argc > 2 ? argv[2] : "/tmp";
  std::string log_path = dir + "/render_bench." + std::to_string(::getpid()) + ".log";
  std::string copy_path = dir + "/render_bench." + std::to_string(::getpid()) + ".copy";

  // The markup is made before timing: formatting numbers is not rendering.
  nuvra::data::Format g;
  nuvra::data::parse_format("%9.0g", &g);
  std::vector<std::string> markup;
  markup.reserve(static_cast<size_t>(lines));
  size_t bytes = 0;
  for (long i = 0; i < lines; ++i) {
    char a[32], b[32];
    nuvra::data::render_number(g, 1000.0 + static_cast<double>(i) * 0.37, a, sizeof a);
    nuvra::data::render_number(g, static_cast<double>(i % 977) / 7.0, b, sizeof b);
    std::string m = "{txt}{ralign 12:v" + std::to_string(i % 1000) + "} {c |} {res}" + a + "  " + b + "\n";
    bytes += m.size();
    markup.push_back(std::move(m));
  }

  // Baseline: copy the same bytes to a file in 64 KB writes, as cat would.
  int cfd = ::open(copy_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (cfd < 0) {
    std::perror(copy_path.c_str());
    return 1;
  }
  auto t0 = std::chrono::steady_clock::now();
  {
    std::string block;
    block.reserve(65536 + 256);
    for (const std::string& m : markup) {
      block += m;
      if (block.size() >= 65536) {
        if (::write(cfd, block.data(), block.size()) < 0) return 1;
        block.clear();
      }
    }
    if (!block.empty() && ::write(cfd, block.data(), block.size()) < 0) return 1;
  }
  double copy_s = seconds_since(t0);
  ::close(cfd);

  // Opened as log using opens its files: appending.
  int lfd = ::open(log_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND, 0644);
  if (lfd < 0) {
    std::perror(log_path.c_str());
    return 1;
  }
  double render_s;
  {
    nuvra::output::Output out;
    out.stream().set_width(79);
    out.stream().attach_text_log(lfd, nuvra::output::kLogAdd);
    t0 = std::chrono::steady_clock::now();
    for (const std::string& m : markup) out.print_markup(m);
    out.flush();
    render_s = seconds_since(t0);
    out.stream().attach_text_log(lfd, nuvra::output::kLogRemove);
  }
  ::close(lfd);

  // The log must hold one line per input line.
  long got = 0;
  if (std::FILE* f = std::fopen(log_path.c_str(), "r")) {
    int c;
    while ((c = std::fgetc(f)) != EOF) got += c == '\n';
    std::fclose(f);
  }
  std::remove(log_path.c_str());
  std::remove(copy_path.c_str());
  if (got != lines) {
    std::fprintf(stderr, "render_bench: the log holds %ld lines, expected %ld\n", got, lines);
    return 1;
  }
  std::printf("render_bench: %ld lines (%zu markup bytes)\n", lines, bytes);
  std::printf("  render to text log: %.3f s, %.0f lines/s\n", render_s, lines / render_s);
  std::printf("  cat-like copy:      %.3f s, %.0f lines/s\n", copy_s, lines / copy_s);
  std::printf("  render / copy time: %.1f\n", render_s / copy_s);
  return 0;
}
