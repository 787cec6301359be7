* Post-estimation: test, lincom, ereturn post/repost/display and estimates.
* The reference values come from postest_reference.py (exact rational
* least squares and Wald statistics); the identities (F of one
* coefficient = t^2, F of all slopes = the fit's F) are checked as well.
clear
quietly set obs 8
* Nothing posted yet.
capture noisily test x1
assert _rc == 301
capture noisily lincom x1
assert _rc == 301
capture noisily estimates store m0
assert _rc == 301
generate double x1 = _n
generate double x2 = 3 in 1
quietly replace x2 = 1 in 2
quietly replace x2 = 4 in 3
quietly replace x2 = 1 in 4
quietly replace x2 = 5 in 5
quietly replace x2 = 9 in 6
quietly replace x2 = 2 in 7
quietly replace x2 = 6 in 8
generate double y = 1 in 1
quietly replace y = 3 in 2
quietly replace y = 2 in 3
quietly replace y = 5 in 4
quietly replace y = 4 in 5
quietly replace y = 6 in 6
quietly replace y = 8 in 7
quietly replace y = 7 in 8
quietly regress y x1 x2
capture noisily test x1, accumulate
assert _rc == 302

* One coefficient: F = t^2 = 49.489347578504876 (reference), p from Ftail.
test x1
assert reldif(r(F), 49.489347578504876) < 1e-10
assert reldif(r(F), (_b[x1]/_se[x1])^2) < 1e-12
assert r(df) == 1 & r(df_r) == 5 & r(drop) == 0
assert reldif(r(p), 2*ttail(5, abs(_b[x1]/_se[x1]))) < 1e-10
* All slopes: the fit's overall F, 26.46988715225394 (reference).
test x1 x2
assert reldif(r(F), e(F)) < 1e-10 & reldif(r(F), 26.46988715225394) < 1e-10
assert r(df) == 2 & reldif(r(p), Ftail(2, 5, e(F))) < 1e-10
* x1 = x2, written out with e(V): (b1 - b2)^2 / (V11 + V22 - 2 V12).
matrix V = e(V)
test x1 = x2
assert reldif(r(F), (_b[x1] - _b[x2])^2 / (el(V,1,1) + el(V,2,2) - 2*el(V,1,2))) < 1e-10
assert reldif(r(F), 27.787910919670868) < 1e-10
* 2*x1 + x2 = 1: 11.039538510684356 (reference); the same with _b[].
test 2*x1 + x2 = 1
assert reldif(r(F), 11.039538510684356) < 1e-10
local F1 = r(F)
quietly test 2*_b[x1] + _b[x2] - 1 = 0
assert reldif(r(F), `F1') < 1e-12
quietly test (x1 + x2/2)*2 = 1
assert reldif(r(F), `F1') < 1e-12
test _cons = 0
assert reldif(r(F), 0.9064063533702017) < 1e-10
* Accumulating x2 onto x1 gives the joint test of both slopes.
quietly test x1
test x2, accumulate
assert reldif(r(F), e(F)) < 1e-10 & r(df) == 2
* A constraint that repeats earlier ones is dropped with a note.
test (x1 = 0) (x2 = 0) (x1 + x2 = 0)
assert r(drop) == 1 & r(dropped_1) == 3 & r(df) == 2 & reldif(r(F), e(F)) < 1e-10
* x1 = x2 = _cons is two constraints.
quietly test x1 = x2 = _cons
assert r(df) == 2
* notest keeps the constraints without a statistic; accumulate adds to them.
quietly test x1
test x2, notest
test x1, accumulate
assert reldif(r(F), e(F)) < 1e-10
* Errors: an unknown name, a nonlinear hypothesis, a missing side.
capture noisily test x3
assert _rc == 111
capture noisily test x1*x2 = 0
assert _rc == 131
capture noisily test x1 = 
assert _rc == 198

* lincom: one coefficient reproduces its row of the table.
lincom x1
assert reldif(r(estimate), _b[x1]) < 1e-14 & reldif(r(se), _se[x1]) < 1e-14 & r(df) == 5
* x1 - x2: se = sqrt(V11 + V22 - 2 V12) = .2431854295693916 (reference).
lincom x1 - x2
assert reldif(r(estimate), 1.2819335083114611) < 1e-12
assert reldif(r(se), sqrt(el(V,1,1) + el(V,2,2) - 2*el(V,1,2))) < 1e-12
assert reldif(r(se), .2431854295693916) < 1e-12
assert reldif(r(t)^2, 27.787910919670868) < 1e-10
quietly lincom _cons + 3*x1, level(90)
assert reldif(r(estimate), _b[_cons] + 3*_b[x1]) < 1e-12
assert reldif(r(se), sqrt(el(V,3,3) + 9*el(V,1,1) + 6*el(V,1,3))) < 1e-12
assert reldif(r(ub) - r(estimate), invttail(5, .05)*r(se)) < 1e-12
capture noisily lincom x1 + nosuch
assert _rc == 111

* ereturn post: b and V moved into e(), the sample from a 0/1 variable.
program define mypost, eclass
    syntax [, dof(string) *]
    matrix b = (1, 2)
    matrix colnames b = a c
    matrix V = (4, 1 \ 1, 9)
    matrix rownames V = a c
    matrix colnames V = a c
    if "`dof'" != "" {
        ereturn post b V, dof(`dof') `options'
    }
    else {
        ereturn post b V, `options'
    }
end
generate byte touse = _n <= 5
mypost, esample(touse) obs(5) depname(yy)
capture confirm variable touse
assert _rc == 111
capture matrix list b
assert _rc == 111
quietly count if e(sample)
assert r(N) == 5 & e(N) == 5 & "`e(depvar)'" == "yy" & e(df_r) == .
* Without e(df_r) the statistics are normal: z and chi2.
* a: z = 1/2; a - c: (1 - 2)^2 / (4 + 9 - 2) = 1/11.
ereturn display
test a
assert reldif(r(chi2), 1/4) < 1e-14 & r(df) == 1 & reldif(r(p), 2*normal(-.5)) < 1e-12
test a = c
assert reldif(r(chi2), 1/11) < 1e-14
* a and c together: b' V^-1 b = (9 - 4 + 4*4)/35 = 21/35.
test a c
assert reldif(r(chi2), 21/35) < 1e-14 & reldif(r(p), exp(-21/70)) < 1e-12
lincom a + c
assert reldif(r(estimate), 3) < 1e-14 & reldif(r(se), sqrt(15)) < 1e-14 & reldif(r(z), 3/sqrt(15)) < 1e-14
* With dof() the statistics are t and F again.
mypost, dof(10)
quietly test a c
assert reldif(r(F), 21/70) < 1e-14 & r(df_r) == 10
quietly count if e(sample)
assert r(N) == 0
* ereturn repost replaces V and keeps the rest.
program define myrepost, eclass
    matrix W = (1, 0 \ 0, 1)
    matrix rownames W = a c
    matrix colnames W = a c
    ereturn repost V = W
end
myrepost
quietly test a c
assert reldif(r(F), 5/2) < 1e-14 & r(df_r) == 10
* Refused posts leave the results as they were.
program define badpost, eclass
    args kind
    matrix b = (1, 2)
    matrix colnames b = a c
    matrix V = (4, 1 \ 1, 9)
    matrix rownames V = a c
    matrix colnames V = a c
    if "`kind'" == "conform" {
        matrix V = (4, 1, 0 \ 1, 9, 0 \ 0, 0, 1)
    }
    if "`kind'" == "missing" {
        matrix V = (4, . \ ., 9)
        matrix rownames V = a c
        matrix colnames V = a c
    }
    if "`kind'" == "symmetric" {
        matrix V = (4, 1 \ 2, 9)
        matrix rownames V = a c
        matrix colnames V = a c
    }
    if "`kind'" == "names" {
        matrix colnames V = a d
        matrix rownames V = a d
    }
    if "`kind'" == "sample" {
        generate byte bad = 2
        ereturn post b V, esample(bad)
    }
    ereturn post b V
end
capture noisily badpost conform
assert _rc == 503
capture noisily badpost missing
assert _rc == 504
capture noisily badpost symmetric
assert _rc == 505
capture noisily badpost names
assert _rc == 507
capture noisily badpost sample
assert _rc == 450
drop bad
quietly test a c
assert reldif(r(F), 5/2) < 1e-14
capture noisily ereturn post b V
assert _rc == 152

* estimates store/restore bring back every e() item and e(sample).
quietly regress y x1 x2 in 2/8
local names N df_m df_r F r2 rmse mss rss r2_a ll ll_0
foreach s of local names {
    scalar s_`s' = e(`s')
}
local macs cmd depvar properties estat_cmd model predict vce
foreach m of local macs {
    local m_`m' "`e(`m')'"
}
matrix b1 = e(b)
matrix V1 = e(V)
assert e(sample) == (_n >= 2)
estimates store first
quietly regress y x1
estimates store second
estimates dir
estimates restore first
foreach s of local names {
    assert e(`s') == s_`s'
}
foreach m of local macs {
    assert "`e(`m')'" == "`m_`m''"
}
assert mreldif(e(b), b1) == 0 & mreldif(e(V), V1) == 0
assert e(sample) == (_n >= 2)
* The stored set stays after restore; replay shows it through regress.
estimates replay second
assert colsof(e(b)) == 3
* first (reference): x1 1.048402 (.2074165), x2 -.2292237 (.1522021),
* _cons .6748858 (.973052), N 7, r2 .8705806; second: Sxy/Sxx = 39/42,
* 4.5 - 4.5*39/42, r2 = 39^2/(42*42).
estimates table first second, se stats(N r2)
capture noisily estimates restore nosuch
assert _rc == 111
estimates drop second
capture noisily estimates replay second
assert _rc == 111
* Typed alone, test repeats the last test.
quietly regress y x1 x2
quietly test x1 = x2
test
assert reldif(r(F), 27.787910919670868) < 1e-10
* x1d = 2*x1: the fit drops one of the two, whose constraint then says
* nothing (zero variance) and is dropped; the other gives x1's F again.
generate double x1d = 2*x1
quietly regress y x1 x1d x2
test x1 x1d
assert r(df) == 1 & r(drop) == 1 & reldif(r(F), 49.489347578504876) < 1e-10
* Results posted by a program replay as a plain table, at another level:
* a = 1 (se 2), so the 90% interval is 1 -+ invnormal(.95)*2.
mypost, obs(8)
ereturn display, level(90)
estimates store posted
estimates replay posted
capture noisily estimates drop nosuch
assert _rc == 111
capture noisily estimates store 1bad
assert _rc == 198
estimates drop _all
estimates dir
