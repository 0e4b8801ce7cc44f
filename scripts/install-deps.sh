#!/bin/sh
# Installs the Debian or Ubuntu packages that building and testing tlf2pos
# need, and only those that are missing. Safe to run again: with nothing
# missing it changes nothing and needs no network. Runs apt-get as root,
# through sudo when started by another user.
#
# usage: sh scripts/install-deps.sh [GROUP...]
#   test      (the default) build, and run every test of the README's test
#             command, the package test included
#   bench     Google Benchmark, for the micro-benchmarks in bench/
#   fuzz      clang and its sanitizer and libFuzzer runtimes
#   valgrind  valgrind, for the end-to-end tests under memcheck
#   windows   the MinGW-w64 cross compiler, groff for the HTML manual in the
#             zip, and Wine (with qemu-user for kernels that run no 32-bit
#             programs); adds the i386 architecture to dpkg
#   release   lintian, zip and unzip, to make and check the .deb and the
#             Windows zip
#   cross     cross compilers and qemu-user for arm64 and s390x
#   fresh     mmdebstrap, to build a bare Debian root for the fresh-machine
#             check
set -eu

packages() {
  case $1 in
    test) echo cmake g++ make libgtest-dev man-db dpkg-dev file ;;
    bench) echo libbenchmark-dev ;;
    fuzz) echo clang libclang-rt-14-dev ;;
    valgrind) echo valgrind ;;
    windows) echo g++-mingw-w64-i686-posix groff wine wine32:i386 wine64 qemu-user-static ;;
    release) echo lintian zip unzip ;;
    cross) echo g++-aarch64-linux-gnu g++-s390x-linux-gnu qemu-user-static ;;
    fresh) echo mmdebstrap ;;
    *) echo "install-deps: unknown group '$1'" >&2; return 1 ;;
  esac
}

[ $# -gt 0 ] || set -- test
wanted=
for group in "$@"; do
  list=$(packages "$group") || exit 2
  wanted="$wanted $list"
done

missing=
for package in $wanted; do
  case " $missing " in *" $package "*) continue ;; esac
  if ! dpkg-query -W -f='${db:Status-Status}\n' "$package" 2>/dev/null |
      grep -qx installed; then
    missing="$missing $package"
  fi
done
if [ -z "$missing" ]; then
  echo "install-deps: nothing to install"
  exit 0
fi

if [ "$(id -u)" = 0 ]; then
  as_root=
elif command -v sudo >/dev/null 2>&1; then
  as_root=sudo
else
  echo "install-deps: missing:$missing; run this as root or install sudo" >&2
  exit 1
fi

# Packages of another architecture (name:arch) need it added to dpkg.
for package in $missing; do
  case $package in
    *:*)
      arch=${package#*:}
      if [ "$arch" != "$(dpkg --print-architecture)" ] &&
          ! dpkg --print-foreign-architectures | grep -qx "$arch"; then
        $as_root dpkg --add-architecture "$arch"
      fi
      ;;
  esac
done

echo "install-deps: installing$missing"
$as_root env DEBIAN_FRONTEND=noninteractive apt-get update -q
# shellcheck disable=SC2086  # one word per package
$as_root env DEBIAN_FRONTEND=noninteractive \
  apt-get install -y -q --no-install-recommends $missing
