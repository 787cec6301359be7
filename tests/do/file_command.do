* The file command: text written with the display directives, read back a
* line at a time, seek, append, replace, and the refusals.
local f ftest.txt
file open out using `f', write text
file write out "first line" _n
file write out "x=" %5.2f 1/4 _tab "b" _n
file write out _col(4) "c" _skip(2) "d" _n "no newline"
file query
file close out
file open in using `f', read
file read in line
display `"[`line'] eof=`r(eof)'"'
file read in line
display `"[`line']"'
file read in line
display `"[`line']"'
file read in line
display `"[`line'] eof=`r(eof)'"'
file read in line
display `"[`line'] eof=`r(eof)'"'
file seek in tof
file read in line
display `"[`line']"'
file seek in query
display r(loc)
file close in
* append adds to the end
file open out using `f', write append
file write out _n "appended" _n
file close out
file open in using `f', read
local n 0
file read in line
while r(eof) == 0 {
  local ++n
  local last `"`line'"'
  file read in line
}
file close in
display "`n' lines, last [`last']"
* write without replace refuses an existing file
capture file open out using `f', write
display _rc
capture file query
* replace writes a new file that takes the old one's place at close
file open out using `f', write replace
file write out "replaced" _n
file close out
file open in using `f', read
file read in line
display `"[`line']"'
file close in
* until close, the old file is what readers see
file open out using `f', write replace
file write out "newer" _n
file open in using `f', read
file read in line
display `"[`line']"'
file close in
file close out
file open in using `f', read
file read in line
display `"[`line']"'
* a second open of one handle, and handles that are not open
capture file open in using `f', read
display _rc
file close in
capture file read in line
display _rc
capture file close in
display _rc
capture file open in using nosuchfile.txt, read
display _rc
capture file query
file query
capture file open h using `f'
display _rc
capture file open h using `f', read write text binary
display _rc
* a failing write directive writes nothing
file open out using `f', write replace
capture file write out "kept" nosuchvar
display _rc
file close out
file open in using `f', read
file read in line
display `"[`line'] eof=`r(eof)'"'
file close in
