* markup left open by one command does not reach the next echo
display "{asis}{bf:x}"
display "after"
display "{p 0 4}text"
display "next"
* a failing display ends its partial line before the message
display "x", nosuch
display as error "y" 1 + "a"
* diaeresis letters
display "{c A:}{c a:}{c y:}{c O:}"
* a subscript belongs to variables only
display _n[1]
display _N[1]
set obs 2
display _n[1]
* settings out of range say the range
set pagesize 5
set linesize 30
* code after a closing brace
if 1 {
display "in"
} display "y"
if 0 {
display "no"
}
else {
display "else"
}
if 0 {
display "no"
} else display "same line"
* a file run under by
gen g = _n
by g: do nothing.do
* list counts of syntax: min and max for every list type
program define t9
syntax namelist(min=2 max=3)
display "`namelist'"
end
t9 a
t9 a b
t9 a b c d
program define t9b
syntax newvarlist(min=2)
display "`varlist'"
end
t9b x
t9b x y
program define t9c
syntax [, n(numlist min=2 max=3) v(varlist min=2) m(namelist max=1)]
display "`n'|`v'|`m'"
end
t9c, n(1)
t9c, n(1 2 3 4)
t9c, n(1 2)
t9c, v(g)
t9c, m(p q)
t9c, m(p)
