* comment line
forvalues i = 1/2 {
display `i'
}
display "done"
