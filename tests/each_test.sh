#!/usr/bin/env bash
# tlf2pos-each as scripts and job engines run it, by dash. Each row of the
# table runs one call in a fresh folder of inputs and checks its status, its
# lines on standard error and every folder it leaves: each must hold exactly
# the POS files tlf2pos writes for its input, no scratch folder may remain,
# and no input may change. Then the ends a trap cannot see: SIGKILL during a
# conversion and between setting an earlier folder aside and renaming the
# new one in, swept by the next call, which must leave a live call alone;
# INT and TERM; two calls racing on one input; many inputs through xargs.
#
# usage: tests/each_test.sh BUILD
#   BUILD/tlf2pos-each runs the BUILD/tlf2pos beside it, or, when
#   TLF2POS_RUN is set, tlf2pos through that command (valgrind, qemu), as
#   the end-to-end tests do. The Windows build has no tlf2pos-each: with
#   TLF2POS_TARGET=windows the test is skipped (status 77).
set -uo pipefail
export LC_ALL=C

[ $# = 1 ] || { echo "usage: $0 BUILD" >&2; exit 2; }
if [ "${TLF2POS_TARGET-}" = windows ]; then
  echo "each_test: tlf2pos-each is not part of the Windows build"
  exit 77
fi
build=$(cd "$1" && pwd)
each=$build/tlf2pos-each
reference=$build/tlf2pos
source_dir=$(cd "$(dirname "$0")/.." && pwd)
failures=0
fail() { echo "each_test: FAIL: $*" >&2; failures=$((failures + 1)); }

scratch=$(mktemp -d)
holders=()
trap 'kill "${holders[@]}" 2>/dev/null; rm -rf "$scratch"' EXIT
chmod 755 "$scratch"

# Inputs: good gives three POS files; long gives others besides, which
# would survive a rerun with good if folders were not replaced whole; short
# writes one POS file before it fails; big takes long enough to race.
inputs=$scratch/inputs
mkdir "$inputs"
cp "$source_dir/examples/tulo005.tlf" "$inputs/good.tlf"
printf '5 3 5\n0 1 2 3 4 5 10 0\n1 1 1 1 1 1 7 0 8 0\n2 9 9 9 9 9 6 0\n' >"$inputs/long.tlf"
printf '5 3 5\n0 1 2 3 4 5 6 0\n' >"$inputs/short.tlf"
printf 'x\n' >"$inputs/bad.tlf"
awk 'BEGIN { print "7 120 5"; for (i = 0; i < 120; i++) {
  line = i; for (j = 0; j < 25; j++) line = line " " (i * j) % 256; print line } }' \
  >"$inputs/big.tlf"

# each ARG...: the call under test, by dash, tlf2pos through TLF2POS_RUN;
# "${each_cmd[@]}" ARG... & makes dash itself the background process.
if [ -n "${TLF2POS_RUN-}" ]; then
  each_cmd=(env "TLF2POS=$TLF2POS_RUN" dash "$each")
else
  each_cmd=(env -u TLF2POS dash "$each")
fi
each() { "${each_cmd[@]}" "$@"; }

# tree DIR: every entry below DIR by kind and name, and every file's
# checksum.
tree() {
  (cd "$1" && {
    find . -mindepth 1 ! -type f -printf '%y %p\n'
    find . -type f -exec cksum {} +
  } | sort)
}

# expect_folders BEFORE DIR FOLDER...: the tree of a copy of BEFORE in which,
# for each FOLDER given as NAME=INPUT, the folder NAME holds just what
# tlf2pos writes for DIR/INPUT, and for each NAME/, the folder NAME exists.
expect_folders() {
  local dir=$2 folder name expected=$scratch/expected
  rm -rf "$expected"
  cp -a "$1" "$expected"
  shift 2
  for folder; do
    name=${folder%%=*}
    [ "$name" = "$folder" ] || rm -rf "${expected:?}/$name"
    mkdir -p "$expected/$name"
    [ "$name" = "$folder" ] ||
      (cd "$expected/$name" && "$reference" "$dir/${folder#*=}" >/dev/null; [ $? = 1 ]) ||
      fail "the reference conversion of ${folder#*=} failed"
  done
  tree "$expected"
}

