display maxbyte()
display minint()
display invt(10,.95)
version 6: display reldif(invt(10,.95), 2.228138851986274) < 1e-13
version 6: display invchi(2,.25) == invchi2tail(2,.25)
display reldif(normal(1.96), .9750021048517795659) < 1e-15
display reldif(invnormal(.975), 1.959963984540054236) < 1e-15
display normal(-37) > 0
display reldif(normal(-37), 5.725571222524577e-300) < 1e-11
display reldif(chi2tail(1,1000), 1.795832784800726e-219) < 1e-11
display reldif(binormal(0,0,.5), 1/3) < 1e-15
display reldif(chi2(2,3), 1-exp(-1.5)) < 1e-15
display reldif(ttail(1,1), .25) < 1e-15
display reldif(normalden(1,0,2), exp(-1/8)/sqrt(8*_pi)) < 1e-15
display comb(52,5)
display binomialp(10,3,.5)*1024
display chi2(-1,2)
display invnormal(1)
display lngamma(-2)
display poisson(2.5,1.5)
display rnormal(0,-1)
set seed 1
scalar a = uniform0()
set seed 1
version 3.1: scalar b = uniform()
display a == b
set seed 2024
local s `c(seed)'
scalar u1 = runiform()
scalar u2 = runiform()
set seed `s'
display runiform() == u1 & runiform() == u2
set seed -4
set seed X0
