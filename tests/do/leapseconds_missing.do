* Without leapseconds.maint the leap-second clock is the plain clock,
* after one note when the table is first needed.
sysdir set BASE /nonexistent/
display Cofd(mdy(1,1,2017)) - cofd(mdy(1,1,2017))
display Cmdyhms(1,1,2017,0,0,0) - Cmdyhms(12,31,2016,23,59,59)
display Clock("31dec2016 23:59:60", "DMYhms")
display %tC Cofc(clock("15jan2008 14:30", "DMYhm"))
