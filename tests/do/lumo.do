* lumo: statements at the prompt, a function with a loop, errors that
* leave the environment running, lumo: and the environment's commands
lumo
x = 2 :* (1,2,3)
x
function f(n) {
    s = 0
    for (i = 1; i <= n; i++) s = s + i
    return(s)
}
f(4)
f()
x[5]
y = x'; y[3]
printf("%5.2f|%s|\n", 2/3, "ab")
disassemble 1 + -2
end
lumo: x[2] + f(3)
lumo: if (1) {
lumo frobnicate
display "done"
