* least squares written in Lumo: the data read through views, the fit by
* cross() and invsym(), b and V posted as estimation results that test
* and lincom then use; every number agrees with regress
clear
set obs 40
generate x1 = mod(_n*7, 11)
generate x2 = sin(_n) + _n/40
generate x3 = ln(_n)
generate y = 1 + 2*x1 - 0.5*x2 + 0.25*x3 + cos(3*_n)
replace y = . in 5
replace x2 = . in 9
quietly regress y x1 x2 x3
matrix breg = e(b)
matrix Vreg = e(V)
scalar Nreg = e(N)
scalar dfreg = e(df_r)
quietly test x1 = 4*x2
scalar Freg = r(F)
scalar preg = r(p)
quietly lincom x1 - 2*x2 + x3
scalar estreg = r(estimate)
scalar sereg = r(se)
lumo
function lumols(string scalar depvar, string scalar indepvars)
{
	X = .
	nv_view(X, ., indepvars)
	y = .
	nv_view(y, ., depvar)
	// the rows complete in y and in every regressor
	use = rownonmissing((y, X)) :== cols(X) + 1
	Xs = select((X, J(rows(X), 1, 1)), use)
	ys = select(y, use)
	XX = cross(Xs, Xs)
	b = (invsym(XX) * cross(Xs, ys))'
	e = ys - Xs * b'
	n = rows(Xs)
	k = cols(Xs)
	V = (cross(e, e) / (n - k)) * invsym(XX)
	names = (tokens(indepvars), "_cons")'
	stripe = J(k, 1, ""), names
	nv_matrix("lumo_b", b)
	nv_matrix("lumo_V", V)
	nv_matrixcolstripe("lumo_b", stripe)
	nv_matrixcolstripe("lumo_V", stripe)
	nv_matrixrowstripe("lumo_V", stripe)
	nuvra(sprintf("ereturn post lumo_b lumo_V, obs(%g) dof(%g) depname(%s)", n, n - k, depvar))
}
end
* nothing left over from regress: every number below is Lumo's
lumo: nv_eclear()
program lumoreg, eclass
	lumo: lumols("y", "x1 x2 x3")
end
lumoreg
assert e(N) == Nreg
assert e(df_r) == dfreg
assert mreldif(e(b), breg) < 1e-12
assert mreldif(e(V), Vreg) < 1e-12
quietly test x1 = 4*x2
assert reldif(r(F), Freg) < 1e-12
assert reldif(r(p), preg) < 1e-12
quietly lincom x1 - 2*x2 + x3
assert reldif(r(estimate), estreg) < 1e-12
assert reldif(r(se), sereg) < 1e-12
* e(b) and e(V) belong to ereturn post: Lumo may not write them
lumo: nv_global("e(V)", "x")
lumo: nv_global("c(pi)", "3")
assert mreldif(e(V), Vreg) < 1e-12
