* sweep(A, p) against sweeps worked out by hand.  One step on pivot p with
* d = a(p,p) gives a(p,p) = 1/d, row p divided by d, column p divided by -d,
* and a(i,j) - a(i,p) a(p,j)/d elsewhere.
*
* A = (4,2\2,3) on pivot 1, d = 4:
*   (1,1) = 1/4, (1,2) = 2/4 = 1/2, (2,1) = -2/4 = -1/2,
*   (2,2) = 3 - 2*2/4 = 2.
* On pivot 2, d = 3:
*   (2,2) = 1/3, (2,1) = 2/3, (1,2) = -2/3, (1,1) = 4 - 2*2/3 = 8/3.
* The first result swept on pivot 2, d = 2:
*   (2,2) = 1/2, (2,1) = -1/2 / 2 = -1/4, (1,2) = -(1/2)/2 = -1/4,
*   (1,1) = 1/4 - (1/2)(-1/2)/2 = 3/8,
* which is inv(A) = (3,-2\-2,4)/8 (det A = 8).
* assert checks each observation: one is needed for it to check anything.
set obs 1
matrix A = (4,2\2,3)
matrix rownames A = a b
matrix colnames A = a b
matrix S1 = sweep(A, 1)
matrix list S1
assert el(S1,1,1) == .25 & el(S1,1,2) == .5 & el(S1,2,1) == -.5 & el(S1,2,2) == 2
matrix S2 = sweep(A, 2)
assert reldif(el(S2,1,1), 8/3) < 1e-15 & reldif(el(S2,1,2), -2/3) < 1e-15
assert reldif(el(S2,2,1), 2/3) < 1e-15 & reldif(el(S2,2,2), 1/3) < 1e-15
matrix S12 = sweep(sweep(A, 1), 2)
matrix list S12
assert el(S12,1,1) == .375 & el(S12,1,2) == -.25 & el(S12,2,1) == -.25 & el(S12,2,2) == .5
* Sweeping the same pivot twice gives the matrix back.
matrix T = sweep(sweep(A, 2), 2)
assert mreldif(T, A) < 1e-15
* A zero pivot cannot be swept: its row and column become 0.
matrix Z = sweep((0,1\1,2), 1)
assert el(Z,1,1) == 0 & el(Z,1,2) == 0 & el(Z,2,1) == 0 & el(Z,2,2) == 2
* On 3 by 3: the steps commute, and all three give the same inverse as
* invsym() (which sweeps this matrix in another pivot order).  The
* regression of the last column on the first two: sweeping C on 1 and 2
* leaves b = (X'X)^-1 X'y in rows 1-2 of column 3 and rss in (3,3).
* With X'X = (2,1\1,2) and X'y = (3,4): b = (2/3, 5/3),
* rss = y'y - b'X'y = 10 - (2 + 20/3) = 4/3.
matrix C = (2,1,3\1,2,4\3,4,10)
matrix P = sweep(sweep(C, 1), 2)
matrix Q = sweep(sweep(C, 2), 1)
assert mreldif(P, Q) < 1e-15
assert reldif(el(P,1,3), 2/3) < 1e-15 & reldif(el(P,2,3), 5/3) < 1e-15
assert reldif(el(P,3,3), 4/3) < 1e-15
assert reldif(el(P,3,1), -2/3) < 1e-15 & reldif(el(P,3,2), -5/3) < 1e-15
matrix R = sweep(P, 3)
matrix Ci = invsym(C)
assert mreldif(R, Ci) < 1e-14
* Bad arguments.
capture noisily matrix X = sweep(A, 3)
assert _rc == 503
capture noisily matrix X = sweep(A, 0)
assert _rc == 503
capture noisily matrix X = sweep((1,2,3), 1)
assert _rc == 503
capture noisily matrix X = sweep((1,.\.,1), 1)
assert _rc == 504
capture noisily matrix X = sweep(A)
assert _rc == 198
capture matrix list X
assert _rc == 111
