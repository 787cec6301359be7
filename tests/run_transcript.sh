#!/usr/bin/env bash
# Runs one transcript test: feeds DOFILE to the interpreter on standard input
# and compares everything it prints with the expected transcript NAME.log.
# usage: run_transcript.sh EXE DOFILE
set -u

if [ $# -ne 2 ]; then
  echo "usage: $0 EXE DOFILE" >&2
  exit 2
fi

exe=$(readlink -f "$1")
dofile=$(readlink -f "$2")
expected="${dofile%.do}.log"
datadir="$(dirname "$dofile")/../data"

if [ ! -x "$exe" ]; then
  echo "FAIL: executable $exe not found" >&2
  exit 1
fi
if [ ! -f "$expected" ]; then
  echo "FAIL: expected transcript $expected not found" >&2
  exit 1
fi

tmp=$(mktemp -d "${TMPDIR:-/tmp}/nuvra-transcript.XXXXXX")
trap 'rm -rf "$tmp"' EXIT

# Helper files (small do-files the transcripts run) live beside the tests;
# the run happens in a fresh directory, so copy them in.
if [ -d "$datadir" ]; then
  cp -R "$datadir"/. "$tmp"/
fi
mkdir -p "$tmp/home"

cd "$tmp" || exit 1
# A private HOME keeps a user's own profile.do and preferences out of the run.
env -u S_ADO -u NUVRA_PREF_DIR HOME="$tmp/home" \
  SYSDIR_NUVRA="$(dirname "$exe")" \
  timeout -k 5 60 "$exe" -q < "$dofile" > actual 2>&1
status=$?

fail=0
if [ $status -eq 124 ] || [ $status -eq 137 ]; then
  echo "FAIL: $(basename "$dofile") did not finish within 60 s"
  fail=1
elif [ $status -ne 0 ]; then
  echo "FAIL: $(basename "$dofile") exited with status $status"
  fail=1
fi
if ! cmp -s "$expected" actual; then
  echo "FAIL: $(basename "$dofile") output differs from $(basename "$expected")"
  diff -u --label expected --label actual "$expected" actual
  fail=1
fi
exit $fail
