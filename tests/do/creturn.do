display "`c(linesize)' `c(os)' `c(maxbyte)' `c(minint)' [`c(nosuch)']"
display "{ccl pagesize} {ccl k}"
set linesize 60
display "`c(linesize)'"
creturn nothing
