* outfile and infile: free format both ways
quietly input str10 name age float w
"Ann Lee" 31 2.5
Bob . .a
end
label define al 31 "thirty-one"
label values age al
outfile using p1, nolabel
outfile name age using p2, comma
outfile using p1, nolabel
infile str10 name age w using p1, clear
assert _N == 2 & name[1] == "Ann Lee" & age[1] == 31 & w[1] == 2.5
assert name[2] == "Bob" & age[2] == . & w[2] == .a
local t : type w
assert "`t'" == "float"
* commas, quotes, an empty value, a value that is no number, a short last observation
infile str3 name x y using infile_free.raw, clear
assert _N == 4 & name[1] == "abc" & name[2] == "x y" & name[3] == "z" & name[4] == "q"
assert x[1] == 1 & x[2] == . & x[3] == 5 & x[4] == 7
assert y[1] == 2 & y[2] == 4 & y[3] == . & y[4] == .
infile str3 name x y using infile_free.raw in 2/4 if x < 7, clear
assert _N == 1 & name == "z" & x == 5
* failures leave the data as they were
replace x = 6 in 1
infile a using infile_free.raw
infile a using nothere, clear
assert _N == 1 & x == 6
