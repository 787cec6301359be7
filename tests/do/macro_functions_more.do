* The stripe, tempvar, tsnorm and set extended macro functions; functions
* not built fail with an error instead of giving empty text.
matrix M = (1,2,3\4,5,6)
matrix rownames M = first second
matrix colnames M = a b c
matrix coleq M = e1 e1 e2
local r : rownames M
local c : colnames M
local re : roweq M
local ce : coleq M
local rf : rowfullnames M
local cf : colfullnames M
display "[`r'] [`c'] [`re'] [`ce'] [`rf'] [`cf']"
display "`:rownames M'|`:coleq M'"
capture local x : rownames nosuch
display _rc
local a : tsnorm LLD
local b : tsnorm l2.f1
local c : tsnorm d.gdp, varname
local d : tsnorm s12s1
display "[`a'] [`b'] [`c'] [`d']"
capture local e : tsnorm Q
display _rc
set linesize 100
local ls : set linesize
local ps : set pagesize
local mo : set more
display "`ls' `ps' `mo'"
capture local z : set nosuch
display _rc
clear
quietly set obs 3
program define tv
  local t : tempvar
  quietly generate `t' = 1
  confirm variable `t'
  display "`t'" != ""
end
tv
display c(k)
* Not built: an error, not silence.
display "`:serset 1'"
capture local k : constraint 1
display _rc
