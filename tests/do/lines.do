* a comment
display 1

*display 2
#foo
display 3
