#!/usr/bin/env bash
# Checks a Linux archive as a user of any distribution gets it: it must hold
# one folder named like it, with exactly the program, its companion
# tlf2pos-each, their manual pages, LICENSE and the example (the
# repository's files) and a README, owned by
# 0:0. The README speaks to whoever downloaded the archive: it names the
# archive, tells how to check, unpack and install it and read the manual,
# says nothing of git or building, and its first commands, run in a folder
# holding the archive, print what it says they print. The program must be a
# stripped, statically linked program for the archive's CPU; and it must
# convert the example in an empty root folder
# (nothing but the program, /dev/null and the example: no C library, no
# shell) as the normal build's program does: the same status, the same
# console output and the same bytes in every POS file. The arm64 and s390x
# programs run the same way through qemu-user, which is copied into the
# empty root beside them. The unpacked tlf2pos-each, run by dash, must
# convert the example with the program beside it into the same POS files.
#
# usage: tests/static_test.sh ARCHIVE BUILD
#   ARCHIVE  tlf2pos-VERSION-linux-CPU.tar.gz (CPU: x86_64, arm64 or s390x), as
#            scripts/release.sh makes it
#   BUILD    a finished Linux build of this checkout, whose tlf2pos is the
#            reference
# Needs root, or a kernel that lets users make user namespaces: the empty
# root gets /dev/null by a bind mount in a mount namespace of its own. For
# arm64 and s390x, qemu-user-static.
set -euo pipefail

fail() { echo "static_test: FAIL: $*" >&2; exit 1; }

[ $# = 2 ] || { echo "usage: $0 ARCHIVE BUILD" >&2; exit 2; }
archive=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
build=$(cd "$2" && pwd)
source_dir=$(cd "$(dirname "$0")/.." && pwd)
example="$source_dir/examples/tulo005.tlf"
version=$(sh "$source_dir/scripts/version.sh")
[ -f "$archive" ] || fail "no archive $archive"
[ -x "$build/tlf2pos" ] || fail "no built program at $build/tlf2pos"

top=$(basename "$archive" .tar.gz)
# The CPU as the archive names it : as file(1) shows it : the qemu-user
# that runs it (none on x86-64 itself).
case $top in
  "tlf2pos-$version-linux-x86_64") shown="x86-64" emulator= ;;
  "tlf2pos-$version-linux-arm64") shown="ARM aarch64" emulator=qemu-aarch64-static ;;
  "tlf2pos-$version-linux-s390x") shown="IBM S/390" emulator=qemu-s390x-static ;;
  *) fail "$(basename "$archive") is not a Linux archive of this release" ;;
esac
if [ -n "$emulator" ]; then
  emulator=$(command -v "$emulator") || fail "$emulator is not installed"
fi
if [ "$(id -u)" = 0 ]; then
  unshare=(unshare --mount)
else
  unshare=(unshare --map-root-user --mount)
fi

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# shellcheck source=tests/conversion.sh
. "$source_dir/tests/conversion.sh"

# Its members: names, owners and modes.
listing=$(tar -tvzf "$archive") || fail "tar cannot read the archive"
members=$(awk '{ print $2, $1, $6 }' <<<"$listing" | sort)
expected=$(sort <<EOF
0/0 drwxr-xr-x $top/
0/0 -rwxr-xr-x $top/tlf2pos
0/0 -rw-r--r-- $top/tlf2pos.1
0/0 -rwxr-xr-x $top/tlf2pos-each
0/0 -rw-r--r-- $top/tlf2pos-each.1
0/0 -rw-r--r-- $top/README
0/0 -rw-r--r-- $top/LICENSE
0/0 -rw-r--r-- $top/tulo005.tlf
EOF
)
[ "$members" = "$expected" ] || fail "the archive holds:
$members"
tar -xzf "$archive" -C "$scratch"
unpacked=$scratch/$top
for pair in tlf2pos.1:doc/tlf2pos.1 tlf2pos-each.1:doc/tlf2pos-each.1 \
    tlf2pos-each:scripts/tlf2pos-each LICENSE:LICENSE \
    tulo005.tlf:examples/tulo005.tlf; do
  cmp -s "$unpacked/${pair%%:*}" "$source_dir/${pair#*:}" ||
    fail "${pair%%:*} is not the repository's ${pair#*:}"
