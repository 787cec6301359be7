* The undo log and the subcommands that change, name and list objects,
* through the interpreter: every value checked against what the rules
* give, every refusal by its return code.
set obs 1
global ct_oncopy 0
global ct_destroyed 0
.g = .new ctlog
assert `.g.__LOG.arrnels' == 0
.g.x = 5
* one change: <BeginCmd>, the old value, <EndCmd>
assert `.g.__LOG.arrnels' == 3
assert "`.g.__LOG[1]'" == "<BeginCmd>" & `.g.__LOG[2]' == 1 & "`.g.__LOG[3]'" == "<EndCmd>"
* a member program's two changes are one group
.g.setboth 7 cee
assert `.g.__LOG.arrnels' == 7
assert `.g.x' == 7 & "`.g.s'" == "cee"
class undo
assert `.g.x' == 5 & "`.g.s'" == "a"
class undo .g
assert `.g.x' == 1
capture noisily class undo
assert _rc == 4037
capture class undo .g.x
assert _rc == 4014
capture class undo .g 0
assert _rc == 198
* an instance put in an empty slot goes when undone, its destructor run
.g.q = .new ctpoint
class undo
assert "`.g.q.objtype'" == "attribute" & $ct_destroyed == 1
* changes below the owner join its log after allon
.g.p.x = 30
assert `.g.__LOG.arrnels' == 0
.g.allon
.g.p.x = 31
.g._undoLOG
assert `.g.p.x' == 30
.g._loglevel 0
.g.x = 2
assert `.g._loglevel' == 0 & `.g.__LOG.arrnels' == 0
.g._loglevel 1
* modify changes an existing object in place; set replaces it
class modify .g.x = 8
assert `.g.x' == 8
capture noisily class modify .g.x = "text"
assert _rc == 4021 & `.g.x' == 8
capture class modify .nobody = 1
assert _rc == 4012
class set .g.x = "text"
assert "`.g.x'" == "text" & "`.g.x.objtype'" == "string"
class undo
assert `.g.x' == 8
class undo
assert `.g.x' == 2
class set .n = 4
assert `.n' == 4
capture noisily class set .g.setboth = 1
assert _rc == 4025
* names of objects
class nameof .g.p.y
assert "`r(name)'" == ".g.p.y"
class nameof `.g.p.objkey'
assert "`r(name)'" == ".g.p"
* a top-level reference is itself the shortest name of what it refers to
.r.ref = .g.p.ref
class nameof .r
assert "`r(name)'" == ".r"
quietly class toplevel
assert "`r(names)'" == "g n r"
capture class nameof
assert _rc == 198
quietly class try
class pgmdir ctlog
* a style that cannot be had is a note, and the command goes on
.g.setstyle big
assert `.g.x' == 2
* the abbreviations
capture class und
assert _rc == 198
capture class topleve
assert _rc == 198
class free _all
