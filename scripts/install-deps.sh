#!/bin/sh
# Installs the Debian or Ubuntu packages that building and testing tlf2pos
# need, and only those that are missing. Safe to run again: with nothing
# missing it changes nothing and needs no network. Runs apt-get as root,
# through sudo when started by another user. While another program holds
# the package manager's lock (on a freshly booted machine, the automatic
# upgrades often do), it waits for it, up to 10 minutes, and says so.
#
# usage: sh scripts/install-deps.sh [GROUP...]
#        sh scripts/install-deps.sh --list [GROUP...]
#   --list    print the packages of the groups, one a line, and install
#             nothing
#   build     compile the program and its manual page, and install them with
#             cmake --install: no test tools
#   test      (the default) the build group, and what every test of the
#             README's test command needs, the package test included
#   mutation  the test group, and python3 and git for the mutation script in
#             scripts/
#   lint      shellcheck and clang-format, for the checks of CI's lint stage
#   coverage  the test group, and gcovr for the line and branch coverage of
#             the test suite
#   bench     Google Benchmark, for the micro-benchmarks in bench/;
#             valgrind, python3 and llvm (llvm-mca) for the instruction
#             counts and the hot loop's estimates
#   fuzz      clang and its sanitizer and libFuzzer runtimes
#   clang     the test group, and clang to build and test with
#   valgrind  valgrind, for the end-to-end tests under memcheck
#   windows   the MinGW-w64 cross compiler, groff for the HTML manual in the
#             zip, zip to make that zip the same on every machine, and Wine
#             (with qemu-user for kernels that run no 32-bit programs); adds
#             the i386 architecture to dpkg
#   release   lintian, zip and unzip, to make and check the .deb and the
#             Windows zip
#   cross     cross compilers and qemu-user for arm64 and s390x
#   fresh     mmdebstrap, to build a bare Debian root for the fresh-machine
#             check
#   cluster   Slurm's controller and node daemons, an ssh server and client,
#             GNU parallel and rsync, for the many-machines check and the
#             engine figures; their daemons are not started (see below)
set -eu

packages() {
  case $1 in
    # The manual page is installed compressed with gzip.
    build) echo cmake g++ make gzip ;;
    test) packages build; echo libgtest-dev man-db dpkg-dev file ;;
    mutation) packages test; echo python3 git ;;
    lint) echo git shellcheck clang-format ;;
    coverage) packages test; echo gcovr ;;
    bench) echo libbenchmark-dev valgrind python3 llvm ;;
    # The unversioned package follows the default clang, whichever it is.
    fuzz) echo clang libclang-rt-dev ;;
    clang) packages test; echo clang ;;
    valgrind) echo valgrind ;;
    windows) echo g++-mingw-w64-i686-posix groff zip wine wine32:i386 wine64 qemu-user-static ;;
    release) echo lintian zip unzip ;;
    cross) echo g++-aarch64-linux-gnu g++-s390x-linux-gnu qemu-user-static ;;
    fresh) echo mmdebstrap ;;
    # The tests start their own daemons, on loopback, with their own
    # configuration; procps and iproute2 to check that none is left.
    cluster) packages build; echo slurmctld slurmd slurm-client openssh-server openssh-client parallel rsync procps iproute2 ;;
    *) echo "install-deps: unknown group '$1'" >&2; return 1 ;;
  esac
}

list_only=0
if [ "${1-}" = --list ]; then
  list_only=1
  shift
fi
[ $# -gt 0 ] || set -- test
wanted=
for group in "$@"; do
  list=$(packages "$group") || exit 2
  for package in $list; do
    case " $wanted " in *" $package "*) ;; *) wanted="$wanted $package" ;; esac
  done
done
if [ $list_only = 1 ]; then
  # shellcheck disable=SC2086  # one word per package
  printf '%s\n' $wanted
  exit 0
fi

missing=
for package in $wanted; do
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

