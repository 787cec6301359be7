* Time-series operators over tsset data: lags, leads, differences and
* seasonal differences; gaps and panel edges give missing; the declaration
* is saved with the data.
clear
quietly input id t x
1 1 10
1 2 12
1 3 15
1 5 20
1 6 26
2 1 100
2 2 110
2 3 130
2 4 160
end
* Not declared yet.
capture generate y = L.x
assert _rc == 111
* Shuffled order: tsset sorts by panel and time.
gsort -x
tsset id t
assert id == 1 in 1
assert t == 6 in 5
quietly generate l1 = L.x
quietly generate f2 = F2.x
quietly generate d1 = D.x
quietly generate d2 = D2.x
quietly generate s2 = S2.x
quietly generate ld = LD.x
* Panel 1: times 1 2 3 5 6 (4 is a gap).  Panel 2: times 1 2 3 4.
assert l1 == . in 1
assert l1 == 10 in 2
assert l1 == 12 in 3
assert l1 == . in 4
assert l1 == 20 in 5
assert l1 == . in 6
assert l1 == 130 in 9
assert f2 == 15 in 1
assert f2 == . in 2
assert f2 == 20 in 3
assert f2 == . in 4
assert f2 == 130 in 6
assert f2 == 160 in 7
assert f2 == . in 8
assert d1 == 2 in 2
assert d1 == 3 in 3
assert d1 == 6 in 5
assert d1 == . in 6
assert d1 == 30 in 9
* D2: (x_t - x_t-1) - (x_t-1 - x_t-2)
assert d2 == 1 in 3
assert d2 == . in 5
assert d2 == 10 in 8
assert d2 == 10 in 9
* S2: x_t - x_t-2
assert s2 == 5 in 3
assert s2 == 5 in 4
assert s2 == . in 5
assert s2 == 30 in 8
assert s2 == 50 in 9
* LD: the difference one period back
assert ld == . in 2
assert ld == 2 in 3
assert ld == 20 in 9
* In an if condition and with a lead of a difference.
count if D.x > 10 & D.x < .
assert r(N) == 2
display F.D.x
* The declaration travels with the data.
tempfile f
quietly save `f'
clear
quietly use `f'
tsset
assert r(tmin) == 1 & r(tmax) == 6 & r(tdelta) == 1
quietly generate back = L2.x
assert back == 10 in 3
assert back == 15 in 4
* delta(2): one period is two units of time.
clear
quietly input t x
0 1
2 4
4 9
8 25
end
tsset t, delta(2)
quietly generate d = D.x
assert d == . in 1
assert d == 3 in 2
assert d == 5 in 3
assert d == . in 4
* Refusals leave the declaration alone.
capture tsset t, delta(3)
assert _rc == 451
quietly replace t = 2 in 1
capture tsset t
assert _rc == 451
capture generate y = L.x
assert _rc == 451
quietly replace t = 0 in 1
quietly generate s = "a"
capture tsset s
assert _rc == 109
capture generate y = L.s
assert _rc == 109
tsset, clear
capture generate y = L.x
assert _rc == 111
* Data sorted another way after tsset: the operators still follow time.
clear
quietly set obs 6
quietly generate t = _n
quietly generate x = _n^2
quietly tsset t
gsort -t
quietly generate d = D.x
quietly generate f = F.x
assert d == 2*t - 1 | t == 1
assert d == . if t == 1
assert f == (t+1)^2 | t == 6
assert f == . if t == 6
assert t == 6 in 1
