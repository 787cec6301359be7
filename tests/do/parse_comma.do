* _parse comma: the text before the first comma outside quotes and
* brackets, and the comma with what follows it.
clear
quietly set obs 1
local 0 `"x y if z > 1, detail cut(1,2)"'
_parse comma lhs rhs : 0
assert `"`lhs'"' == "x y if z > 1"
assert `"`rhs'"' == ", detail cut(1,2)"
* Commas inside quotes and brackets do not count.
local 0 `"a "b,c" f(d,e) g[1,2] , opt"'
_parse comma lhs rhs : 0
assert `"`lhs'"' == `"a "b,c" f(d,e) g[1,2]"'
assert `"`rhs'"' == ", opt"
* No comma: everything is the left part, the right part is empty.
local 0 "just words"
_parse comma lhs rhs : 0
assert "`lhs'" == "just words"
assert "`rhs'" == ""
* A leading comma leaves the left part empty; globals on either side.
global src ", only"
_parse comma (global) L rhs : (global) src
assert "$L" == ""
assert "`rhs'" == ", only"
* Malformed calls and the forms not built yet.
capture noisily _parse comma lhs : 0
assert _rc == 198
capture noisily _parse comma lhs rhs 0
assert _rc == 198
capture noisily _parse expand a b : 0
assert _rc == 199