# row WHAT STATUS SETUP ARGS LINES FOLDERS: in a fresh folder holding the
# inputs, runs SETUP (shell code; each is the command under test), then
# each ARGS, and checks the status, standard error (LINES, words of shell
# code, one line each) and the folders (FOLDERS, words: NAME=INPUT or NAME/).
row() {
  local what=$1 status=$2 setup=$3 t=$scratch/$1 got
  local -a args lines folders
  eval "args=($4)"
  eval "lines=($5)"
  eval "folders=($6)"
  cp -a "$inputs" "$t"
  (cd "$t" && eval "$setup") >/dev/null 2>&1 || fail "$what: setup"
  cp -a "$t" "$t.before"
  (cd "$t" && each "${args[@]}") >"$t.out" 2>"$t.err"
  got=$?
  [ "$got" = "$status" ] || fail "$what: status $got, not $status"
  [ ! -s "$t.out" ] || fail "$what: printed on standard output: $(cat "$t.out")"
  [ "$(cat "$t.err")" = "$(printf '%s\n' "${lines[@]}")" ] ||
    fail "$what: standard error was: $(cat "$t.err")"
  [ "$(tree "$t")" = "$(expect_folders "$t.before" "$t" "${folders[@]}")" ] ||
    fail "$what: the folders are:$(printf '\n  %s' "$(tree "$t")")"
}

usage="'usage: tlf2pos-each [-o DIR] [--] FILE...'"
#   what            status setup                                  arguments                  lines on standard error      folders
row none            0 ''                                          ''                           ''                           ''
row none_after_dashes 0 ''                                        '-o out --'                  ''                           ''
row o_without_dir   2 ''                                          '-o'                         "$usage"                     ''
row o_empty         2 ''                                          "-o ''"                      "$usage"                     ''
row good            0 ''                                          'good.tlf long.tlf'          ''                           'good=good.tlf long=long.tlf'
row into_o_dir      0 ''                                          '-o out/deeper good.tlf'     ''                           'out/ out/deeper/good=good.tlf'
row o_dir_like_option 0 ''                                        '-o -x good.tlf'             ''                           '-x/good=good.tlf'
row failures_named  1 ''                                          'bad.tlf good.tlf short.tlf missing.tlf' \
  "'bad.tlf: header read error: Invalid argument' 'short.tlf: data reacord read error: No error' 'missing.tlf: missing.tlf: No such file or directory'" \
  'good=good.tlf'
row rerun_replaces_whole 0 'cp long.tlf x.tlf; each x.tlf; cp good.tlf x.tlf' 'x.tlf'       ''                           'x=x.tlf'
row failure_keeps_earlier 1 'cp good.tlf x.tlf; each x.tlf; cp short.tlf x.tlf' 'x.tlf' "'x.tlf: data reacord read error: No error'" 'x=good.tlf'
row failure_no_partial 1 'cp good.tlf x.tlf; each x.tlf; rm -r x; cp short.tlf x.tlf' 'x.tlf' "'x.tlf: data reacord read error: No error'" ''
row clash           1 'mkdir a b; cp good.tlf a/x.tlf; cp long.tlf b/x.tlf' 'a/x.tlf b/x.tlf' \
  "'b/x.tlf: folder ./x is already taken by a/x.tlf in this call; give them separate output folders (-o)'" \
  'x=a/x.tlf'
row names           0 "cp good.tlf ' b c.tlf'; cp good.tlf ./-d.tlf; cp good.tlf \$'n\\nl.tlf'" \
  "' b c.tlf' -d.tlf \$'n\\nl.tlf'" '' "' b c=good.tlf' -d=good.tlf \$'n\\nl=good.tlf'"
row newline_escaped 1 "cp bad.tlf \$'n\\nl.tlf'"                  "\$'n\\nl.tlf' \$'gone\\n.tlf'" \
  "'n\\nl.tlf: header read error: Invalid argument' 'gone\\n.tlf: gone\\n.tlf: No such file or directory'" ''
row not_a_folder    1 'touch x; ln -s sub y; mkdir sub; cp good.tlf x.tlf; cp good.tlf y.tlf' 'x.tlf y.tlf' \
  "'x.tlf: ./x exists and is not a folder' 'y.tlf: ./y exists and is not a folder'" ''
