* append using: names matched, types widened, labels in memory kept
quietly input byte x str3 s
1 ab
2 cd
end
label define lx 1 "one"
label values x lx
save part1
clear
quietly input float x str6 s y
3.5 efghij 7
end
label define lx 1 "uno" 2 "dos"
label values x lx
save part2
use part1, clear
append using part2
describe
assert _N == 3
assert x[1] == 1 & x[2] == 2 & x[3] == 3.5
assert s[1] == "ab" & s[2] == "cd" & s[3] == "efghij"
assert y[1] == . & y[2] == . & y[3] == 7
append using nothere
clear
quietly input str3 x
abc
end
save part3
use part1, clear
append using part3
assert _N == 2 & x[2] == 2
