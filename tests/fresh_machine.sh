#!/usr/bin/env bash
# The README followed on a bare Debian 12, as a new user follows it.
# mmdebstrap makes a minimal root (the essential packages and apt: no sudo,
# no package lists, no compiler), this repository's HEAD commit is cloned
# into /root/tlf2pos there, and these commands are taken from README.md and
# run as root:
#   Quick start: must print the example's input and output lines and its
#     exit status 1.
#   Installing: the install command, right after the Quick start, into the
#     prefix it names; tlf2pos, tlf2pos-each, their manual pages and the
#     documents must be there.
#   Converting many files: each recipe (tlf2pos-each, tlf2pos-each under
#     xargs, the plain loop), pasted after the README's PATH line into an
#     interactive bash, in a folder holding a.tlf, -x.tlf, "b c.tlf" and a
#     broken d.tlf, in a folder of good files only, and in an empty folder.
#     The good files must give the Quick start's POS files in folders of
#     their own, the broken one exactly one error line naming it (and no
#     folder, but for the loop), the empty folder nothing at all (no line
#     from the loop, the unmatched *.tlf reported missing from the others);
#     the recipe must end with its failure status (1, 123 for xargs) after
#     a failure and with 0 otherwise, and the shell must stay open and where
#     it was.
#   Run the tests: must end with every test passed.
#   Then the installed manual page must render with man -l and be found by
#     man once the README's PATH line has run (man comes with the test
#     command's packages: the Quick start installs only what building needs).
# Commands that run at the clone get a new shell with nothing on standard
# input but yes.
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

# sh_block HEADING [REGEX]: the first sh block below the heading
# "## HEADING" (and above the next such heading) that has a line matching
# REGEX; any sh block without REGEX.
sh_block() {
  awk -v heading="## $1" -v want="${2-}" '
    $0 == heading { inside = 1; next }
    inside && /^## / { exit }
    inside && /^```sh$/ { block = 1; text = ""; found = (want == ""); next }
    block && /^```$/ { if (found) { printf "%s", text; exit } block = 0; next }
    block { text = text $0 "\n"; if ($0 ~ want) found = 1 }' "$readme"
}
quick_start=$(sh_block "Quick start")
run_tests=$(sh_block "Run the tests")
install=$(sh_block "Installing" '^cmake --install ')
path_line=$(sh_block "Installing" '^export PATH=')
each_recipe=$(sh_block "Converting many files" '^tlf2pos-each ')
loop_recipe=$(sh_block "Converting many files" 'for f in ')
xargs_recipe=$(sh_block "Converting many files" 'xargs ')
for block in quick_start run_tests install path_line each_recipe loop_recipe \
    xargs_recipe; do
  [ -n "${!block}" ] || fail "README.md lacks the sh block for $block"
done

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

# On a freshly booted machine the automatic upgrades often hold the package
# manager's locks when a new user starts. A perl (essential on Debian)
# outside the root takes dpkg's front-end lock and apt's lock on the package
# lists in the root, as fcntl locks like theirs, for the first
# $lock_seconds s of the Quick start: its install-deps.sh must say that it
# waits, wait, and then go on.
lock_seconds=20
held_locks=(/var/lib/dpkg/lock-frontend /var/lib/apt/lists/lock)
hold_package_locks() {
  mkdir -p "$root/var/lib/apt/lists"
  # shellcheck disable=SC2016  # perl's variables
  perl -MFcntl -e '
    my $seconds = shift;
    my @held;
    for my $path (@ARGV) {
      sysopen(my $fh, $path, O_RDWR | O_CREAT, 0640) or die "$path: $!\n";
      fcntl($fh, F_SETLK, pack("s s x![q] q q i x![q]", F_WRLCK, SEEK_SET, 0, 0, 0))
        or die "locking $path: $!\n";
      push @held, $fh;
    }
    print "held\n";
    close STDOUT;
    sleep $seconds;' "$lock_seconds" "${held_locks[@]/#/$root}" >"$scratch/locks" &
  lock_holder=$!
  for ((i = 0; i < 100; i++)); do
    [ "$(cat "$scratch/locks")" != held ] || return 0
    sleep 0.1
  done
  fail "could not hold the package manager's locks in the root"
}
hold_package_locks
run quick-start "$quick_start" || fail "the Quick start command failed"
wait "$lock_holder" || fail "the locks in the root were not held for $lock_seconds s"
for lock in "${held_locks[@]}"; do
  grep -q "^install-deps: waiting for $lock, held by perl " "$scratch/quick-start.log" ||
    fail "the Quick start did not say that it waits for $lock"
