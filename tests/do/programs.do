global S_ADO "./ado;BASE"
which hello
hello world
display r(n) + 1
display "`r(who)'"
return list
echoargs a "b c" `"d "e""'
program dir
program drop hello
program dir
hello again
badoutside
nodefine
program define twice, rclass
    return scalar v = 2*`1'
end
twice 21
display r(v)
program list twice
program drop twice
twice 1
program drop nosuch
return local x y
