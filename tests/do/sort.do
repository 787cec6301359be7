* sort: numbers before missing values in their order, the record of the
* order, ranges, stable ties, index() and bad input
set obs 6
quietly generate x = 7 - _n
quietly replace x = .a in 2
quietly replace x = . in 4
generate long id = _n
sort x
assert x[1] == 1 & x[2] == 2 & x[3] == 4 & x[4] == 6
assert x[5] == . & x[6] == .a
assert id[1] == 6 & id[6] == 2
local s : sortedby
display "`s'"
* a range: only observations 2 to 4 move, and the record goes
sort id in 2/4
assert id[1] == 6 & id[2] == 1 & id[3] == 3
assert id[4] == 5 & id[5] == 4 & id[6] == 2
local s : sortedby
display "[`s']"
* stable: equal keys keep their order
generate g = mod(_n, 2)
sort g, stable
assert id[1] == 1 & id[2] == 5 & id[3] == 2
assert id[4] == 6 & id[5] == 3 & id[6] == 4
local s : sortedby
display "`s'"
sort id, index(g)
sort id, stable index(id)
sort in 1/2, index(id)
generate long k = 7 - _n
sort, index(k)
assert g[1] == 1 & g[6] == 0
sort nosuch
sort x if x > 1
clear
set obs 1
generate y = 1
sort y
drop in 1
sort y
* ties come out alike with one processor and with the default
clear
quietly set obs 50000
generate long id = _n
generate k = mod(id * 7919, 13)
local p `c(processors)'
set processors 1
set sortseed 1001
sort k
generate long first = _n
sort id
set processors `p'
set sortseed 1001
sort k
assert first == _n
