program define greet
    local who "`1'"
    display "hi `who'"
end
program define outer
    greet `1'
end
set trace on
outer you
set trace off
greet me
set tracedepth 0
set trace maybe
