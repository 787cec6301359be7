// A Lumo host for tests: keeps everything printed, and can ask for a
// Break after a number of polls.
#pragma once
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

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

// Where the build put the shipped library, and the directory of its
// sources (written by the build into a file of its own).
extern const char* const kTestLumoLibrary;
extern const char* const kTestLumoSources;

// The names of the shipped functions: one per lumo/NAME.lumo, sorted.
inline std::vector<std::string> ShippedFunctionNames() {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(kTestLumoSources))
    if (e.path().extension() == ".lumo") names.push_back(e.path().stem().string());
  std::sort(names.begin(), names.end());
  return names;
}

// A session with its host; Run returns the return code of the text.  The
// library the build made is searched, as the system searches it.
struct LumoFixture {
  LumoFixture() {
    session.libraries().locate = [] {
      return std::vector<nuvra::lumo::LibraryFile>{{"llumobase", kTestLumoLibrary}};
    };
  }
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
