* predict after a regression on time-series operated regressors: the
* coefficient names carry the operator ("L.x", "D.z"), and the fitted
* values, residuals and their standard errors are computed from the
* operated values, missing where the operator has no value.
clear
set obs 12
generate t = _n
quietly tsset t
generate x = _n^2
generate z = mod(_n*7, 5)
generate y = 3 + 2*x + mod(_n,3) - z
quietly regress y L.x D.z

quietly predict yh
quietly predict double r, residuals
quietly predict double sp, stdp
* The first observation has no lag and no difference.
assert missing(yh[1]) & missing(r[1]) & missing(sp[1])
* Fitted values by hand from the coefficients and the operated values.
forvalues i = 2/12 {
    local lx = x[`i'-1]
    local dz = z[`i'] - z[`i'-1]
    local fit = _b[_cons] + _b[L.x]*`lx' + _b[D.z]*`dz'
    assert reldif(yh[`i'], `fit') < 1e-6
    assert reldif(r[`i'], y[`i'] - `fit') < 1e-9
}
* The residuals of a fit with a constant sum to zero.
quietly summarize r
assert abs(r(sum)) < 1e-8
* stdp squared is x V x' of each observation.
matrix V = e(V)
local i = 7
local lx = x[`i'-1]
local dz = z[`i'] - z[`i'-1]
local q = V[1,1]*`lx'^2 + V[2,2]*`dz'^2 + V[3,3] + 2*V[1,2]*`lx'*`dz' + 2*V[1,3]*`lx' + 2*V[2,3]*`dz'
assert reldif(sp[`i'], sqrt(`q')) < 1e-9
* The temporaries that held the operated values are gone, and nothing
* beyond the three new variables was added.
quietly describe, short
assert r(k) == 7
