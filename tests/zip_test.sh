#!/usr/bin/env bash
# Checks the Windows zip of a finished MinGW build as a Windows user gets
# it: cpack makes it in a scratch folder, it must hold exactly the program,
# README.txt, LICENSE.txt (the repository's LICENSE with CR LF line ends),
# the manual page as HTML and the example; its program must have address
# randomisation and no-execute data (DYNAMIC_BASE, NX_COMPAT); unpacked into
# an empty folder, its tlf2pos.exe must convert the example under Wine as
# the Linux build's program does: the same status, the same console lines
# (ending in CR LF) and the same bytes in every POS file.
# README.txt speaks to a Windows user: plain ASCII with CR LF line ends, cmd
# and PowerShell commands, no shell prompts and no Linux commands; its batch
# file, run by Wine's cmd, must convert good files and report bad ones with
# the errorlevels it promises. The HTML manual shows the Windows commands
# and says which examples are for Linux.
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

# Text files: every line ends in CR LF.
for text in README.txt LICENSE.txt; do
  if grep -q $'[^\r]$' "$unpacked/$text" || grep -q '^$' "$unpacked/$text"; then
    fail "$text has a line that does not end in CR LF"
  fi
done
tr -d '\r' <"$unpacked/LICENSE.txt" | cmp -s - "$source_dir/LICENSE" ||
  fail "LICENSE.txt is not LICENSE"

readme=$unpacked/README.txt
! LC_ALL=C grep -n $'[^\r -~]' "$readme" || fail "README.txt is not plain ASCII"
! grep -n '@[A-Z_]*@' "$readme" || fail "README.txt keeps a placeholder"
! grep -En '^ *([$#%>]|[A-Za-z]:[^ ]*>|PS [^ ]*>) ' "$readme" ||
  fail "README.txt shows a shell prompt"
! grep -Ewn 'sh|bash|sudo|apt|apt-get|dpkg|chmod|export|ls|cat|od|man|tar|sha256sum|xargs|printf' \
    "$readme" || fail "README.txt shows a Linux command"
! grep -n '\$?\|/dev/\|/tmp\|/usr\|~/\|\./' "$readme" ||
  fail "README.txt shows a Linux path or shell variable"
top=$(basename "$zip" .zip)
for line in "tlf2pos.exe data.tlf" "echo %errorlevel%" "\$LASTEXITCODE" \
    "certutil -hashfile $top.zip SHA256" "Get-FileHash $top.zip" \
    "Extract All" "UTF-16" "Out-File -Encoding ascii" \
    "Set-Content -Encoding ascii"; do
  grep -qF -- "$line" "$readme" || fail "README.txt lacks: $line"
done

# The HTML manual: the Windows commands, and every Linux command in a
# paragraph that says Linux, or right after one.
html=$unpacked/tlf2pos.html
for line in "echo %errorlevel%" "\$LASTEXITCODE" "exit /b 1"; do
  grep -qF -- "$line" "$html" || fail "tlf2pos.html lacks: $line"
done
unmarked=$(awk -v RS='<p' '
  /\$ <b>|echo \$\?|od -An|\/dev\/null|ulimit|xargs -0|for f in/ &&
    !/Linux/ && !(previous ~ /Linux/) { print }
  { previous = $0 }' "$html")
[ -z "$unmarked" ] || fail "tlf2pos.html shows Linux commands where it does not say Linux:
$unmarked"
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

# README.txt's batch file, with the unpacked tlf2pos.exe, run by Wine's cmd
# in a folder of good files, with a broken one and without: every good file
# gets a folder holding the reference's POS files, every file its line, the
# broken one its report; errorlevel 1 when any failed, 0 when none did.
batch=$(awk '
  $0 == "Converting many files\r" { inside = 1; next }
  inside && /^    / { print substr($0, 5); block = 1; next }
  block { exit }' "$readme")
grep -q '^set TLF2POS=' <<<"$batch" || fail "README.txt has no batch file"
exe=$(wine winepath -w "$unpacked/tlf2pos.exe" 2>/dev/null | tr -d '\r')
# run_batch NAME FILE...: runs the batch file in a folder NAME holding the
# FILEs (copies of the example, d.tlf a broken file).
run_batch() {
  local run=$1 folder=$scratch/batch/$1 name line
  shift
  mkdir -p "$folder"
  for name in "$@"; do
    if [ "$name" = d.tlf ]; then
      printf '5 2\r\n' >"$folder/$name"
    else
      cp "$example" "$folder/$name"
    fi
  done
  while IFS= read -r line; do
    case $line in
      "set TLF2POS="*) printf 'set TLF2POS=%s\r\n' "$exe" ;;
      *) printf '%s\n' "$line" ;;
    esac
  done <<<"$batch" >"$folder/convert-all.bat"
  status=0
  (cd "$folder" && wine cmd /c convert-all.bat >../"$run".out 2>../"$run".err) || status=$?
  # Wine lists a folder in the order Linux gives.
  tr -d '\r' <"$scratch/batch/$run.out" | LC_ALL=C sort >"$scratch/batch/$run.stdout"
  tr -d '\r' <"$scratch/batch/$run.err" >"$scratch/batch/$run.stderr"
}
run_batch mixed a.tlf -x.tlf "b c.tlf" d.tlf
[ $status = 1 ] || fail "the batch file ended with $status after a failure"
[ "$(cat "$scratch/batch/mixed.stdout")" = $'converted: -x.tlf\nconverted: a.tlf\nconverted: b c.tlf\nfailed: d.tlf' ] ||
  fail "the batch file printed: $(cat "$scratch/batch/mixed.stdout")"
[ "$(cat "$scratch/batch/mixed.stderr")" = "d.tlf: header read error: Invalid argument" ] ||
  fail "the batch file reported: $(cat "$scratch/batch/mixed.stderr")"
for name in a -x "b c"; do
  for pos in "$scratch/reference/run"/*.pos; do
    cmp -s "$pos" "$scratch/batch/mixed/$name/${pos##*/}" ||
      fail "the batch file did not convert $name.tlf into $name\\"
  done
done
[ -z "$(ls -A "$scratch/batch/mixed/d")" ] || fail "the broken d.tlf gave POS files"
run_batch good a.tlf "b c.tlf"
[ $status = 0 ] || fail "the batch file ended with $status when every file converted"
if [ "$(cat "$scratch/batch/good.stdout")" != $'converted: a.tlf\nconverted: b c.tlf' ] ||
    [ -s "$scratch/batch/good.stderr" ]; then
  fail "the batch file printed: $(cat "$scratch/batch/good.stdout" "$scratch/batch/good.stderr")"
fi

echo "zip_test: tlf2pos-$version-win32.zip holds what it should, and its program" \
  "converts the example as the Linux build does"
