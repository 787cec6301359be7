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
insheet using strd/Filip.csv, comma clear double
generate double x2 = x^2
generate double x3 = x^3
generate double x4 = x^4
generate double x5 = x^5
generate double x6 = x^6
generate double x7 = x^7
generate double x8 = x^8
generate double x9 = x^9
generate double x10 = x^10
quietly regress y x x2 x3 x4 x5 x6 x7 x8 x9 x10
matrix b = e(b)
matrix V = e(V)
lre_check el(b,1,1) -2772.17959193342 7 "Filip b1"
lre_check sqrt(el(V,1,1)) 559.779865474950 7 "Filip se_b1"
lre_check el(b,1,2) -2316.37108160893 7 "Filip b2"
lre_check sqrt(el(V,2,2)) 466.477572127796 7 "Filip se_b2"
lre_check el(b,1,3) -1127.97394098372 7 "Filip b3"
lre_check sqrt(el(V,3,3)) 227.204274477751 7 "Filip se_b3"
lre_check el(b,1,4) -354.478233703349 7 "Filip b4"
lre_check sqrt(el(V,4,4)) 71.6478660875927 7 "Filip se_b4"
lre_check el(b,1,5) -75.1242017393757 7 "Filip b5"
lre_check sqrt(el(V,5,5)) 15.2897178747400 7 "Filip se_b5"
lre_check el(b,1,6) -10.8753180355343 7 "Filip b6"
lre_check sqrt(el(V,6,6)) 2.23691159816033 7 "Filip se_b6"
lre_check el(b,1,7) -1.06221498588947 7 "Filip b7"
lre_check sqrt(el(V,7,7)) 0.221624321934227 7 "Filip se_b7"
lre_check el(b,1,8) -0.670191154593408E-01 7 "Filip b8"
lre_check sqrt(el(V,8,8)) 0.142363763154724E-01 7 "Filip se_b8"
lre_check el(b,1,9) -0.246781078275479E-02 7 "Filip b9"
lre_check sqrt(el(V,9,9)) 0.535617408889821E-03 7 "Filip se_b9"
lre_check el(b,1,10) -0.402962525080404E-04 7 "Filip b10"
lre_check sqrt(el(V,10,10)) 0.896632837373868E-05 7 "Filip se_b10"
lre_check el(b,1,11) -1467.48961422980 7 "Filip b0"
lre_check sqrt(el(V,11,11)) 298.084530995537 7 "Filip se_b0"
lre_check e(rmse) 0.334801051324544E-02 7 "Filip root MSE"
lre_check e(r2) 0.996727416185620 7 "Filip R-squared"
assert e(N) == 82
scalar tss = e(mss) + e(rss)
quietly summarize y
assert reldif(tss, r(Var) * (r(N) - 1)) < 1e-12
