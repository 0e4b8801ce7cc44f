#!/usr/bin/env bash
# Checks the Debian package of a finished build: cpack makes it in a scratch
# folder, it is unpacked and installed with dpkg into a scratch root, and the
# installed program must convert examples/tulo005.tlf exactly as the build's
# own program does; the installed tlf2pos-each, run by dash, must convert it
# with the tlf2pos beside it into the same POS files. Its README must be the
# users' one, its Maintainer the build's TLF2POS_MAINTAINER. The installed
# manual pages must render without warnings,
# the program must carry Debian's hardening, and lintian, when installed,
# must report no error, no warning and no hardening tag.
#
# usage: tests/package_test.sh BUILD_FOLDER [--system]
#   --system  also install the package on this machine with dpkg -i, run
#             /usr/bin/tlf2pos and remove the package again (root only; for
#             a throw-away CI machine).
#
# Builds nothing: the build folder must hold a built tlf2pos. The cpack to
# use can be given in the environment variable CPACK.
set -euo pipefail

fail() { echo "package_test: FAIL: $*" >&2; exit 1; }

[ $# -ge 1 ] || { echo "usage: $0 BUILD_FOLDER [--system]" >&2; exit 2; }
build=$(cd "$1" && pwd)
system=0
[ "${2-}" = --system ] && system=1
source_dir=$(cd "$(dirname "$0")/.." && pwd)
example="$source_dir/examples/tulo005.tlf"
version=$(sh "$source_dir/scripts/version.sh")
cpack=${CPACK:-cpack}
# dpkg looks for ldconfig and friends on PATH, which may lack the sbin
# folders for a normal user.
export PATH="$PATH:/usr/sbin:/sbin"

[ -x "$build/tlf2pos" ] || fail "no built program at $build/tlf2pos"
[ -f "$build/CPackConfig.cmake" ] || fail "$build is not a configured build"
for tool in "$cpack" dpkg dpkg-deb man; do
  command -v "$tool" >/dev/null || fail "$tool is not installed"
done

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# Under root, man may read pages as an unprivileged user.
chmod 755 "$scratch"

# shellcheck source=tests/conversion.sh
. "$source_dir/tests/conversion.sh"

convert "$scratch/reference" "$build/tlf2pos"
[ "$(cat "$scratch/reference/status")" = 1 ] ||
  fail "the build's program did not complete the example"
ls "$scratch/reference/run"/*.pos >/dev/null 2>&1 ||
  fail "the build's program wrote no POS file"

# Make the package.
"$cpack" --config "$build/CPackConfig.cmake" -G DEB -B "$scratch/package" \
  >"$scratch/cpack.log" 2>&1 || { cat "$scratch/cpack.log" >&2; fail "cpack"; }
debs=("$scratch"/package/tlf2pos_"$version"_*.deb)
if [ ${#debs[@]} != 1 ] || [ ! -f "${debs[0]}" ]; then
  fail "cpack made no single tlf2pos_${version}_*.deb"
fi
deb=${debs[0]}

# Its control data. A cross build names its target architecture.
arch=$(sed -n 's/^set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE "\(.*\)")$/\1/p' \
  "$build/CPackConfig.cmake")
info=$(dpkg-deb -I "$deb")
for field in "Package: tlf2pos" "Version: $version" "Section: utils" \
    "Architecture: ${arch:-$(dpkg --print-architecture)}"; do
  grep -qx " $field" <<<"$info" || fail "control field '$field' missing"
done
maintainer=$(sed -n 's/^TLF2POS_MAINTAINER:STRING=//p' "$build/CMakeCache.txt")
grep -qxF " Maintainer: $maintainer" <<<"$info" ||
  fail "the Maintainer field is not TLF2POS_MAINTAINER ($maintainer)"
grep -q '^ Maintainer: .*<.*@.*>' <<<"$info" || fail "no maintainer address"
grep -q '^ Depends: .*libc6' <<<"$info" || fail "no dependency on libc6"
# A program that links its C++ runtime in must not depend on libstdc++6.
if ! grep -q 'NEEDED *libstdc++' <<<"$(objdump -p "$build/tlf2pos")"; then
  ! grep -q '^ Depends: .*libstdc++' <<<"$info" || fail "depends on libstdc++"
fi
grep -q '^ Description: [a-z].\{20,\}' <<<"$info" || fail "no summary"
[ "$(grep -c '^  [^ ]' <<<"$info")" -ge 3 ] || fail "no long description"

# Its files.
contents=$(dpkg-deb -c "$deb")
doc=./usr/share/doc/tlf2pos
for path in ./usr/bin/tlf2pos ./usr/bin/tlf2pos-each \
    ./usr/share/man/man1/tlf2pos.1.gz ./usr/share/man/man1/tlf2pos-each.1.gz \
    $doc/README $doc/copyright $doc/changelog.gz; do
  grep -q " $path\$" <<<"$contents" || fail "the package lacks $path"
done

# Unpacked.
dpkg-deb -x "$deb" "$scratch/unpacked"
for page in tlf2pos.1 tlf2pos-each.1; do
  gzip -dc "$scratch/unpacked/usr/share/man/man1/$page.gz" |
    cmp -s "$source_dir/doc/$page" - ||
    fail "the packaged manual page is not doc/$page"
done
cmp -s "$scratch/unpacked/$doc/README" "$source_dir/doc/README.installed" ||
  fail "the packaged README is not doc/README.installed"
# The copyright file's licence paragraph is LICENSE after its title lines.
[ "$(sed -n '/^License: Expat$/,$p' "$scratch/unpacked/$doc/copyright" |
     sed '1d; s/^ //; s/^\.$//')" = "$(sed 1,4d "$source_dir/LICENSE")" ] ||
  fail "the copyright file does not carry LICENSE"
convert "$scratch/unpacked-run" "$scratch/unpacked/usr/bin/tlf2pos"
same_as_reference "$scratch/unpacked-run" "unpacked program"

# Installed by dpkg into a scratch root (its own empty package database, so
# libc6 and the rest count as missing there).
root="$scratch/root"
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
touch "$root/var/lib/dpkg/status" "$root/var/lib/dpkg/available"
dpkg_root=(dpkg --root="$root" --log=/dev/null --force-not-root
           --force-depends --path-include='/usr/share/man/*')
"${dpkg_root[@]}" -i "$deb" >"$scratch/dpkg.log" 2>&1 ||
  { cat "$scratch/dpkg.log" >&2; fail "dpkg -i into a scratch root"; }
[ "$(dpkg-query --admindir="$root/var/lib/dpkg" -W -f='${Status} ${Version}' tlf2pos)" \
  = "install ok installed $version" ] ||
  fail "dpkg does not list tlf2pos $version as installed"
convert "$scratch/root-run" "$root/usr/bin/tlf2pos"
same_as_reference "$scratch/root-run" "program installed by dpkg"
[ "$(man -M "$root/usr/share/man" -w tlf2pos)" = "$root/usr/share/man/man1/tlf2pos.1.gz" ] ||
  fail "man does not find the installed page"
for page in tlf2pos tlf2pos-each; do
  warnings=$(man --warnings -l "$root/usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null) ||
    fail "man cannot render the installed page $page"
  [ -z "$warnings" ] || fail "the manual page $page renders with warnings: $warnings"
done
# The companion runs the tlf2pos installed beside it.
mkdir "$scratch/each"
(cd "$scratch/each" && TLF2POS='' "$(command -v dash)" \
  "$root/usr/bin/tlf2pos-each" "$example") ||
  fail "the installed tlf2pos-each failed on the example"
diff -r "$scratch/reference/run" "$scratch/each/tulo005" >/dev/null ||
  fail "the installed tlf2pos-each wrote other POS files than the build's program"
"${dpkg_root[@]}" -r tlf2pos >>"$scratch/dpkg.log" 2>&1 || fail "dpkg -r in the scratch root"
[ ! -e "$root/usr/bin/tlf2pos" ] || fail "dpkg -r left /usr/bin/tlf2pos behind"

# Hardening, as Debian builds its own programs: a PIE with a read-only
# relocation table bound at start-up and stack protection. A sanitized build
# is hardened by its sanitizers instead.
if ! grep -q '^TLF2POS_SANITIZE:BOOL=ON$' "$build/CMakeCache.txt"; then
  hardened=1
  elf=$(readelf -hlW --dynamic --dyn-syms "$scratch/unpacked/usr/bin/tlf2pos")
  grep -q 'Type: *DYN' <<<"$elf" || fail "the program is not a PIE"
  grep -q GNU_RELRO <<<"$elf" || fail "the program has no RELRO segment"
  grep -q 'FLAGS.*BIND_NOW' <<<"$elf" || fail "the program is not bound at start-up"
  grep -q ' __stack_chk_fail' <<<"$elf" || fail "the program has no stack protector"
else
  hardened=0
fi

if command -v lintian >/dev/null; then
  # -q: no notice that root runs it; -I: the informational tags too, where
  # the hardening-* ones are.
  report=$(lintian -q -I "$deb" 2>&1) || fail "lintian failed: $report"
  tags=$(grep '^[EW]:' <<<"$report" || true)
  [ $hardened = 0 ] || tags+=$(grep 'hardening-' <<<"$report" || true)
  [ -z "$tags" ] || fail "lintian reports: $tags"
else
  echo "package_test: lintian is not installed; not run"
fi

if [ $system = 1 ]; then
  [ "$(id -u)" = 0 ] || fail "--system needs root"
  if dpkg-query -W tlf2pos >/dev/null 2>&1; then
    fail "tlf2pos is already installed here; not touching it"
  fi
  dpkg -i --path-include='/usr/share/man/*' "$deb" >"$scratch/dpkg.log" 2>&1 ||
    { cat "$scratch/dpkg.log" >&2; fail "dpkg -i"; }
  trap 'dpkg -r tlf2pos >/dev/null 2>&1 || true; rm -rf "$scratch"' EXIT
  [ "$(command -v tlf2pos)" = /usr/bin/tlf2pos ] || fail "tlf2pos is not on PATH"
  convert "$scratch/system-run" tlf2pos
  same_as_reference "$scratch/system-run" "program installed on the system"
  man -w tlf2pos >/dev/null || fail "man does not find tlf2pos"
  dpkg -r tlf2pos >/dev/null 2>&1 || fail "dpkg -r"
  [ ! -e /usr/bin/tlf2pos ] || fail "dpkg -r left /usr/bin/tlf2pos behind"
fi

echo "package_test: $(basename "$deb") builds, installs and converts the example"
