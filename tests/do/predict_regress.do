* predict after regress: every statistic on six observations against the
* exact values of predict_regress.py (normal equations in rational
* arithmetic), then the identities that tie them together, the sample
* rules, the perfect fit, and weights.
clear
quietly set obs 8
generate double x1 = _n
generate double x2 = cond(_n == 8, ., 1 + 2*(_n == 2) + (_n == 3) + 4*(_n == 4) + 3*(_n == 5) + 6*(_n == 6) + 5*(_n == 7))
generate double y = cond(_n > 6, ., 3 + 2*(_n == 2) + (_n == 3) + 5*(_n == 4) + 6*(_n == 5) + 9*(_n == 6))
* x2 = 1 3 2 5 4 7 6 ., y = 3 5 4 8 9 12 . .
quietly regress y x1 x2
predict double xb
predict double e, residuals
predict double sp, stdp
predict double sf, stdf
predict double sr, stdr
predict double h, leverage
predict double hh, hat
predict double cd, cooksd
predict double rsa, rstandard
predict double rsu, rstudent
* b = (19/23, 41/46, 31/46), rss = 85/46, s^2 = 85/138.
local xb1 2.391304347826087
matrix H = (133/253, 5/11, 21/46, 81/253, 303/506, 163/253)
matrix SP = (.569030414016144863, .529125362781701223, .530274387723933390, .444070750460253078, .607317751551055062, .629946201117933353, .859585353199543294)
matrix SF = (.969400660749151996, .946528223839296921, .947171027460985889, .901743234185785065, .992359249634191846, 1.00636685422783226, 1.16397122319269167)
matrix SR = (.540505704789618307, .579627793887284460, .578576790676496812, .647103699240836427, .497098760445525758, .468091671238221788)
matrix CD = (.46854248366013074, 0, .7308988235294117, .07086501447523304, .8002400960384154, .046875816993464055)
matrix RA = (1.12615953315578120, 0, -1.61565867099968568, -.671890161044862994, 1.26822843421228252, .278652218407694382)
matrix RU = (1.21023713091421809, 0, -3.66040308226261895, -.595203587681601529, 1.52039277915233165, .230521358269374875)
assert reldif(xb, 19/23*x1 + 41/46*x2 + 31/46) < 1e-14 if _n <= 7
assert reldif(xb[1], `xb1') < 1e-14
assert reldif(e, y - (19/23*x1 + 41/46*x2 + 31/46)) < 1e-13 if _n <= 6
forvalues i = 1/6 {
    assert reldif(h[`i'], el(H,1,`i')) < 1e-13 & hh[`i'] == h[`i']
    assert reldif(sp[`i'], el(SP,1,`i')) < 1e-13
    assert reldif(sf[`i'], el(SF,1,`i')) < 1e-13
    assert reldif(sr[`i'], el(SR,1,`i')) < 1e-13
    assert reldif(cd[`i'], el(CD,1,`i')) < 1e-13
    assert reldif(rsa[`i'], el(RA,1,`i')) < 1e-13
    assert reldif(rsu[`i'], el(RU,1,`i')) < 1e-13
}
* Observation 7 lies outside the fit: its fit and standard errors exist,
* the residual statistics do not; observation 8 lacks x2.
assert reldif(sp[7], el(SP,1,7)) < 1e-13 & reldif(sf[7], el(SF,1,7)) < 1e-13
assert reldif(xb[7], 19/23*7 + 41/46*6 + 31/46) < 1e-14
foreach v in e sr h cd rsa rsu {
    assert `v'[7] == . & `v'[8] == .
}
assert xb[8] == . & sp[8] == . & sf[8] == .
* Identities: the leverages sum to k = 3; stdp^2 = s^2 h; stdf^2 =
* stdp^2 + s^2; stdr^2 = s^2 - stdp^2; t = r sqrt((N-k-1)/(N-k-r^2)).
quietly summarize h
assert reldif(r(sum), 3) < 1e-14
assert reldif(sp^2, e(rmse)^2 * h) < 1e-13 if _n <= 6
assert reldif(sf^2, sp^2 + e(rmse)^2) < 1e-13 if _n <= 7
assert reldif(sr^2, e(rmse)^2 - sp^2) < 1e-13 if _n <= 6
assert abs(rsu - rsa*sqrt(2/(3 - rsa^2))) < 1e-13 if _n <= 6
assert reldif(cd, rsa^2 * h / (3*(1 - h))) < 1e-13 if _n <= 6 & e != 0
* Labels.
foreach v in xb e sp sf sr h cd rsa rsu {
    local lab `lab' "`: variable label `v''"
}
display `"`lab'"'
* if/in restrict every statistic; a double request is refused.
predict double h2 if x1 > 3, leverage
predict double f2 in 2/3
assert (h2 == h & h < .) == inrange(_n, 4, 6) & (h2 == .) == !inrange(_n, 4, 6)
assert (f2 == xb & xb < .) == inrange(_n, 2, 3) & (f2 == .) == !inrange(_n, 2, 3)
capture noisily predict z, stdp cooksd
assert _rc == 198
capture confirm variable z
assert _rc == 111
* A perfect fit has s = 0: the leverages are those of the same design,
* the standard errors 0, and the statistics dividing by s missing.
generate double yp = 1 + 2*x1 - x2 if _n <= 6
quietly regress yp x1 x2
assert e(rmse) == 0
predict double hp, leverage
predict double spp, stdp
predict double rp, rstandard
assert reldif(hp, h) < 1e-12 if _n <= 6
assert spp == 0 if _n <= 7
assert rp == . 
* Without a constant: X'X = (91,95\95,104), det 439, so observation 1
* (1,1) has h = (104 - 2*95 + 91)/439 = 5/439; the two leverages of the
* design sum to 2.
quietly regress y x1 x2, noconstant
predict double hn, leverage
assert reldif(hn[1], 5/439) < 1e-14
quietly summarize hn
assert reldif(r(sum), 2) < 1e-14
* Frequency weights count copies: the fit on weights 2,1,1,1,1,3 equals
* the fit on the data with those rows repeated.
generate fw = cond(_n == 1, 2, cond(_n == 6, 3, 1))
quietly regress y x1 x2 [fweight=fw]
foreach s in stdp stdr leverage cooksd rstandard rstudent {
    predict double w_`s', `s'
}
preserve
quietly keep in 1/6
quietly save pr_one, replace
quietly keep if _n == 1 | _n == 6
quietly save pr_two, replace
quietly keep in 2
quietly save pr_six, replace
use pr_one, clear
quietly append using pr_two
quietly append using pr_six
assert _N == 9
quietly regress y x1 x2
foreach s in stdp stdr leverage cooksd rstandard rstudent {
    predict double u_`s', `s'
    assert reldif(w_`s', u_`s') < 1e-12
}
restore
* Analytic weights: the weighted leverages still sum to k, and rstudent
* follows from rstandard as without weights.
quietly regress y x1 x2 [aweight=fw]
predict double ha, leverage
predict double ra, rstandard
predict double ta, rstudent
quietly summarize ha
assert reldif(r(sum), 3) < 1e-14
assert abs(ta - ra*sqrt(2/(3 - ra^2))) < 1e-13 if _n <= 6
