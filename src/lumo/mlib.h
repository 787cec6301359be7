// Library files (.mlib): compiled functions and structure definitions kept
// between runs.  A library is a header, an index of slots (two offset
// tables and the names), and per member two copies of its code, one in
// each byte order; a reader takes the copy in its own order.
//
// Every routine prints its own message in the error style (unless asked
// to be silent) and returns a return code; a failure leaves the file and
// the functions in memory as they were.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "lumo/host.h"
#include "lumo/value.h"

namespace nuvra::lumo {

inline constexpr unsigned char kMlibMagic[4] = {0x81, 0x92, 0xA7, 0xB9};
inline constexpr int kMlibVersion = 3;       // written; 2 is read only
inline constexpr uint8_t kMlibLittle = 2;    // the byteorder byte of a little-endian header
inline constexpr uint8_t kMlibBig = 1;       // what this system writes for big-endian
inline constexpr int32_t kMlibMaxSlots = 500;  // the most an index holds
inline constexpr size_t kMlibNameBytes = 33;   // a name of up to 32 characters and its NUL
inline constexpr size_t kMlibHeaderBytes = 16;  // magic to capacity
inline constexpr size_t kMlibSlotBytes = 4 + 4 + kMlibNameBytes;
inline constexpr size_t kMlibMemberHeaderBytes = 18;
// A new library's capacity when none is asked for: the most an index
// holds, so that a library never has to be rebuilt to grow.
inline constexpr int32_t kMlibDefaultCapacity = kMlibMaxSlots;
// The spare header byte as this system writes it.
inline constexpr uint8_t kMlibSpare = 0;

// Member kinds.
inline constexpr int16_t kMlibMatrix = 1;
inline constexpr int16_t kMlibFunction = 2;

// The header and index of a library, numbers in this machine's order.
struct MlibIndex {
  uint8_t byteorder = kMlibLittle;
  uint8_t spare = kMlibSpare;
  int16_t version = kMlibVersion;
  int32_t count = 0;
  int32_t capacity = 0;
  // capacity entries each; those past count are kept as the file has them.
  std::vector<uint32_t> bigoffsets, littleoffsets;
  std::vector<std::string> names;  // the 33 raw bytes of each slot
  bool big_endian() const { return byteorder != kMlibLittle; }
  std::string name(int32_t slot) const;
  // The slot of a member, or -1.
  int32_t Find(std::string_view member) const;
  // The header and index as the file holds them, in its byte order.
  std::string Encode() const;
};

// Where messages go; silent suppresses them (probing the search path).
struct MlibReport {
  Host& host;
  bool silent = false;
  void Error(std::string_view text) const {
    if (!silent) host.Print(Style::Error, text);
  }
};

// Reads the header and index of an open file.  `shown` is the name the
// messages give: 612 for a short file, 610 for one that is not a library,
// of a version this system does not read, or whose index cannot be right.
rc_t MlibReadIndex(int fd, const std::string& shown, const MlibReport& report, MlibIndex* index);
rc_t MlibOpen(const std::string& path, const std::string& shown, const MlibReport& report, MlibIndex* index);

// A new empty library of the current version (capacity 1 to 500): 602
// when the file exists and replace is not set; 603, 608, 693 as a save.
rc_t MlibCreate(const std::string& path, int32_t capacity, bool replace, const MlibReport& report);

// Appends a function (or structure definition) to the library.
// `fail_after` >= 0 makes writes fail once that many bytes are out, as a
// full disk would (tests).
rc_t MlibAdd(const std::string& path, const std::string& shown, const FunctionRecord& f, const MlibReport& report,
             int64_t fail_after = -1);

// Reads the member in a slot from the copy in this machine's byte order
// and stores it as an autoloaded function: 0, or 610 for a damaged member
// (nothing stored).
rc_t MlibLoad(int fd, const MlibIndex& index, int32_t slot, Values& values, const MlibReport& report,
              FunctionRecord** out);

// ---- the code of a member
// Checks that code walks instruction by instruction (a structure
// definition entry by entry) to its last word with every opcode known,
// and that a function's jumps land on its instructions, its frame slots
// are its arguments and the locals its prologue makes, its calls name
// function slots, its constants are in its pools, and its last
// instruction does not fall through.
bool MlibCodeWalks(const int32_t* code, size_t words, bool structdef);
// The code in the other byte order: numbers swapped, doubles reversed,
// byte runs left as they are.  9711 with the message for an opcode (or a
// structure entry) without a known shape.
rc_t MlibReverseCode(const int32_t* code, size_t words, bool structdef, std::vector<unsigned char>* out,
                     std::string* message);

}  // namespace nuvra::lumo
