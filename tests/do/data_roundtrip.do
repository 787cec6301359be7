* save writes the whole dataset to a file named by one word
clear
set obs 3
gen x = _n
save s5b in 1, replace
save s5b if x > 1, replace
save s5b extra, replace
capture confirm file "s5b in 1.dta"
assert _rc == 601
save s5b
* use takes a subset only with using
use s5b in 1, clear
use s5b extra, clear
use using s5b extra, clear
use x in 2/3 using s5b, clear
assert _N == 2 & x[1] == 2 & x[2] == 3
use if x == 1 using s5b, clear
assert _N == 1 & x[1] == 1
use "s5b", clear
assert _N == 3
* el() over a large matrix: a constant index that does not fit is refused
matrix A = J(255, 255, 1)
clear
set obs 2
local e "el(A,_n,1)"
forvalues i = 1/500 {
local e "`e'+1"
}
gen y = `e'
assert y == 501
forvalues i = 1/26 {
local e "`e'+1"
}
gen z = `e'
confirm new variable z
* names with bytes above 127 after the first character
clear
set obs 1
gen café = 1
confirm name naïve
rename café résumé
gen w = résumé + 1
assert w == 2
confirm name été
* outfile and infile, outsheet and insheet keep strings with quotes
clear
quietly input str20 s n
`"say "hi""' 1
`"a "b" c"' 2
"" 3
`"""' 4
end
assert s[1] == `"say "hi""' & s[2] == `"a "b" c"' & s[3] == "" & s[4] == `"""'
save orig
outfile using t1
infile str20 s n using t1, clear
assert _N == 4 & n[1] == 1 & n[2] == 2 & n[3] == 3 & n[4] == 4
assert s[1] == `"say "hi""' & s[2] == `"a "b" c"' & s[3] == "" & s[4] == `"""'
use orig, clear
outsheet using t2
insheet using t2.out, clear
assert _N == 4 & n[1] == 1 & n[4] == 4
assert s[1] == `"say "hi""' & s[2] == `"a "b" c"' & s[3] == "" & s[4] == `"""'
* value labels for .a to .z
clear
quietly input x
1
.a
.z
.
end
label define mm 1 "one" .a "not asked" .z "refused"
label define bad . "dot"
label values x mm
label list mm
list
save lab
use lab, clear
list
label define mm .b "later", add
label list mm
local l1 : label mm .a
local l2 : label mm .c
local l3 : label mm 1
assert "`l1'" == "not asked" & "`l2'" == ".c" & "`l3'" == "one"
outfile using t3
infile str12 s using t3, clear
assert s[1] == "one" & s[2] == "not asked" & s[3] == "refused" & s[4] == "."
