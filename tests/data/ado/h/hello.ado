*! version 1.0.0  says hello and returns results
program define hello, rclass
    display "hello, `1'"
    return local who "`1'"
    return scalar n = 42
end
