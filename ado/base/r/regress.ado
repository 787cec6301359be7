*! regress: linear regression by least squares, with the variance chosen by vce()
program define regress, eclass byable(recall)
    version 10.1
    * Without a variable list the last fit is shown again.
    gettoken first : 0, parse(" ,")
    if `"`first'"' == "" | `"`first'"' == "," {
        _regress `0'
        exit
    }
    syntax varlist(min=1 ts) [if] [in] [aweight fweight iweight pweight] [, VCE(string) Robust CLuster(string) HC2 HC3 *]
    local kind ""
    if `"`vce'"' != "" {
        gettoken v rest : vce
        local rest = trim(`"`rest'"')
        local len = length(`"`v'"')
        if `"`v'"' == substr("robust", 1, max(`len', 1)) & `"`rest'"' == "" {
            local kind robust
        }
        else if `"`v'"' == "hc2" & `"`rest'"' == "" {
            local kind hc2
        }
        else if `"`v'"' == "hc3" & `"`rest'"' == "" {
            local kind hc3
        }
        else if `"`v'"' == substr("cluster", 1, max(`len', 2)) & `"`rest'"' != "" {
            local kind cluster
            local cluster `"`rest'"'
        }
        else if `"`v'"' == "ols" & `"`rest'"' == "" {
            local kind ols
        }
        else {
            display as error `"vcetype `v' not allowed"'
            exit 198
        }
        if `"`robust'`hc2'`hc3'"' != "" {
            display as error "options vce() and `robust'`hc2'`hc3' may not be combined"
            exit 198
        }
    }
    local vopt `robust' `hc2' `hc3'
    if "`kind'" == "robust" | "`kind'" == "hc2" | "`kind'" == "hc3" {
        local vopt `kind'
    }
    if `"`cluster'"' != "" {
        local vopt `vopt' cluster(`cluster')
    }
    local wgt
    if `"`weight'"' != "" {
        local wgt [`weight'`exp']
    }
    if !_by() {
        _regress `varlist' `if' `in' `wgt', `vopt' `options'
        exit
    }
    * Under by: the sample is this group's part of the one asked for, and
    * a group with too few observations is passed over, not an error.
    tempvar touse
    mark `touse' `if' `in'
    quietly replace `touse' = 0 if _n < _byn1() | _n > _byn2()
    capture noisily _regress `varlist' if `touse' `wgt', `vopt' `options'
    if _rc == 2000 | _rc == 2001 {
        exit 0
    }
    exit _rc
end
