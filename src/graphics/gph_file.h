// Saved graph files (.gph): a graph's recorded drawing and the serset it
// was drawn from, written so that using the file redraws the graph
// operation for operation.
//
// Layout, version 2.  The file starts with the magic line
//     "*! nuvra graph file 1\n"
// where the number is the format version.  Then, all integers
// little-endian:
//     u64  payload length in bytes
//     u32  CRC-32 (zlib's) of the payload
//     the payload, and nothing after it.
// The payload:
//     str  graph name            str = u32 length, then the bytes
//     str  the command that drew it
//     i32  width, i32 height      graph units, 1 to kGphMaxExtent
//     u8 u8 u8                    background red, green, blue
//     u8   1 when a serset follows, 0 when none
//     serset: i64 observations, u32 variables (at most 100), then per
//             variable: str name, str format, u8 type (0 numeric,
//             1 string), and its values by observation: f64 each, or
//             str each (at most kGphMaxStrlen bytes)
//     u32  number of text strings, then each as str
//     u32  number of operations, then each as a record of kGphOpBytes:
//          i32 code, i32 x0 y0 x1 y1 r marker_r size, f32 angle a0 a1,
//          u8 fill symbol align sub, u8 x 9 line, fill and text colours,
//          f32 line width, u32 text index; the first operation begins
//          the file, the last ends it, and none between does either
//     from version 2: u32 number of facts about the graph's parts, then
//          each as u8 kind (0 text, 1 number, 2 list), str path, and
//          str, f64 or u32 count and that many str, the texts first, then
//          the numbers, then the lists; version 1 files have none
// Every count is checked against the bytes left before anything is
// allocated for it, so a damaged file never makes the reader ask for more
// memory than the file could describe.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/rc.h"
#include "graphics/drawing.h"
#include "graphics/graph_facts.h"
#include "graphics/serset.h"

namespace nuvra::graphics {

inline constexpr int kGphVersion = 2;
inline constexpr int kGphMaxExtent = 1000000;
inline constexpr std::size_t kGphMaxStrlen = 2045;
inline constexpr std::size_t kGphOpBytes = 65;

struct SavedGraph {
  std::string name;
  std::string command;
  Recording drawing;
  bool has_serset = false;
  Serset serset;  // its id is not kept: the store gives a new one on use
  GraphFacts facts;
};

// The file's bytes.
std::string write_gph(const SavedGraph& g);

// Why a file was refused.
enum class GphFault {
  kNone,
  kNotGraph,    // no magic line: not a graph file
  kNewer,       // a later format version
  kTruncated,   // ends before its payload does
  kCorrupt,     // checksum, lengths or contents wrong
};

// Reads a whole file.  On any fault *out is left unspecified and *why
// says what was found (for the message); the return is the fault.
GphFault read_gph(const std::uint8_t* data, std::size_t size, SavedGraph* out, std::string* why);

}  // namespace nuvra::graphics
