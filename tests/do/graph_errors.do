* Graphs refuse what they cannot draw with a message and a return code,
* and an export that fails leaves no file behind.
set obs 3
gen x = .
gen y = .
gen str1 s = "a"
graph twoway scatter y x
graph export a.eps
replace x = _n - 2
replace y = 7
graph twoway scatter y x if x > 5
graph twoway scatter s x
graph twoway scatter y x, xscale(log)
graph twoway scatter y x, yscale(log)
graph twoway scatter y x
graph dir
graph export nodir/a.eps
graph export a.jpg
capture confirm file a.jpg
display _rc
graph export a.eps
graph export a.eps
graph export a.eps, replace
graph twoway pie y x
graph twoway scatter y
graph frobnicate
graph drop nosuch
graph drop Graph
graph dir
graph export b.eps
capture confirm file b.eps
display _rc
