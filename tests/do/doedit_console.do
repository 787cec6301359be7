* doedit in the console: a message and a code
doedit
capture doedit mine
display _rc
doedit "a b" c
