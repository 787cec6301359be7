* Dates and times: construction, reading text, both clocks, display formats.
display %td mdy(2,29,2000)
display %tdDayname,_Month_dd,_CCYY mdy(2,29,2000)
display mdy(2,29,2001)
display %tc clock("15jan2008 14:30:12.345", "DMYhms")
display %tcDDmonCCYY_HH:MM:SS.sss clock("15jan2008 14:30:12.345", "DMYhms")
display %tcHh:MM_am clock("15jan2008 14:30:12.345", "DMYhms")
display %tm ym(2008, 2)
display %tmMonth_CCYY monthly("2008m2", "YM")
display %tq yq(2008,1) " " %th yh(2008,2) " " %tw yw(2008,52) " " %ty 2008
display %d mdy(7,4,1976) " " %dM_d,_CY mdy(7,4,1976)
display date("1/15/08", "MDY") " " %td date("1/15/08", "MDY", 2050)
display %td date("15.01.2008", "DMY") " " %td date("20080115", "YMD")
display %td 3000000
display %tdXX 1
* The leap-second clock: 31dec2016 ended with 23:59:60.
display Cmdyhms(1,1,2017,0,0,0) - Cmdyhms(12,31,2016,23,59,59)
display mdyhms(1,1,2017,0,0,0) - mdyhms(12,31,2016,23,59,59)
display %tC Clock("31dec2016 23:59:60.5", "DMYhms")
display %tCHH:MM:SS.s Clock("31dec2016 23:59:60.5", "DMYhms")
display ssC(Clock("31dec2016 23:59:60.5", "DMYhms"))
display Cofd(mdy(1,1,2017)) - cofd(mdy(1,1,2017))
display Cofd(mdy(1,1,1972)) - cofd(mdy(1,1,1972))
display %tc cofC(Cmdyhms(12,31,2016,23,59,60))
display clock("31dec2016 23:59:60", "DMYhms")
* Over a dataset, with a display format on the variable.
clear
input str20 when
"15jan2008 14:30"
"29feb2000 00:00:01"
"not a time"
end
generate double t = clock(when, "DMYhms")
format t %tcDDmonCCYY_HH:MM
list when t, clean noobs
generate d = dofc(t)
format d %tdDD/NN/CCYY
generate wk = week(d)
generate str10 dn = string(d, "%tdDayname")
list d wk dn, clean noobs
