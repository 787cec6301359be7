* the shipped library in a fresh session: the build compiled every
* lumo/*.lumo into llumobase.mlib, which the default lumolib list reaches;
* lumo which finds a function there before its first call and names the
* library after it, as lumo describe does; the prefix stays reserved
lumo mlib query
lumo which vech()
lumo which svsolve()
lumo which nosuch()
lumo: h = vech((1, 2 \ 3, 4))
lumo: nv_numscalar("ok", h == (1 \ 3 \ 4))
assert ok == 1
lumo which vech()
lumo describe vech()
* pinv() calls svsolve(), which its call loads from the same library
lumo: P = pinv((2, 0 \ 0, 4))
lumo: nv_numscalar("ok", mreldif(P, (.5, 0 \ 0, .25)) < 1e-15)
assert ok == 1
lumo which svsolve()
quietly lumo memory
assert r(Nf_al) == 3
* a function of the user's own under a shipped name is the one called
lumo
real scalar vec(x) { return(-rows(x)) }
end
lumo: nv_numscalar("v", vec((1, 2)))
assert v == -1
lumo which vec()
lumo mlib create llumobase
lumo mlib add llumobase vec()
