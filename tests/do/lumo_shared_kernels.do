* Lumo's distribution, mathematics and date functions are the expression
* library's own kernels: each value computed both ways is the same double.
* Random numbers come from the one generator that set seed sets.
clear
set obs 1
local i 0
foreach f in "normal(-1.7)" "invnormal(0.025)" "lnnormal(-30)" "normalden(1.3)" "normalden(1.3, 2)" "normalden(1.3, -1, 2)" "lnnormalden(0.4, 3)" "chi2(3, 2.5)" "chi2tail(7, 11)" "invchi2(5, 0.3)" "invchi2tail(5, 0.01)" "nchi2(3, 1.5, 4)" "invnchi2(3, 1.5, 0.6)" "npnchi2(3, 4, 0.6)" "F(3, 17, 2.2)" "Ftail(3, 17, 2.2)" "invF(4, 9, 0.9)" "invFtail(4, 9, 0.05)" "Fden(4, 9, 1.1)" "nFden(4, 9, 2, 1.1)" "nFtail(4, 9, 2, 1.1)" "invnFtail(4, 9, 2, 0.2)" "ttail(12, 2.1)" "invttail(12, 0.025)" "tden(3, 0.7)" "ibeta(2.5, 4, 0.3)" "ibetatail(2.5, 4, 0.3)" "invibeta(2.5, 4, 0.3)" "invibetatail(2.5, 4, 0.3)" "betaden(2.5, 4, 0.3)" "nbetaden(2.5, 4, 1, 0.3)" "nibeta(2.5, 4, 1, 0.3)" "invnibeta(2.5, 4, 1, 0.3)" "gammap(2.5, 1.7)" "gammaptail(2.5, 1.7)" "invgammap(2.5, 0.4)" "invgammaptail(2.5, 0.4)" "gammaden(2.5, 1.5, 0.5, 3)" "dgammapda(2.5, 1.7)" "dgammapdx(2.5, 1.7)" "dgammapdada(2.5, 1.7)" "dgammapdadx(2.5, 1.7)" "dgammapdxdx(2.5, 1.7)" "binomial(20, 6, 0.35)" "binomialtail(20, 6, 0.35)" "Binomial(20, 6, 0.35)" "binomialp(20, 6, 0.35)" "invbinomial(20, 6, 0.3)" "invbinomialtail(20, 6, 0.3)" "binormal(0.3, -0.4, 0.6)" "poisson(4.5, 3)" "poissontail(4.5, 3)" "poissonp(4.5, 3)" "invpoisson(3, 0.4)" "invpoissontail(3, 0.4)" "nbinomial(3, 5, 0.4)" "nbinomialtail(3, 5, 0.4)" "nbinomialp(3, 5, 0.4)" "invnbinomial(3, 5, 0.4)" "invnbinomialtail(3, 5, 0.4)" "hypergeometric(30, 12, 8, 3)" "hypergeometricp(30, 12, 8, 3)" "lngamma(7.3)" "digamma(7.3)" "trigamma(7.3)" "lnfactorial(40)" "comb(40, 13)" "mod(-17.5, 4)" "round(-2.345, 0.01)" "round(2.5)" "floor(-2.5)" "atan2(-1, -3)" "mdy(2, 29, 2000)" "dow(15000)" "week(15000)" "dofw(2000)" "wofd(15000)" "hms(13, 14, 15.5)" "mdyhms(3, 4, 1999, 5, 6, 7.25)" "Cofd(15000)" "dofC(1.3e12)" "ssC(1.3e12)" "Cofc(1.3e12)" "cofC(1.3e12)" "Cmdyhms(3, 4, 1999, 5, 6, 7.25)" {
	local ++i
	scalar e`i' = `f'
	lumo: nv_numscalar("l`i'", `f')
	assert scalar(e`i') == scalar(l`i')
}
display `i'
* text read as dates
scalar e1 = date("5 March 2003", "DMY")
lumo: nv_numscalar("l1", date("5 March 2003", "DMY"))
assert scalar(e1) == scalar(l1) & scalar(e1) < .
scalar e2 = clock("5mar2003 13:14:15.5", "DMYhms")
lumo: nv_numscalar("l2", clock("5mar2003 13:14:15.5", "DMYhms"))
assert scalar(e2) == scalar(l2) & scalar(e2) < .
* set seed is rseed: the same stream, and the state carries across
set seed 2718
scalar u1 = runiform()
scalar u2 = runiform()
scalar n1 = rnormal(3, 2)
scalar g1 = rgamma(2, 1.5)
set seed 2718
lumo: nv_numscalar("v1", runiform(1, 1))
scalar v2 = runiform()
lumo: nv_numscalar("m1", rnormal(1, 1, 3, 2))
lumo: nv_numscalar("h1", rgamma(1, 1, 2, 1.5))
assert scalar(u1) == scalar(v1)
assert scalar(u2) == scalar(v2)
assert scalar(n1) == scalar(m1)
assert scalar(g1) == scalar(h1)
lumo: rseed(31)
scalar w1 = runiform()
set seed 31
scalar w2 = runiform()
assert scalar(w1) == scalar(w2)
* the state as text goes both ways
set seed 99
lumo: st = nv_global("c(seed)")
lumo: nv_numscalar("k1", runiform(1, 1))
lumo: rseed(st)
lumo: nv_numscalar("k2", runiform(1, 1))
assert scalar(k1) == scalar(k2)
lumo: nv_global("seedtext", rseed())
scalar q1 = runiform()
set seed $seedtext
scalar q2 = runiform()
assert scalar(q1) == scalar(q2)
