* Matrices from data, collinearity, decompositions and saved matrices;
* the expected values are worked by hand.
set obs 4
generate x = _n
generate y = _n + cond(mod(_n,2)==1, 1, -1)
matrix accum M = x y
matrix list M
display r(N)
matrix accum M = x y, deviations means(mu) noconstant
matrix list M
matrix list mu
generate w = 1 + (_n==2)
matrix accum F = x [fweight=w]
matrix list F
display r(N)
matrix accum W = x [aweight=w]
display el(W,1,1) " " el(W,2,1) " " el(W,2,2) " " r(N)
matrix vecaccum v = y x
matrix list v
matrix b = (2,1)
matrix colnames b = x _cons
matrix score z = b
display z[1] " " z[2] " " z[3] " " z[4]
generate x2 = 2*x
generate c = 5
_rmcoll x x2 y c
display "`r(varlist)'"
_rmcoll x c, noconstant
display "`r(varlist)'"
matrix accum E = x y if x > 10
matrix Asym = (2,1\1,2)
matrix symeigen X v = Asym
matrix list v
matrix list X, nohalf format(%8.5f)
matrix B3 = (2,0,0\0,3,4\0,4,9)
matrix symeigen X3 v3 = B3
display reldif(el(v3,1,1),11) < 1e-14 & reldif(el(v3,1,2),2) < 1e-14
display reldif(el(v3,1,3),1) < 1e-14
display abs(el(X3,2,1)-1/sqrt(5)) < 1e-14 & abs(el(X3,3,1)-2/sqrt(5)) < 1e-14
display abs(el(X3,1,2)-1) < 1e-14 & abs(el(X3,3,3)+1/sqrt(5)) < 1e-14
matrix Asv = (1,1\0,1\1,0)
matrix svd U s V = Asv
display reldif(el(s,1,1),sqrt(3)) < 1e-14 & reldif(el(s,1,2),1) < 1e-14
display abs(el(V,1,1)-1/sqrt(2)) < 1e-14 & abs(el(V,2,2)+1/sqrt(2)) < 1e-14
display abs(el(U,1,1)-2/sqrt(6)) < 1e-14 & abs(el(U,2,2)+1/sqrt(2)) < 1e-14
display abs(el(U,1,2)) < 1e-14
matrix R = U*diag(s)*V' - Asv
matrix Z = J(3,2,0)
display mreldif(R, Z) < 1e-14
matrix svd U s V = Asv'
program define mkm, rclass
    matrix T = (1,2\3,4)
    return matrix T = T
end
mkm
matrix list r(T)
display trace(r(T))
return list
