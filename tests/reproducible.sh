#!/usr/bin/env bash
# Checks that the release artifacts are reproducible: a second clone of the
# same commit, in a folder whose path has another length, configured with
# the tests and benchmarks off and built later, must give byte-identical
# tlf2pos, tlf2pos.exe, Debian package and Windows zip.
#
# usage: tests/reproducible.sh BUILD BUILD_WIN
#   BUILD      a finished Linux build of this checkout
#   BUILD_WIN  a finished MinGW build of it (cmake/i686-w64-mingw32.cmake)
# Needs git, cmake, cpack and what the two builds need. The checkout must
# hold no uncommitted change to tracked files: the clone has only commits.
set -euo pipefail

fail() { echo "reproducible: FAIL: $*" >&2; exit 1; }

[ $# = 2 ] || { echo "usage: $0 BUILD BUILD_WIN" >&2; exit 2; }
build=$(cd "$1" && pwd)
build_win=$(cd "$2" && pwd)
source_dir=$(cd "$(dirname "$0")/.." && pwd)
[ -z "$(git -C "$source_dir" status --porcelain --untracked-files=no)" ] ||
  fail "$source_dir has uncommitted changes"
commit=$(git -C "$source_dir" rev-parse HEAD)

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
second=$scratch/clone
[ ${#second} != ${#source_dir} ] || second=$scratch/clone2

# Copies the four artifacts of the builds $1 and $2 into the folder $3.
artifacts() {
  mkdir -p "$3"
  cp "$1/tlf2pos" "$2/tlf2pos.exe" "$3/"
  local config
  for config in "$1/CPackConfig.cmake" "$2/CPackConfig.cmake"; do
    cpack --config "$config" -B "$3/package" >"$3/cpack.log" 2>&1 ||
      { cat "$3/cpack.log" >&2; fail "cpack --config $config"; }
  done
  mv "$3"/package/*.deb "$3"/package/*.zip "$3/"
  rm -r "$3/package" "$3/cpack.log"
}

artifacts "$build" "$build_win" "$scratch/first"

git clone -q --no-checkout "$source_dir" "$second"
git -C "$second" checkout -q "$commit"
options=(-DBUILD_TESTING=OFF -DTLF2POS_BENCH=OFF)
{
  cmake -S "$second" -B "$second/${build##*/}" "${options[@]}" &&
    cmake --build "$second/${build##*/}" -j2 &&
    cmake -S "$second" -B "$second/${build_win##*/}" "${options[@]}" \
      -DCMAKE_TOOLCHAIN_FILE=cmake/i686-w64-mingw32.cmake &&
    cmake --build "$second/${build_win##*/}" -j2
} >"$scratch/build.log" 2>&1 || { cat "$scratch/build.log" >&2; fail "second build"; }
artifacts "$second/${build##*/}" "$second/${build_win##*/}" "$scratch/second"

(cd "$scratch/first" && sha256sum -- *) >"$scratch/first.sha256"
(cd "$scratch/second" && sha256sum -- *) >"$scratch/second.sha256"
cat "$scratch/first.sha256"
[ "$(wc -l <"$scratch/first.sha256")" = 4 ] || fail "not four artifacts"
diff "$scratch/first.sha256" "$scratch/second.sha256" >&2 ||
  fail "a clone at $second gives other bytes than $source_dir"
echo "reproducible: a second clone built later gives the same four files"
