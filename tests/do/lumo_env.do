* the lumo environment's own commands: describe, rename, drop, which,
* memory and clear, and those that wait for library files
lumo
x = (1,2,3)
function f(a) { return(a) }
describe
rename x y
y
drop y
drop nosuch
which f()
which sqrt()
which g()
memory
clear
memory
mlib index
end
lumo memory
display r(Ntotal)
