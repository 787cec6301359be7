#!/usr/bin/env bash
# The windowed edition on a display that goes away: the session ends with
# its window layout saved in the preferences file, a message on standard
# error, and no core dump.  Exits 77 (skipped) without Xvfb.
# usage: lost_display.sh XNUVRA_EXE
set -u
XNUVRA=$(readlink -f "$1")
if ! command -v Xvfb > /dev/null 2>&1; then
  echo "SKIPPED: Xvfb is not installed (scripts/install-deps installs it)"
  exit 77
fi
T=$(mktemp -d "${TMPDIR:-/tmp}/nuvra-lost.XXXXXX")
Xvfb -displayfd 3 -screen 0 1280x900x24 -nolisten tcp 3> "$T/display" 2> "$T/xvfb.log" &
xpid=$!
trap 'kill "$xpid" 2> /dev/null; rm -rf "$T"' EXIT
for _ in $(seq 1 200); do
  [ -s "$T/display" ] && break
  sleep 0.05
done
export DISPLAY=":$(head -n 1 "$T/display")"
export HOME="$T/home" NUVRA_PREF_DIR="$T/prefs" SYSDIR_NUVRA=$(dirname "$XNUVRA")
mkdir -p "$HOME"
unset S_ADO

fail() {
  echo "FAIL: $*"
  exit 1
}

# The parent returns at once; the session goes on in the child.
"$XNUVRA" -q > "$T/out" 2> "$T/err" < /dev/null
[ $? -eq 0 ] || fail "the launching process did not return 0"
for _ in $(seq 1 200); do
  xwininfo -root -tree 2> /dev/null | grep -q '"Nuvra/MP"' && break
  sleep 0.05
done
xwininfo -root -tree | grep -q '"Nuvra/MP"' || fail "no main window appeared"
sleep 0.5  # let it settle at its size
kill "$xpid"
wait "$xpid" 2> /dev/null
for _ in $(seq 1 200); do
  grep -q 'lost' "$T/err" 2> /dev/null && break
  sleep 0.05
done
grep -q 'the connection to the display was lost; preferences saved' "$T/err" ||
  fail "no message on standard error: $(cat "$T/err")"
grep -Eq '^gui_main_window -?[0-9]+ -?[0-9]+ [0-9]+ [0-9]+$' "$T/prefs/nuvra10.rc" ||
  fail "window layout not saved: $(cat "$T/prefs/nuvra10.rc" 2> /dev/null)"
grep -q 'AddressSanitizer\|runtime error\|core dumped' "$T/err" && fail "$(cat "$T/err")"
echo "1 passed, 0 failed"
