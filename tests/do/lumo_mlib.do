* lumo mlib: a library created, extended until full, listed and searched,
* and the names and words it refuses
display "`c(lumolib)'"
lumo
real scalar sq(real scalar x) { return(x * x) }
real scalar cube(real scalar x) { return(x * x * x) }
real scalar four(real scalar x) { return(x * x * x * x) }
end
lumo mlib create lmtest, capacity(2)
lumo mlib add lmtest sq()
lumo mlib add lmtest sq()
lumo mlib add lmtest cube() four()
lumo mlib query
lumo drop sq()
lumo: y = sq(7)
lumo: y
lumo which sq()
lumo which four()
lumo mlib create mine
lumo mlib create llumox
lumo mlib create lmtest
lumo mlib frob
lumo: X = 1
lumo mlib add lmtest X
lumo mlib add lnone sq()
lumo
mlib index
end
