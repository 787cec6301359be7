* Every graph type from generated data, exported as EPS, PS and PNG.
clear
set obs 200
gen x = _n / 10
gen y = 3 + 0.5*x + 2*sin(_n*1.7)
gen z = 5 + 3*cos(x/3)
graph twoway (scatter y x) (lfit y x), title("Scatter with a fitted line") name(scatter_lfit)
graph export scatter_lfit.eps
graph export scatter_lfit.png
graph export scatter_lfit.ps, landscape cmyk
graph twoway line z x, title("Line")
graph export line.eps
graph export line.png
graph twoway connected z x in 1/25, title("Connected")
graph export connected.eps
graph export connected.png
graph twoway area z x, title("Area") note("z = 5 + 3 cos(x/3)")
graph export area.eps
graph export area.png
graph twoway bar z x in 1/30, title("Bars")
graph export twoway_bar.eps
graph export twoway_bar.png
graph histogram y, title("Histogram of y")
graph export histogram.eps
graph export histogram.png
graph bar y z x, title("Means")
graph export bar.eps
graph export bar.png
gen w = y + 30*(_n == 7) - 25*(_n == 150)
graph box y z w, title("Boxes")
graph export box.eps
graph export box.png
gen g = floor(sqrt(_n)/4)
graph pie x, over(g) title("Pie of x over g")
graph export pie.eps
graph export pie.png
