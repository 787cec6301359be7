* replace and the record of the order: changing a key's values forgets the
* order by that key and every key after it; changing nothing, or changing a
* variable that is not a key, keeps the record.
set obs 6
generate a = ceil(_n/3)
generate b = mod(_n, 3)
generate y = _n
sort a b
local s : sortedby
assert "`s'" == "a b"
* not a key
replace y = 0
local s : sortedby
assert "`s'" == "a b"
* a key, but no value changes
replace b = b
local s : sortedby
assert "`s'" == "a b"
* the second key changes: still sorted by a
replace b = 3 - b in 1/3
local s : sortedby
assert "`s'" == "a"
by a: assert _N == 3
* the first key changes: the order is unknown and by refuses
sort a b
replace a = 3 in 2
local s : sortedby
assert "`s'" == ""
capture by a: assert _N >= 1
assert _rc == 5
* bysort sorts again and then sees three groups
bysort a: generate n = _N
assert n == 2 in 1
assert n == 1 if a == 3
* stores from Lumo into a key forget the order the same way
sort a b
lumo
nv_store(2, "b", 9)
end
local s : sortedby
assert "`s'" == "a"
lumo
nv_store(1, "a", 5)
end
local s : sortedby
assert "`s'" == ""
