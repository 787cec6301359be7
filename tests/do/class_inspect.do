* What class inspect, the store summary and describe by key print, and the
* messages of the refusals.  Keys are given out in order from 1, so the
* references below follow from the statements run.
.o = .new ctother
class inspect .o
_cls describe __key(b)
display "`r(type)' `r(typecode)' `r(num_attribs)' `r(classtype)' `r(attrib_array)'"
_cls describe 9
display "`r(type)' `r(value)' `r(name)'"
class inspect
.o.v = .o.ref
.n = .new ctbad
class ctother x
class
class nonsense
class free .o.v
