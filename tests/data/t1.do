display "in t1"
display "`a'|"
local a 5
display `a'+1
