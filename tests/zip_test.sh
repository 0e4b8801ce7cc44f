#!/usr/bin/env bash
# Checks the Windows zip of a finished MinGW build as a Windows user gets
# it: cpack makes it in a scratch folder, it must hold exactly the program,
# README.txt and LICENSE.txt (the repository's files with CR LF line ends),
# the manual page as HTML and the example; its program must have address
# randomisation and no-execute data (DYNAMIC_BASE, NX_COMPAT); unpacked into
# an empty folder, its tlf2pos.exe must convert the example under Wine as
# the Linux build's program does: the same status, the same console lines
# (ending in CR LF) and the same bytes in every POS file.
#
# usage: bash tests/windows/with_wine.sh bash tests/zip_test.sh BUILD_WIN BUILD
#   BUILD_WIN  the MinGW build (cmake/i686-w64-mingw32.cmake)
#   BUILD      a Linux build, whose tlf2pos is the reference
# Needs unzip, the MinGW objdump and a Wine that with_wine.sh has made ready.
set -euo pipefail

fail() { echo "zip_test: FAIL: $*" >&2; exit 1; }

[ $# = 2 ] || { echo "usage: $0 BUILD_WIN BUILD" >&2; exit 2; }
build_win=$(cd "$1" && pwd)
build=$(cd "$2" && pwd)
source_dir=$(cd "$(dirname "$0")/.." && pwd)
example="$source_dir/examples/tulo005.tlf"
version=$(sh "$source_dir/scripts/version.sh")
for tool in cpack unzip wine i686-w64-mingw32-objdump; do
  command -v "$tool" >/dev/null || fail "$tool is not installed"
done

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# shellcheck source=tests/conversion.sh
. "$source_dir/tests/conversion.sh"

cpack --config "$build_win/CPackConfig.cmake" -G ZIP -B "$scratch/package" \
  >"$scratch/cpack.log" 2>&1 || { cat "$scratch/cpack.log" >&2; fail "cpack"; }
zip=$scratch/package/tlf2pos-$version-win32.zip
[ -f "$zip" ] || fail "cpack made no tlf2pos-$version-win32.zip"
members=$(unzip -Z1 "$zip" | tr '\n' ' ')
[ "$members" = "LICENSE.txt README.txt tlf2pos.exe tlf2pos.html tulo005.tlf " ] ||
  fail "the zip holds: $members"
mkdir "$scratch/unpacked"
unzip -q "$zip" -d "$scratch/unpacked"
unpacked=$scratch/unpacked

# Text files: every line ends in CR LF, and without the CRs they are the
# repository's.
for pair in README.txt:README.md LICENSE.txt:LICENSE; do
  text=$unpacked/${pair%%:*}
  if grep -q $'[^\r]$' "$text" || grep -q '^$' "$text"; then
    fail "${pair%%:*} has a line that does not end in CR LF"
  fi
  tr -d '\r' <"$text" | cmp -s - "$source_dir/${pair#*:}" ||
    fail "${pair%%:*} is not ${pair#*:}"
done
cmp -s "$unpacked/tulo005.tlf" "$example" || fail "tulo005.tlf is not the example"
for heading in NAME SYNOPSIS DESCRIPTION 'EXIT STATUS' DIAGNOSTICS 'SEE ALSO'; do
  grep -q "<h2>$heading" "$unpacked/tlf2pos.html" ||
    fail "tlf2pos.html lacks the section $heading"
done
file "$unpacked/tlf2pos.exe" | grep -q 'PE32 executable (console) Intel 80386' ||
  fail "tlf2pos.exe is not a 32-bit Windows console program"
# Windows loads it at a random address and runs no code from its data.
headers=$(i686-w64-mingw32-objdump -p "$unpacked/tlf2pos.exe") ||
  fail "objdump cannot read tlf2pos.exe"
for flag in DYNAMIC_BASE NX_COMPAT; do
  grep -qw "$flag" <<<"$headers" || fail "tlf2pos.exe lacks $flag"
done

convert "$scratch/reference" "$build/tlf2pos"
[ "$(cat "$scratch/reference/status")" = 1 ] ||
  fail "the Linux build's program did not complete the example"
convert "$scratch/windows" wine "$unpacked/tlf2pos.exe"
! grep -q $'[^\r]$' "$scratch/windows/stdout" ||
  fail "a console line of tlf2pos.exe does not end in CR LF"
for stream in stdout stderr; do
  tr -d '\r' <"$scratch/windows/$stream" >"$scratch/windows/$stream.lf"
  mv "$scratch/windows/$stream.lf" "$scratch/windows/$stream"
done
same_as_reference "$scratch/windows" "tlf2pos.exe from the zip"

echo "zip_test: tlf2pos-$version-win32.zip holds what it should, and its program" \
  "converts the example as the Linux build does"
