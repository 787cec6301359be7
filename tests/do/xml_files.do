* xmlsave and xmluse: every storage type, the kinds of missing value, a
* str244 value, labels, value labels, characteristics and the sort order
* come back from the XML document as they went in
clear
set obs 3
local t "0123456789"
local big "`t'`t'`t'`t'`t'`t'`t'`t'`t'`t'`t'`t'`t'`t'`t'`t'`t'`t'`t'`t'`t'`t'`t'`t'wxyz"
gen str244 big = "`big'"
replace big = "<&> " in 2
gen byte b = 1
gen int i = -32767
gen long l = 2147483620
gen float f = 1.1
gen double d = 1/3
replace b = .z in 3
replace i = .a in 2
replace f = . in 3
replace d = -0.1 in 1
format d %10.4f
label variable i "An <int>"
label define yn 1 "yes" 2 "no"
label values b yn
label define orphan 7 "seven"
char _dta[note1] "first note"
char b[unit] "kg & g"
label data "All types"
sort b d
quietly save both
quietly use both, clear
describe
label list
char list
xmlsave both
xmluse both
describe
label list
char list
assert length(big[1]) == 244 & big[1] == "`big'"
assert big[2] == "<&> " & big[3] == "`big'"
assert b[1] == 1 & b[2] == 1 & b[3] == .z
assert i[1] == -32767 & i[2] == .a & i[3] == -32767
assert l == 2147483620
assert f[1] == float(1.1) & f[2] == float(1.1) & f[3] == .
assert d[1] == -0.1 & d[2] == 1/3 & d[3] == 1/3
display "$S_FN|$S_FNDATE"
* the refusals
xmlsave both
replace b = 2 in 1
xmluse both
xmluse both.dta, clear
xmluse nothere, clear
assert b[1] == 2
* a workbook keeps names, values and missing kinds
xmlsave sheet, doctype(excel) legible
xmluse sheet, clear firstrow
describe
assert b[1] == 2 & b[3] == .z & i[2] == .a
assert big[2] == "<&> " & big[1] == "`big'"
* the float 1.1 comes back as the number its text spells
assert f[1] == 1.1 & f[3] == .
