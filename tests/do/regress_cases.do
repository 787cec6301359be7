* _regress cases: HC2/HC3 with frequency weights equal the repeated data,
* a constant dependent variable, by-groups, beta on replay, a string
* cluster variable, header figures that keep to their columns, and the
* collinearity decisions on ordinary data.
clear
quietly set obs 20
generate id = 1 + (_n>2) + (_n>5) + (_n>9) + (_n>10) + (_n>12) + (_n>15) + (_n>19)
generate double x1 = mod(id*3, 5) + id/10
generate double x2 = mod(id*7, 4)
generate double y = 1 + x1 - 2*x2 + mod(id*5, 3)
generate f = 1 + mod(id, 4)
generate first = id != id[_n-1]
foreach v in hc2 hc3 {
    quietly regress y x1 x2, `v'
    matrix Ve = e(V)
    local Fe = e(F)
    quietly regress y x1 x2 [fw=f] if first, `v'
    assert e(N) == 20
    assert mreldif(e(V), Ve) < 1e-12
    assert reldif(e(F), `Fe') < 1e-12
}
* A constant y: no spread to explain.
generate double yc = 0.1
quietly regress yc x1
assert e(r2) >= . & e(F) >= . & e(mss) == 0 & e(rss) == 0
* A model of the constant alone explains nothing, exactly.
quietly regress y
assert e(r2) == 0 & e(F) == 0
* A string cluster variable forms the same clusters as its numeric codes.
generate str3 sid = "c" + string(mod(id, 3))
generate cid = mod(id, 3)
quietly regress y x1 x2, cluster(cid)
matrix Vn = e(V)
quietly regress y x1 x2, cluster(sid)
assert e(N_clust) == 3 & e(N) == 20
assert mreldif(e(V), Vn) == 0
* by: each group fitted on its own; a group with no usable observations is
* passed over.
replace y = . if id == 8
sort id
by id: regress y x1 if id >= 6
assert e(N) == 4
* beta on replay shows the fit's standardized coefficients.
regress y x1 x2 if id <= 7, beta
regress, beta
* The dropped regressor of an exactly collinear design: the duplicate, and
* of x1 x2 x3 = x1 + x2 (double and float) the one the sweep takes last.
generate double dup = x1
quietly regress y x1 dup
assert _b[dup] == 0 & _b[x1] != 0 & e(df_m) == 1
generate double x3 = x1 + x2
quietly regress y x1 x2 x3
assert _b[x1] == 0 & _b[x2] != 0 & _b[x3] != 0 & e(df_m) == 2
generate float f1 = x1 / 3
generate float f2 = x2 / 7
generate float f3 = f1 + f2
quietly regress y f1 f2 f3
assert _b[f1] == 0 & _b[f2] != 0 & _b[f3] != 0 & e(df_m) == 2
* Headers: an F too wide for %8.2f shows in a shorter form; the robust
* header's F block starts at column 55.
clear
quietly set obs 40
generate double x = _n
generate double y = 3*x + mod(_n*7, 11)*.005
regress y x
regress y x, robust
