*! gsort: order observations by keys ascending (+) or descending (-)
program define gsort
	version 10
	syntax anything [, Generate(name) Mfirst]
	* The new variable is made first, so a bad name changes nothing.
	if "`generate'" != "" {
		quietly generate long `generate' = .
	}
	local keys
	local rest `"`anything'"'
	while `"`rest'"' != "" {
		gettoken v rest : rest
		local dir "+"
		local lead = substr(`"`v'"', 1, 1)
		if `"`lead'"' == "-" | `"`lead'"' == "+" {
			local dir `"`lead'"'
			local v = substr(`"`v'"', 2, .)
			if `"`v'"' == "" {
				gettoken v rest : rest
			}
		}
		local s : type `v'
		if "`dir'" == "+" {
			local keys `keys' `v'
		}
		else {
			* A descending key is the negated number of the value's group
			* in ascending order; missing values stay last unless mfirst
			* asks for them first.
			tempvar d
			quietly sort `v'
			quietly by `v': generate long `d' = _n == 1
			quietly replace `d' = sum(`d')
			if "`mfirst'" != "" | substr("`s'", 1, 3) == "str" {
				quietly replace `d' = -`d'
			}
			else {
				quietly replace `d' = cond(missing(`v'), `d', -`d')
			}
			local keys `keys' `d'
		}
	}
	sort `keys'
	if "`generate'" != "" {
		quietly by `keys': replace `generate' = _n == 1
		quietly replace `generate' = sum(`generate')
	}
end
