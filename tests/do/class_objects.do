* Class objects as users type them: instances laid out after their
* prototype, dynamic attributes shadowing declared ones, copy against
* reference with oncopy and destructors counted, every refusal with its
* return code, inheritance and its cycle, contexts ending with their
* program, a reference cycle freed, and a member call that never ends.
set obs 1
global ct_oncopy 0
global ct_destroyed 0
global ct_norm2 0
.a = .new ctpoint
assert `.a.x' == 1 & `.a.y' == 2
assert "`.a.label'" == "origin"
assert "`.a.classname'" == "ctpoint"
assert "`.a.objtype'" == "class"
assert `.a._typecode' == 3
assert `.a.x._typecode' == 1
assert "`.a.label.objtype'" == "string"
.b = .new ctpoint
.b.x = 7
assert `.a.x' == 1 & `.b.x' == 7
* both instances carry three attributes by position; names live in the prototype
assert `.a.instancemv.arrnels' == 3 & `.b.instancemv.arrnels' == 3
* a dynamic attribute shadows the prototype's name on its own instance only
.b.Declare double x = 99
assert `.b.x' == 99 & `.a.x' == 1
assert `.b.dynamicmv.arrnels' == 1 & `.a.dynamicmv.arrnels' == 0
capture .b.Declare double x = 1
assert _rc == 4029
* a member program with an argument, working on its own instance
.a.norm2 10
assert $ct_norm2 == 1 + 4 + 10
* class attributes are shared by every instance
.a.ncopies = 12
assert `.b.ncopies' == 12
* a new holder copies the point of its prototype, so oncopy runs once
.h = .new ctholder
assert $ct_oncopy == 1
assert `.h.p.x' == 101
* copy: a change through one name is not seen through the other
.c = .h.p
assert $ct_oncopy == 2 & `.c.x' == 201
.c.y = 6
assert `.h.p.y' == 2
* reference: it is
.h.other.ref = .a.ref
.h.other.y = 42
assert `.a.y' == 42
assert $ct_oncopy == 2
* arrays
.h.list.Arrpush 5
.h.list.Arrpush "five"
.h.list.Arrpush .a
assert `.h.list.arrnels' == 3
assert `.h.list.arrindexof "five"' == 2
assert `.h.list[1]' == 5
.h.list.Arrdropel 1
assert `.h.list.arrnels' == 2 & "`.h.list[1]'" == "five"
.h.list.Arrpop
assert `.h.list.arrnels' == 1
.h.list.Arrdropall
assert `.h.list.arrnels' == 0
assert $ct_destroyed == 1
* inheritance
.p3 = .new ctpoint3
assert `.p3.z' == 3 & `.p3.x' == 1 & `.p3.instancemv.arrnels' == 4
assert `.p3.isofclass ctpoint' == 1 & `.a.isofclass ctpoint3' == 0
.p3.norm2 0
assert $ct_norm2 == 5
* refusals, each with its code
capture .h.p = .a.ref
assert _rc == 4011
capture .h.p.ref = 5
assert _rc == 4011
.h.other.ref = .p3.ref
capture .h.other.ref = .a.ref
assert _rc == 4009
capture .h.p = .new ctother
assert _rc == 4010
capture .a.nosuch = 1
assert _rc == 4012
capture .nosuch.x = 1
assert _rc == 4012
capture .__key(fffff).x = 1
assert _rc == 4017
capture class free .a.x
assert _rc == 4014
capture .a.x = "text"
assert _rc == 4021
capture .n = .new ctbad
assert _rc == 198
capture .n = .new ctbadtype
assert _rc == 198
capture .n = .new ctloopa
assert _rc == 4020
capture .n = .new nosuchclass
assert _rc == 4001
capture class
assert _rc == 198
capture class nonsense
assert _rc == 198
capture class ctpoint x
assert _rc == 198
capture class modify
assert _rc == 198
* the refusals changed nothing
assert `.a.x' == 1 & `.a.y' == 42 & `.h.p.x' == 101
* destructors
class free .b
assert $ct_destroyed == 2
.c = 5
assert $ct_destroyed == 3 & `.c' == 5
* objects made in a program end with it
program ctmake
    .tmp = .new ctpoint
    .tmp2 = .tmp
end
ctmake
assert $ct_destroyed == 5
* a reference cycle between two instances is freed with the second name
.h1 = .new ctholder
.h2 = .new ctholder
.h1.other.ref = .h2.ref
.h2.other.ref = .h1.ref
class free .h1
assert $ct_destroyed == 5
assert `.h2.other.p.x' == 101
class free .h2
assert $ct_destroyed == 7
* a member program that calls itself for ever meets the nesting limit
.r = .new ctrec
capture .r.down
assert _rc == 1000
assert `.r.depth' > 30
* class new makes a top-level object; class nuvra runs a built-in command
class new double cn = 4
assert `.cn' == 4
capture class new double cn = 5
assert _rc == 4007 & `.cn' == 4
class nuvra global ct_ran 1
assert $ct_ran == 1
* everything freed: a, h.p, p3 and the point inside the holder prototype had destructors to run
class free _all
assert $ct_destroyed == 11
assert "`.a.x'" == ""
class inspect
