* A short tour of what works so far.
display "Welcome to Nuvra"
display 2 + 3 * 4
display "one third is " 1/3
version
local greeting hello
global who world
display "`greeting', $who"
forvalues i = 1/3 {
    display "pass `i'"
}
foreach fruit in apple "passion fruit" cherry {
    if "`fruit'" == "cherry" continue, break
    display "`fruit'"
}
local n = 0
while `n' < 3 {
    local n = `n' + 1
}
display "counted to `n'"
capture error 198
display "captured return code: " _rc
quietly display "this line is not shown"
if _rc == 198 {
    display "the error was captured"
}
else {
    display "nothing was captured"
}
* A small dataset: generate, sort, by-groups, summary statistics, a
* regression, and a round trip through a dataset file.
clear
set obs 20
set seed 12345
generate g = cond(_n <= 10, 1, 2)
generate double x = _n
generate double y = 3 + 0.5*x + rnormal()
display %td mdy(12, 6, 2026)
sort g
by g: summarize y
summarize x y, detail
tabulate g
regress y x
predict double yhat
tempfile f
save `f'
use `f', clear
describe, short
