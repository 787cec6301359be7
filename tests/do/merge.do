* merge: match merge on keys, every _merge code, update and replace
quietly input id byte x str4 s
1 10 a
2 . b
3 30 c
5 50 e
end
label variable x "x in master"
save m1
clear
quietly input id double x y str6 s
2 20 200 b
3 31 300 ""
4 40 400 dddddd
end
label define yl 200 "two hundred"
label values y yl
label variable y "y from using"
label variable x "x in using"
save u1
use m1, clear
merge id using u1
assert _N == 5
assert id[1] == 1 & id[2] == 2 & id[3] == 3 & id[4] == 4 & id[5] == 5
assert _merge[1] == 1 & _merge[2] == 3 & _merge[3] == 3 & _merge[4] == 2 & _merge[5] == 1
assert x[1] == 10 & x[2] == . & x[3] == 30 & x[4] == 40 & x[5] == 50
assert y[1] == . & y[2] == 200 & y[3] == 300 & y[4] == 400 & y[5] == .
assert s[1] == "a" & s[2] == "b" & s[3] == "c" & s[4] == "dddddd" & s[5] == "e"
local t : type x
assert "`t'" == "double"
local t : type s
assert "`t'" == "str6"
local t : type _merge
assert "`t'" == "byte"
local l : variable label x
assert "`l'" == "x in master"
local l : variable label y
assert "`l'" == "y from using"
local l : value label y
assert "`l'" == "yl"
local l : label yl 200
assert "`l'" == "two hundred"
local o : sortedby
assert "`o'" == "id"
* update: missing master values filled (4), conflicts kept (5)
use m1, clear
merge id using u1, update
assert _merge[1] == 1 & _merge[2] == 4 & _merge[3] == 5 & _merge[4] == 2 & _merge[5] == 1
assert x[2] == 20 & x[3] == 30 & s[3] == "c"
* update replace: conflicts take the using value
use m1, clear
merge id using u1, update replace
assert _merge[2] == 4 & _merge[3] == 5 & x[2] == 20 & x[3] == 31 & s[3] == "c"
* nokeep, keep(), _merge()
use m1, clear
merge id using u1, nokeep _merge(how)
assert _N == 4 & how[1] == 1 & how[2] == 3 & how[3] == 3 & how[4] == 1
assert id[4] == 5
use m1, clear
merge id using u1, keep(y)
assert x[4] == . & y[4] == 400 & s[4] == "" & x[3] == 30
local t : type x
assert "`t'" == "byte"
* one to one on observations
use m1, clear
merge using u1
assert _N == 4
assert _merge[1] == 3 & _merge[2] == 3 & _merge[3] == 3 & _merge[4] == 1
assert id[1] == 1 & id[3] == 3 & y[1] == 200 & y[3] == 400 & y[4] == .
* errors leave the data as they were
use m1, clear
merge id using u1
merge id using u1
assert _N == 5
clear
quietly input id z
4 1
2 2
end
save u2
clear
quietly input id w
2 7
2 8
3 9
end
save u3
clear
quietly input str3 id v
2 1
end
save u4
use m1, clear
merge id using u2
merge id using u3, unique
merge id using u4
merge id using nothere
merge id using u1, replace
assert _N == 4 & `c(k)' == 3
assert id[1] == 1 & id[2] == 2 & x[2] == . & s[4] == "e"
* sort: both sides ordered for the match
merge id using u2, sort
assert _N == 5 & id[4] == 4 & z[4] == 1 & _merge[4] == 2 & z[2] == 2 & _merge[2] == 3
* many to one: the single using observation joins each master one
use u3, clear
merge id using u1, keep(y)
assert _N == 4 & id[1] == 2 & id[2] == 2 & y[1] == 200 & y[2] == 200 & w[1] == 7 & w[2] == 8
assert _merge[1] == 3 & _merge[2] == 3 & _merge[3] == 3 & _merge[4] == 2
* unsorted master
clear
quietly input id
3
1
end
merge id using u1
assert _N == 2 & `c(k)' == 1
* labels in memory win; nolabel takes no definitions; uniqmaster
clear
quietly input id byte y
2 1
end
label define yl 200 "deux cents"
label values y yl
merge id using u1, update
assert _N == 3 & _merge[1] == 5 & y[1] == 1 & _merge[2] == 2 & y[2] == 300 & x[1] == 20
local l : label yl 200
assert "`l'" == "deux cents"
use m1, clear
merge id using u1, nolabel
capture local l : label yl 200
assert _rc == 111
use u3, clear
merge id using u1, uniqmaster
* string keys
clear
quietly input str2 k v
a 1
b 2
end
save sk1
clear
quietly input str5 k w
b 20
cc 30
end
save sk2
use sk1, clear
merge k using sk2
assert _N == 3 & k[1] == "a" & k[2] == "b" & k[3] == "cc"
assert _merge[1] == 1 & _merge[2] == 3 & _merge[3] == 2 & w[2] == 20 & v[3] == .
* nokeep beside keep()
use m1, clear
merge id using u1, nokeep keep(y)
assert _N == 4 & y[2] == 200 & y[3] == 300 & _merge[4] == 1 & id[4] == 5
