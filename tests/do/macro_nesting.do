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
* A self-reference behind an unclosed backquote grows the line at every
* step, and each step searches the rest of the line for a close: refused
* with 920 after a bounded search, never minutes of rescanning.
program define grow_unclosed
  local g "a \`\`g'"
  display "`g'"
end
capture grow_unclosed
assert _rc == 920
* Backquotes that close nothing stay text.
local s "x`"
assert "`s' and `s' `" == "x" + char(96) + " and x" + char(96) + " " + char(96)
