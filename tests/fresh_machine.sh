#!/usr/bin/env bash
# The README's two commands on a bare Debian 12. mmdebstrap makes a minimal
# root (the essential packages and apt: no sudo, no package lists, no
# compiler), this repository's HEAD commit is cloned into /root/tlf2pos
# there, and the first sh block under "Quick start" and then the first one
# under "Run the tests" are taken from README.md and run at that folder, each
# in a new shell as root with nothing on standard input but yes. The first
# must print the example's input and output lines and its exit status 1, the
# second must end with every test passed.
#
# usage: tests/fresh_machine.sh   (as root; needs mmdebstrap and git)
# The root takes about 1.5 GB in a scratch folder under TMPDIR and is
# removed afterwards; KEEP=1 keeps it. Packages come from the mirrors this
# machine's apt uses, with its settings for checking their dates.
set -euo pipefail

fail() { echo "fresh_machine: FAIL: $*" >&2; exit 1; }

[ "$(id -u)" = 0 ] || fail "needs root (mmdebstrap, chroot and mounts)"
for tool in mmdebstrap git; do
  command -v "$tool" >/dev/null || fail "$tool is not installed"
done
source_dir=$(cd "$(dirname "$0")/.." && pwd)
readme=$source_dir/README.md

# first_sh_block HEADING: the first sh block below the heading "## HEADING".
first_sh_block() {
  awk -v heading="## $1" '
    $0 == heading { inside = 1; next }
    inside && /^## / { exit }
    inside && /^```sh$/ { block = 1; next }
    block && /^```$/ { exit }
    block { print }' "$readme"
}
quick_start=$(first_sh_block "Quick start")
run_tests=$(first_sh_block "Run the tests")
[ -n "$quick_start" ] || fail "README.md has no sh block under Quick start"
[ -n "$run_tests" ] || fail "README.md has no sh block under Run the tests"

scratch=$(mktemp -d)
root=$scratch/root
mounts=(proc sys dev tmp)
cleanup() {
  local m status=0
  for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do
    m=$root/${mounts[i]}
    if mountpoint -q "$m"; then
      umount -R "$m" || umount -R -l "$m" || status=1
    fi
  done
  if [ $status = 0 ] && [ "${KEEP-}" != 1 ]; then
    rm -rf --one-file-system "$scratch"
  elif [ $status != 0 ]; then
    echo "fresh_machine: could not unmount everything below $root" >&2
  fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

# This machine's Debian 12 sources, and the apt settings that reaching them
# needs (a snapshot mirror has no valid-until date, a proxy, ...).
mirrors=()
# shellcheck disable=SC2016  # $(...) are apt's field names
while read -r uri suite components; do
  mirrors+=("deb $uri $suite $components")
done < <(apt-get indextargets --format '$(REPO_URI) $(RELEASE) $(COMPONENT)' \
           "Identifier: Packages" "Architecture: $(dpkg --print-architecture)" |
         awk '$2 ~ /^bookworm(-[a-z]+)?$/ { c[$1 " " $2] = c[$1 " " $2] " " $3 }
              END { for (k in c) print k c[k] }' | sort)
[ ${#mirrors[@]} -gt 0 ] || fail "this machine's apt has no bookworm sources"
aptopts=()
while read -r line; do
  aptopts+=("--aptopt=$line")
done < <(apt-config dump | grep -E '^Acquire::(Check-Valid-Until|Check-Date|https?::Proxy) ' || true)

start=$SECONDS
echo "=== fresh_machine: minimal Debian 12 root in $root"
mmdebstrap --quiet --mode=root --variant=minbase "${aptopts[@]}" \
  bookworm "$root" "${mirrors[@]}"
cp -L /etc/resolv.conf "$root/etc/resolv.conf"
mount -t proc proc "$root/proc"
mount --rbind /sys "$root/sys" && mount --make-rslave "$root/sys"
mount --rbind /dev "$root/dev" && mount --make-rslave "$root/dev"
mount -t tmpfs tmpfs "$root/tmp"
git clone -q --no-checkout "$source_dir" "$root/root/tlf2pos"
git -C "$root/root/tlf2pos" checkout -q --detach "$(git -C "$source_dir" rev-parse HEAD)"
echo "root ready after $((SECONDS - start)) s"

# run NAME COMMAND: runs COMMAND in a new shell as root at the clone, with
# yes on standard input, its output shown and kept in $scratch/NAME.log.
run() {
  local status=0
  echo "=== fresh_machine: $1:"
  printf '%s\n' "$2"
  # shellcheck disable=SC2016  # $1 is for the shell in the root
  { yes || true; } |
    chroot "$root" /usr/bin/env -i HOME=/root TERM=dumb \
      PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
      /bin/bash -c 'cd /root/tlf2pos && eval "$1"' bash "$2" 2>&1 |
    tee "$scratch/$1.log" || status=$?
  echo "=== fresh_machine: $1 exited with $status after $((SECONDS - start)) s"
  return $status
}

run quick-start "$quick_start" || fail "the Quick start command failed"
expected=$'input : tulo005.tlf\noutput : 00500000.pos\noutput : 00500001.pos\noutput : 00500100.pos'
[ "$(grep -A3 -x 'input : tulo005.tlf' "$scratch/quick-start.log")" = "$expected" ] ||
  fail "the Quick start command did not print the example's output lines"
grep -qx 'exit status: 1 (1 means success)' "$scratch/quick-start.log" ||
  fail "the Quick start command did not end with exit status 1"

run tests "$run_tests" || fail "the test command failed"
grep -qx '100% tests passed, 0 tests failed out of [0-9]*' "$scratch/tests.log" ||
  fail "the test command did not pass every test"

echo "fresh_machine: both README commands work on a bare Debian 12 as root" \
  "($((SECONDS - start)) s)"
