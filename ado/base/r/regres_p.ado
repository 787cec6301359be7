*! regres_p: predict after regress -- fitted values, residuals, their standard
*! errors, leverage and the influence statistics
program define regres_p
    version 10.1
    syntax newvarname [if] [in] [, XB Residuals STDP STDF STDR Leverage Hat COOKsd RSTAndard RSTUdent]
    local stat `xb' `residuals' `stdp' `stdf' `stdr' `leverage' `hat' `cooksd' `rstandard' `rstudent'
    if `: word count `stat'' > 1 {
        display as error "only one statistic may be specified"
        exit 198
    }
    if "`stat'" == "" {
        display as text "(option xb assumed; fitted values)"
        local stat xb
    }
    if "`stat'" == "hat" {
        local stat leverage
    }
    * xb, stdp and stdf are functions of the regressors alone and exist
    * wherever those are present; everything else describes observations of
    * the fit and is left missing outside e(sample).
    tempvar touse
    mark `touse' `if' `in'
    if !inlist("`stat'", "xb", "stdp", "stdf") {
        quietly replace `touse' = 0 if !e(sample)
    }
    tempname b
    matrix `b' = e(b)
    * Only xb reports the missing values it makes; the other statistics
    * are generated quietly, as the residuals always were.
    if "`stat'" == "xb" {
        matrix score `typlist' `varlist' = `b' if `touse'
        label variable `varlist' "Fitted values"
        exit
    }
    tempvar fit res val
    quietly matrix score double `fit' = `b' if `touse'
    quietly generate double `res' = `e(depvar)' - `fit' if `touse'
    if "`stat'" == "residuals" {
        quietly generate `typlist' `varlist' = `res' if `touse'
        label variable `varlist' "Residuals"
        exit
    }
    quietly replace `touse' = 0 if missing(`fit')
    local s2 = e(rmse)^2
    tempvar insample
    * (Set by replace: e(sample) read while generate adds a variable
    * reads the wrong column.)
    quietly generate byte `insample' = 0
    quietly replace `insample' = 1 if e(sample)

    * The regressors as the coefficient vector names them (the constant as
    * 1), each scored by a unit row vector carrying those names; they are
    * needed in the estimation sample too, for the cross products.
    local k = colsof(`b')
    tempname u
    matrix `u' = 0 * `b'
    local xs
    forvalues j = 1/`k' {
        tempvar x`j'
        matrix `u'[1, `j'] = 1
        quietly matrix score double `x`j'' = `u' if `touse' | `insample'
        matrix `u'[1, `j'] = 0
        local xs `xs' `x`j''
    }

    * The quadratic form x M x' of each observation, one row of M at a
    * time: z = (row j of M) x' by matrix score, then q += x_j z.  stdp and
    * stdf take M = e(V), so that they follow the variance the fit
    * reported; the other statistics need (X'X)^-1 itself.
    tempname M row
    tempvar a q z
    if inlist("`stat'", "stdp", "stdf") {
        matrix `M' = e(V)
    }
    else {
        * The inverse comes from the cross products of the sample, not from
        * e(V)/s^2, which cannot be undone after a perfect fit (s = 0) or
        * a robust variance.  With analytic, sampling and importance
        * weights the residual of observation i has variance s^2 (1-h)/a_i,
        * a_i its weight as the fit used it (analytic and sampling weights
        * scaled to average 1), and h = a_i x (X'AX)^-1 x'; frequency
        * weights count copies of the observation and leave a_i = 1.
        local wtype `"`e(wtype)'"'
        local wexp `"`e(wexp)'"'
        local wacc
        if "`wtype'" == "" | "`wtype'" == "fweight" {
            quietly generate double `a' = 1
            if "`wtype'" == "fweight" {
                local wacc [fweight `wexp']
            }
        }
        else {
            quietly generate double `a' `wexp' if `insample'
            if "`wtype'" != "iweight" {
                quietly summarize `a' if `insample', meanonly
                quietly replace `a' = `a' / r(mean)
            }
            local wacc [iweight = `a']
        }
        quietly matrix accum `M' = `xs' if `insample' `wacc', noconstant
        matrix `M' = invsym(`M')
        * Scored against the x's above.
        matrix rownames `M' = `xs'
        matrix colnames `M' = `xs'
    }
    quietly generate double `q' = 0 if `touse'
    forvalues j = 1/`k' {
        matrix `row' = `M'[`j', 1...]
        capture drop `z'
        quietly matrix score double `z' = `row' if `touse'
        quietly replace `q' = `q' + `x`j'' * `z'
    }
    if "`stat'" == "stdp" {
        quietly generate `typlist' `varlist' = sqrt(`q') if `touse'
        label variable `varlist' "S.E. of the prediction"
        exit
    }
    if "`stat'" == "stdf" {
        quietly generate `typlist' `varlist' = sqrt(`q' + `s2') if `touse'
        label variable `varlist' "S.E. of the forecast"
        exit
    }
    * The number of coefficients estimated: the pivots the inverse kept.
    local kest = colsof(`M') - diag0cnt(`M')
    quietly generate double `val' = `a' * `q' if `touse'
    if "`stat'" == "leverage" {
        quietly generate `typlist' `varlist' = `val' if `touse'
        label variable `varlist' "Leverage"
        exit
    }
    if "`stat'" == "stdr" {
        quietly generate `typlist' `varlist' = sqrt(`s2' * (1 - `val') / `a') if `touse'
        label variable `varlist' "S.E. of the residual"
        exit
    }
    if "`stat'" == "cooksd" {
        quietly generate `typlist' `varlist' = `a' * `res'^2 * `val' / (`kest' * `s2' * (1 - `val')^2) if `touse'
        label variable `varlist' "Cook's D"
        exit
    }
    if "`stat'" == "rstandard" {
        quietly generate `typlist' `varlist' = `res' * sqrt(`a') / sqrt(`s2' * (1 - `val')) if `touse'
        label variable `varlist' "Standardized residuals"
        exit
    }
    * rstudent: the residual over s with observation i left out,
    * s_(i)^2 = (rss - a_i e_i^2 / (1 - h_i)) / (N - k - 1).
    tempvar s2i
    quietly generate double `s2i' = (e(rss) - `a' * `res'^2 / (1 - `val')) / (e(N) - `kest' - 1) if `touse'
    quietly replace `s2i' = . if `s2i' <= 0
    quietly generate `typlist' `varlist' = `res' * sqrt(`a') / sqrt(`s2i' * (1 - `val')) if `touse'
    label variable `varlist' "Studentized residuals"
end
