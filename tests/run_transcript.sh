#!/usr/bin/env bash
# Runs one transcript test: feeds DOFILE to the interpreter on standard input
# and compares everything it prints with the expected transcript NAME.log.
# Files the run leaves behind (logs, saved data) are compared byte for byte
# with the expected files in NAME.expect/, when that directory exists.
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
# A private HOME keeps a user's own profile.do and preferences out of the run;
# a fixed clock keeps the dates and times in log files the same every run.
env -u S_ADO -u NUVRA_PREF_DIR HOME="$tmp/home" NUVRA_FIXED_TIME=2026-12-06T12:00:00 \
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
expect_dir="${dofile%.do}.expect"
if [ -d "$expect_dir" ]; then
  for want in "$expect_dir"/*; do
    [ -f "$want" ] || continue
    name=$(basename "$want")
    if [ ! -f "$tmp/$name" ]; then
      echo "FAIL: $(basename "$dofile") left no file $name"
      fail=1
    elif ! cmp -s "$want" "$tmp/$name"; then
      echo "FAIL: $(basename "$dofile"): file $name differs from $(basename "$expect_dir")/$name"
      diff -u --label expected --label actual "$want" "$tmp/$name"
      fail=1
    fi
  done
fi
exit $fail
