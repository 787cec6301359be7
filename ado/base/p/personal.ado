*! personal: the personal ado-file directory
program define personal
    version 10.1
    local dir : sysdir PERSONAL
    if `"`0'"' == "" {
        display as text "your personal ado-directory is " as result `"`dir'"'
    }
    else if `"`0'"' == "dir" {
        dir `"`dir'"'
    }
    else {
        error 198
    }
end
