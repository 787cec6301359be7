display "one"
error 198
display "never"
