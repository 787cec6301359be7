// Matrix files (.mmat): Lumo globals saved by `lumo matsave` and restored
// by `lumo matuse`, listed by `lumo matdescribe`.
//
// Layout; every number little-endian whatever the machine:
//
//   offset  bytes  field
//   0       4      magic: the bytes 'L' 'M' 'M' 0x1A
//   4       2      format version: 1
//   6       2      zero
//   8       4      count: the number of matrices
//   12             the matrices, one after another, each:
//                    33  the name, NUL-padded (at most 32 characters)
//                    1   eltype: 0 real, 1 complex, 2 string
//                    2   zero
//                    4   rows
//                    4   cols
//                        the elements row by row: 8-byte doubles (real),
//                        pairs of them (complex), or a 4-byte length and
//                        that many bytes (string)
//   end-4   4      check word: FNV-1a (32 bits) of every byte before it
//
// The reader refuses a file that is not this layout (612 when it ends
// early, 610 for anything else) before anything is restored, and never
// asks for more memory than the file's own size accounts for.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/rc.h"
#include "lumo/value.h"

namespace nuvra::lumo {

struct SavedMatrix {
  std::string name;
  int eltype = kReal;  // kReal, kComplex or kString
  int32_t rows = 0, cols = 0;
  std::vector<double> numbers;       // real: rows*cols; complex: 2*rows*cols
  std::vector<std::string> strings;  // string: rows*cols
};

// The bytes of a file holding the values (named globals); 0, or 3256
// with *bad the name of one that is not real, complex or string.
rc_t EncodeMatrices(const std::vector<const ValueRecord*>& values, std::string* out, std::string* bad);

// Decodes a file's bytes: 0, or 612/610 with *why the fault.
rc_t DecodeMatrices(std::string_view bytes, std::vector<SavedMatrix>* out, std::string* why);

// Reads path: 0, or the code with the message to print.
rc_t ReadMatrixFile(const std::string& path, std::vector<SavedMatrix>* out, std::string* message);

// Makes the saved matrices globals of values, all of them or none: 110
// with *clash the name when one exists already and replace is false;
// 3900 when memory runs out (nothing changed).
rc_t RestoreMatrices(Values& values, const std::vector<SavedMatrix>& saved, bool replace, std::string* clash);

}  // namespace nuvra::lumo
