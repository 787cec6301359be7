* Builds the Lumo library shipped with the system: each named function is
* compiled from its file NAME.lumo of the source directory and written
* into llumobase.mlib in the current directory.  The build runs it in
* batch mode on every lumo/*.lumo it finds:
*     nuvra-mp -b do build-lumo-library.do SOURCEDIR NAME ...
* A file that does not compile, or that defines no function of its own
* name, stops it with a nonzero return code, which fails the build.
gettoken src functions : 0
* The sources go through one do-file of lumo blocks, a block per file.
tempfile prog
tempname in out
file open `out' using "`prog'", write text replace
local added
foreach name of local functions {
	local added `added' `name'()
	file write `out' "lumo" _n
	file open `in' using "`src'/`name'.lumo", read text
	file read `in' line
	while r(eof) == 0 {
		file write `out' `"`macval(line)'"' _n
		file read `in' line
	}
	file close `in'
	file write `out' "end" _n
}
file close `out'
do "`prog'"
lumo mlib create llumobase, _official
lumo mlib add llumobase `added', _official
