* print hands PostScript to the printer command: results and logs as
* translate writes them, graphs as graph export writes them.  The printer
* here is a script that keeps what it is given.
clear
set obs 3
gen x = _n
log using res
summarize x
log close
translate res.nmcl res.ps
display "`c(printcommand)'"
set printcommand sh print_keep.sh printed.ps
display "`c(printcommand)'"
print res.nmcl
shell cmp res.ps printed.ps && echo same
shell gs -q -dSAFER -dNOPAUSE -dBATCH -sDEVICE=nullpage printed.ps && echo read by gs
shell sh print_gone.sh printed.ps.stdin
print res.nmcl, translator(log2ps)
translate res.nmcl raw.ps, translator(log2ps)
shell cmp raw.ps printed.ps && echo same
graph twoway scatter x x
graph export graph.ps
print @Graph
shell cmp graph.ps printed.ps && echo same
shell gs -q -dSAFER -dNOPAUSE -dBATCH -sDEVICE=nullpage printed.ps && echo read by gs
graph save saved
graph drop _all
print saved.gph
shell cmp graph.ps printed.ps && echo same
* refusals, and a printer that fails or is missing
print @Graph
print nosuch.log
print res.nmcl, translator(frob)
print saved.gph, translator(log2ps)
print res.nmcl saved.gph
print
set printcommand sh print_fail.sh
print res.nmcl
shell sh print_gone.sh failed.stdin
set printcommand nosuch_printer_command
print res.nmcl
