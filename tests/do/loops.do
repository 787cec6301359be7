forvalues i = 1(2)7 {
display `i'
}
forvalues i = 1/3 {
display `i'
}
forvalues i = 1 3 to 7 {
display `i'
}
forvalues i = 1 3 : 7 {
display `i'
}
forvalues i = 5(-2)1 {
display `i'
}
forvalues i = 0(.25)1 {
display `i'
}
forvalues i = 3/1 {
display "never"
}
forv j = 1/2 {
display `j'
}
forvalues i = 1(0)3 {
display `i'
}
foreach x in a b c {
display "`x'"
}
local lst p q
foreach x of local lst {
display "`x'"
}
global G u v w
foreach x of global G {
display "`x'"
}
foreach x of loc lst {
display "`x'"
}
local i 1
while `i' <= 3 {
display `i'
local i = `i' + 1
}
display `i'
wh 0 {
display "never"
}
forvalues i = 1/5 {
if `i' == 2 continue
if `i' == 4 continue, break
display `i'
}
forvalues i = 1/2 {
foreach s in a b {
display "`i'`s'"
}
}
forvalues i = 1/2 {
forvalues j = 1/3 {
if `j' == 2 continue, break
display "`i'-`j'"
}
}
forvalues i = 1/3 {
if `i' == 2 {
continue
}
display `i'
}
quietly forvalues i = 1/2 {
display `i'
noisily display "n`i'"
}
forvalues i = 1/3 {
display `i'
error 111
}
global W wh
$W 1 {
display "after"
