* Binary directives of file write and file read, with the byte order set
* per handle.  The bytes expected were worked out by hand from the
* integer and IEEE encodings.
clear
quietly set obs 1
tempfile f
file open h using `f', write binary
file set h byteorder lohi
file write h %4bu 258 %2bs -2 %1bs . %1bu 255
file write h %4z 1 %8z 1 %4b -1 %2bu 65535 %3s "ab"
file set h byteorder hilo
file write h %4bu 258 %2bs -2
file write h %8z -2
file close h
* Every byte, read back unsigned.
local want 2 1 0 0 254 255 101 255 0 0 128 63 0 0 0 0 0 0 240 63
local want `want' 255 255 255 255 255 255 97 98 0
local want `want' 0 0 1 2 255 254 192 0 0 0 0 0 0 0
file open h using `f', read binary
local n 0
foreach w of local want {
  file read h %1bu byte
  assert r(eof) == 0
  assert byte == `w'
  local ++n
}
assert `n' == 43
file read h %1bu byte
assert r(eof) == 1
file close h
* The same fields read back as they were written.
file open h using `f', read binary
file set h byteorder 2
file read h %4bu a %2bs b %1b c %1bu d
assert a == 258 & b == -2 & c == . & d == 255
file read h %4z e %8z g %4bs k %2bu m %3s s
assert e == 1 & g == 1 & k == -1 & m == 65535
assert "`s'" == "ab"
file set h byteorder 1
file read h %4bu a %2bs b %8z g
assert a == 258 & b == -2 & g == -2
file seek h query
assert r(loc) == 43
file close h
* Extended missing values travel in the signed types and floats.
file open h using `f', write binary replace
file write h %1b .a %2b .z %4b .b %4z .c %8z .d
file close h
file open h using `f', read binary
file read h %1b p %2b q %4b r %4z t %8z u
assert p == .a & q == .z & r == .b & t == .c & u == .d
file close h
* Refused before a byte is written: the file keeps its 19 bytes.
file open h using `f', write binary append
capture noisily file write h %1bu 7 %1bu 256
assert _rc == 198
capture noisily file write h %1bu .
assert _rc == 198
capture noisily file write h %1bs 101
assert _rc == 198
capture noisily file write h %2s "abc"
assert _rc == 198
capture noisily file write h %4z "x"
assert _rc == 109
capture noisily file set h byteorder middle
assert _rc == 198
file close h
file open h using `f', read binary
file seek h eof
assert r(loc) == 19
file close h
