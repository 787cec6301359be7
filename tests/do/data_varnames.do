input myvar
5
end
describe myv
set varabbrev off
describe myv
set varabbrev on
input myvar2
7
end
list myv
list myvar
rename myvar2 str5
rename myvar2 _n
rename myvar2 _cons
rename myvar2 str
rename str strx
rename myvar strx
describe, simple
clear
quietly input v1-v4999
end
describe, short
input v5000
describe, short
rename v4999 v5000
describe v4998-v5000
