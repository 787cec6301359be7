set obs 4
generate x = _n
generate double y = _n * 2.5
summarize x y
summarize x y [fweight=x]
summarize x y, separator(1)
format y %6.2f
summarize y, format
summarize x if x > 10
summarize x, detail
summarize x, de(1)
summarize x, meanonly
display r(mean)
