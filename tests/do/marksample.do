clear
quietly set obs 5
quietly generate x = _n
quietly replace x = . in 2
quietly generate y = 10*_n
quietly generate w = _n - 1
quietly generate str3 s = "a"
quietly replace s = "" in 4
mark m1
assert m1 == 1
mark m2 if x > 1 [fw=w]
assert m2 == (_n >= 2)
markout m1 x y
assert m1 == (_n != 2)
markin m1 in 3/5
assert m1 == (_n >= 3)
mark m3 [aw=w], zeroweight
assert m3 == 1
markout m3 s, strok
assert m3 == (_n != 4)
markout m3 s
assert m3 == 0
capture noisily mark m3
capture noisily mark m4 m5
capture noisily markout nosuch x
capture noisily markout s x
capture noisily markout m1 nosuch
assert m1 == (_n >= 3)
program define tms
    syntax [varlist] [if] [in] [aweight fweight]
    marksample touse
    quietly count if `touse'
    display r(N)
    c_local tv `touse'
end
tms x y
tms x y if y > 20 [fw=w]
tms x in 1/3
tms s
capture confirm variable `tv'
display _rc
unab v : x-w
display "`v'"
unab v : m*
display "`v'"
capture noisily unab v : nosuch
capture noisily unab v : x y, max(1) name(myname)
capture noisily unab v : x, min(2)
tsunab v : y x
display "`v'"
confirm variable x y
capture noisily confirm numeric variable x s
capture noisily confirm string variable s x
confirm str3 variable s
confirm str# variable s
capture noisily confirm byte variable x
confirm float variable x
confirm numeric variable m1
capture noisily confirm new variable x
confirm new variable q r
capture noisily confirm new variable q q
capture noisily confirm new variable 1q
scalar a = 1
confirm scalar a
capture noisily confirm scalar b
matrix M = (1,2)
confirm matrix M
capture noisily confirm matrix a
