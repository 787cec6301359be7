* generate and replace over enough observations to run in pieces: two
* processors give bit for bit what one gives, and programs whose values
* depend on the order of observations keep their one-at-a-time meaning
set obs 140000
quietly generate double x = mod(_n * 7919, 10007) / 10007
quietly generate double one = 1
local p `c(processors)'
set processors 1
quietly generate double a1 = 2*x + 1
quietly generate float f1 = x*3 - 1 if x > .25
quietly generate double b1 = -1
quietly replace b1 = 2*x + 1 if x < .5
quietly generate long l1 = 7
quietly replace l1 = l1 * 3 + x if x > .9
set seed 4711
quietly generate double u1 = runiform()
set processors 2
quietly generate double a2 = 2*x + 1
quietly generate float f2 = x*3 - 1 if x > .25
quietly generate double b2 = -1
quietly replace b2 = 2*x + 1 if x < .5
quietly generate long l2 = 7
quietly replace l2 = l2 * 3 + x if x > .9
set seed 4711
quietly generate double u2 = runiform()
quietly generate double u3 = .
set seed 4711
quietly replace u3 = runiform()
assert a1 == a2 & f1 == f2 & b1 == b2 & l1 == l2
assert u1 == u2 & u1 == u3
* the values themselves, by hand (l was promoted to double by the fractions)
assert a2 == 2*x + 1
assert b2 == cond(x < .5, 2*x + 1, -1)
assert f2 == float(x*3 - 1) if x > .25
assert f2 == . if x <= .25
assert l2 == cond(x > .9, 21 + x, 7)
* x[_n-1] reads the value just replaced: from a missing start every value
* is missing; from 1 the values count up
quietly generate double z = 1
replace z = z[_n-1] + 1
assert z == .
quietly replace z = 1 in 1
quietly replace z = z[_n-1] + 1 if _n > 1
assert z == _n
* a running sum
quietly generate double s = sum(one)
assert s == _n
* promotion follows the order of the values: a large integer, then a
* fraction, needs a double; a fraction, then the large integer, a float
quietly generate byte p = 1
replace p = cond(_n == 10, 100000, cond(_n == 130000, .5, 1))
quietly generate byte q = 1
replace q = cond(_n == 130000, 100000, cond(_n == 10, .5, 1))
assert p == cond(_n == 10, 100000, cond(_n == 130000, .5, 1))
assert q == cond(_n == 130000, 100000, cond(_n == 10, .5, 1))
set processors `p'
