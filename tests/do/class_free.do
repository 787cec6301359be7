* Freeing objects by name or by key: a top-level instance goes, its
* destructor run; one held by another object, an array node or a value
* is refused with its code and nothing changes.
* assert checks each observation, so it needs one.
set obs 1
global ct_oncopy 0
global ct_destroyed 0
.a = .new ctpoint
.h = .new ctholder
.h.list.Arrpush 5
class free `.a.objkey'
assert $ct_destroyed == 1 & "`.a.x'" == ""
capture class free `.h.p.objkey'
assert _rc == 4034 & `.h.p.x' == 101
_cls describe `.h.list.objkey'
capture noisily class free __key(`r(node0)')
assert _rc == 4014 & `.h.list.arrnels' == 1 & `.h.list[1]' == 5
.d = 5
capture noisily class free .d
assert _rc == 4014 & `.d' == 5
* oncopy_src names a source only while a copy is being made
capture noisily .h.oncopy_src
assert _rc == 4012
.c = .h.p
assert `.c.x' == 201 & $ct_oncopy == 2
quietly class try
* a, h.p, c and the point inside the holder prototype had destructors to run
class free _all
assert $ct_destroyed == 4
