#!/usr/bin/env bash
# Runs a program under a private X server of its own (Xvfb) and passes its
# exit status on.  Exits 77, which ctest counts as skipped, when Xvfb is
# not installed (scripts/install-deps installs it).
# usage: under_xvfb.sh PROGRAM [ARGS...]
set -u
if ! command -v Xvfb > /dev/null 2>&1; then
  echo "SKIPPED: Xvfb is not installed; the window tests need it (scripts/install-deps)"
  exit 77
fi
T=$(mktemp -d "${TMPDIR:-/tmp}/nuvra-xvfb.XXXXXX")
# -displayfd: the server picks a free display and writes its number once
# it accepts connections.
Xvfb -displayfd 3 -screen 0 1600x1000x24 -nolisten tcp 3> "$T/display" 2> "$T/xvfb.log" &
xpid=$!
trap 'kill "$xpid" 2> /dev/null; wait "$xpid" 2> /dev/null; rm -rf "$T"' EXIT
for _ in $(seq 1 200); do
  [ -s "$T/display" ] && break
  sleep 0.05
done
if ! [ -s "$T/display" ]; then
  echo "Xvfb did not start:"
  cat "$T/xvfb.log"
  exit 1
fi
export DISPLAY=":$(head -n 1 "$T/display")"
# A private HOME keeps the user's settings out, and the toolkit's in.
export HOME="$T/home"
mkdir -p "$HOME"
"$@"
