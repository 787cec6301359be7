* Two subscripts after a name that is no variable read a matrix element.
matrix M = (1.5,2\3,-4\5,6)
matrix rownames M = r1 r2 r3
matrix colnames M = x y
display M[2,1]
display M[1,1] + M[3,2]*2
scalar s = M[2,2]
display s
local i 3
local j 1
local v = M[`i',`j']
display "`v'"
display M["r2","y"]
display M[1+1,3-1]
capture display M[4,1]
display _rc
capture display M[1,0]
display _rc
capture display M["r9",1]
display _rc
capture display nosuch[1,1]
display _rc
* A variable of the same name wins, and takes one subscript only.
clear
quietly set obs 3
quietly generate M = _n*10
display M[2]
capture display M[2,1]
display _rc
* Subscripts that change with the observation read each element in turn;
* outside the matrix they give missing.
matrix K = (7\8\9)
quietly generate k = K[_n,1]
quietly generate kk = K[_n+1,1]
assert k == 6 + _n
assert kk == 8 in 1
assert kk == 9 in 2
assert kk == . in 3
