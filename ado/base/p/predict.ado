*! predict: predictions after estimation, made by the program the results name
program define predict
    version 10.1
    if `"`e(cmd)'"' == "" {
        error 301
    }
    local p `"`e(predict)'"'
    if `"`p'"' == "" {
        display as error "predict is not available after `e(cmd)'"
        exit 321
    }
    `p' `0'
end
