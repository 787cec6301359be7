* the Lumo library: mean(), variance() and correlation() agree with
* summarize and correlate on the same data; help for library functions;
* lumo mosave and the matrix files
clear
set obs 60
generate x = 10*sin(_n) + _n/7
generate y = cos(3*_n) + x/4
generate z = mod(_n, 7) - 3*sin(_n/5)
generate w = 1 + mod(_n, 3)
replace y = . in 7
replace z = .a in 12
quietly summarize x if y < . & z < .
scalar mx = r(mean)
scalar vx = r(Var)
quietly correlate x y z
matrix R = r(C)
quietly correlate x y z, covariance
matrix V = r(C)
quietly correlate x y z [fweight=w], covariance
matrix Vw = r(C)
quietly summarize y [fweight=w] if x < . & z < .
scalar myw = r(mean)
lumo
X = .
nv_view(X, ., "x y z")
W = .
nv_view(W, ., "w")
m = mean(X)
nv_numscalar("lm", m[1])
nv_numscalar("lv", variance(X)[1, 1])
nv_numscalar("dV", mreldif(variance(X), nv_matrix("V")))
nv_numscalar("dR", mreldif(correlation(X), nv_matrix("R")))
nv_numscalar("dVw", mreldif(variance(X, W), nv_matrix("Vw")))
nv_numscalar("lmyw", mean(X, W)[2])
end
assert reldif(lm, mx) < 1e-14
assert reldif(lv, vx) < 1e-13
assert dV < 1e-13
assert dR < 1e-13
assert dVw < 1e-13
assert reldif(lmyw, myw) < 1e-14
* the functions come with their help
lumo which mean()
help rowmax()
help nosuch()
* a function saved to its object file is found there once dropped
lumo
function cube(x)
{
	return(x :^ 3)
}
end
lumo mosave cube()
lumo mosave cube()
lumo mosave cube(), replace
lumo mosave cube(), dir(nosuchdir)
lumo mosave nosuch()
lumo mosave cube
lumo drop cube()
lumo: nv_numscalar("c", cube(3))
assert c == 27
lumo which cube()
* matrices to a file and back
lumo: A = (1, 2 \ 3, .b); s = ("one", "two")
lumo matsave mats A s
lumo matsave mats A, replace
lumo matsave mats2 A s
lumo matdescribe mats2
lumo matuse mats2
lumo drop A s
lumo matuse mats2
lumo: nv_numscalar("ok", A == (1, 2 \ 3, .b) & s == ("one", "two"))
assert ok == 1
lumo matuse nofile
lumo matsave mats2 nosuch, replace
lumo_matdescribe mats
