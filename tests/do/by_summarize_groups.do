* summarize under by, the groups computed together in one pass, against a
* loop that runs summarize once per group with an if: the printed tables
* must be the same line for line, and r() the loop's last group's, on
* generated data with ties, missing values in the by-variables and in the
* summarized ones, string groups, several by-variables, groups of one
* observation and a group long enough to be split across processors.
program define logged
  * Runs the rest of the line with its output kept in file `1' between
  * the lines BEGIN and END.
  gettoken file 0 : 0
  quietly log using `file', text replace name(cmp)
  display "BEGIN"
  `0'
  display "END"
  quietly log close cmp
end
program define samelogs, rclass
  * The lines from BEGIN to END of two logs are the same; r(lines) counts them.
  file open fa using `1', read
  file open fb using `2', read
  local on 0
  local lines 0
  local differ 0
  file read fa a
  local eof = r(eof)
  while !`eof' {
    if `"`a'"' == "BEGIN" local on 1
    if `on' continue, break
    file read fa a
    local eof = r(eof)
  }
  local on 0
  file read fb b
  local eof = r(eof)
  while !`eof' {
    if `"`b'"' == "BEGIN" local on 1
    if `on' continue, break
    file read fb b
    local eof = r(eof)
  }
  while `"`a'"' != "END" & `"`b'"' != "END" {
    if `"`a'"' != `"`b'"' {
      local ++differ
      display as error `"fused: [`a']"'
      display as error `"loop:  [`b']"'
    }
    local ++lines
    file read fa a
    if r(eof) local a END
    file read fb b
    if r(eof) local b END
  }
  if `"`a'"' != `"`b'"' local ++differ
  file close fa
  file close fb
  assert `differ' == 0
  return scalar lines = `lines'
end
program define looped
  * summarize `1' one group of `2' at a time, with the header by prints;
  * the data are sorted on `2'.
  args vars by opts
  local n = _N
  local i 1
  while `i' <= `n' {
    local v = `by'[`i']
    display as text "{hline}"
    if substr("`:type `by''", 1, 3) == "str" {
      display as text `"-> `by' = `v'"'
      summarize `vars' if `by' == `"`v'"', `opts'
      keep_r
      quietly count if `by' == `"`v'"'
    }
    else {
      display as text "-> `by' = `v'"
      summarize `vars' if `by' == `v', `opts'
      keep_r
      quietly count if `by' == `v'
    }
    local i = `i' + r(N)
  }
end
program define keep_r
  * r() of the group just run, kept in scalars L_*.
  foreach s in N sum_w mean Var sd min max sum {
    scalar L_`s' = cond(missing(r(`s')), -999, r(`s'))
  }
end
program define same_f
  * r() is what the F_* scalars kept.
  foreach s in N sum_w mean Var sd min max sum {
    assert cond(missing(r(`s')), -999, r(`s')) == F_`s'
  }
end
program define compare
  * The fused pass against the loop over `1' by `2' with options `3'.
  args vars by opts
  sort `by'
  logged fused.log by `by': summarize `vars', `opts'
  local fusedN = r(N)
  tempname keep
  foreach s in N sum_w mean Var sd min max sum {
    scalar F_`s' = cond(missing(r(`s')), -999, r(`s'))
  }
  logged loop.log looped "`vars'" `by' "`opts'"
  foreach s in N sum_w mean Var sd min max sum {
    assert F_`s' == L_`s'
  }
  samelogs fused.log loop.log
  display "`vars' by `by', `opts': " r(lines) " lines the same"
end

* The comparison tells two logs apart.
logged a.log display "a"
logged b.log display "b"
capture samelogs a.log b.log
assert _rc == 9

