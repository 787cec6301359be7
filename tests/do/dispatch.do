display "hello"
di "hi"
dis 2+3
g x = 1
ge x = 1
gen x = 1
gett
u
us
qui display "x"
quietl display "x"
quietlyx
d
DISPLAY 1
3abc
a.b
é
_3
ver
}
