#!/usr/bin/env bash
# The README's batch file for converting many files, run by Wine's cmd.exe
# against the Windows build as a Windows user runs it: the README's bat
# block, with the program's path in its TLF2POS line and CR LF line ends,
# saved as convert-all.bat beside the .tlf files and run there.
#   - With a.tlf, "b c.tlf", "x&y (1).tlf", "100%.tlf", a broken d.tlf, and
#     e.tlf whose folder cannot be made (a file e is in the way): every good
#     file must be converted into a folder of its own, with the POS files
#     the program writes for the example when run by hand; d.tlf and e.tlf
#     must each get a "failed:" line and one error line that starts with
#     their name, d.tlf's being the program's own report; and the errorlevel
#     must be 1.
#   - With good files only: every one converted, nothing on standard error,
#     errorlevel 0.
#   - In an empty folder: no output, nothing made, errorlevel 0.
#
# usage: bash tests/windows/with_wine.sh bash tests/windows/batch_recipe.sh [BUILD_WIN]
#   BUILD_WIN  the MinGW build holding tlf2pos.exe (default: build-win)
set -euo pipefail

fail() { echo "batch_recipe: FAIL: $*" >&2; exit 1; }

[ $# -le 1 ] || { echo "usage: $0 [BUILD_WIN]" >&2; exit 2; }
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
build_win=$(cd "${1:-$source_dir/build-win}" && pwd)
exe=$build_win/tlf2pos.exe
example=$source_dir/examples/tulo005.tlf
[ -f "$exe" ] || fail "no $exe: build the Windows program first"
for tool in wine winepath; do
  command -v "$tool" >/dev/null || fail "$tool is not installed"
done

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# The first bat block of the README, with this build's program in it.
recipe=$(awk '/^```bat$/ { inside = 1; next }
              inside && /^```$/ { exit }
              inside' "$source_dir/README.md")
[ -n "$recipe" ] || fail "README.md has no bat block"
grep -q '^set TLF2POS=' <<<"$recipe" || fail "the batch file has no 'set TLF2POS=' line"
exe_windows=$(winepath -w "$exe")
batch=$scratch/convert-all.bat
while IFS= read -r line; do
  case $line in
    'set TLF2POS='*) line="set TLF2POS=$exe_windows" ;;
  esac
  printf '%s\r\n' "$line"
done <<<"$recipe" >"$batch"

# The POS files of the example, from the program run by hand.
mkdir "$scratch/reference"
cp "$example" "$scratch/reference/"
status=0
(cd "$scratch/reference" && wine "$exe" tulo005.tlf >/dev/null 2>&1) || status=$?
[ "$status" = 1 ] || fail "tlf2pos.exe on the example ended with $status, not 1"
rm "$scratch/reference/tulo005.tlf"
[ -n "$(ls -A "$scratch/reference")" ] || fail "tlf2pos.exe wrote no POS file"

# run_batch FOLDER: runs the batch file in FOLDER; its standard output and
# error, without CRs and sorted (the order of *.tlf is the file system's),
# go to FOLDER.out and FOLDER.err, its errorlevel to $status.
run_batch() {
  cp "$batch" "$1/"
  status=0
  (cd "$1" && wine cmd.exe /c convert-all.bat >"$1.raw-out" 2>"$1.raw-err") || status=$?
  rm "$1/convert-all.bat"
  tr -d '\r' <"$1.raw-out" | LC_ALL=C sort >"$1.out"
  tr -d '\r' <"$1.raw-err" | LC_ALL=C sort >"$1.err"
}

# converted FOLDER NAME...: each NAME.tlf must be converted into FOLDER/NAME.
converted() {
  local folder=$1 name
  shift
  for name in "$@"; do
    diff -r "$scratch/reference" "$folder/$name" >/dev/null ||
      fail "$name.tlf was not converted into its folder as by hand"
  done
}

mixed=$scratch/mixed
mkdir "$mixed"
good_names=(a "b c" "x&y (1)" "100%")
for name in "${good_names[@]}"; do
  cp "$example" "$mixed/$name.tlf"
done
printf '5 2\r\n' >"$mixed/d.tlf"
cp "$example" "$mixed/e.tlf"
: >"$mixed/e"
run_batch "$mixed"
[ "$status" = 1 ] || fail "with failed files the batch file ended with $status, not 1"
expected_out=$(printf '%s\n' "converted: 100%.tlf" "converted: a.tlf" "converted: b c.tlf" \
  "converted: x&y (1).tlf" "failed: d.tlf" "failed: e.tlf" | LC_ALL=C sort)
[ "$(cat "$mixed.out")" = "$expected_out" ] ||
  fail "with failed files the batch file printed: $(cat "$mixed.out")"
# e's line holds the system's own text for a folder it cannot enter.
case $(cat "$mixed.err") in
  "d.tlf: header read error: Invalid argument"$'\n'"e.tlf: "?*) ;;
  *) fail "with failed files the batch file's error lines are: $(cat "$mixed.err")" ;;
esac
[ "$(wc -l <"$mixed.err")" = 2 ] ||
  fail "with failed files the batch file's error lines are: $(cat "$mixed.err")"
converted "$mixed" "${good_names[@]}"
[ -z "$(ls -A "$mixed/d")" ] || fail "the broken d.tlf gave POS files"

good=$scratch/good
mkdir "$good"
cp "$example" "$good/g h.tlf"
run_batch "$good"
[ "$status" = 0 ] || fail "with good files only the batch file ended with $status, not 0"
[ "$(cat "$good.out")" = "converted: g h.tlf" ] ||
  fail "with good files only the batch file printed: $(cat "$good.out")"
[ ! -s "$good.err" ] || fail "with good files only the batch file reported: $(cat "$good.err")"
converted "$good" "g h"

empty=$scratch/empty
mkdir "$empty"
run_batch "$empty"
[ "$status" = 0 ] || fail "in an empty folder the batch file ended with $status, not 0"
if [ -s "$empty.out" ] || [ -s "$empty.err" ]; then
  fail "in an empty folder the batch file printed: $(cat "$empty.out" "$empty.err")"
fi
[ -z "$(ls -A "$empty")" ] || fail "in an empty folder the batch file made: $(ls -A "$empty")"

echo "batch_recipe: the README's batch file converts, reports and ends with errorlevel 1 or 0 under Wine"
