display 2-3-4
display 8/4/2
display 2^3^2
display -2^2
display 2^-1
display 1e-5+1
display 2.5D+3 - 1
display "ab" + "cd"
display "a" < "b"
display "a" + 1
display . > 1e300
display .a == .b
version 7: display .a == .b
display 1/0
display 0/0
display max(1,.,3)
display round(1,2,3)
display abs(1,2)
display abs("a")
display absolute(1)
display (1+2
display 1+2)
display "abc
display D21.x
display maxbyte() " " minint()
display substr("abcdef", 2, 3) plural(2, "box", "+es")
display string(_pi, "%4.2f")
display r(nosuch)
display _N " " (_n)
display "x" _col(10) "y" _skip(2) "z"
display _dup(3) "ab" "|"
display "a" _char(66) "c"
display %6.2f 3.14159 "|" %-5s "ab" "|"
display "{hline 10}"
display "one" _continue
display " two"
display "a" _newline(2) "b"
display "a" _n "b"
display as text "t" as result "r" as error "e" as input "i"
display in nmcl "{it:x}"
display %5.2q 1
