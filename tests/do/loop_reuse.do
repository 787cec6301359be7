* Lines a loop runs again and again: whatever the interpreter keeps from one
* pass to the next must never hide a change in what the text means.
clear
set obs 3
generate x1 = _n
generate x2 = 10*_n
* The body's text changes every pass: the variable read is named by the loop.
local total 0
forvalues j = 1/2 {
local total = `total' + x`j'
}
assert `total' == 11
* The same text "y" while y is dropped, made again and renamed.
generate y = 5
local got
forvalues i = 1/4 {
capture local v = y
local got `got' `=_rc':`v'
if `i' == 1 drop y
if `i' == 2 generate y = 7
if `i' == 3 rename y z
}
assert "`got'" == "0:5 111:5 0:7 111:7"
* "s" names a scalar, then a variable of that name, which comes first.
scalar s = 2
local got
forvalues i = 1/3 {
local v = s
local got `got' `v'
if `i' == 1 scalar s = 3
if `i' == 2 generate s = 40
}
assert "`got'" == "2 3 40"
drop s
* The same text under another version means something else.
local v1 = .a == .b
version 7: local v2 = .a == .b
local v3 = .a == .b
assert `v1' == 0 & `v2' == 1 & `v3' == 0
* A condition of unchanged text whose value changes.
scalar k = 0
while k < 3 {
scalar k = k + 1
}
assert k == 3
* Random numbers are drawn afresh by the same text.
local r1 = runiform()
local r2 = runiform()
assert `r1' != `r2'
* Whole numbers as written, and those just past what is read directly.
local a = 123456789012345
local b = -98765
local c = 007
local d = 1234567890123456
local e = 3 + 4
assert "`a'" == "123456789012345" & "`b'" == "-98765" & "`c'" == "7"
assert "`d'" == "1234567890123456" & "`e'" == "7"
* Nested loops with continue and continue, break.
local s 0
forvalues i = 1/4 {
forvalues j = 1/4 {
if `j' > `i' continue, break
if mod(`j', 2) == 0 continue
local s = `s' + `i'*10 + `j'
}
}
assert `s' == 180
local n 0
foreach w in a b c d {
if "`w'" == "c" continue, break
local n = `n' + 1
}
assert `n' == 2
