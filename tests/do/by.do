* by: groups of neighbours, the order they need, and _n, _N, subscripts
* and sum() within each group
set obs 7
quietly generate g = 1 + (_n > 3) + (_n > 5)
quietly generate x = _n * 10
by g: count
bysort g: count
by g: generate first = _n == 1
by g: generate last = x[_N]
by g: generate prev = x[_n-1]
by g: generate next = x[_n+1]
by g: generate size = _N
by g: generate run = sum(x)
assert first == (_n == 1 | _n == 4 | _n == 6)
assert last == cond(g == 1, 30, cond(g == 2, 50, 70))
assert prev == . if first
assert prev == x[_n-1] if !first
assert next == . if _n == 3 | _n == 5 | _n == 7
assert size == cond(g == 1, 3, 2)
assert run[3] == 60 & run[4] == 40 & run[5] == 90 & run[7] == 130
by g: assert _N >= 2 & x[0] == . & x[_N+1] == .
by g: display x[1] + _N
by g: list x if _n == _N
display _by() + 10 * _byindex() + 100 * _bylastcall()
by g: describe
by g: by g: count
by g (x): count
sort g x
by g (x): assert x[_n-1] < x if _n > 1
program define report, byable(recall)
display "group " _byindex() ": " _byn1() "-" _byn2() " " _bylastcall()
if _byindex() == 2 exit 459
end
by g: report
by g, rc0: report
program define shuffled, sortpreserve
sort run
end
gsort -x
shuffled
assert x[1] == 70 & x[7] == 10
program define keeper, sortpreserve
preserve
sort run
end
keeper
assert x[1] == 70 & x[7] == 10
display `c(k)'
gsort g -x, generate(rank)
assert rank == _n
assert x[1] == 30 & x[4] == 50
by g: drop if _n == 1
assert x[1] == 20 & x[4] == 60
