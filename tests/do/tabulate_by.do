* tabulate and summarize group by group under by, and the output
* prefixes between the colon and the command
set obs 7
quietly generate g = cond(_n <= 4, 1, 2)
quietly generate x = cond(_n == 1 | _n == 4, 1, cond(_n <= 3, 2, 3))
quietly replace x = . in 7
sort g
quietly generate y = _n == 3 | _n == 4 | _n >= 6
by g: tabulate x
display r(N) " " r(r)
bysort g: tabulate x y
display r(N) " " r(r) " " r(c)
by g: tab1 y if x < 3
by g: quietly summarize x
display r(N) " " r(mean) " " r(min)
by g: quietly tabulate x y, matcell(F) matrow(R)
display rowsof(F) " " colsof(F) " " el(F,1,1) " " el(F,1,2) " " el(R,1,1)
by g: capture noisily tabulate nosuch
display _rc
by g: quietly regress y x
