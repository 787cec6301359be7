* Time-series operators in varlists: list, summarize, regress, tsrevar,
* syntax varlist(ts), marksample, and an operated variable with a
* subscript.  Time 4 is missing, so every operator reaching across it
* gives missing.  Values worked by hand from x = t^2.
clear
quietly input t x y
1 1 3
2 4 5
3 9 2
5 25 60
6 36 70
7 49 90
end
quietly tsset t
list t L.x D.x L2.x F.x LD.x S2.x
list L.(x y) in 2/3
* L(0/1).x is x and L.x: L.x is 1 4 25 36 over four observations.
summarize L(0/1).x
assert r(N) == 4 & r(mean) == 16.5 & r(min) == 1 & r(max) == 36
* The temporaries made for list and summarize are gone.
describe, short
* tsrevar: a temporary for each operated term, plain names as they are.
tsrevar L.x D.x t
local v1 : word 1 of `r(varlist)'
local v2 : word 2 of `r(varlist)'
local v3 : word 3 of `r(varlist)'
assert "`v3'" == "t"
assert `v1' == L.x
assert `v2' == D.x
assert `v2' == 3 in 2
assert `v2' == . in 4
assert `v2' == 13 in 6
tsrevar L.x D(1/2).y x, list
assert "`r(varlist)'" == "x y"
* Temporaries made inside a program go when it ends.
program define revar
  tsrevar F.x
  global made `r(varlist)'
  assert $made == 49 in 5
end
revar
capture confirm variable $made
assert _rc == 111
* A subscript on an operated variable: the operated value at that
* observation.
assert L.x[3] == 4
assert D.x[6] == 13
assert L.x[0] == .
assert L.x[.] == .
quietly generate z = L.x[_n+1]
assert z == 1 in 1
assert z == 25 in 4
assert z == . in 6
* regress: fitted on the four observations where L.x is known.
* Sxx = 849, Sxy = 2247.5 about the means 16.5 and 41.75.
quietly regress y L.x
assert e(N) == 4
assert reldif(_b[L.x], 2247.5/849) < 1e-13
assert reldif(_b[_cons], 41.75 - 16.5*2247.5/849) < 1e-12
local names : colnames e(b)
assert "`names'" == "L.x _cons"
* syntax varlist(ts) expands count lists and bracketed targets.
program define showts
  syntax varlist(ts) [if]
  display "`varlist'"
  marksample touse
  quietly count if `touse'
  display r(N)
end
showts L(1/2).x D.(x y) t
showts L2.x if t > 2
* Where operators are not allowed they are refused as such.
program define plain
  syntax varlist
end
capture noisily plain L.x
assert _rc == 101
capture noisily describe L.x
assert _rc == 101
capture noisily list D21.x
assert _rc == 198
capture noisily list L.s
assert _rc == 111
quietly tsset, clear
capture noisily list L.x
assert _rc == 111
