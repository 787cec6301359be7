* summarize under by: each group's table, and the results of the last
* group left behind, with and without meanonly, over groups with missing
* values; lines with an if, weights or several variables as well
set obs 8
quietly generate g = 1 + (_n > 3) + (_n > 6)
quietly generate x = cond(_n <= 3, _n, cond(_n == 5, ., 10 + 10 * (_n == 6)))
quietly replace x = 4 * (_n - 6) if g == 3
sort g
by g: summarize x
assert r(N) == 2 & r(mean) == 6 & r(min) == 4 & r(max) == 8 & r(sum) == 12
assert abs(r(Var) - 8) < 1e-12 & abs(r(sd) - sqrt(8)) < 1e-12
by g: summarize x, meanonly
assert r(N) == 2 & r(mean) == 6 & r(min) == 4 & r(max) == 8 & r(sum) == 12
assert missing(r(Var))
quietly by g: summarize x if x != 8, meanonly
assert r(N) == 1 & r(mean) == 4 & r(sum) == 4
quietly by g: summarize x [fweight = g]
assert r(N) == 2 & r(sum_w) == 6 & r(mean) == 6 & r(sum) == 36
quietly by g: summarize x g, meanonly
assert r(N) == 2 & r(mean) == 3 & r(sum) == 6
drop if g == 3
quietly by g: summarize x, meanonly
assert r(N) == 2 & r(mean) == 15 & r(min) == 10 & r(max) == 20 & r(sum) == 30
quietly by g: summarize x
assert r(N) == 2 & abs(r(Var) - 50) < 1e-12
