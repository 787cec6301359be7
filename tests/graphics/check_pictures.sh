#!/usr/bin/env bash
# Draws every graph type (pictures.do), hands each PostScript file to
# Ghostscript, and compares each PNG with its reference picture.
#   check_pictures.sh EXE PNG_DIFF            check
#   check_pictures.sh EXE PNG_DIFF --update   write the references anew
set -u
exe=$(readlink -f "$1")
diff_tool=$(readlink -f "$2")
here=$(cd "$(dirname "$0")" && pwd)
tmp=$(mktemp -d "${TMPDIR:-/tmp}/nuvra-pictures.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$tmp/home"
cd "$tmp" || exit 1
env -u S_ADO -u NUVRA_PREF_DIR HOME="$tmp/home" SYSDIR_NUVRA="$(dirname "$exe")" \
  LSAN_OPTIONS="suppressions=$here/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}" \
  timeout -k 5 120 "$exe" -q < "$here/pictures.do" > transcript 2>&1
status=$?
fail=0
if [ $status -ne 0 ] || grep -q '^r([0-9]*);' transcript; then
  echo "FAIL: pictures.do did not run cleanly (status $status)"
  cat transcript
  exit 1
fi
if command -v gs >/dev/null 2>&1; then
  for f in *.eps *.ps; do
    if ! out=$(gs -q -dSAFER -dNOPAUSE -dBATCH -sDEVICE=nullpage "$f" 2>&1) || [ -n "$out" ]; then
      echo "FAIL: Ghostscript refused $f: $out"
      fail=1
    fi
  done
else
  echo "SKIP: Ghostscript (gs) is not installed; the PostScript files were not checked"
fi
for f in *.png; do
  if [ "${3:-}" = "--update" ]; then
    cp "$f" "$here/reference/$f"
    continue
  fi
  if [ ! -f "$here/reference/$f" ]; then
    echo "FAIL: no reference picture for $f"
    fail=1
  elif ! "$diff_tool" "$f" "$here/reference/$f" 0.001; then
    echo "FAIL: $f differs from its reference"
    fail=1
  fi
done
exit $fail
