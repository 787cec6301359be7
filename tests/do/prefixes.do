quietly display "q"
quietly error 198
capture error 198
display _rc
capture : error 111
display _rc
capture display "c"
display _rc
capture foo
display _rc
capture noisily display "cn"
capture noisily error 459
display _rc
quietly noisily display "qn"
noisily quietly display "nq"
n display "n"
quietly capture error 111
display _rc
capture quietly noisily display "cqn"
nobreak display "nb"
break display "b"
quietly : display "colon"
quietly
cap error 2000
display _rc
cap error 5101
display _rc
capture error 1
display _rc
push display 9
