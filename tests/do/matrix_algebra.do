* Matrix expressions against results worked out by hand.
matrix A = (1,2\3,4)
matrix list A
matrix B = A'
matrix list B, noblank
matrix C = A*B
matrix list C
matrix list C, nohalf format(%4.0f) title(A times its transpose)
display det(A) " " trace(A) " " rowsof(A) " " colsof(A) " " el(A,2,1)
display issym(C) " " issym(A)
matrix D = inv(A)
matrix list D
matrix S = (4,2,0\2,3,1\0,1,2)
matrix Si = invsym(S)
matrix list Si, format(%7.4f)
matrix SS = S*Si
matrix I3 = I(3)
display mreldif(SS, I3) < 1e-14
matrix X = (1,1\1,1)
matrix Xi = invsym(X)
matrix list Xi, nohalf
display diag0cnt(Xi)
matrix K = (1,2)#(1\3)
matrix list K
matrix s = 2*3 + sqrt(16) - A[2,2]
matrix list s
matrix V = vecdiag(S) \ J(1,3,7)
matrix list V
matrix L = cholesky((4,2\2,5))
matrix list L
matrix P = S[2..3,....]
matrix list P
matrix Q = S[1,2...]
matrix list Q
display matrix(S["r2","c3"]) " " matrix(-S[3,3]^2)
matrix S[1,1] = 10
matrix S[2,2] = (7,8)
matrix list S
matrix rownames A = x y
matrix colnames A = eq1:a eq1:b
matrix list A
display rownumb(A,"y") " " colnumb(A,"eq1:b")
display colnumb(A,"b") " " rownumb(A,"z")
matrix Dg = diag((1,2,3)) + 2*I(3)
matrix list Dg
matrix G = nullmat(G) \ (1,2)
matrix G = nullmat(G) \ (3,4)
matrix list G
matrix E = A + J(3,3,0)
matrix E = nosuch
matrix E = invsym((1,2\3,4))
matrix E = (1,2) * (3,4)
capture matrix E = get(_b)
display _rc
set matsize 10
capture matrix E = J(11,1,0)
display _rc
set matsize 400
matrix drop D K L P Q V Dg G s Xi X Si SS I3
matrix rename C CC
matrix dir
