#!/usr/bin/env bash
# scripts/check-includes on small trees made here: it passes a tree that
# keeps the layers, and names every file and line of one that does not.
set -u
check=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail=0
expect() {  # expect WANTED_EXIT PATTERN...  (run over $tmp/src)
  local want=$1; shift
  local out rc
  out=$("$check" "$tmp/src" 2>&1); rc=$?
  if [[ $rc != "$want" ]]; then
    echo "FAIL: exit $rc, wanted $want"; echo "$out"; fail=1
  fi
  for pat in "$@"; do
    if ! grep -qF -- "$pat" <<<"$out"; then
      echo "FAIL: output lacks '$pat'"; echo "$out"; fail=1
    fi
  done
}

mkdir -p "$tmp"/src/{base,data/commands,stats/commands,interp/commands,lumo}
printf '#pragma once\nnamespace nuvra { using rc_t = int; }\n' >"$tmp/src/base/rc.h"
printf '#include "base/rc.h"\n#include "data/dataset.h"\n' >"$tmp/src/data/store.cpp"
printf '#include "interp/interp.h"\n' >"$tmp/src/data/commands/describe.cpp"
printf '#include "interp/parse.h"\n' >"$tmp/src/stats/commands/regress.cpp"
printf '#include "interp/macros.h"\n' >"$tmp/src/interp/runner.cpp"
printf '#include "base/rc.h"\nnamespace nuvra::lumo { using nuvra::rc_t; }\n' >"$tmp/src/lumo/status.h"
expect 0 "in order"

# An interpreter header below the runtime, however its path is written.
printf '// a kernel\n#include <vector>\n#include "interp/interp.h"\n' >"$tmp/src/stats/sweep.cpp"
printf '#  include "../interp/parse.h"\n' >"$tmp/src/data/varlist.h"
printf '#include <interp/rc.h>\n' >"$tmp/src/lumo/vm.cpp"
expect 1 "stats/sweep.cpp:3:" "data/varlist.h:1:" "lumo/vm.cpp:1:"
if "$check" "$tmp/src" | grep -qE '^layer: ([^:]*commands/|interp/|data/store.cpp)'; then
  echo "FAIL: files that keep the rule were listed"; fail=1
fi
rm "$tmp/src/stats/sweep.cpp" "$tmp/src/data/varlist.h" "$tmp/src/lumo/vm.cpp"
expect 0

# A second declaration of the return-code type, as an alias or a typedef.
printf 'namespace nuvra::lumo { using rc_t = int32_t; }\n' >"$tmp/src/lumo/status.h"
expect 1 "rc_t is declared 2 times" "lumo/status.h:1:" "base/rc.h:2:"
printf 'typedef long rc_t;\n' >"$tmp/src/lumo/status.h"
expect 1 "rc_t is declared 2 times" "lumo/status.h:1:"

exit $fail
