* A long chain of one operator in a matrix expression is read as a list, not
* nested, so any length is evaluated; nesting too deep to evaluate safely is
* refused with 130 and leaves the target alone.
* assert checks each observation: one is needed for it to check anything.
set obs 1
local e "1"
forvalues i = 1/300 {
local e "`e'+1"
}
matrix A = `e'
assert el(A,1,1) == 301
local e "1"
forvalues i = 1/3000 {
local e "`e'+1"
}
matrix A = `e'
assert el(A,1,1) == 3001
local e "1"
forvalues i = 1/600 {
local e "`e'&1"
}
matrix B = `e'
assert el(B,1,1) == 1
local e "1"
forvalues i = 1/2500 {
local e "-`e'"
}
capture matrix A = `e'
assert _rc == 130
assert el(A,1,1) == 3001
