#!/bin/sh
# Prints the version of tlf2pos as project() in CMakeLists.txt gives it, the
# one place where it is written, for the scripts that name release files.
#
# usage: sh scripts/version.sh
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
version=$(sed -n 's/^project(tlf2pos VERSION \([0-9][0-9.]*\)[ )].*/\1/p' \
  "$top/CMakeLists.txt")
if [ -z "$version" ]; then
  echo "version.sh: $top/CMakeLists.txt has no project(tlf2pos VERSION ...)" >&2
  exit 1
fi
echo "$version"
