* token parsers: texts split by hand and compared with what tokenget()
* returns, the settings read back, the offset moved, peek and rest; the
* argument errors; opcount() set, read and refused
* (assert checks every observation: with none it would check nothing)
clear
set obs 1
lumo
nbad = 0
function expect(string scalar got, string scalar want)
{
	external real scalar nbad
	if (got != want) {
		printf("got {%s} wanted {%s}\n", got, want)
		nbad = nbad + 1
	}
}
function alltok(string colvector t)
{
	string scalar s, tok
	s = ""
	while (1) {
		tok = tokenget(t)
		if (tok == "") break
		s = s + "[" + tok + "]"
	}
	return(s)
}
q = char(34)
cq = char(96) + char(34)
qc = char(34) + char(39)
t = tokeninit()
tokenset(t, "x " + q + "a b" + q + "  y ")
expect(alltok(t), "[x][" + q + "a b" + q + "][y]")
tokenset(t, cq + "a " + cq + "b" + qc + " c" + qc + " d")
expect(alltok(t), "[" + cq + "a " + cq + "b" + qc + " c" + qc + "][d]")
tokenset(t, "ab" + q + "c d" + q + "e " + q + "open")
expect(alltok(t), "[ab][" + q + "c d" + q + "][e][" + q + "open]")
t = tokeninit(" ", (",", "=", "=="))
tokenset(t, "a==b,c=d ===")
expect(alltok(t), "[a][==][b][,][c][=][d][==][=]")
t = tokeninit(" ", ("+", "-"))
tokenset(t, "1.5e+3-2 x-.5")
expect(alltok(t), "[1.5e][+][3][-][2][x][-][.5]")
tokenallownum(t, 1)
tokenset(t, "1.5e+3-2 x-.5")
expect(alltok(t), "[1.5e+3][-2][x][-.5]")
t = tokeninit(" ", "+", J(1, 0, ""), 0, 0)
tokenset(t, "+1.8000000000000X+001 0x1f")
expect(alltok(t), "[+][1.8000000000000X][+][001][0x1f]")
tokenallowhex(t, 1)
tokenset(t, "+1.8000000000000X+001 0x1f")
expect(alltok(t), "[+1.8000000000000X+001][0x1f]")
t = tokeninit()
tokenset(t, "ab cd  ef")
expect(strofreal(tokenoffset(t)), "1")
expect(tokenget(t), "ab")
expect(strofreal(tokenoffset(t)), "3")
expect(tokenrest(t), " cd  ef")
expect(tokenpeek(t), "cd")
expect(tokenpeek(t), "cd")
expect(strofreal(tokenoffset(t)), "3")
tokenoffset(t, 6)
expect(tokenget(t), "ef")
expect(strofreal(tokenoffset(t)), "10")
expect(tokenget(t), "")
expect(tokenrest(t), "")
tokenoffset(t, 2)
expect(tokenget(t), "b")
tokenwchars(t, ",")
tokenset(t, "a,b c,,")
expect(alltok(t), "[a][b c]")
expect(tokenwchars(t), ",")
expect(tokenwchars(tokeninit()), " ")
p = tokenpchars(tokeninit(" ", (",", "", ";")))
expect(strofreal(cols(p)), "2")
expect(p[1] + p[2], ",;")
p = tokenqchars(tokeninit())
expect(p[1] + "|" + p[2], q + q + "|" + cq + qc)
expect(strofreal(cols(tokenqchars(tokeninit(" ", "", "")))), "0")
expect(strofreal(tokenallownum(t)) + strofreal(tokenallowhex(t)), "00")
u = tokeninit(" ", "", "", 1, 1)
expect(strofreal(tokenallownum(u)) + strofreal(tokenallowhex(u)), "11")
nv_numscalar("nbad", nbad)
end
assert nbad == 0
* the parser's checks
lumo: t = tokeninit(); tokenset(t, "abc")
capture lumo: tokenoffset(t, 0)
assert _rc == 3300
capture lumo: tokenoffset(t, 5)
assert _rc == 3300
capture lumo: tokenoffset(t, 1.5)
assert _rc == 3300
lumo: tokenoffset(t, 4)
lumo: nv_numscalar("o", tokenoffset(t))
assert o == 4
capture lumo: tokenqchars(t, "abc")
assert _rc == 3300
capture lumo: _tokenget(J(7, 1, "x"))
assert _rc == 3300
capture lumo: _tokenget(1)
assert _rc == 3254
capture lumo: _tokenget(("a", "b"))
assert _rc == 3203
capture lumo: tokenget()
assert _rc == 3001
* opcount: setting returns the count before; the count then runs on.
* Between the two calls the listing holds the storepop of x and the
* second call: 2 instructions.
lumo
disassemble x = opcount(5); y = opcount()
end
lumo: x = opcount(5); y = opcount(); nv_numscalar("x", x); nv_numscalar("y", y)
assert y == 7 & x > 0
lumo: x = opcount(0); y = opcount(); nv_numscalar("y", y)
assert y == 2
capture lumo: opcount(-1)
assert _rc == 3300
capture lumo: opcount(.5)
assert _rc == 3300
capture lumo: opcount(.)
assert _rc == 3300
capture lumo: opcount("a")
assert _rc == 3253
