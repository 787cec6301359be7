// Object files (.mo): one compiled function, or one structure definition,
// per file, written by `lumo mosave` and read back into a session.
//
// Layout; every number little-endian whatever the machine:
//
//   offset  bytes  field
//   0       4      magic: the bytes 'L' 'M' 'O' 0x1A
//   4       2      format version: 1
//   6       1      declared result eltype, signed (the compile-time code;
//                  -1 for a structure definition)
//   7       1      declared result organisation
//   8       33     the name, NUL-padded (at most 32 characters)
//   41      3      zero
//   44      4      n, the number of 32-bit words of code
//   48      4n     the code: its two header words (arguments, arguments
//                  required), then the instructions
//   48+4n   4      check word: FNV-1a (32 bits) of every byte before it
//
// The reader refuses a file that is not this layout: 612 when it ends
// early, 610 with a message naming the fault otherwise (another magic, a
// later version, a bad name or header, code that does not decode into
// whole instructions of known opcodes or whose jumps, frame slots or
// constants reach outside the function, bytes after the check word, a
// check word that does not match).  The check word catches damage; the
// code checks keep a hostile file from running out of bounds.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/rc.h"
#include "lumo/value.h"

namespace nuvra::lumo {

inline constexpr uint16_t kObjectVersion = 1;
inline constexpr size_t kObjectHeaderBytes = 48;
inline constexpr size_t kObjectNameBytes = 33;

struct ObjectFunction {
  std::string name;
  int8_t el = kCtTransmorphic;
  int8_t org = kOrgMatrix;
  std::vector<int32_t> code;
};

// The bytes of the file for f.
std::string EncodeObject(const FunctionRecord& f);

// Decodes a file's bytes; 0, or 612/610 with *why set to the fault
// ("could not read", "not lumo object file", "from a more recent version
// of Nuvra", "damaged").
rc_t DecodeObject(std::string_view bytes, ObjectFunction* out, std::string* why);

// Reads path: 0, or the code with the message to print (naming the file).
rc_t ReadObjectFile(const std::string& path, ObjectFunction* out, std::string* message);

// Defines the function read into values; 110 when the name is taken.
rc_t DefineObject(Values& values, ObjectFunction obj);

}  // namespace nuvra::lumo
