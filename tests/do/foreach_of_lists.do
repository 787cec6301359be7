* foreach over existing variables, new variable names and number lists.
clear
quietly set obs 2
quietly generate alpha = 1
quietly generate beta = 2
quietly generate gamma = 3
foreach v of varlist alpha-gamma {
  display "`v'"
}
foreach v of var g* a* {
  display "`v'"
}
foreach v of newlist n1-n3 extra {
  display "`v'"
}
foreach n of numlist 1/3 10(5)20 2.5 {
  display `n'
}
foreach n of num 3(-1)1 {
  display `n'
}
* A bad list runs no pass at all.
local passes 0
capture foreach v of varlist alpha nosuch {
  local passes = `passes' + 1
}
display _rc " `passes'"
capture foreach v of newlist delta alpha {
  local passes = `passes' + 1
}
display _rc " `passes'"
capture foreach n of numlist 1/a {
  local passes = `passes' + 1
}
display _rc " `passes'"
