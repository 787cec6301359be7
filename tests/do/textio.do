* outsheet and insheet: a round trip keeps every value; types chosen per column
quietly input byte b int i long l f double d str12 s
1 300 70000 1.5 .125 plain
-5 -300 -70000 2.25 1e300 "with, comma"
. . . . .a ""
end
replace s = `"a "q" b"' in 3
label define bl 1 "one"
label values b bl
outsheet using t1.txt, nolabel
insheet using t1.txt, clear
local t : type b
assert "`t'" == "byte"
local t : type i
assert "`t'" == "int"
local t : type l
assert "`t'" == "long"
local t : type f
assert "`t'" == "float"
local t : type d
assert "`t'" == "double"
local t : type s
assert "`t'" == "str11"
assert b[1] == 1 & b[2] == -5 & b[3] == .
assert i[1] == 300 & i[2] == -300 & l[1] == 70000 & l[2] == -70000 & l[3] == .
assert f[1] == 1.5 & f[2] == 2.25 & d[1] == .125 & d[2] == 1e300 & d[3] == .a
assert s[1] == "plain" & s[2] == "with, comma" & s[3] == `"a "q" b"'
* labels, commas, no names, no quotes; the files are compared byte for byte
clear
quietly input byte b str5 s
1 x
2 "y z"
. w
end
label define bl 1 "one"
label values b bl
outsheet b s using t2.csv, comma
outsheet using t3.txt, nonames noquote nolabel
outsheet using t2.csv, comma
outsheet using t2.csv in 1, comma replace nolabel
outsheet using t4.csv if b != 2, comma
insheet using t2.csv, clear
assert _N == 1 & b == 1 & s == "x"
insheet using t3.txt, clear
assert v1[1] == 1 & v1[2] == 2 & v1[3] == . & v2[2] == "y z" & v2[3] == "w"
local t : type v2
assert "`t'" == "str3"
* headings that are not names; the names option; ragged lines; double
insheet using sheet_odd.csv, clear
assert v1[1] == "1 a" & _N == 3
insheet using sheet_odd.csv, names clear
assert _1_a[1] == 1 & _1_a[2] == 3 & b[2] == 4 & _N == 2 & c[1] == float(123456789012) & c[2] == .
insheet using sheet_odd.csv, names clear double
local t : type c
assert "`t'" == "double"
insheet a b c using sheet_odd.csv, nonames clear
assert a[1] == "1 a" & c[3] == ""
* failures leave the data as they were
replace a = "new" in 1
insheet using t3.txt
insheet using nothere.csv, clear
insheet x using t3.txt, clear
assert a[1] == "new" & _N == 3
* line ends of two characters, a line end inside quotes, an empty line
insheet using sheet_crlf.csv, clear
assert _N == 2 & name[1] == "Ann" & name[2] == "Bob" & note[2] == "plain"
assert note[1] == "line one" + char(10) + "line two"
