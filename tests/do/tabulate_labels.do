* tabulate shows the labels of extended missing values like any other
set obs 3
quietly generate x = cond(_n <= 2, 1, .a)
label define xl 1 "one" .a "gone"
label values x xl
tabulate x, missing
