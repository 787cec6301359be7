* _hyp2f1 against closed forms, replay(), has_eprop() and twithin(); the
* functions of subsystems not built yet still say so.
clear
quietly set obs 1
* 2F1(1,1;2;z) = -ln(1-z)/z
assert reldif(_hyp2f1(1,1,2,0.5), -ln(0.5)/0.5) < 1e-14
assert reldif(_hyp2f1(1,1,2,-3), ln(4)/3) < 1e-14
assert reldif(_hyp2f1(1,1,2,0.9), -ln(0.1)/0.9) < 1e-13
* 2F1(1/2,1/2;3/2;z^2) = asin(z)/z
assert reldif(_hyp2f1(0.5,0.5,1.5,0.25), asin(0.5)/0.5) < 1e-14
* 2F1(a,b;b;z) = (1-z)^-a
assert reldif(_hyp2f1(2,3,3,0.3), 0.7^-2) < 1e-14
assert reldif(_hyp2f1(2.5,1,1,-0.6), 1.6^-2.5) < 1e-14
* a polynomial: 2F1(-2,b;c;z) = 1 - 2bz/c + b(b+1)z^2/(c(c+1))
assert _hyp2f1(-2,1,1,0.5) == 0.25
assert reldif(_hyp2f1(-2,3,4,2/3), 1 - 2*3*(2/3)/4 + 3*4*(4/9)/(4*5)) < 1e-14
* Gauss's sum at z = 1: Gamma(4)Gamma(1)/(Gamma(3)Gamma(2)) = 3
assert reldif(_hyp2f1(1,2,4,1), 3) < 1e-14
assert _hyp2f1(1,1,2,1) == .
assert _hyp2f1(1,1,2,1.5) == .
assert _hyp2f1(1,1,0,0.5) == .
assert _hyp2f1(1,1,-2,0.5) == .
assert _hyp2f1(.,1,2,0.5) == .
assert _hyp2f1(0,1,2,0.7) == 1
* twithin(t, a, b): strictly between; a missing lower bound is open.
assert twithin(5,1,10) == 1
assert twithin(1,1,10) == 0
assert twithin(10,1,10) == 0
assert twithin(.,1,10) == 0
assert twithin(3,.,10) == 1
assert twithin(11,1,.) == 1
* replay(): nothing but options given to the program.
program define rp
  display replay()
end
rp
rp , level(90)
rp x
* has_eprop(): a word of e(properties).
quietly generate y = 1
quietly replace y = 2 in 1
display has_eprop(b)
quietly set obs 5
quietly generate x = _n
quietly replace y = _n^2 + (mod(_n,2)==0)
quietly regress y x
display has_eprop(b) has_eprop(V) has_eprop(bV)
capture display nullmat(M)
display _rc
foreach f in _lnbk _dibk _tribk _Eabsk E1overkBin E1overkHyp {
  capture display `f'(1,2)
  display "`f' " _rc
}
capture display _result(1)
display _rc
capture display cls("a")
display _rc
