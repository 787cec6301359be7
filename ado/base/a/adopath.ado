*! adopath: show the ado-file search path, or add to it or take from it
program define adopath
    version 10.1
    gettoken op 0 : 0
    local 0 `0'
    if `"`op'"' == "" {
        local path "$S_ADO"
        local n 0
        while `"`path'"' != "" {
            gettoken elem path : path, parse(";")
            if `"`elem'"' == ";" continue
            local ++n
            if "`elem'" == "UPDATES" | "`elem'" == "BASE" | "`elem'" == "SITE" | "`elem'" == "PLUS" | "`elem'" == "PERSONAL" | "`elem'" == "OLDPLACE" {
                local dir : sysdir `elem'
                display as text "  [`n']  (`elem')" _col(22) `""`dir'""'
            }
            else {
                display as text "  [`n']" _col(22) `""`elem'""'
            }
        }
        exit
    }
    if `"`0'"' == "" error 198
    if "`op'" == "+" {
        global S_ADO `"$S_ADO;`0'"'
    }
    else if "`op'" == "++" {
        global S_ADO `"`0';$S_ADO"'
    }
    else if "`op'" == "-" {
        local path "$S_ADO"
        local new
        local n 0
        local found 0
        while `"`path'"' != "" {
            gettoken elem path : path, parse(";")
            if `"`elem'"' == ";" continue
            local ++n
            if `"`elem'"' == `"`0'"' | "`n'" == `"`0'"' {
                local found 1
                continue
            }
            local new `"`new'`sep'`elem'"'
            local sep ";"
        }
        if !`found' {
            display as error `"`0' not in the search path"'
            exit 111
        }
        global S_ADO `"`new'"'
    }
    else {
        error 198
    }
    adopath
end
