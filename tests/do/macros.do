global a "value of a"
local b "value of b"
display "\$a stays, \`b' stays: $a, `b'"
local n 2
local x2 "built"
display "`x`n''"
global r1 "\$r2"
global r2 "end"
display "$r1"
global self "\$self"
display "$self"
global later "x \`b' y"
display "$later"
global abcdefghij "long"
global abcdefgh "short"
version 6
display "$abcdefghij"
version 10.1
display "$abcdefghij"
do my.dir/t
do t2, nostop
include inc
display "`fromfile'"
local fromfile
do inc
display "[`fromfile']"
