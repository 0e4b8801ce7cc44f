#!/bin/bash
# Runs a command with Wine ready to run the 32-bit Windows build:
#   bash tests/windows/with_wine.sh ctest --test-dir build-win
#   TLF2POS_TARGET=windows TLF2POS_RUN="wine $PWD/build-win/tlf2pos.exe" \
#     bash tests/windows/with_wine.sh build/tests/e2e_tests
# It makes (once) a 32-bit Wine prefix of its own, keeps one wineserver up for
# the whole command so each program start stays short, and stops it after.
# Where the kernel runs no 32-bit Linux programs (a kernel without IA-32
# emulation), Wine's 32-bit loader is run by qemu-user instead, registered
# through binfmt_misc (needs root) and helped by a small preloaded library.
# Needs, from Debian with the i386 architecture added: wine wine32 wine64
# (its wineserver runs natively) and, for the qemu case, qemu-user-static
# and gcc.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# Wine takes no prefix another user made: without TMPDIR, one per user.
if [ -n "${TMPDIR:-}" ]; then
  export WINEPREFIX=${WINEPREFIX:-$TMPDIR/tlf2pos-wine}
else
  export WINEPREFIX=${WINEPREFIX:-/tmp/tlf2pos-wine-$(id -u)}
fi
export WINEARCH=win32
export WINEDEBUG=${WINEDEBUG:--all}
# No offer to install Mono or Gecko, no menu entries, no crash debugger
# waiting for someone to look (a crash must end the program under test), and
# none of the device, plug-and-play, service host and desktop processes: a
# console program needs none of them, and under qemu they crash or hang.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=;winedbg.exe,winemenubuilder.exe,winedevice.exe,plugplay.exe,svchost.exe,explorer.exe=d}
loader=/usr/lib/wine/wine
tools=$WINEPREFIX-tools

misc=/proc/sys/fs/binfmt_misc
runs_i386() { "$loader" --version >/dev/null 2>&1; }
# True if 32-bit x86 programs are handed to qemu through binfmt_misc.
through_qemu() {
  local entry
  for entry in "$misc"/*; do
    case ${entry##*/} in register | status) continue ;; esac
    grep -qx enabled "$entry" 2>/dev/null &&
      grep -q '^interpreter .*qemu-i386' "$entry" 2>/dev/null && return 0
  done
  return 1
}

if through_qemu || ! runs_i386; then
  qemu=/usr/bin/qemu-i386-static
  [ -x "$qemu" ] || { echo "with_wine: $loader does not run and $qemu is missing" >&2; exit 2; }
  if [ ! -e "$misc/register" ]; then
    mount -t binfmt_misc binfmt_misc "$misc"
  fi
  if ! through_qemu; then
    # 32-bit x86 ELF executables; F: qemu is opened now, so it is found from
    # any folder and mount namespace later.
    printf '%s' ':tlf2pos-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'"$qemu"':F' \
      > "$misc/register"
  fi
  lib32=$tools/lib/i386-linux-gnu/tlf2pos-mmap.so
  lib64=$tools/lib/x86_64-linux-gnu/tlf2pos-mmap.so
  if [ ! -e "$lib32" ] || [ "$here/qemu_mmap_noreplace.c" -nt "$lib32" ]; then
    mkdir -p "$(dirname "$lib32")" "$(dirname "$lib64")"
    gcc -m32 -O2 -fPIC -fno-stack-protector -nostdlib -shared \
        -o "$lib32" "$here/qemu_mmap_noreplace.c"
    # The 64-bit programs (the wineserver, the shell) get an empty library
    # of the same name: ld.so picks by $LIB, and complains if none is there.
    printf '' | gcc -x c -shared -nostdlib -o "$lib64" -
  fi
  export LD_PRELOAD="$tools/\$LIB/tlf2pos-mmap.so${LD_PRELOAD:+ $LD_PRELOAD}"
  runs_i386 || { echo "with_wine: $loader does not run even under qemu" >&2; exit 2; }
fi

if [ ! -e "$WINEPREFIX/system.reg" ]; then
  echo "with_wine: creating the Wine prefix $WINEPREFIX (a minute or so)" >&2
  wineboot -i >/dev/null 2>&1 || true
  timeout 300 wineserver -w || true
  [ -e "$WINEPREFIX/system.reg" ] || { echo "with_wine: wineboot made no prefix" >&2; exit 2; }
fi

# The first Windows program of a server starts Wine's own background
# processes, which inherit its standard handles and keep them open: start
# them here, on /dev/null, or a test runner waits for their pipes to close.
# A start that hangs is retried with a new server.
started=no
for _ in 1 2 3; do
  wineserver -p
  if timeout 120 wine cmd.exe /c exit </dev/null >/dev/null 2>&1; then
    started=yes
    break
  fi
  wineserver -k || true
  sleep 1
done
[ "$started" = yes ] || { echo "with_wine: Wine does not start" >&2; exit 2; }
status=0
"$@" || status=$?
wineserver -k || true
exit "$status"
