// A Lumo host for tests: keeps everything printed, and can ask for a
// Break after a number of polls.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "lumo/host.h"
#include "lumo/session.h"

class LumoTestHost : public nuvra::lumo::Host {
 public:
  void Print(nuvra::lumo::Style style, std::string_view text) override {
    (style == nuvra::lumo::Style::Error ? errors : output) += text;
  }
  bool PollBreak() override { return break_after >= 0 && ++polls > break_after; }
  std::string output, errors;
  int64_t break_after = -1;
  int64_t polls = 0;
};

// A session with its host; Run returns the return code of the text.
struct LumoFixture {
  LumoTestHost host;
  nuvra::lumo::Session session{host};
  int Run(std::string_view text) {
    int rc = 0;
    if (session.Run(text, &rc) == nuvra::lumo::Session::Outcome::kIncomplete) return -1;
    return rc;
  }
  std::string Listing(std::string_view text) {
    bool incomplete;
    return session.DisassembleText(text, &incomplete);
  }
};
