* The README's pictures: run from the docs/ folder with nuvra-mp -q.
clear
set obs 300
gen x = _n / 30
gen y = 2 + 0.8*x + 1.5*sin(_n*2.3) + cos(_n*0.37)
graph twoway (scatter y x) (lfit y x), title("y against x") name(scatter)
graph export graph_scatter.png, replace
graph histogram y, title("Distribution of y") name(hist)
graph export graph_histogram.png, replace
gen z = 3 + cos(x)
graph bar x y z, title("Means of x, y and z") name(bar)
graph export graph_bar.png, replace
