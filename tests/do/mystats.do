clear
quietly set obs 5
quietly generate x = _n
quietly replace x = . in 2
quietly generate y = 10*_n
quietly generate w = _n - 1
quietly generate h = w/2
quietly generate str3 s = "a"
mystats x y
assert r(N) == 4 & r(sum_w) == 4 & r(mean) == 32.5
mystats x y [fw=w], format(%9.4f) total
assert r(N) == 3 & r(sum_w) == 9 & r(sum) == 380
assert reldif(r(mean), 380/9) < 1e-15
mystats x y [aw=w] in 4/5, f(%6.2f)
assert r(N) == 2 & r(sum_w) == 7
mystats x [aw=h]
assert reldif(r(mean), 19/4.5) < 1e-15
mystats x*
capture noisily mystats x if x > 100
capture noisily mystats x, minobs(10)
capture noisily mystats x, minobs(2.5)
capture noisily mystats x, minobs(0)
capture noisily mystats x, bogus
capture noisily mystats x, format(%bad)
capture noisily mystats x, format(%9s)
capture noisily mystats s
capture noisily mystats nosuch
capture noisily mystats
capture noisily mystats x [fw=h]
capture noisily mystats x [pw=w]
capture noisily mystats x [aw=-w]
assert `c(k)' == 5
