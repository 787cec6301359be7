display "before"
exit
display "after"
