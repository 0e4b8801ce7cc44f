#!/usr/bin/env bash
# Makes every release artifact of the commit checked out here, into dist/:
#   tlf2pos_VERSION_amd64.deb, tlf2pos_VERSION_arm64.deb, tlf2pos_VERSION_s390x.deb
#   tlf2pos-VERSION-linux-x86_64.tar.gz, -linux-arm64.tar.gz, -linux-s390x.tar.gz
#   tlf2pos-VERSION-win32.zip
#   SHA256SUMS, their checksums as `sha256sum -c SHA256SUMS` reads them
# where VERSION is the one project() gives in CMakeLists.txt.
# The commit is cloned into build-release/source and built there with the
# tests and benchmarks off, so nothing uncommitted and no earlier build can
# get in; it refuses to run while tracked files have uncommitted changes.
# The same commit gives the same bytes in any folder and at any time.
#
# usage: scripts/release.sh   (on x86-64 Debian or Ubuntu)
# It installs nothing. It needs what these install:
#   sh scripts/install-deps.sh test windows cross release
# Environment: JOBS, parallel compile jobs per build (default 2); WERROR=ON
# makes compiler warnings errors (CI sets it); TLF2POS_MAINTAINER, the
# packages' Maintainer field ("Name <address>"; the project's placeholder
# address otherwise).
set -euo pipefail
# Byte order for every sorted list, SHA256SUMS included.
export LC_ALL=C

fail() { echo "release: $*" >&2; exit 1; }

source_dir=$(cd "$(dirname "$0")/.." && pwd)
jobs=${JOBS:-2}
work=$source_dir/build-release
dist=$source_dir/dist

[ "$(dpkg --print-architecture 2>/dev/null)" = amd64 ] ||
  fail "builds on x86-64 Debian or Ubuntu (dpkg architecture amd64)"
missing=
for tool in git cmake cpack g++ dpkg-deb dpkg-shlibdeps file gzip tar zip groff \
    i686-w64-mingw32-g++-posix aarch64-linux-gnu-g++ s390x-linux-gnu-g++; do
  command -v "$tool" >/dev/null || missing+=" $tool"
done
[ -z "$missing" ] || fail "missing:$missing; install them with:
  sh scripts/install-deps.sh test windows cross release"
[ -z "$(git -C "$source_dir" status --porcelain --untracked-files=no)" ] ||
  fail "$source_dir has uncommitted changes; commit or stash them first"
commit=$(git -C "$source_dir" rev-parse HEAD)

rm -rf "$work" "$dist"
mkdir -p "$work" "$dist"
git clone -q --no-checkout "$source_dir" "$work/source"
git -C "$work/source" checkout -q "$commit"
source=$work/source
version=$(sh "$source/scripts/version.sh")
# Every archive member carries the commit's time.
SOURCE_DATE_EPOCH=$(git -C "$source" log -1 --format=%ct)
export SOURCE_DATE_EPOCH

maintainer=()
if [ -n "${TLF2POS_MAINTAINER-}" ]; then
  maintainer=("-DTLF2POS_MAINTAINER=$TLF2POS_MAINTAINER")
fi

# build NAME CMAKE_OPTION...: configures and builds $work/NAME, its log in
# $work/NAME.log, shown when a step fails.
build() {
  local name=$1
  shift
  echo "release: building $name"
  {
    cmake -S "$source" -B "$work/$name" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DBUILD_TESTING=OFF -DTLF2POS_WERROR="${WERROR:-OFF}" "${maintainer[@]}" "$@" &&
      cmake --build "$work/$name" -j"$jobs"
  } >"$work/$name.log" 2>&1 || { cat "$work/$name.log" >&2; fail "building $name failed"; }
}

# package NAME GENERATOR FILE: cpack in the build NAME, the result into dist/.
package() {
  (cd "$work/$1" && cpack -G "$2") >>"$work/$1.log" 2>&1 ||
    { cat "$work/$1.log" >&2; fail "cpack -G $2 in $1 failed"; }
  mv "$work/$1/$3" "$dist/"
}

# archive NAME FILE: the Linux archive of the build NAME into dist/.
archive() {
  cmake --build "$work/$1" --target tlf2pos_archive >>"$work/$1.log" 2>&1 ||
    { cat "$work/$1.log" >&2; fail "the archive of $1 failed"; }
  mv "$work/$1/$2" "$dist/"
}

build amd64
package amd64 DEB "tlf2pos_${version}_amd64.deb"
build x86_64-static -DTLF2POS_STATIC=ON
archive x86_64-static "tlf2pos-$version-linux-x86_64.tar.gz"
for cpu in arm64:aarch64 s390x:s390x; do
  build "${cpu%%:*}" -DCMAKE_TOOLCHAIN_FILE="cmake/${cpu#*:}-linux-gnu.cmake"
  package "${cpu%%:*}" DEB "tlf2pos_${version}_${cpu%%:*}.deb"
  archive "${cpu%%:*}" "tlf2pos-$version-linux-${cpu%%:*}.tar.gz"
done
build win32 -DCMAKE_TOOLCHAIN_FILE=cmake/i686-w64-mingw32.cmake
package win32 ZIP "tlf2pos-$version-win32.zip"

cd "$dist"
artifacts=(*)
sha256sum -- "${artifacts[@]}" >SHA256SUMS
echo "release: made in $dist from $commit:"
cat SHA256SUMS
