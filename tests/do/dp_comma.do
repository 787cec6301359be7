set obs 4
generate double y = _n * 2.5
display "`c(dp)'"
set dp comma
display "`c(dp)'"
display 1.5
display -0.25
display 1/4
display 12
display %9.2f 1234.5
display %12.2fc 1234567.891
display %9,2f 2.5
display %9.3e 1234.6
display "1.5 stays text"
display string(1.5)
local m = 3/4
display "`m'"
summarize y
list y in 1/2
scalar s = 0.125
scalar list s
matrix A = (1.5, 2 \ 3, 0.25)
matrix list A
set dp period
display 1.5
display "`c(dp)'"
set dp point
display "`c(dp)'"
