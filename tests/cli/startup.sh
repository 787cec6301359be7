#!/usr/bin/env bash
# Process-level checks of both executables: options and the usage text,
# the stdin command loop, batch mode, the system-directory search, notes,
# nuvra.msg, profile do-files, the command built from the arguments, rmsg
# timing and over-long lines.
# usage: startup.sh NUVRA_EXE XNUVRA_EXE
set -u

if [ $# -ne 2 ]; then
  echo "usage: $0 NUVRA_EXE XNUVRA_EXE" >&2
  exit 2
fi
NUVRA=$(readlink -f "$1")
XNUVRA=$(readlink -f "$2")
SYSDIR=$(dirname "$NUVRA")

T=$(mktemp -d "${TMPDIR:-/tmp}/nuvra-cli.XXXXXX")
trap 'rm -rf "$T"' EXIT
# A private HOME keeps the user's profile.do and preferences out of the runs.
export HOME="$T/home"
mkdir -p "$HOME"
unset S_ADO NUVRA_PREF_DIR
export SYSDIR_NUVRA="$SYSDIR"

passed=0
failed=0
pass() { passed=$((passed + 1)); }
fail() {
  failed=$((failed + 1))
  echo "FAIL: $*"
}
# check NAME COMMAND... : counts one check.
check() {
  local name=$1
  shift
  if "$@"; then pass; else fail "$name"; fi
}

# run STDIN_FILE CMD... : runs CMD in the current directory with STDIN_FILE
# as standard input; sets OUT and ERR (file names) and RC.
n=0
run() {
  local in=$1
  shift
  n=$((n + 1))
  OUT="$T/out.$n"
  ERR="$T/err.$n"
  timeout -k 5 60 "$@" < "$in" > "$OUT" 2> "$ERR"
  RC=$?
  if [ $RC -eq 124 ] || [ $RC -eq 137 ]; then
    fail "timed out: $*"
  fi
}
# input TEXT : writes TEXT (printf format) to a fresh stdin file, prints its name.
input() {
  n=$((n + 1))
  printf "$1" > "$T/in.$n"
  echo "$T/in.$n"
}
has_line() { grep -qxF -- "$2" "$1"; }
has_re() { grep -qE -- "$2" "$1"; }
no_line() { [ -f "$1" ] && ! grep -qxF -- "$2" "$1"; }
is_empty() { [ ! -s "$1" ]; }
# Output lines longer than the line width continue on lines starting "> ";
# join them so a long message can be matched whole.
joined() { sed -e ':a' -e 'N' -e '$!ba' -e 's/\n> //g' "$1"; }
# line_after FILE LINE : prints the line following the first LINE in FILE.
line_after() { awk -v l="$2" 'f { print; exit } $0 == l { f = 1 }' "$1"; }
# before FILE A B : the first line equal to A comes before the first equal to B.
before() {
  local a b
  a=$(grep -nxF -- "$2" "$1" | head -1 | cut -d: -f1)
  b=$(grep -nxF -- "$3" "$1" | head -1 | cut -d: -f1)
  [ -n "$a" ] && [ -n "$b" ] && [ "$a" -lt "$b" ]
}

EMPTY="$T/empty.in"
: > "$EMPTY"
EXIT_IN=$(input 'exit\n')

usage_file="$T/usage.txt"
{
  printf '\n'
  printf 'xnuvra-mp:  usage:  xnuvra-mp [-h -k# -m# -q] ["nuvra command"]\n'
  printf '        where:\n'
  printf '            -h        show this display\n'
  printf '            -k#       set data memory to #k, default is 1024\n'
  printf '            -m#       set data memory to #m, -m1 same as -k1024\n'
  printf '            -q        suppress logo, initialization messages\n'
  printf '        Notes:\n'
  printf '            xnuvra-mp is the command to launch the GUI version of Nuvra/MP\n'
  printf '            nuvra-mp is the command to launch the console version of Nuvra/MP\n'
  printf '\n'
  printf '            Use nuvra-mp rather than xnuvra-mp if you want to run in batch mode\n'
  printf '\n'
} > "$usage_file"

mkdir -p "$T/work"
cd "$T/work" || exit 1

# ---- bad options: usage text on stderr, nothing on stdout, status 1
for opt in -m0 -k9 -k -v2047 -v32768 -h -z -p2 -oabc; do
  run "$EXIT_IN" "$NUVRA" "$opt"
  check "usage text for $opt" cmp -s "$usage_file" "$ERR"
  check "nothing on stdout for $opt" is_empty "$OUT"
  check "status 1 for $opt (got $RC)" [ "$RC" -eq 1 ]
done

# The windowed edition prints the same text (it needs DISPLAY to get as far
# as the options; no X server is needed to reach them).
err=$(DISPLAY=:0 timeout -k 5 60 "$XNUVRA" -h 2>&1 > "$T/xout" < "$EMPTY")
check "xnuvra-mp -h prints the usage text" \
  grep -qF -- "xnuvra-mp:  usage:  xnuvra-mp [-h -k# -m# -q] [\"nuvra command\"]" <<< "$err"
check "xnuvra-mp -h prints the full usage text" \
  grep -qF -- "            Use nuvra-mp rather than xnuvra-mp if you want to run in batch mode" <<< "$err"

# ---- accepted options
for opt in -k10 -K10 -m1 -v2048 -v32767 -l -c -o5 -p1; do
  run "$EXIT_IN" "$NUVRA" -q "$opt"
  check "option $opt accepted (status $RC)" [ "$RC" -eq 0 ]
  check "no usage text for $opt" is_empty "$ERR"
  check "loop runs with $opt" has_line "$OUT" ". exit"
done

# ---- the acceptance pipeline
printf 'quietly display "x"\ncapture error 198\ndisplay "ok"\nfoo\n' > "$T/accept.in"
printf '\n. quietly display "x"\n\n. capture error 198\n\n. display "ok"\nok\n\n. foo\nunrecognized command:  foo\n\nr(199);\n\n. \n' > "$T/accept.expected"
run "$T/accept.in" "$NUVRA" -q
check "acceptance pipeline output" cmp -s "$T/accept.expected" "$OUT"
if ! cmp -s "$T/accept.expected" "$OUT"; then
  diff -u --label expected --label actual "$T/accept.expected" "$OUT"
fi
check "acceptance pipeline status 0 (got $RC)" [ "$RC" -eq 0 ]
check "acceptance pipeline: no x line" no_line "$OUT" "x"

# ---- batch mode
mkdir -p "$T/batch"
cd "$T/batch" || exit 1
printf 'display "hello batch"\ndisplay 2+3\n' > good.do
printf 'display "first"\nfoo\ndisplay "not reached"\n' > bad.do
printf 'error 459\n' > big.do
printf 'error 7197\n' > mapped.do
run "$EMPTY" "$NUVRA" -b do good.do
check "batch good: status 0 (got $RC)" [ "$RC" -eq 0 ]
check "batch good: nothing on stdout" is_empty "$OUT"
check "batch good: nothing on stderr" is_empty "$ERR"
check "batch good: good.log written" [ -f good.log ]
check "batch good: log holds the output" has_line good.log "hello batch"
check "batch good: log holds the computed value" has_line good.log "5"
run "$EMPTY" "$NUVRA" -b do bad.do
check "batch bad: status 199 (got $RC)" [ "$RC" -eq 199 ]
check "batch bad: nothing on stdout" is_empty "$OUT"
check "batch bad: nothing on stderr" is_empty "$ERR"
check "batch bad: log has the message" has_line bad.log "unrecognized command:  foo"
check "batch bad: log has the output before" has_line bad.log "first"
check "batch bad: do-file stopped" no_line bad.log "not reached"
run "$EMPTY" "$NUVRA" -b do big.do
check "batch: code 459 capped to 255 (got $RC)" [ "$RC" -eq 255 ]
run "$EMPTY" "$NUVRA" -b do mapped.do
check "batch: 7197 exits with 198 (got $RC)" [ "$RC" -eq 198 ]
cd "$T/work" || exit 1

# ---- windowed edition without DISPLAY
err=$(env -u DISPLAY timeout -k 5 60 "$XNUVRA" 2>&1 > "$T/xout" < "$EMPTY")
RC=$?
expected=$(printf 'You need X-Windows for this version of Nuvra.\nEither define the Unix environment variable DISPLAY or\ninvoke -nuvra- rather than -xnuvra-')
check "xnuvra-mp without DISPLAY: the three lines" [ "$err" = "$expected" ]
check "xnuvra-mp without DISPLAY: status 0 (got $RC)" [ "$RC" -eq 0 ]
check "xnuvra-mp without DISPLAY: nothing on stdout" is_empty "$T/xout"

# ---- notes
run "$EXIT_IN" "$NUVRA"
check "notes: heading" has_line "$OUT" "Notes:"
check "notes: memory" has_re "$OUT" '^      1\.  \(-m# option or -set memory-\) [0-9]+\.[0-9][0-9] MB allocated to data$'
check "notes: maxvar" has_line "$OUT" "      2.  (-v# option or -set maxvar-) 5000 maximum variables"
check "notes: line editing" has_line "$OUT" "      3.  Command line editing enabled"
run "$EXIT_IN" "$NUVRA" -m1 -v3000
check "notes: -m1 gives 1.00 MB" has_line "$OUT" "      1.  (-m# option or -set memory-) 1.00 MB allocated to data"
check "notes: -v3000" has_line "$OUT" "      2.  (-v# option or -set maxvar-) 3000 maximum variables"
run "$EXIT_IN" "$NUVRA" -k2048
check "notes: -k2048 gives 2.00 MB" has_line "$OUT" "      1.  (-m# option or -set memory-) 2.00 MB allocated to data"
run "$EXIT_IN" "$NUVRA" -q
check "no notes with -q" no_line "$OUT" "Notes:"
printf '\n. exit\n' > "$T/exit.expected"
check "-q: no banner, an empty line, then the prompt" cmp -s "$T/exit.expected" "$OUT"

# ---- nuvra.msg in a system directory of our own
make_sysdir() {
  mkdir -p "$1"
  : > "$1/isnuvra.100"
  ln -s "$SYSDIR/ado" "$1/ado"
}
make_sysdir "$T/sys1"
printf 'Message of the day from sys1\n' > "$T/sys1/nuvra.msg"
run "$EXIT_IN" env SYSDIR_NUVRA="$T/sys1" "$NUVRA"
check "nuvra.msg shown" has_line "$OUT" "Message of the day from sys1"
check "nuvra.msg after the notes" before "$OUT" "Notes:" "Message of the day from sys1"
run "$EXIT_IN" env SYSDIR_NUVRA="$T/sys1/" "$NUVRA"
check "SYSDIR_NUVRA with trailing slash" has_line "$OUT" "Message of the day from sys1"
run "$EXIT_IN" env SYSDIR_NUVRA="$T/sys1" "$NUVRA" -q
check "nuvra.msg not shown with -q" no_line "$OUT" "Message of the day from sys1"

# ---- system directory search (needs no installed copy under /usr/local)
installed=""
for d in /usr/local/nuvra10.1 /usr/local/nuvra10.0 /usr/local/nuvra10 /usr/local/nuvra; do
  [ -e "$d/isnuvra.100" ] && installed=$d
done
if [ -n "$installed" ]; then
  echo "note: $installed is installed; skipping the PATH and not-found checks"
else
  make_sysdir "$T/sys2"
  cp "$NUVRA" "$T/sys2/nuvra-mp"
  printf 'found through PATH\n' > "$T/sys2/nuvra.msg"
  mkdir -p "$T/elsewhere"
  cd "$T/elsewhere" || exit 1
  run "$EXIT_IN" env -u SYSDIR_NUVRA PATH="$T/sys2:$PATH" nuvra-mp
  check "system directory found through PATH (status $RC)" has_line "$OUT" "found through PATH"
  # A relative PATH entry is resolved against the current directory.
  cd "$T" || exit 1
  run "$EXIT_IN" env -u SYSDIR_NUVRA PATH="sys2:$PATH" "$NUVRA"
  check "system directory found through a relative PATH entry" has_line "$OUT" "found through PATH"
  # The current directory is the last candidate.
  cd "$T/sys2" || exit 1
  run "$EXIT_IN" env -u SYSDIR_NUVRA PATH=/nonexistent "$NUVRA"
  check "system directory found as the current directory" has_line "$OUT" "found through PATH"
  cd "$T/elsewhere" || exit 1
  run "$EXIT_IN" env -u SYSDIR_NUVRA PATH=/nonexistent "$NUVRA" -q
  check "no system directory: nonzero status" [ "$RC" -ne 0 ]
  check "no system directory: message" grep -qF "cannot find Nuvra directory" "$ERR"
  check "no system directory: marker line" grep -qF "isnuvra.100 is missing" "$ERR"
  run "$EXIT_IN" env SYSDIR_NUVRA="$T/nonexistent" PATH=/nonexistent "$NUVRA" -q
  check "bad SYSDIR_NUVRA: nonzero status" [ "$RC" -ne 0 ]
  check "bad SYSDIR_NUVRA: message" grep -qF "cannot find Nuvra directory" "$ERR"
  cd "$T/work" || exit 1
fi

# ---- profile do-files
mkdir -p "$T/prof1"
cd "$T/prof1" || exit 1
printf 'global P from_profile\n' > profile.do
PIN=$(input 'display "$P"\n')
run "$PIN" "$NUVRA" -q
check "profile.do: running line" has_re "$OUT" '^running .*profile\.do \.\.\.$'
check "profile.do: it ran" has_line "$OUT" "from_profile"
check "profile.do: status 0" [ "$RC" -eq 0 ]
# A command from the command line waits through the profile and sees its work.
run "$PIN" "$NUVRA" -q 'display "cl:$P"'
check "command line after profile" has_line "$OUT" "cl:from_profile"
check "command line before stdin" before "$OUT" "cl:from_profile" "from_profile"
# sysprofile.do runs first; it is found along the ado path (here in the
# system directory's ado/updates/).
mkdir -p "$T/sys3/ado/updates"
: > "$T/sys3/isnuvra.100"
ln -s "$SYSDIR/ado/base" "$T/sys3/ado/base"
printf 'global ORD s\n' > "$T/sys3/ado/updates/sysprofile.do"
printf 'global ORD $ORD p\n' > profile.do
OIN=$(input 'display "$ORD"\n')
run "$OIN" env SYSDIR_NUVRA="$T/sys3" "$NUVRA" -q
check "sysprofile.do then profile.do" has_line "$OUT" "s p"
check "sysprofile.do: running line" has_re "$OUT" '^running .*sysprofile\.do \.\.\.$'
# A failing profile is reported and start-up goes on.
printf 'display "profile start"\nerror 198\n' > profile.do
AIN=$(input 'display "alive"\n')
run "$AIN" "$NUVRA" -q
check "failing profile: reported" has_line "$OUT" "r(198);"
check "failing profile: loop still runs" has_line "$OUT" "alive"
check "failing profile: status 0 (got $RC)" [ "$RC" -eq 0 ]
# profile.do in the home directory
cd "$T/work" || exit 1
mkdir -p "$T/home2"
printf 'global H from_home\n' > "$T/home2/profile.do"
HIN=$(input 'display "$H"\n')
run "$HIN" env HOME="$T/home2" "$NUVRA" -q
check "profile.do from the home directory" has_line "$OUT" "from_home"

# ---- the command built from the arguments
printf '. display 1\n1\n\n. display 2\n2\n\n. \n' > "$T/cl.expected"
D2=$(input 'display 2\n')
run "$D2" "$NUVRA" -q display 1
check "command line runs before stdin" cmp -s "$T/cl.expected" "$OUT"
if ! cmp -s "$T/cl.expected" "$OUT"; then
  diff -u --label expected --label actual "$T/cl.expected" "$OUT"
fi
mkdir -p "$T/verb"
cd "$T/verb" || exit 1
printf 'display "in T1"\n' > T1.DO
run "$EMPTY" "$NUVRA" -q T1.DO
check "a .DO argument becomes do" has_line "$OUT" ". do T1.DO"
check "the do-file ran" has_line "$OUT" "in T1"
run "$EMPTY" "$NUVRA" -q mydata.DTA
check "a .DTA argument becomes use" has_line "$OUT" ". use mydata.DTA"
run "$EMPTY" "$NUVRA" -q pic.gph
check "a .gph argument becomes graph use" has_line "$OUT" ". graph use pic.gph"
run "$EMPTY" "$NUVRA" -q help.nmcl
check "a .nmcl argument becomes view" has_line "$OUT" ". view help.nmcl"
cd "$T/work" || exit 1

# ---- rmsg
RIN=$(input 'set rmsg on\ndisplay 1\nerror 198\nset rmsg off\ndisplay 2\n')
run "$RIN" "$NUVRA" -q
tre=' t=[0-9]+\.[0-9][0-9] [0-9]+:[0-9][0-9]:[0-9][0-9]$'
check "rmsg: r; and timing after success" \
  grep -qE "^r;$tre" <<< "$(line_after "$OUT" "1")"
check "rmsg: r(198); and timing after failure" has_re "$OUT" "^r\\(198\\);$tre"
check "rmsg off: no timing" [ -z "$(line_after "$OUT" "2")" ]
check "rmsg off: no more r;" [ "$(sed -n '/^\. set rmsg off$/,$p' "$OUT" | grep -c 't=')" -eq 0 ]

# ---- over-long line: 1004, and the loop goes on
{
  printf 'display "'
  head -c 170000 /dev/zero | tr '\0' 'x'
  printf '"\ndisplay "alive"\n'
} > "$T/long.in"
run "$T/long.in" "$NUVRA" -q
check "over-long line: message" has_line "$OUT" "command too long"
check "over-long line: r(1004)" has_line "$OUT" "r(1004);"
check "over-long line: loop goes on" has_line "$OUT" "alive"
check "over-long line: status 0 (got $RC)" [ "$RC" -eq 0 ]

# ---- unbalanced braces at end of input neither crash nor hang
for text in '{\ndisplay 1\n' 'forvalues i = 1/2 {\ndisplay 1\n' 'if 1 {\n{\n'; do
  UIN=$(input "$text")
  run "$UIN" "$NUVRA" -q
  check "unclosed block at end of input: status 0 (got $RC)" [ "$RC" -eq 0 ]
  check "unclosed block: nothing on stderr" is_empty "$ERR"
done

# ---- a loop command produced by a macro is refused
MIN=$(input 'global L forvalues\n$L i = 1/2 {\ndisplay "after"\n')
run "$MIN" "$NUVRA" -q
check "macro-made loop: message" grep -qxF \
  "forvalues command may not result from a macro expansion interactively or in do files" \
  <<< "$(joined "$OUT")"
check "macro-made loop: r(198)" has_line "$OUT" "r(198);"
check "macro-made loop: next line runs" has_line "$OUT" "after"

# ---- born() later than the executable
BIN=$(input 'version 10, born(31dec2099)\n')
run "$BIN" "$NUVRA" -q
check "born() in the future" has_line "$OUT" "you must update the Nuvra executable to run this program"
check "born() in the future fails" has_re "$OUT" '^r\([0-9]+\);$'

# ---- #review lists the review history, oldest first
VIN=$(input 'display 1\npush display 99\n#review\n')
run "$VIN" "$NUVRA" -q
sed -n '/^\. #review$/,$p' "$OUT" > "$T/review.out"
check "#review: typed line" has_re "$T/review.out" '^[0-9]+ display 1$'
check "#review: push line" has_re "$T/review.out" '^[0-9]+ push display 99$'
check "#review: pushed text" has_re "$T/review.out" '^[0-9]+ display 99$'
oldest_first() {
  sed -E 's/^[0-9]+ //' "$T/review.out" > "$T/review.lines"
  before "$T/review.lines" "display 1" "display 99"
}
check "#review: oldest first" oldest_first

# ---- nesting limits: 64 active do-files, 999 nested loops
mkdir -p "$T/rec"
cd "$T/rec" || exit 1
printf 'do rec.do\n' > rec.do
RECIN=$(input 'do rec.do\ndisplay "alive"\n')
run "$RECIN" "$NUVRA" -q
check "65th nested do: message" has_line "$OUT" "system limit exceeded - see manual"
check "65th nested do: r(1000)" has_line "$OUT" "r(1000);"
check "65th nested do: 64 do-files ended (got $(grep -c '^end of do-file$' "$OUT"))" \
  [ "$(grep -c '^end of do-file$' "$OUT")" -eq 64 ]
check "65th nested do: loop goes on" has_line "$OUT" "alive"
{
  for i in $(seq 1000); do echo 'while 1 {'; done
  for i in $(seq 1000); do echo '}'; done
  echo 'display "alive"'
} > "$T/nest.in"
run "$T/nest.in" "$NUVRA" -q
check "1000 nested loops: r(198)" has_line "$OUT" "r(198);"
check "1000 nested loops: loop goes on" has_line "$OUT" "alive"
check "1000 nested loops: status 0 (got $RC)" [ "$RC" -eq 0 ]
cd "$T/work" || exit 1

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
