* Overflowing variances are missing; frequency weights count as repeated
* observations everywhere; a missing statistic shows as "."; _rmcoll with
* every variable collinear fails.
clear
quietly set obs 5
generate double x = 1e170*_n
quietly summarize x
assert r(N) == 5 & r(Var) >= . & r(sd) >= .
quietly summarize x, detail
assert r(Var) >= . & r(sd) >= .
* ci and tabstat inherit the variance
ci x
tabstat x, statistics(sd var)
* Frequency weights: the weighted commands on one row per id and the
* same commands on the data with every row repeated agree.
clear
quietly set obs 20
generate id = 1 + (_n>2) + (_n>5) + (_n>9) + (_n>10) + (_n>12) + (_n>15) + (_n>19)
generate double y = mod(id*5, 7) + id/3
generate double x = mod(id*3, 5)
generate f = 1 + mod(id, 4)
generate first = id != id[_n-1]
pwcorr y x [fw=f] if first, sig obs
pwcorr y x, sig obs
correlate y x [fw=f] if first
assert r(N) == 20
tabstat y [fw=f] if first, statistics(n mean sd semean)
tabstat y, statistics(n mean sd semean)
* One row: no degrees of freedom, the p-value is missing.
generate z = 1
tabulate z f, chi2
* Nothing left once the collinear variables go.
generate c2 = 2
capture noisily _rmcoll z c2
assert _rc == 459
_rmcoll x z
assert "`r(varlist)'" == "x" & r(k_omitted) == 1
