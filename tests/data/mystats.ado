*! mystats: the mean of each variable of a varlist over one common sample
program define mystats, rclass
    version 10.1
    syntax varlist(numeric) [if] [in] [aweight fweight] [, Format(string) MINobs(integer 1) Total]
    if `"`format'"' == "" {
        local format %9.0g
    }
    confirm numeric format `format'
    if `minobs' < 1 {
        display as error "minobs() must be at least 1"
        exit 198
    }
    marksample touse
    tempvar w s
    if "`weight'" == "" {
        quietly generate double `w' = 1 if `touse'
    }
    else {
        quietly generate double `w' `exp' if `touse'
        capture assert `w' >= 0 if `touse'
        if _rc {
            display as error "negative weights encountered"
            exit 402
        }
        if "`weight'" == "fweight" {
            capture assert `w' == int(`w') if `touse'
            if _rc {
                display as error "may not use noninteger frequency weights"
                exit 401
            }
        }
    }
    quietly count if `touse'
    local N = r(N)
    if `N' == 0 {
        display as error "no observations"
        exit 2000
    }
    if `N' < `minobs' {
        error 2001
    }
    quietly generate double `s' = sum(`w')
    local sumw = `s'[_N]
    local rest `varlist'
    while "`rest'" != "" {
        gettoken v rest : rest
        quietly replace `s' = sum(cond(`touse', `w'*`v', 0))
        local sum = `s'[_N]
        local mean = `sum'/`sumw'
        display as text %12s "`v'" " " as result `format' `mean'
    }
    return scalar N = `N'
    return scalar sum_w = `sumw'
    return scalar mean = `mean'
    if "`total'" != "" {
        return scalar sum = `sum'
    }
end
