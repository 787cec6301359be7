* Fit statistics of small fits worked out by hand, the degenerate fits, and
* the refused inputs, which must leave the last results as they were.
clear
quietly set obs 4
generate double x = _n
generate double y = 2 in 1
quietly replace y = 4 in 2
quietly replace y = 5 in 3
quietly replace y = 4 in 4
* Sxx = 5, Sxy = 3.5: b = .7, a = 2, tss = 4.75, mss = 2.45, rss = 2.3
_regress y x
matrix b = e(b)
matrix V = e(V)
assert reldif(el(b,1,1), .7) < 1e-14 & reldif(el(b,1,2), 2) < 1e-14
assert reldif(el(V,1,1), 1.15/5) < 1e-14
assert reldif(el(V,2,2), 1.15*(1/4 + 2.5^2/5)) < 1e-14
assert reldif(el(V,1,2), -1.15*2.5/5) < 1e-14
assert reldif(e(rss), 2.3) < 1e-14 & reldif(e(mss), 2.45) < 1e-14
assert e(N) == 4 & e(df_m) == 1 & e(df_r) == 2
assert reldif(e(F), 2.45/1.15) < 1e-14
assert reldif(e(r2), 2.45/4.75) < 1e-14
assert reldif(e(r2_a), 1 - (2.3/4.75)*3/2) < 1e-14
assert reldif(e(rmse), sqrt(1.15)) < 1e-14
assert reldif(e(ll), -2*(ln(2*_pi) + ln(2.3/4) + 1)) < 1e-14
assert reldif(e(ll_0), -2*(ln(2*_pi) + ln(4.75/4) + 1)) < 1e-14
assert "`e(cmd)'" == "regress" & "`e(depvar)'" == "y" & "`e(vce)'" == "ols"
assert "`e(properties)'" == "b V" & "`e(predict)'" == "regres_p" & "`e(model)'" == "ols"
assert "`e(estat_cmd)'" == "regress_estat"
assert e(sample) == 1
assert reldif(_b[x], .7) < 1e-14 & reldif(_se[x], sqrt(.23)) < 1e-14 & _coef[_cons] == _b[_cons]
capture noisily display _b[nosuch]
assert _rc == 111
* The table at another level, and replay with level() and without header.
_regress, level(90) noheader
set level 80
assert `c(level)' == 80
_regress, nohead
set level 95
* Without a constant: tss is the uncentered sum of squares.
* b = 13/14 on (1,2,3) against (1,3,2): mss = 169/14, rss = 27/14.
generate double yn = cond(_n == 1, 1, cond(_n == 2, 3, 2))
quietly _regress yn x in 1/3, noconstant
matrix b = e(b)
assert reldif(el(b,1,1), 13/14) < 1e-14
assert reldif(e(mss), 169/14) < 1e-14 & reldif(e(rss), 27/14) < 1e-14
assert e(df_m) == 1 & e(df_r) == 2 & e(ll_0) == .
assert reldif(e(r2), 1 - (27/14)/14) < 1e-14
* The regressors already hold a constant.
generate one = 1
quietly _regress yn x one in 1/3, hascons
assert e(df_m) == 1 & e(ll_0) < .
* y equal to a regressor: a perfect fit.
generate double y2 = x
quietly _regress y2 x
assert e(r2) == 1 & e(rss) == 0 & e(rmse) == 0 & e(F) == .
* A duplicated regressor is dropped and df_m counts the kept ones.
generate double xd = x
_regress y x xd
matrix b = e(b)
matrix V = e(V)
assert el(b,1,2) == 0 & el(V,2,2) == 0 & e(df_m) == 1 & e(df_r) == 2
* N = k: df_r = 0, s^2 = 0, r2_a missing.
quietly _regress y x in 1/2
assert e(df_r) == 0 & e(rmse) == 0 & e(r2_a) == .
* A constant regressor: only one of it and the constant is kept.
generate five = 5
quietly _regress y five
matrix b = e(b)
assert (el(b,1,1) == 0) + (el(b,1,2) == 0) == 1 & e(df_m) == 0 & e(F) == 0
* dof() and mse1
quietly _regress y x, dof(10)
assert e(df_r) == 10 & reldif(e(rmse), sqrt(2.3/10)) < 1e-14
quietly _regress y x, mse1
assert e(rmse) == 1
* Refused inputs; the results of the last good fit stay.
quietly _regress y x
generate str3 s = "a"
generate double allmiss = .
capture noisily _regress y s
assert _rc == 109
capture noisily _regress y allmiss
assert _rc == 2000
capture noisily _regress y x, beta cluster(x)
assert _rc == 184
capture noisily _regress y x [iweight=x], hc2
assert _rc == 101
capture noisily _regress y x, hc2 hc3
assert _rc == 198
capture noisily _regress y, noconstant
assert _rc == 102
capture noisily _regress y x, dof(-1)
assert _rc == 198
capture noisily _regress y x, nosuch
assert _rc == 198
set matsize 10
capture noisily _regress y x x x x x x x x
assert _rc == 908
assert e(N) == 4 & reldif(e(rss), 2.3) < 1e-14 & e(df_r) == 2
* Robust results replay as such; a cleared result does not.
quietly _regress y x, robust
assert "`e(vcetype)'" == "Robust" & "`e(vce)'" == "robust"
program define eclr, eclass
    ereturn clear
end
eclr
capture noisily _regress
assert _rc == 301
* The user-level command: vce() choices reach the same variances.
quietly _regress y x, hc2
matrix V2 = e(V)
quietly regress y x, vce(hc2)
assert "`e(vcetype)'" == "Robust HC2" & mreldif(e(V), V2) == 0
quietly _regress y x if x > 1, cluster(five)
assert e(N_clust) == 1 & e(df_r) == 0
capture noisily regress y x, vce(cluster)
assert _rc == 198
capture noisily regress y x, vce(robust) hc3
assert _rc == 198
quietly regress y x [aweight=x], vce(robust)
assert "`e(wtype)'" == "aweight" & "`e(vce)'" == "robust"
quietly regress y x if x < 4, noconstant
assert e(N) == 3 & e(df_m) == 1 & colsof(e(b)) == 1
* predict after regress: a + b x with a = 2, b = .7 on the first four y.
quietly regress y x
predict double yhat
predict double res, residuals
predict double res3 in 3, residuals
assert reldif(yhat, 2 + .7*x) < 1e-14
assert reldif(res, y - 2 - .7*x) < 1e-14
assert (res3 == res) == (_n == 3) & (res3 == .) == (_n != 3)
capture noisily predict z, xb residuals
assert _rc == 198
