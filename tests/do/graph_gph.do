* A graph saved to a file and used again draws exactly as before, whatever
* the data in memory; damaged files are refused and the graphs in memory
* stay as they were.
clear
set obs 20
gen x = _n
gen y = x^2
graph twoway (scatter y x) (lfit y x), title("Café") name(g1)
graph export before.ps
graph save g1 saved
graph save saved
graph save saved, replace
graph save nosuch other
graph save nodir/a
graph save g1 a b
graph drop _all
graph use saved
graph export after.ps
shell cmp before.ps after.ps && echo same
replace y = 0
graph use saved.gph, name(again)
graph export again.ps, name(again)
shell cmp before.ps again.ps && echo same
graph describe again
serset dir
* Damaged and foreign files.
shell head -c 100 saved.gph > short.gph
graph use short
shell cp saved.gph flipped.gph && printf 'Z' | dd of=flipped.gph bs=1 seek=300 conv=notrunc 2>/dev/null
graph use flipped
shell sed '1s/graph file 2/graph file 9/' saved.gph > newer.gph
graph use newer
save data
graph use data.dta
graph use nosuch
graph use .
graph use saved, name(1bad)
graph use saved other
graph dir
serset dir
* A graph whose serset was dropped saves its drawing alone.
serset clear
graph save again nodata
graph use nodata, name(nodata)
graph describe nodata
graph export nodata.ps, name(nodata)
shell cmp before.ps nodata.ps && echo same
