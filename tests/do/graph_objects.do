* Graphs are objects of the class system: their parts read through dotted
* names, graph dir and graph describe read the objects, and a graph lives
* exactly as long as its object.
clear
set obs 4
gen x = _n
gen y = 2*x
gen z = .
replace z = 5 in 2
graph twoway (scatter y x) (line z x), title("Two plots") name(g1)
assert "`.g1.classname'" == "grgraph"
assert "`.g1.type'" == "twoway" & "`.g1.title'" == "Two plots" & "`.g1.subtitle'" == ""
assert `.g1.xsize' == 5.5 & `.g1.ysize' == 4 & `.g1.operations' > 0
* with two plots the y axis takes no title of its own
assert "`.g1.xaxis.title'" == "x" & "`.g1.yaxis.title'" == ""
assert "`.g1.xaxis.scale'" == "linear" & "`.g1.yaxis.scale'" == "linear"
assert `.g1.plotregion.plots' == 2
assert "`.g1.plotregion.kinds[1]'" == "scatter" & "`.g1.plotregion.kinds[2]'" == "line"
assert "`.g1.plotregion.labels[1]'" == "y" & "`.g1.plotregion.labels[2]'" == "z"
assert `.g1.legend.shown' == 1 & `.g1.legend.keys.arrnels' == 2
assert "`.g1.legend.keys[2]'" == "z"
* the serset holds y and x for the first plot, then z; no observation is all missing
assert `.g1.serset.id' == 1 & `.g1.serset.observations' == 4 & `.g1.serset.variables' == 3
assert "`.g1.serset.varnames'" == "y x z"
* one plot: no legend, the y axis named after its variable, a log scale
graph twoway scatter y x, xscale(log)
assert "`.Graph.xaxis.scale'" == "log" & "`.Graph.yaxis.scale'" == "linear"
assert "`.Graph.yaxis.title'" == "y" & `.Graph.legend.shown' == 0 & `.Graph.legend.keys.arrnels' == 0
assert `.Graph.serset.id' == 2 & `.Graph.serset.variables' == 2
graph pie y x, name(p)
assert "`.p.type'" == "pie" & `.p.plotregion.plots' == 2 & "`.p.plotregion.kinds[2]'" == "pie"
assert `.p.legend.shown' == 1 & "`.p.legend.keys[1]'" == "y" & "`.p.legend.keys[2]'" == "x"
assert "`.p.xaxis.title'" == "" & "`.p.xaxis.scale'" == ""
graph bar y x, name(b)
assert "`.b.type'" == "bar" & "`.b.plotregion.kinds[1]'" == "bar" & "`.b.plotregion.labels[2]'" == "x"
assert "`.b.yaxis.title'" == "mean" & `.b.legend.shown' == 0
graph dir
* drawing under a name again replaces the object where it stands, and the
* old graph's serset goes with it
graph twoway scatter y x, name(g1)
assert `.g1.plotregion.plots' == 1 & `.g1.serset.id' == 5
capture serset 1
assert _rc == 111
graph dir
* graph describe reads the object
.Graph.command = "changed"
.Graph.xsize = 2
.Graph.operations = 7
graph describe Graph
* dropping a graph frees its object and its serset; freeing the object
* drops the graph
graph drop p
assert "`.p.classname'" == ""
capture serset 3
assert _rc == 111
class free .b
capture graph describe b
assert _rc == 111
capture serset 4
assert _rc == 111
* a name that belongs to another class object is refused, and nothing changes
.taken = 5
capture graph twoway scatter y x, name(taken)
assert _rc == 110
assert `.taken' == 5
graph twoway scatter y x, name(taken)
* a graph drawn inside a program outlives it; the refused graph used no serset
program mkgraph
    graph twoway scatter y x, name(inprog)
end
mkgraph
assert "`.inprog.classname'" == "grgraph" & `.inprog.serset.id' == 6
* graph save keeps what the object says, and graph use makes the object anew
.g1.title = "kept"
graph save g1 g1file
graph drop g1
assert "`.g1.classname'" == ""
graph use g1file
assert "`.g1.classname'" == "grgraph" & "`.g1.command'" == "graph twoway scatter y x, name(g1)"
assert `.g1.serset.id' == 7 & `.g1.serset.observations' == 4 & "`.g1.serset.varnames'" == "y x"
assert `.g1.xsize' == 5.5 & `.g1.operations' > 0
assert "`.g1.title'" == "kept" & "`.g1.type'" == "twoway" & "`.g1.yaxis.title'" == "y"
assert `.g1.plotregion.plots' == 1 & "`.g1.plotregion.kinds[1]'" == "scatter" & `.g1.plotregion.kinds.arrnels' == 1
assert `.g1.legend.shown' == 0 & `.g1.legend.keys.arrnels' == 0
graph use g1file, name(again)
assert "`.again.classname'" == "grgraph" & `.again.serset.id' == 8
graph dir
* freeing every class object leaves no graph
class free _all
graph dir
graph export none.ps
