{
display "in block"
display 1+1
}
if 1 display "yes"
if 0 display "no"
if 2 > 1 display "gt"
if "a" == "a" display "streq"
if 1 {
display "then"
}
else {
display "else"
}
if 0 {
display "then2"
}
else {
display "else2"
}
else display "else3"
if 1 {
    if 0 {
        display "A"
    }
    display "B"
}
if 0 {
while 1 {
display "never"
}
display "never2"
}
display "after"
{
{
display "inner"
}
}
{
display "a"
error 111
display "b"
}
capture noisily {
display "shown"
error 111
display "not"
}
display _rc
quietly {
display "hidden"
}
if 1 else
{ display 1
display "still here"
