local i 1
local j = 2+3
global g hello
display "`i' $g"
display `j'
display "`nosuch'|"
display "$nosuch|"
display 2+3
display 1/4
display 7/2
display 2^10
display (1+2)*3
display 10-2-3
display -3
display -0.25
display 0.5
display 123456789
display 3 > 2
display 2 >= 3
display 2 != 2
display 2 ~= 3
display 1 < 2
display 2 <= 2
display 1 & 0
display 1 | 0
display !0
display ~1
display "a" == "a"
display "a" != "b"
display _pi > 3.14 & _pi < 3.15
display "it's"