done
expected=$'input : tulo005.tlf\noutput : 00500000.pos\noutput : 00500001.pos\noutput : 00500100.pos'
[ "$(grep -A3 -x 'input : tulo005.tlf' "$scratch/quick-start.log")" = "$expected" ] ||
  fail "the Quick start command did not print the example's output lines"
grep -qx 'exit status: 1 (1 means success)' "$scratch/quick-start.log" ||
  fail "the Quick start command did not end with exit status 1"

# The prefix the README's command names, as the shell in the root reads it.
prefix_word=$(sed -n 's/.*--prefix \([^ ]*\).*/\1/p' <<<"$install")
prefix=$(chroot "$root" /usr/bin/env -i HOME=/root /bin/sh -c "printf %s $prefix_word")
[ -n "$prefix" ] || fail "the README's install command names no --prefix"
run install "$install" || fail "installing right after the Quick start failed"
for file in bin/tlf2pos bin/tlf2pos-each share/man/man1/tlf2pos.1.gz \
    share/man/man1/tlf2pos-each.1.gz share/doc/tlf2pos/README \
    share/doc/tlf2pos/copyright share/doc/tlf2pos/changelog.gz; do
  [ -f "$root$prefix/$file" ] || fail "installing did not give $prefix/$file"
done
# paste_in NAME FOLDER RECIPE: types the README's PATH line and RECIPE into
# an interactive bash at FOLDER in the root, as a user pastes them into a
# terminal, and then lines that tell the recipe's status, where the shell
# is and which tlf2pos it finds. It has no terminal, so it reads plain lines. Its standard output
# goes to $scratch/NAME.out, the standard error of the pasted lines to
# $scratch/NAME.err, the shell's own warnings about job control to
# $scratch/NAME.shell.
paste_in() {
  local status=0
  echo "=== fresh_machine: $1 in $2"
  # shellcheck disable=SC2016  # $PWD, $(...) and $1 are for the shells in the root
  printf '%s\n' "exec 2>/tmp/$1.err" "$path_line" "$3" 'status=$?' \
    "exec 2>/dev/null" 'echo "status $status"' \
    'echo "shell open in $PWD, tlf2pos is $(command -v tlf2pos)"' |
    setsid -w chroot "$root" /usr/bin/env -i HOME=/root TERM=dumb PS1= PS2= \
      PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
      /bin/sh -c 'cd "$1" && exec /bin/bash --norc --noediting -i' sh "$2" \
      >"$scratch/$1.out" 2>"$scratch/$1.shell" || status=$?
  mv "$root/tmp/$1.err" "$scratch/$1.err" || status=1
  cat "$scratch/$1.out" "$scratch/$1.err"
  return $status
}

# paste_recipe NAME FOLDER RECIPE STATUS CASE: paste_in, after which RECIPE
# must have ended with STATUS and left the shell open at FOLDER, finding the
# installed tlf2pos. CASE says what FOLDER holds, for the failure message.
paste_recipe() {
  paste_in "$1" "$2" "$3" || fail "the $1 recipe's shell failed"
  [ "$(cat "$scratch/$1.out")" = \
    "status $4"$'\n'"shell open in $2, tlf2pos is $prefix/bin/tlf2pos" ] ||
    fail "after the $1 recipe $5 the status was not $4," \
      "or the shell was closed, elsewhere or ran another tlf2pos"
}