row input_itself    1 'cp good.tlf plain; cp good.tlf ./-o'        '-- plain -o' \
  "'plain: folder ./plain would be the input itself' '-o: folder ./-o would be the input itself'" ''
row plain_elsewhere 0 'mkdir in; cp good.tlf in/plain; cp good.tlf ./-o' '-o out -- in/plain -o' '' \
  'out/plain=in/plain out/-o=-o'
row unnamable       1 ''                                          "'' . .. /"                  \
  "': no folder name can be made from this name' '.: no folder name can be made from this name' '..: no folder name can be made from this name' '/: no folder name can be made from this name'" ''
row dotted_names    0 'cp good.tlf .tlf; cp good.tlf ..tlf'       '-o out .tlf ..tlf'          ''                           'out/.tlf=.tlf out/..tlf=..tlf'
row out_blocked     1 'touch blocked'                             '-o blocked/out good.tlf bad.tlf' \
  "\"good.tlf: mkdir: cannot create directory 'blocked': Not a directory\" \"bad.tlf: mkdir: cannot create directory 'blocked': Not a directory\"" ''

# The ends no trap sees, then signals, races and xargs, over out/ in one
# folder.
mkdir "$scratch/nothing"
t=$scratch/ends
cp -a "$inputs" "$t"
cd "$t" || exit 1
mkfifo stuck.tlf waiting.tlf
# hold FIFO: opens FIFO for writing in the background, which returns once
# tlf2pos opens it for reading, and keeps it open, so that tlf2pos waits in
# its read until the holder $holder is killed.
hold() {
  rm -f held
  (exec 3>"$1"; : >held; exec sleep 120 >/dev/null 2>&1) &
  holder=$!
  holders+=("$holder")
  for _ in $(seq 600); do [ -e held ] && return 0; sleep 0.05; done
  fail "no tlf2pos opened $1"
}
# scratch_folders WHEN COUNT: out/ must hold COUNT hidden scratch folders.
scratch_folders() {
  local n
  n=$(find out -mindepth 1 -maxdepth 1 -name '.tlf2pos-each.*' | wc -l)
  [ "$n" = "$2" ] || fail "$1: $n scratch folders in out/, not $2"
}

each -o out good.tlf big.tlf || fail "the first call"
# A live call, waiting for its input; every later call must leave it be.
"${each_cmd[@]}" -o out waiting.tlf & live=$!
hold waiting.tlf
live_holder=$holder
# SIGKILL during a conversion; the tlf2pos it started ends when its input
# does.
"${each_cmd[@]}" -o out stuck.tlf & call=$!
hold stuck.tlf
kill -KILL "$call"
wait "$call" 2>/dev/null
kill "$holder"
scratch_folders "SIGKILL during a conversion" 2
# SIGKILL between setting out/good aside and renaming the new one in: the
# second mv of the call kills the call instead of moving (or, with
# RACE_INTO set, first makes a folder there, as a racing call would). This
# call sweeps the one killed before.
mkdir stop
# shellcheck disable=SC2016 # the wrapper's own expansions
printf '%s\n' '#!/bin/sh' 'if [ -e "$STOP_AT" ] && [ -n "${RACE_INTO-}" ]; then' \
  '  mkdir "$RACE_INTO" && : >"$RACE_INTO/racer.pos"' \
  'elif [ -e "$STOP_AT" ]; then kill -KILL "$PPID"; exit 1; fi' \
  ": >\"\$STOP_AT\"; exec $(command -v mv) \"\$@\"" >stop/mv
chmod +x stop/mv
(STOP_AT=$t/moved PATH=$t/stop:$PATH each -o out good.tlf) 2>/dev/null
[ ! -e out/good ] || fail "SIGKILL between the renames: out/good is still there"
scratch_folders "SIGKILL between the renames" 2
# Another host's scratch folders: one where nothing changed for two days is
# swept, a fresh one is left alone.
mkdir -p out/.tlf2pos-each.elsewhere.1.old/new/x out/.tlf2pos-each.elsewhere.1.new/new/x
touch -d '2 days ago' out/.tlf2pos-each.elsewhere.1.old/new/x \
  out/.tlf2pos-each.elsewhere.1.old/new out/.tlf2pos-each.elsewhere.1.old