done

# The README.
readme=$unpacked/README
! grep -Eiwn 'git|cmake|build|clone|compile|make' "$readme" ||
  fail "the README speaks of getting or building the source"
! grep -n '@[A-Z_]*@' "$readme" || fail "the README keeps a placeholder"
for line in "tar -xzf $top.tar.gz" "cd $top" "man -l tlf2pos.1" "PATH" \
    "sha256sum --ignore-missing -c SHA256SUMS" "\"$top.tar.gz: OK\"" \
    "/usr/local/bin/tlf2pos" ".local/bin/tlf2pos" "exit status: 1" \
    "man -l tlf2pos-each.1" "tlf2pos-each *.tlf"; do
  grep -qF -- "$line" "$readme" || fail "the README lacks: $line"
done
# indented N: the Nth block of indented lines (without their indent) in
# the README's section "Unpacking and trying it".
indented() {
  awk -v want="$1" '
    $0 == "Unpacking and trying it" { inside = 1; next }
    inside && /^[A-Z]/ && !/^prints$/ { exit }
    inside && /^    / { if (!block) n++; block = 1; if (n == want) print substr($0, 5); next }
    { block = 0 }' "$readme"
}
commands=$(indented 1)
if [ -z "$commands" ] || [ -z "$(indented 2)" ]; then
  fail "the README shows no commands and output to try"
fi
if [ -z "$emulator" ]; then
  mkdir "$scratch/try"
  cp "$archive" "$scratch/try/"
  (cd "$scratch/try" && sh -c "$commands") >"$scratch/try.out" 2>&1 ||
    fail "the README's first commands failed: $(cat "$scratch/try.out")"
  [ "$(cat "$scratch/try.out")" = "$(indented 2)" ] ||
    fail "the README's first commands printed: $(cat "$scratch/try.out")"
fi

kind=$(file -b "$unpacked/tlf2pos")
grep -q "$shown" <<<"$kind" || fail "tlf2pos is not for $shown: $kind"
grep -Eq 'static(-pie|ally) linked' <<<"$kind" || fail "tlf2pos is not static: $kind"
grep -q ', stripped$' <<<"$kind" || fail "tlf2pos is not stripped: $kind"

convert "$scratch/reference" "$build/tlf2pos"
[ "$(cat "$scratch/reference/status")" = 1 ] ||
  fail "the build's program did not complete the example"

# in_empty_root COMMAND...: runs COMMAND, a path in the current folder,
# with the current folder as its root folder and current folder.
in_empty_root() {
  "${unshare[@]}" sh -c 'mount --bind /dev/null dev/null && exec chroot . "$@"' \
    in_empty_root "$@"
}
run=$scratch/empty/run
mkdir -p "$run/dev"
: >"$run/dev/null"
cp "$unpacked/tlf2pos" "$run/"
if [ -n "$emulator" ]; then
  cp "$emulator" "$run/qemu"
  convert "$scratch/empty" in_empty_root /qemu /tlf2pos
else
  convert "$scratch/empty" in_empty_root /tlf2pos
fi
[ "$(cat "$scratch/empty/status")" = 1 ] ||
  fail "in the empty root: status $(cat "$scratch/empty/status"): $(cat "$scratch/empty/stderr")"
rm -r "${run:?}/dev" "$run/tlf2pos"
rm -f "$run/qemu"
same_as_reference "$scratch/empty" "$top/tlf2pos in an empty root"

# The companion runs the program beside it (through qemu-user, named in
# TLF2POS, on another CPU).
mkdir "$scratch/each"
(cd "$scratch/each" &&
   TLF2POS=${emulator:+"$emulator $unpacked/tlf2pos"} dash "$unpacked/tlf2pos-each" "$example") ||
  fail "$top/tlf2pos-each failed on the example"
diff -r "$scratch/reference/run" "$scratch/each/tulo005" >/dev/null ||
  fail "$top/tlf2pos-each wrote other POS files than the build's program"

echo "static_test: $(basename "$archive") holds what it should, and its" \
  "program converts the example in an empty root as the build's does"