# The files every converted folder must hold, as the Quick start made them.
demo=$root/root/tlf2pos-demo
expected_pos=$'00500000.pos\n00500001.pos\n00500100.pos'
[ "$(cd "$demo" && printf '%s\n' *.pos)" = "$expected_pos" ] ||
  fail "the Quick start left no POS files to compare with"
missing=$'*.tlf: *.tlf: No such file or directory'
for recipe in each xargs loop; do
  # Its text, its status after a failure, the folders it leaves beside the
  # inputs, and its line in an empty folder.
  case $recipe in
    each) text=$each_recipe failed_status=1 folders=$'-x\na\nb c' empty_line=$missing ;;
    xargs) text=$xargs_recipe failed_status=123 folders=$'-x\na\nb c' empty_line=$missing ;;
    loop) text=$loop_recipe failed_status=1 folders=$'-x\na\nb c\nd' empty_line= ;;
  esac
  files=/tmp/many-$recipe/files
  good=/tmp/many-$recipe/good
  empty=/tmp/many-$recipe/empty
  mkdir -p "$root$files" "$root$good" "$root$empty"
  for name in a -x "b c"; do
    cp "$root/root/tlf2pos/examples/tulo005.tlf" "$root$files/$name.tlf"
  done
  printf '5 2\n' >"$root$files/d.tlf"
  cp "$root/root/tlf2pos/examples/tulo005.tlf" "$root$good/e f.tlf"

  paste_recipe "$recipe" "$files" "$text" "$failed_status" "with a broken file"
  [ "$(cat "$scratch/$recipe.err")" = "d.tlf: header read error: Invalid argument" ] ||
    fail "the $recipe recipe's error lines are not the one line naming d.tlf"
  [ "$(cd "$root$files" && find . -mindepth 1 -maxdepth 1 -type d | sed 's|^\./||' | LC_ALL=C sort)" = "$folders" ] ||
    fail "the $recipe recipe did not make one folder per good input"
  for name in a -x "b c"; do
    [ "$(ls -A "$root$files/$name")" = "$expected_pos" ] ||
      fail "the $recipe recipe did not convert $name.tlf into $name/"
    for pos in $expected_pos; do
      cmp "$demo/$pos" "$root$files/$name/$pos" ||
        fail "the $recipe recipe wrote other bytes into $name/$pos"
    done
  done
  [ -z "$(ls -A "$root$files/d" 2>/dev/null)" ] || fail "the broken d.tlf gave POS files"

  paste_recipe "$recipe-good" "$good" "$text" 0 "with good files only"
  [ ! -s "$scratch/$recipe-good.err" ] ||
    fail "the $recipe recipe was not silent on good files"
  for pos in $expected_pos; do
    cmp "$demo/$pos" "$root$good/e f/$pos" ||
      fail "the $recipe recipe did not convert e f.tlf into e f/"
  done

  paste_recipe "$recipe-empty" "$empty" "$text" "$([ -z "$empty_line" ] && echo 0 || echo "$failed_status")" \
    "in an empty folder"
  [ "$(cat "$scratch/$recipe-empty.err")" = "$empty_line" ] ||
    fail "in an empty folder the $recipe recipe printed: $(cat "$scratch/$recipe-empty.err")"
  [ -z "$(ls -A "$root$empty")" ] ||
    fail "the $recipe recipe made something in an empty folder"
done

run tests "$run_tests" || fail "the test command failed"
grep -qx '100% tests passed, 0 tests failed out of [0-9]*' "$scratch/tests.log" ||
  fail "the test command did not pass every test"

run manual "man -l $prefix/share/man/man1/tlf2pos.1.gz >/tmp/manual.txt
$path_line && man -w tlf2pos" || fail "man failed on the installed page"
grep -Eqx 'TLF2POS\(1\) +User Commands +TLF2POS\(1\)' "$root/tmp/manual.txt" ||
  fail "man -l did not render the installed manual page"
grep -qx "$prefix/share/man/man1/tlf2pos.1.gz" "$scratch/manual.log" ||
  fail "man did not find the installed page with the prefix's bin on PATH"

echo "fresh_machine: the README's commands work on a bare Debian 12 as root" \
  "($((SECONDS - start)) s)"
