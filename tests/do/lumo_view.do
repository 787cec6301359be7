* views onto the dataset: cells read at each use, stores through the
* storage rules, copies, and views of variables that are gone
clear
set obs 3
generate byte b = _n
generate double x = _n / 4
generate str2 s = "ab"
lumo
V = .
nv_view(V, ., "b x")
printf("%s %g %g %g\n", lumo_representation(V), isview(V), rows(V), cols(V))
end
replace x = 10 in 2
lumo
printf("%g %g %g\n", V[1,2], V[2,2], V[3,2])
V[1,1] = 300
V[2,1] = 2.5
V[3,1] = -7
W = .
nv_view(W, (3,1), "x")
printf("%s %g %g\n", lumo_representation(W), W[1], W[2])
Y = V
V[3,2] = 99
printf("%g %g %s %g\n", Y[3,2], isview(Y), lumo_representation(Y), V[3,2])
function setfirst(M, v) { M[1,1] = v }
setfirst(W, 8)
S = ""
nv_sview(S, (2\3), 3)
S[1,1] = "longer"
printf("%s|%s\n", S[1,1], S[2,1])
V[1,1] = "text"
T = .
nv_view(T, ., "s")
nv_view(T, ., "nosuch")
nv_view(T, 4, 1)
printf("%g\n", isview(T))
end
assert b[1] == 300 & b[2] == 2.5 & b[3] == -7
assert x[1] == 0.25 & x[2] == 10 & x[3] == 8
assert s[1] == "ab" & s[2] == "longer" & s[3] == "ab"
local t : type b
display "`t' `:type s'"
drop x s
lumo
printf("%g\n", V[1,1])
V[1,1] = 6
strlen(S[1,1])
end
assert b[1] == 300
generate byte c = _n + 10
lumo
Z = .
nv_view(Z, ., "c")
end
drop b
lumo
printf("%g %g %g\n", Z[1], Z[2], Z[3])
Z[2] = 99
end
assert c[1] == 11 & c[2] == 99 & c[3] == 13
