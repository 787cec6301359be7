*! unab: a variable list with abbreviations, ranges and wildcards spelled out
program define unab
    version 10.1
    gettoken user 0 : 0, parse(" :")
    gettoken colon 0 : 0, parse(" :")
    if `"`colon'"' != ":" {
        error 198
    }
    confirm name `user'
    syntax [anything(name=list)] [, MIN(integer 1) MAX(integer 120000) NAME(string)]
    if `"`name'"' != "" {
        local name `"`name': "'
    }
    local 0 `"`list'"'
    capture syntax varlist
    if _rc {
        local rc = _rc
        display as error `"`name'"' _c
        syntax varlist
        exit `rc'
    }
    local n : word count `varlist'
    if `n' < `min' {
        display as error `"`name'too few variables specified"'
        exit 102
    }
    if `n' > `max' {
        display as error `"`name'too many variables specified"'
        exit 103
    }
    c_local `user' `varlist'
end
