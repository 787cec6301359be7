*! test: Wald tests of linear hypotheses about the last estimates' coefficients
program define test
    version 10.1
    * The engine reads the hypotheses itself and leaves its results in r().
    _test `0'
end