# The next call puts out/good back and removes what the dead calls left.
each -o out bad.tlf 2>/dev/null
scratch_folders "the sweep" 2
[ -d out/.tlf2pos-each.elsewhere.1.new ] || fail "another host's fresh scratch folder was swept"
rm -r out/.tlf2pos-each.elsewhere.1.new
# The live call, given its input, ends whole.
cat good.tlf >waiting.tlf
kill "$live_holder"
wait "$live" || fail "the live call failed"

# HUP, INT, TERM while converting: nothing left, the earlier folder as it was.
set -m
for signal in HUP INT TERM; do
  rm -f sig.tlf
  cp good.tlf sig.tlf
  each -o out sig.tlf
  rm sig.tlf
  mkfifo sig.tlf
  "${each_cmd[@]}" -o out sig.tlf 2>"$signal.err" & call=$!
  hold sig.tlf
  kill -"$signal" "$call"
  wait "$call"
  status=$?
  kill "$holder"
  wait "$holder" 2>/dev/null
  [ "$status" = $((128 + $(kill -l "$signal"))) ] || fail "$signal: status $status"
  [ ! -s "$signal.err" ] || fail "$signal: printed $(cat "$signal.err")"
  scratch_folders "$signal" 0
done
set +m
[ "$(tree out)" = "$(expect_folders "$scratch/nothing" "$t/out" good=../good.tlf big=../big.tlf \
  waiting=../good.tlf sig=../good.tlf)" ] ||
  fail "the ends left out/ as:$(printf '\n  %s' "$(tree out)")"

# Another call's whole folder arriving between this call's setting aside
# and its rename stays, and this call does not fail.
each -o racing good.tlf
(RACE_INTO=$t/racing/good STOP_AT=$t/raced PATH=$t/stop:$PATH each -o racing good.tlf) 2>raced.err ||
  fail "a racing call's folder made the call fail: $(cat raced.err)"
[ ! -s raced.err ] || fail "a racing call's folder gave: $(cat raced.err)"
[ "$(ls -A racing racing/good)" = $'racing:\ngood\n\nracing/good:\nracer.pos' ] ||
  fail "a racing call's folder did not stay alone: $(ls -A racing racing/good)"

# Two calls converting the same input at once: both succeed, silently, and
# leave it whole.
for round in 1 2 3 4 5 6; do
  "${each_cmd[@]}" -o race big.tlf 2>a.err & a=$!
  "${each_cmd[@]}" -o race big.tlf 2>b.err & b=$!
  wait "$a" || fail "race $round: the first call failed: $(cat a.err)"
  wait "$b" || fail "race $round: the second call failed: $(cat b.err)"
  [ ! -s a.err ] || fail "race $round: $(cat a.err)"
  [ ! -s b.err ] || fail "race $round: $(cat b.err)"
done
[ "$(tree race)" = "$(expect_folders "$scratch/nothing" "$t/race" big=../big.tlf)" ] ||
  fail "the race left:$(printf '\n  %s' "$(tree race)")"

# Many inputs per call, many calls at once, as xargs gives them.
mkdir many
for i in $(seq 60); do cp good.tlf "many/-$i a.tlf"; done
cp bad.tlf many/-bad.tlf
(cd many && printf '%s\0' *.tlf | xargs -0 -n 50 -P 8 "${each_cmd[@]}" -o ../xargs) 2>xargs.err
status=$?
[ "$status" = 123 ] || fail "xargs: status $status"
[ "$(cat xargs.err)" = "-bad.tlf: header read error: Invalid argument" ] ||
  fail "xargs: $(cat xargs.err)"
[ "$(find xargs -mindepth 2 -type f | wc -l)" = 180 ] ||
  fail "xargs: $(find xargs -mindepth 2 -type f | wc -l) POS files, not 180"

if [ "$failures" != 0 ]; then
  echo "each_test: $failures failed" >&2
  exit 1
fi
echo "each_test: every call left whole folders, the status and the lines expected"
