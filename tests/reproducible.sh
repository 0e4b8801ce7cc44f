#!/usr/bin/env bash
# Checks that the release is reproducible: scripts/release.sh run in a
# second clone of the same commit, in a folder whose path has another
# length, and later, must give the same SHA256SUMS, line for line: the same
# seven artifacts with the same bytes.
#
# usage: tests/reproducible.sh [DIST]
#   DIST  the dist/ folder that scripts/release.sh made from this checkout's
#         HEAD; without it, scripts/release.sh is run here first
# Needs git and what scripts/release.sh needs. The checkout must hold no
# uncommitted change to tracked files: the clone has only commits.
set -euo pipefail

fail() { echo "reproducible: FAIL: $*" >&2; exit 1; }

[ $# -le 1 ] || { echo "usage: $0 [DIST]" >&2; exit 2; }
source_dir=$(cd "$(dirname "$0")/.." && pwd)
[ -z "$(git -C "$source_dir" status --porcelain --untracked-files=no)" ] ||
  fail "$source_dir has uncommitted changes"
commit=$(git -C "$source_dir" rev-parse HEAD)
v=$(sh "$source_dir/scripts/version.sh")

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# release DIR: runs DIR's scripts/release.sh, its output kept in the
# scratch folder and shown when it fails.
release() {
  bash "$1/scripts/release.sh" >"$scratch/release.log" 2>&1 ||
    { cat "$scratch/release.log" >&2; fail "scripts/release.sh in $1"; }
}

if [ $# = 1 ]; then
  dist=$(cd "$1" && pwd)
else
  release "$source_dir"
  dist=$source_dir/dist
fi
[ -f "$dist/SHA256SUMS" ] || fail "$dist has no SHA256SUMS"
(cd "$dist" && sha256sum --quiet -c SHA256SUMS) >&2 ||
  fail "the files in $dist do not match its SHA256SUMS"
names=$(awk '{ print $2 }' "$dist/SHA256SUMS" | tr '\n' ' ')
[ "$names" = "tlf2pos-$v-linux-arm64.tar.gz tlf2pos-$v-linux-s390x.tar.gz \
tlf2pos-$v-linux-x86_64.tar.gz tlf2pos-$v-win32.zip tlf2pos_${v}_amd64.deb \
tlf2pos_${v}_arm64.deb tlf2pos_${v}_s390x.deb " ] ||
  fail "SHA256SUMS lists: $names"

second=$scratch/clone
[ ${#second} != ${#source_dir} ] || second=$scratch/clone2
git clone -q --no-checkout "$source_dir" "$second"
git -C "$second" checkout -q "$commit"
release "$second"

cat "$dist/SHA256SUMS"
diff "$dist/SHA256SUMS" "$second/dist/SHA256SUMS" >&2 ||
  fail "a clone at $second gives other bytes than $source_dir"
echo "reproducible: a second clone released later gives the same SHA256SUMS"
