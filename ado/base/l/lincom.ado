*! lincom: estimate and confidence interval of a linear combination of coefficients
program define lincom
    version 10.1
    * The engine reads the combination itself and leaves its results in r().
    _lincom `0'
end
