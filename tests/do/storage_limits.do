* The limits of the storage types: c(), the constant functions, what each
* type stores and when replace promotes all agree
quietly set obs 1
assert `c(maxbyte)' == maxbyte() & maxbyte() == 100
assert `c(minbyte)' == minbyte() & minbyte() == -127
assert `c(maxint)' == maxint() & maxint() == 32740
assert `c(minint)' == minint() & minint() == -32767
assert `c(maxlong)' == maxlong() & maxlong() == 2147483620
assert `c(minlong)' == minlong() & minlong() == -2147483647
assert `c(maxfloat)' == maxfloat() & maxfloat() == 2^127 - 2^103
assert `c(minfloat)' == minfloat() & minfloat() == -maxfloat()
assert `c(maxdouble)' == maxdouble() & maxdouble() == (2^1022 - 2^969) * 2
assert `c(mindouble)' == mindouble() & mindouble() == -maxdouble()
assert `c(epsfloat)' == epsfloat() & epsfloat() == 2^-23
assert `c(epsdouble)' == epsdouble() & epsdouble() == 2^-52
display `c(maxfloat)' == maxfloat()
* each limit stores exactly; one beyond it is missing in that type
generate byte b = maxbyte()
generate byte b1 = minbyte() - 1
generate int i = minint()
generate int i1 = maxint() + 1
generate long l = maxlong()
generate long l1 = minlong() - 1
generate float f = maxfloat()
generate float f1 = 2^127
assert b == 100 & i == -32767 & l == 2147483620 & f == maxfloat()
assert b1 == . & i1 == . & l1 == . & f1 == .
* replace moves a type on at the same boundaries
replace b = maxbyte() + 1
replace i = minint() - 1
replace l = maxlong() + 1
assert b == 101 & i == -32768 & l == 2147483621