# The package manager's locks: dpkg's two, and apt's on its package lists
# (apt-get update) and on its download folder (apt-get install). They are
# fcntl(2) locks, which flock(1) does not see. apt-get install waits for
# dpkg's two itself when given DPkg::Lock::Timeout, but apt 2.6 fails at
# once on the other two; so the script waits for all four before each
# apt-get, and tries again when apt-get failed because a lock was taken in
# between.
locks="/var/lib/dpkg/lock-frontend /var/lib/dpkg/lock /var/lib/apt/lists/lock
/var/cache/apt/archives/lock"
deadline=$(($(date +%s) + 600))  # ten minutes of waiting, for the whole run

# lock_holders: for each lock another process holds, a line "LOCK PID"
# (PID -1 for an open-file lock, which has no process). perl is essential
# on Debian and Ubuntu; the struct flock layout is that of 64-bit Linux.
lock_holders() {
  # shellcheck disable=SC2086,SC2016  # one word per lock; perl's variables
  $as_root perl -MFcntl -e '
    for my $path (@ARGV) {
      open(my $fh, "<", $path) or next;
      my $lock = pack("s s x![q] q q i x![q]", F_WRLCK, SEEK_SET, 0, 0, 0);
      fcntl($fh, F_GETLK, $lock) or next;
      my ($type, $pid) = (unpack("s s x![q] q q i", $lock))[0, 4];
      print "$path $pid\n" if $type != F_UNLCK;
    }' $locks
}

# time_left: the seconds of waiting left before the deadline, 0 at least.
time_left() {
  left=$((deadline - $(date +%s)))
  [ $left -gt 0 ] || left=0
  echo $left
}

# wait_for_locks: returns once no lock is held, saying whom it waits for;
# fails at the deadline.
wait_for_locks() {
  told=
  while holders=$(lock_holders) && [ -n "$holders" ]; do
    if [ "$(time_left)" = 0 ]; then
      echo "install-deps: the package manager is still locked after" \
        "10 minutes of waiting; try again later" >&2
      exit 1
    fi
    # Each holder is told once.
    echo "$holders" | grep -vxF "${told:-//}" | while read -r lock pid; do
      name=$(cat "/proc/$pid/comm" 2>/dev/null) || name="another program"
      echo "install-deps: waiting for $lock, held by $name (process $pid)," \
        "up to $(time_left) s more"
    done
    told=$(printf '%s\n%s' "$told" "$holders")
    sleep 2
  done
}

# apt_get ARGUMENT...: apt-get as root once the locks are free, again if it
# failed while another process took a lock after the wait.
apt_get() {
  while :; do
    wait_for_locks
    status=0
    $as_root env DEBIAN_FRONTEND=noninteractive apt-get \
      -o DPkg::Lock::Timeout="$(time_left)" "$@" || status=$?
    [ $status != 0 ] || return 0
    [ -n "$(lock_holders)" ] && [ "$(time_left)" != 0 ] || return $status
    echo "install-deps: apt-get failed on a lock taken meanwhile; waiting again"
  done
}

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

# A package's installation starts its daemon (sshd on port 22, munged,
# slurmctld) unless /usr/sbin/policy-rc.d refuses. Where there is none, one
# that refuses everything stands there while apt-get runs; one already there
# (container images have it) is left as it is.
policy=/usr/sbin/policy-rc.d
if [ ! -e "$policy" ]; then
  printf '#!/bin/sh\n# install-deps.sh: no daemon starts while it installs\nexit 101\n' |
    $as_root tee "$policy" >/dev/null
  $as_root chmod 755 "$policy"
  trap '$as_root rm -f "$policy"' EXIT
  trap 'exit 130' INT TERM HUP
fi

echo "install-deps: installing$missing"
apt_get update -q
# shellcheck disable=SC2086  # one word per package
apt_get install -y -q --no-install-recommends $missing
