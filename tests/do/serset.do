* Sersets: the missing-value rules, the listing, selecting, loading back,
* derived sersets, and every refusal with its return code.
set obs 6
gen x = _n
gen y = 10*_n
replace x = . in 2/4
replace y = . in 2/4
gen str3 s = "ab"
replace y = . in 6
serset
serset create x y s
assert r(N) == 4 & r(k) == 3 & r(id) == 1
serset create x y, omitnothing
assert r(N) == 6
serset create x y, omitallmiss
assert r(N) == 3
serset create x y, omitanym
assert r(N) == 2
serset create s
assert r(N) == 6
serset create x y if x > 4, omitdupm
assert r(N) == 3
serset create x in 1
serset create y x, omitanym omitnoth
serset dir
serset
serset 2
serset
serset set 99
serset set 0
serset frobnicate
serset summarize 3
serset summarize 2
assert r(N) == 2 & r(mean) == 30 & r(min) == 10 & r(max) == 50
serset use
serset use, clear
assert "`r(varnames)'" == "x y"
assert _N == 6 & x[5] == 5 & y[5] == 50 & missing(y[6]) & missing(x[3])
serset create x, sort(y) omitnothing
serset dump
serset 1
serset sort 2
serset dump
serset drop 1 42
serset drop 1
serset
serset dump
serset reset_id 2
serset reset_id 20
serset create x
assert r(id) == 20
serset discard
serset dir
serset drop
serset reset_id
serset create x
assert r(id) == 1
serset create x
serset clear
serset create x
assert r(id) == 1
serset create_cspline 1
serset create_cspline 1 2
clear
set obs 3
gen x = _n - 1
gen y = x == 1
serset create y x
serset create_cspline 1 2, n(2)
serset dump
serset use, clear
assert y[2] == 0.6875 & y[4] == 0.6875 & y[3] == 1 & x[4] == 1.5 & _N == 5
clear
set obs 10
gen x = _n
gen y = x^2
serset create y x
serset create_xmedians 1 2, bands(2)
serset use, clear
assert _N == 2 & y[1] == 9 & x[1] == 3 & y[2] == 64 & x[2] == 8
serset create_xmedians 1 2, logx xmin(-1)
serset clear
serset use, clear
