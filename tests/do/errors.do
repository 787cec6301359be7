error 198
err 197
error 2000
error 5101
error 6101
error 7196
error 7197
error 7198
error 8001
error 8002
error 8005
error 4
error 102
error 109
error 111
error 119
error 122
error 134
error 503
error 1004
error 2
error 120
error 3998
error 9999
error 0
error 1
continue
continue, break
while 1
forvalues i = 1/2 { display 1
display "still here"
