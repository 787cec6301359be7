version
version 9.2
version
version 10.1
version
version 8.2: version
version
version 8: display "a"
vers 10: display "b"
capture version 10.123
display _rc
capture version 0.5
display _rc
capture version 100
display _rc
version 11
version 10.2
version
version 10, born(01jan2001)
version 10, born(xyz)
version 10.1, missing
version 5: cp a b
version 5: predict x
version
