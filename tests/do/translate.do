* Results and logs printed to PostScript: an NMCL log and a text log
* translated, each translator's page settings, and refused requests.
clear
set obs 3
gen x = _n
log using res
summarize x
display "{bf:bold} {it:caf" char(233) "} {hline 5}"
log close
log using plain.log
display "{res}in a text log"
log close
translate res.nmcl res.ps
shell grep -c "^%%Page: Page " res.ps
shell grep -c "(caf\\\\351) show" res.ps
shell grep -c "^results 126.00 [0-9.]* M dash 131.40 [0-9.]* M dash 136.80 [0-9.]* M dash 142.20 [0-9.]* M dash 147.60 [0-9.]* M dash$" res.ps
shell tail -3 res.ps
translate res.nmcl res.ps
translate plain.log plain.ps
shell grep -c "standard reg 72.00 709.20 M" plain.ps
translate res.nmcl raw.ps, translator(log2ps)
shell grep -c "({res}{bf:bold} {it:caf\\\\351} {hline 5}) show" raw.ps
translator set nmcl2ps pagesize a4
translator set nmcl2ps lmargin 0.5
translator set nmcl2ps rmargin 7.5
translator set nmcl2ps fontsize 100
translator set nmcl2ps header maybe
translator set nmcl2ps colour on
translator query nmcl2ps
translate res.nmcl res.ps, replace
shell grep "BoundingBox" res.ps
shell grep -c "^standard 36.00 758.88 M dash 41.40 758.88 M dash" res.ps
translator reset nmcl2ps
translate nosuch.log x.ps
translate res.nmcl res.txt
translate res.nmcl nodir/x.ps
translate res.nmcl x.ps, translator(frob)
translate res.nmcl
translator set frob a b
translator frob
capture confirm file x.ps
display _rc
