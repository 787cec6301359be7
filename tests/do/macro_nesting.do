* A macro's text is expanded again where it lands. A local that refers to
* itself inside nested quotes would nest without end; the line is refused
* with "too many macros" (920) instead of exhausting the stack. Expansion
* comes before the command, so the refusals are caught around programs.
* assert checks each observation: one is needed for it to check anything.
set obs 1
program define nest_once
  local a "\`\`a''"
  assert `"`macval(a)'"' == "\`\`a''"
  display "`a'"
end
capture nest_once
assert _rc == 920
* Two self-references per level would double the work at every level.
program define nest_twice
  local b "\`\`b'' \`\`b''"
  display "`b'"
end
capture nest_twice
assert _rc == 920
* Nesting that ends expands as before.
local n 2
local x2 "built"
local y "`x`n''"
assert "`y'" == "built"
local k1 "k2"
local k2 "k3"
local k3 "done"
assert "```k1'''" == "done"
