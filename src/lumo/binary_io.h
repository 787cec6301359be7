// Little-endian numbers in byte strings, and whole files read into
// memory: what the object and matrix files share.
#pragma once
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "base/rc.h"

namespace nuvra::lumo {

inline void PutU32(std::string* out, uint32_t w) {
  for (int k = 0; k < 4; ++k) out->push_back(char((w >> (8 * k)) & 0xFF));
}
inline void PutU16(std::string* out, uint16_t w) {
  out->push_back(char(w & 0xFF));
  out->push_back(char(w >> 8));
}
inline void PutF64(std::string* out, double d) {
  uint64_t u;
  std::memcpy(&u, &d, 8);
  PutU32(out, uint32_t(u));
  PutU32(out, uint32_t(u >> 32));
}
inline uint32_t GetU32(const unsigned char* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline uint16_t GetU16(const unsigned char* p) { return uint16_t(p[0] | p[1] << 8); }
inline double GetF64(const unsigned char* p) {
  uint64_t u = uint64_t(GetU32(p)) | uint64_t(GetU32(p + 4)) << 32;
  double d;
  std::memcpy(&d, &u, 8);
  return d;
}

// 32-bit FNV-1a of the bytes: the check word that catches a damaged file.
inline uint32_t CheckWord(std::string_view bytes) {
  uint32_t h = 2166136261u;
  for (unsigned char c : bytes) h = (h ^ c) * 16777619u;
  return h;
}

// Reads the whole file: 0; 601 when it cannot be opened; 612 when reading
// fails; 610 when it is larger than limit bytes.
rc_t ReadWholeFile(const std::string& path, size_t limit, std::string* out);

// Reads the file at path and hands its bytes to decode, which returns 0
// or a code with the reason in its string.  On failure *message is what
// the commands print: "file P not found", "could not read P", or P and
// the reason ("not lumo K file" when the file is too large to be one).
template <class Decode>
rc_t ReadAndDecode(const std::string& path, size_t limit, const char* kind, std::string* message, Decode decode) {
  std::string bytes;
  rc_t rc = ReadWholeFile(path, limit, &bytes);
  if (rc == 601) {
    *message = "file " + path + " not found";
    return rc;
  }
  std::string why;
  if (rc == 610) why = std::string("not lumo ") + kind + " file";
  else if (rc) why = "could not read";
  else rc = decode(bytes, &why);
  if (rc) *message = why == "could not read" ? "could not read " + path : path + " " + why;
  return rc;
}

}  // namespace nuvra::lumo
