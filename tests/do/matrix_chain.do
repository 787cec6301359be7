* A long chain of operators in a matrix expression is evaluated; one too
* long to evaluate safely is refused with 130 and leaves the target alone.
* assert checks each observation: one is needed for it to check anything.
set obs 1
local e "1"
forvalues i = 1/300 {
local e "`e'+1"
}
matrix A = `e'
assert el(A,1,1) == 301
local e "1"
forvalues i = 1/600 {
local e "`e'&1"
}
capture matrix A = `e'
assert _rc == 130
assert el(A,1,1) == 301
