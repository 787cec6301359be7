input id str12 name score grp
1 "Ann Lee" 12.5 1
2 Bob . 2
3 Christopher -0.25 3
4 "" .b 1
end
label define grpl 1 "control" 2 "treated"
label values grp grpl
label variable score "Score on the final examination, out of twenty points"
format score %6.2f
label data "Hand-made example"
describe
list
list, clean noobs
list grp in 3/4, nolabel
list id score, separator(2)
list name, string(3) abbreviate(2)
set linesize 40
list
list in 1, display
set linesize 79
clear
input str60 s
abcdefghijklmnopqrstuvwxyz0123456789ABCDEFGHIJKLMNOPQRSTUVWX
end
set linesize 40
list
clear
input byte b
150
end
set linesize 79
describe
