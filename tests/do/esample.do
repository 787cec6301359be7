* e(sample) read by generate and replace: the hidden marker must stay the
* variable it was when the expression was compiled, even though generate
* adds its new variable in between.
set obs 5
generate x = _n
generate y = 2*x + (_n == 3)
replace x = . in 1
quietly regress y x
generate byte s = e(sample)
assert s == (_n >= 2)
generate double t = e(sample) + 10*x
assert t == 1 + 10*x if _n >= 2
assert t == . in 1
generate u = 0
replace u = e(sample) in 1/3
assert u == (_n == 2 | _n == 3)
count if e(sample)
