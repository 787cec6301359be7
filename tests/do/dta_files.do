* save and use: the notes, the file messages and S_FN / S_FNDATE
quietly input x str5 s
1 abc
2 "de f"
end
label define yn 1 "yes"
label values x yn
label data "Tiny"
save tiny
save tiny
save tiny, replace
save fresh, replace
display "$S_FN|$S_FNDATE"
use tiny
replace x = 3 in 1
use tiny
use tiny, clear
list
describe using tiny
use x in 2 using tiny, clear
list
use notdta
use newer115
use nothere
clear
save none
save empty, emptyok
use empty
describe