* Small data printed both ways: ties, . and .a among the groups, a group
* of one, a group whose x1 is all missing, string groups with "" first.
clear
set obs 40
set seed 2024
generate g = floor(4 * runiform())
replace g = . in 1/3
replace g = .a in 4
replace g = 9 in 5
generate double x1 = 100 * runiform() - 30
replace x1 = . in 6/12
replace x1 = .b if g == 2
generate int x2 = floor(200 * runiform())
generate float x3 = runiform()
format x3 %6.3f
generate str2 s = char(97 + floor(3 * runiform())) + cond(runiform() < .5, "x", "")
replace s = "" in 7/9
set processors 2
compare "x1 x2 s x3" g "format separator(2)"
compare "x3 x1" g meanonly
compare "x1" s

* Larger data, quietly: r() after every group as the last of a run.
program define everygroup
  * Groups of `by' (told apart by the variable `id' when given).
  args vars by opts id
  if "`id'" == "" local id `by'
  sort `by'
  local n = _N
  local i 1
  local groups 0
  while `i' <= `n' {
    local v = `id'[`i']
    if substr("`:type `id''", 1, 3) == "str" local v `""`v'""'
    quietly count if `id' == `v'
    local last = `i' + r(N) - 1
    preserve
    quietly keep in 1/`last'
    quietly by `by': summarize `vars', `opts'
    foreach s in N sum_w mean Var sd min max sum {
      scalar F_`s' = cond(missing(r(`s')), -999, r(`s'))
    }
    restore
    quietly summarize `vars' if `id' == `v', `opts'
    foreach s in N sum_w mean Var sd min max sum {
      assert cond(missing(r(`s')), -999, r(`s')) == F_`s'
    }
    local i = `last' + 1
    local ++groups
  }
  display "`vars' by `by', `opts': `groups' groups"
end
clear
set obs 3000
generate g = floor(40 * runiform())
replace g = . if runiform() < .03
replace g = .a if runiform() < .02
replace g = 100 + _n if _n > 2990
generate double x1 = 1000 * runiform() - 300
replace x1 = . if runiform() < .1
replace x1 = .b if g == 7
generate int x2 = floor(200 * runiform())
generate float x3 = runiform()
generate str2 s = char(97 + floor(5 * runiform())) + cond(runiform() < .5, "x", "")
replace s = "" if runiform() < .05
foreach p in 1 2 {
  set processors `p'
  everygroup "x1 x2 s x3" g
  everygroup "x3 x1" g meanonly
  everygroup "x2" s
}

* Two groups, each long enough for its own pass to be split across the
* processors.
clear
set obs 280000
generate byte g = _n > 140000
generate double x1 = mod(_n * 7919, 10007) / 7 - 500
replace x1 = . if mod(_n, 13) == 0
set processors 2
compare "x1" g
everygroup "x1" g meanonly

* Two by-variables, a string among them: the groups are those of a
* variable numbering each pair.
clear
set obs 500
generate g = floor(_n / 120)
generate str1 s = char(97 + mod(_n, 3))
replace s = "" if mod(_n, 17) == 0
generate double x1 = sqrt(_n) * cond(mod(_n, 2), 1, -1)
sort g s
quietly by g s: generate long pair = _n == 1
quietly replace pair = sum(pair)
quietly by g s: summarize x1
foreach s in N sum_w mean Var sd min max sum {
  scalar F_`s' = cond(missing(r(`s')), -999, r(`s'))
}
quietly summarize pair
local last = r(max)
quietly summarize x1 if pair == `last'
same_f
everygroup "x1" "g s" "" pair
everygroup "x1" "g s" meanonly pair

* A line that does not read fails in the first group, as it always has;
* with rc0 every group shows its message.
sort g
by g: summarize nosuch
by g, rc0: summarize nosuch
display _rc

* Data changed since they were sorted: replacing a key forgets the order,
* so by refuses rather than taking runs of equal neighbours for groups;
* bysort finds the true groups (1: x 1 3 4; 2: x 2 5; 3: x 6 to 9).
clear
set obs 9
generate g = cond(_n <= 4, 1, cond(_n == 5, 2, 3))
generate x = _n
sort g
replace g = 2 in 2
capture by g: summarize x
assert _rc == 5
bysort g: summarize x
assert r(N) == 4 & r(mean) == 7.5
by g: summarize x, meanonly
assert r(N) == 4 & r(sum) == 30
by g: count
