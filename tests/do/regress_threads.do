* The passes of _regress (sample marking, cross products, robust and
* cluster scores) run in parallel: a fit is repeatable to the last bit,
* and one processor and two agree to the last bit as well.  30000 observations split into chunks on two
* processors; a scattered sample (if) and a gap (missing values) take the
* listed-sample path, the full sample the contiguous one.
clear
quietly set obs 30000
generate double x1 = mod(_n * 7919, 1013) / 1013
generate double x2 = mod(_n * 104729, 997) / 997 + x1 / 3
generate double x3 = cond(mod(_n, 977) == 0, ., mod(_n * 31, 101))
generate double y = 1 + 2*x1 - 3*x2 + .01*x3 + mod(_n * 613, 89) / 89
generate int g = mod(_n * 37, 211)
foreach p in 1 2 {
    set processors `p'
    local i 0
    foreach v in "" "robust" "hc2" "cluster(g)" {
        local i = `i' + 1
        quietly regress y x1 x2 x3, `v'
        matrix b1 = e(b)
        matrix V1 = e(V)
        local r1 = e(rss)
        quietly regress y x1 x2 x3, `v'
        matrix b2 = e(b)
        matrix V2 = e(V)
        assert mreldif(b1, b2) == 0 & mreldif(V1, V2) == 0 & e(rss) == `r1'
        assert e(N) == 30000 - 30
        matrix b`p'_`i' = e(b)
        matrix V`p'_`i' = e(V)
    }
    quietly regress y x1 x2 if mod(_n, 3) != 0 [aweight=x1]
    matrix w`p' = e(b)
    * Weights of 0 at the 29 multiples of 1013 and y missing at the 30 of
    * 977: 20 of each are not multiples of 3.
    assert e(N) == 20000 - 20 - 20
}
forvalues i = 1/4 {
    assert mreldif(b1_`i', b2_`i') == 0 & mreldif(V1_`i', V2_`i') == 0
}
assert mreldif(w1, w2) == 0
* The cluster count does not depend on the chunking.
set processors 2
quietly regress y x1, cluster(g)
assert e(N_clust) == 211
set processors 1
* A sample large enough that the fit is taken from the parallel cross
* products alone, with no serial refit.
clear
quietly set obs 150000
generate double x1 = mod(_n * 7919, 1013) / 1013
generate double x2 = mod(_n * 104729, 997) / 997
generate double y = 1 + 2*x1 - 3*x2 + mod(_n * 613, 89) / 89
generate int g = mod(_n * 37, 211)
foreach p in 1 2 {
    set processors `p'
    quietly regress y x1 x2
    matrix b`p' = e(b)
    matrix V`p' = e(V)
    scalar r`p' = e(rss)
    quietly regress y x1 x2, cluster(g)
    matrix C`p' = e(V)
}
assert mreldif(b1, b2) == 0 & mreldif(V1, V2) == 0 & r1 == r2 & mreldif(C1, C2) == 0
set processors 1
