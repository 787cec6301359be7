*! regres_p: predict after regress -- the linear prediction or the residuals
program define regres_p
    version 10.1
    syntax newvarname [if] [in] [, XB Residuals]
    if "`xb'" != "" & "`residuals'" != "" {
        display as error "only one statistic may be specified"
        exit 198
    }
    tempname b
    matrix `b' = e(b)
    if "`residuals'" != "" {
        tempvar fit
        quietly matrix score double `fit' = `b' `if' `in'
        quietly generate `typlist' `varlist' = `e(depvar)' - `fit' `if' `in'
        label variable `varlist' "Residuals"
        exit
    }
    if "`xb'" == "" {
        display as text "(option xb assumed; fitted values)"
    }
    matrix score `typlist' `varlist' = `b' `if' `in'
    label variable `varlist' "Fitted values"
end
