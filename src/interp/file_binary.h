// The binary directives of `file write` and `file read`:
//
//   %8z  %4z             a double, a float
//   %4b  %2b  %1b        a signed integer of 4, 2 or 1 bytes (also %#bs)
//   %4bu %2bu %1bu       an unsigned integer of 4, 2 or 1 bytes
//   %#s                  a string of exactly # bytes (NUL-padded on write,
//                        cut at the first NUL on read)
//
// Numbers are written in the handle's byte order (the machine's own until
// `file set handle byteorder hilo|lohi|1|2` says otherwise).  Signed
// integers and floats carry missing values as the dataset format does
// (. and .a-.z as the type's missing codes) and read them back as
// missing; a value outside a type's range, a missing value for an
// unsigned integer, or a string longer than its field is refused before
// anything is written.
#pragma once
#include <string>
#include <string_view>

#include "interp/file_handles.h"
#include "interp/rc.h"

namespace nuvra {

class Interp;

// Whether a directive word is one of the binary formats above.
bool is_binary_directive(std::string_view word);

// file write handle %fmt exp [%fmt exp ...]: the bytes, all checked before
// any is written.
rc_t file_write_binary(Interp& ip, OpenFile& of, std::string_view directives);

// file read handle %fmt name [%fmt name ...]: numbers into scalars,
// strings into locals; r(eof) is 1 (and the names not set) when the file
// ends before the last field.
rc_t file_read_binary(Interp& ip, OpenFile& of, std::string_view fields);

// The machine's own byte order: 1 HILO, 2 LOHI.
int native_byteorder();

}  // namespace nuvra
