* Regression accuracy on NIST StRD sets: the log relative error (LRE) of
* every coefficient, standard error, root MSE and R-squared against the
* certified values, and the total sum of squares against summarize.
* Where the certified value is 0 the absolute error is used.
program define lre_check
    args computed certified target what
    if `certified' == 0 {
        local lre = -log10(abs(`computed'))
    }
    else {
        local lre = -log10(abs(`computed' - `certified') / abs(`certified'))
    }
    * exact agreement gives missing here, which passes
    if !(`computed' < .) | `lre' < `target' {
        display as error "`what': LRE `lre' below `target'"
        exit 9
    }
end
insheet using strd/Norris.csv, comma clear double
quietly regress y x
matrix b = e(b)
matrix V = e(V)
lre_check el(b,1,1) 1.00211681802045 9 "Norris b1"
lre_check sqrt(el(V,1,1)) 0.429796848199937E-03 9 "Norris se_b1"
lre_check el(b,1,2) -0.262323073774029 9 "Norris b0"
lre_check sqrt(el(V,2,2)) 0.232818234301152 9 "Norris se_b0"
lre_check e(rmse) 0.884796396144373 9 "Norris root MSE"
lre_check e(r2) 0.999993745883712 9 "Norris R-squared"
assert e(N) == 36
scalar tss = e(mss) + e(rss)
quietly summarize y
assert reldif(tss, r(Var) * (r(N) - 1)) < 1e-12
insheet using strd/NoInt1.csv, comma clear double
quietly regress y x, noconstant
matrix b = e(b)
matrix V = e(V)
lre_check el(b,1,1) 2.07438016528926 9 "NoInt1 b1"
lre_check sqrt(el(V,1,1)) 0.165289256198347E-01 9 "NoInt1 se_b1"
lre_check e(rmse) 3.56753034006338 9 "NoInt1 root MSE"
lre_check e(r2) 0.999365492298663 9 "NoInt1 R-squared"
assert e(N) == 11
insheet using strd/Longley.csv, comma clear double
quietly regress y x1 x2 x3 x4 x5 x6
matrix b = e(b)
matrix V = e(V)
lre_check el(b,1,1) 15.0618722713733 9 "Longley b1"
lre_check sqrt(el(V,1,1)) 84.9149257747669 9 "Longley se_b1"
lre_check el(b,1,2) -0.358191792925910E-01 9 "Longley b2"
lre_check sqrt(el(V,2,2)) 0.334910077722432E-01 9 "Longley se_b2"
lre_check el(b,1,3) -2.02022980381683 9 "Longley b3"
lre_check sqrt(el(V,3,3)) 0.488399681651699 9 "Longley se_b3"
lre_check el(b,1,4) -1.03322686717359 9 "Longley b4"
lre_check sqrt(el(V,4,4)) 0.214274163161675 9 "Longley se_b4"
lre_check el(b,1,5) -0.511041056535807E-01 9 "Longley b5"
lre_check sqrt(el(V,5,5)) 0.226073200069370 9 "Longley se_b5"
lre_check el(b,1,6) 1829.15146461355 9 "Longley b6"
lre_check sqrt(el(V,6,6)) 455.478499142212 9 "Longley se_b6"
lre_check el(b,1,7) -3482258.63459582 9 "Longley b0"
lre_check sqrt(el(V,7,7)) 890420.383607373 9 "Longley se_b0"
lre_check e(rmse) 304.854073561965 9 "Longley root MSE"
lre_check e(r2) 0.995479004577296 9 "Longley R-squared"
assert e(N) == 16
scalar tss = e(mss) + e(rss)
quietly summarize y
assert reldif(tss, r(Var) * (r(N) - 1)) < 1e-12
insheet using strd/Wampler1.csv, comma clear double
generate double x2 = x^2
generate double x3 = x^3
generate double x4 = x^4
generate double x5 = x^5
quietly regress y x x2 x3 x4 x5
matrix b = e(b)
matrix V = e(V)
lre_check el(b,1,1) 1.00000000000000 9 "Wampler1 b1"
lre_check sqrt(el(V,1,1)) 0.000000000000000 9 "Wampler1 se_b1"
lre_check el(b,1,2) 1.00000000000000 9 "Wampler1 b2"
lre_check sqrt(el(V,2,2)) 0.000000000000000 9 "Wampler1 se_b2"
lre_check el(b,1,3) 1.00000000000000 9 "Wampler1 b3"
lre_check sqrt(el(V,3,3)) 0.000000000000000 9 "Wampler1 se_b3"
lre_check el(b,1,4) 1.00000000000000 9 "Wampler1 b4"
lre_check sqrt(el(V,4,4)) 0.000000000000000 9 "Wampler1 se_b4"
lre_check el(b,1,5) 1.00000000000000 9 "Wampler1 b5"
lre_check sqrt(el(V,5,5)) 0.000000000000000 9 "Wampler1 se_b5"
lre_check el(b,1,6) 1.00000000000000 9 "Wampler1 b0"
lre_check sqrt(el(V,6,6)) 0.000000000000000 9 "Wampler1 se_b0"
lre_check e(rmse) 0.000000000000000 9 "Wampler1 root MSE"
lre_check e(r2) 1.00000000000000 9 "Wampler1 R-squared"
assert e(N) == 21
scalar tss = e(mss) + e(rss)
quietly summarize y
assert reldif(tss, r(Var) * (r(N) - 1)) < 1e-12
insheet using strd/Wampler2.csv, comma clear double
generate double x2 = x^2
generate double x3 = x^3
generate double x4 = x^4
generate double x5 = x^5
quietly regress y x x2 x3 x4 x5
matrix b = e(b)
matrix V = e(V)
lre_check el(b,1,1) 0.100000000000000 9 "Wampler2 b1"
lre_check sqrt(el(V,1,1)) 0.000000000000000 9 "Wampler2 se_b1"
lre_check el(b,1,2) 0.100000000000000E-01 9 "Wampler2 b2"
lre_check sqrt(el(V,2,2)) 0.000000000000000 9 "Wampler2 se_b2"
lre_check el(b,1,3) 0.100000000000000E-02 9 "Wampler2 b3"
lre_check sqrt(el(V,3,3)) 0.000000000000000 9 "Wampler2 se_b3"
lre_check el(b,1,4) 0.100000000000000E-03 9 "Wampler2 b4"
lre_check sqrt(el(V,4,4)) 0.000000000000000 9 "Wampler2 se_b4"
lre_check el(b,1,5) 0.100000000000000E-04 9 "Wampler2 b5"
lre_check sqrt(el(V,5,5)) 0.000000000000000 9 "Wampler2 se_b5"
lre_check el(b,1,6) 1.00000000000000 9 "Wampler2 b0"
lre_check sqrt(el(V,6,6)) 0.000000000000000 9 "Wampler2 se_b0"
lre_check e(rmse) 0.000000000000000 9 "Wampler2 root MSE"
lre_check e(r2) 1.00000000000000 9 "Wampler2 R-squared"
assert e(N) == 21
scalar tss = e(mss) + e(rss)
quietly summarize y
assert reldif(tss, r(Var) * (r(N) - 1)) < 1e-12
