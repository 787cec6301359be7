set processors 1
display `c(processors)'
capture set processors 0
display _rc
capture set processors 100000
display _rc
capture set processors 1.5
display _rc
set processors 1
set obs 500
generate x = mod(_n, 7)
summarize x, meanonly
display r(N) " " r(sum)
