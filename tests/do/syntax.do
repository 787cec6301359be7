program define show
syntax [anything] [, Det noCONs L(integer 95) T(string) O(passthru) *]
display `"[`anything'] [`det'] [`cons'] [`l'] [`t']"'
display `"[`o'] [`options']"'
end
show a b c
show, det nocons l(90) t(My "t") o(x(1)) extra other(2)
show, l(2.5)
show, noc
show, d(1)
program define need
    syntax namelist(max=2) , Required(string)
    display "`namelist' `required'"
end
need a b, r(yes)
need a b c, r(yes)
need a
need 1a, r(x)
program define bad
    syntax [varlist(wrong)]
end
bad
