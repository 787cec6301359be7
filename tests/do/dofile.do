local a outer
do t1.do
display "`a'"
do t1
do t2.do
display "next"
do t3.do
do t4.do
version
