#!/usr/bin/env bash
# The README's "Many machines" recipes, run as written against real engines
# on this machine, as root: a two-node Slurm cluster (Debian's slurmctld and
# two slurmd, n1 and n2, on loopback ports, auth/none), and an sshd on a
# loopback port serving the host names h1 and h2 through an ssh
# configuration of this test's own, for GNU parallel. Each daemon runs in
# the foreground with a configuration, keys, spool and logs in a scratch
# folder, and is stopped by its process id on every way out.
#
# The inputs: good TULO files of different lengths (names with blanks and
# a leading '-' among them), a missing file, a bad header, a short file,
# and an input whose folder is blocked by a file in the way. Checks, for
# the shared-folder and the copying parallel recipes and the Slurm array:
# every good input's folder holds exactly what tlf2pos writes when run by
# hand; each failure is named once, with its input; the engine's status
# (parallel's, the recipe's, the array tasks' states) shows the failures;
# once the inputs are fixed, the rerun (--resume-failed, or resubmitting
# the failed tasks) converts only what failed; no input is changed or
# removed; a repeated or requeued task leaves whole folders, without stale
# POS files or scratch folders; a folder that did not come back from a
# worker is reported, and converted by the rerun. At the end, nothing the
# test started runs or listens.
#
# usage: tests/cluster.sh PREFIX   (PREFIX/bin holds tlf2pos and tlf2pos-each)
# needs: sh scripts/install-deps.sh cluster; KEEP=1 keeps the scratch folder.
set -euo pipefail

fail() { echo "cluster: FAIL: $*" >&2; exit 1; }
say() { echo "=== cluster: $* ($((SECONDS - start)) s)"; }

start=$SECONDS
[ "$(id -u)" = 0 ] || fail "needs root (slurmd runs jobs as their user)"
if [ $# != 1 ] || [ ! -x "$1/bin/tlf2pos" ] || [ ! -x "$1/bin/tlf2pos-each" ]; then
  fail "usage: tests/cluster.sh PREFIX, with PREFIX/bin/tlf2pos and tlf2pos-each"
fi
# shellcheck disable=SC2034  # read by tests/cluster_daemons.sh, sourced below
prefix=$(cd "$1" && pwd)
source_dir=$(cd "$(dirname "$0")/.." && pwd)
for tool in slurmctld slurmd sbatch squeue scontrol /usr/sbin/sshd ssh ssh-keygen \
    parallel rsync ss; do
  command -v "$tool" >/dev/null || fail "$tool is missing: sh scripts/install-deps.sh cluster"
done

# The section's sh lines, one a line.
recipes=$(awk '$0 == "## Many machines" { inside = 1; next }
  inside && /^## / { exit }
  inside && /^```sh$/ { block = 1; next }
  block && /^```$/ { block = 0; next }
  block' "$source_dir/README.md")
# recipe REGEX: the one line of the section's sh blocks that matches REGEX.
recipe() {
  local line
  line=$(grep -E -- "$1" <<<"$recipes") || fail "README.md's Many machines has no sh line matching $1"
  [ "$(wc -l <<<"$line")" = 1 ] || fail "README.md's Many machines has several lines matching $1"
  printf '%s\n' "$line"
}
shared_recipe=$(recipe '^parallel .*--workdir \.')
copy_recipe=$(recipe '^sh tlf2pos-parallel-copy\.sh ')
submit_recipe=$(recipe '^n=.*sbatch ')
failed_recipe=$(recipe '^squeue ')
resubmit_recipe=$(recipe '^job=.*sbatch .*squeue')

scratch=$(mktemp -d)
# shellcheck disable=SC1091  # a file of the source tree, which the lint stage checks on its own
# shellcheck disable=SC1091  # a file of the source tree, which the lint stage checks on its own
. "$source_dir/tests/cluster_daemons.sh"
trap cluster_down EXIT
trap 'exit 130' INT TERM HUP
cluster_up
# shellcheck disable=SC2154  # cluster_up sets both ports
say "sshd on port $ssh_port, Slurm on port $ctld_port, both up"

# The inputs: 40 good TULO files, each of its own length, and the failing
# ones. The references are tlf2pos's own output, run by hand.
ref=$scratch/ref
mkdir -p "$ref/pristine"
good=()
for ((i = 1; i <= 40; i++)); do
  case $i in
    3) name="blank name $i" ;;
    7) name="-leading $i" ;;
    *) name=$(printf 'in%03d' "$i") ;;
  esac
  {
    echo "0 $((i % 5 + 1)) 4"
    for ((r = 0; r <= i % 5; r++)); do
      echo "$r $i $((i * 3)) -$r.5 1e$((i % 3)) $((r + i)) 0 $((i * 7 + r)) 1"
    done
  } >"$ref/pristine/$name.tlf"
  good+=("$name")
done
for name in "${good[@]}"; do
  mkdir "$ref/$name"
  status=0
  (cd "$ref/$name" && tlf2pos "$ref/pristine/$name.tlf" >/dev/null) || status=$?
  [ $status = 1 ] || fail "tlf2pos by hand failed on $name.tlf"
done
failing=(badheader blocked missing short)
# The failed inputs, once fixed, hold in002's lines, and blocked in001's.
for name in badheader missing short; do
  cp -r "$ref/in002" "$ref/$name"
done
cp -r "$ref/in001" "$ref/blocked"

# make_inputs FOLDER: the inputs in FOLDER. missing.tlf is a symbolic link to
# nothing, so that *.tlf names it; blocked.tlf is good, but a file stands
# where its folder would go (made by each engine's part).
make_inputs() {
  mkdir -p "$1"
  cp "$ref/pristine/"*.tlf "$1/"
  printf '5 2\n' >"$1/badheader.tlf"
  printf '5 3 5\n1 2 3 4 5 6 7 0\n' >"$1/short.tlf"
  cp "$ref/pristine/in001.tlf" "$1/blocked.tlf"
  ln -s nowhere "$1/missing.tlf"
  fingerprint "$1" >"$1.inputs"
}
# fingerprint FOLDER: each input's name and contents (a link: its target).
fingerprint() {
  (cd "$1" && find . -maxdepth 1 -name '*.tlf' -type f -exec sha256sum {} + &&
    find . -maxdepth 1 -name '*.tlf' -type l -printf '%p -> %l\n') | LC_ALL=C sort
}
inputs_intact() {
  [ "$(fingerprint "$1")" = "$(cat "$1.inputs")" ] || fail "an input in $1 was changed or removed"
}
# fix_inputs FOLDER OUT: the failing inputs made good, the file in the way
# in OUT removed.
fix_inputs() {
  local name
  for name in badheader missing short; do
    rm -f "$1/$name.tlf"
    cp "$ref/pristine/in002.tlf" "$1/$name.tlf"
  done
  rm "$2/blocked"
  fingerprint "$1" >"$1.inputs"
}
# converted OUT NAME...: each OUT/NAME holds exactly tlf2pos's files for it.
converted() {
  local out=$1 name
  shift
  for name; do
    diff -r "$ref/$name" "$out/$name" >/dev/null ||
      fail "$out/$name is missing or differs from tlf2pos's own output"
  done
}
# nothing_else OUT NAME...: OUT holds the NAME folders and nothing else.
nothing_else() {
  local out=$1
  shift
  local held
  held=$(find "$out" -mindepth 1 -maxdepth 1 -printf '%f\n' | LC_ALL=C sort)
  [ "$held" = "$(printf '%s\n' "$@" | LC_ALL=C sort)" ] ||
    fail "$out holds other than the converted folders: $(tr '\n' ' ' <<<"$held")"
}
# named_once LOG NAME...: LOG has one line for each NAME.tlf, the only lines.
named_once() {
  local log=$1 name lines
  shift
  for name; do
    lines=$(grep -c -F -- "$name.tlf: " "$log" || true)
    [ "$lines" = 1 ] || fail "$name.tlf is named $lines times, not once, in $log: $(cat "$log")"
  done
}
# identities OUT NAME...: each folder's inode number, to tell a folder that
# was left alone from one made again.
identities() {
  local out=$1 name
  shift
  for name; do
    stat -c %i -- "$out/$name"
  done
}
# run_line FOLDER LINE: the README's LINE in sh at FOLDER; its standard error
# goes to FOLDER.err.
run_line() {
  (cd "$1" && sh -c "$2") 2>"$1.err"
}

# --- GNU parallel, a folder all machines share -----------------------------
dir=$scratch/shared
make_inputs "$dir"
printf 'h1\nh2\n' >"$dir/hosts"
mkdir "$dir/converted"
: >"$dir/converted/blocked"
status=0
run_line "$dir" "$shared_recipe" || status=$?
say "shared-folder parallel: status $status"
[ $status = ${#failing[@]} ] || fail "parallel's status is $status, not the ${#failing[@]} failed inputs"
named_once "$dir.err" "${failing[@]}"
[ "$(wc -l <"$dir.err")" = ${#failing[@]} ] || fail "more lines than failures: $(cat "$dir.err")"
converted "$dir/converted" "${good[@]}"
nothing_else "$dir/converted" "${good[@]}" blocked
inputs_intact "$dir"
fix_inputs "$dir" "$dir/converted"
before=$(identities "$dir/converted" "${good[@]}")
# Where the file stood, a folder of an earlier, longer input: the rerun's
# conversion must replace it whole, leaving no stale POS file.
mkdir "$dir/converted/blocked"
: >"$dir/converted/blocked/99999999.pos"
status=0
run_line "$dir" "${shared_recipe/#parallel /parallel --resume-failed }" || status=$?
[ $status = 0 ] || fail "the shared-folder rerun failed: $(cat "$dir.err")"
[ ! -s "$dir.err" ] || fail "the shared-folder rerun was not silent: $(cat "$dir.err")"
converted "$dir/converted" "${good[@]}" "${failing[@]}"
[ "$(identities "$dir/converted" "${good[@]}")" = "$before" ] ||
  fail "the shared-folder rerun converted more than the failed inputs"
nothing_else "$dir/converted" "${good[@]}" "${failing[@]}"
inputs_intact "$dir"
say "shared-folder parallel: passed"

# --- GNU parallel, no shared folder ----------------------------------------
dir=$scratch/copy
make_inputs "$dir"
printf 'h1\nh2\n' >"$dir/hosts"
cp "$source_dir/examples/tlf2pos-parallel-copy.sh" "$dir/"
mkdir "$dir/converted"
: >"$dir/converted/blocked"
fingerprint "$dir" >"$dir.inputs"
status=0
run_line "$dir" "$copy_recipe" || status=$?
say "copying parallel: status $status"
[ $status = 1 ] || fail "the copying recipe's status is $status, not 1"
named_once "$dir.err" "${failing[@]}"
converted "$dir/converted" "${good[@]}"
nothing_else "$dir/converted" "${good[@]}" blocked
inputs_intact "$dir"
[ "$(awk -F '\t' 'NR > 1 && $7 != 0' "$dir/tlf2pos-parallel.joblog" | wc -l)" = ${#failing[@]} ] ||
  fail "the job log does not show the ${#failing[@]} failed inputs"
fix_inputs "$dir" "$dir/converted"
before=$(identities "$dir/converted" "${good[@]}")
rerun=${copy_recipe/tlf2pos-parallel-copy.sh /tlf2pos-parallel-copy.sh --resume-failed }
# A worker whose folders never come back: rsync fails, parallel still
# counts the jobs as done.
cat >"$scratch/lossy-ssh" <<EOF
#!/bin/sh
case "\$*" in *--sender*) exit 12 ;; esac
exec $PARALLEL_SSH "\$@"
EOF
chmod +x "$scratch/lossy-ssh"
status=0
PARALLEL_SSH=$scratch/lossy-ssh run_line "$dir" "$rerun" || status=$?
[ $status = 1 ] || fail "a folder that did not come back left status $status, not 1"
for name in "${failing[@]}"; do
  [ "$(grep -c -F -x -- "$name.tlf: its folder did not come back from the worker" "$dir.err")" = 1 ] ||
    fail "the lost folder of $name.tlf was not reported once: $(cat "$dir.err")"
done
nothing_else "$dir/converted" "${good[@]}"
run_line "$dir" "$rerun" || fail "the copying rerun failed: $(cat "$dir.err")"
converted "$dir/converted" "${good[@]}" "${failing[@]}"
nothing_else "$dir/converted" "${good[@]}" "${failing[@]}"
[ "$(identities "$dir/converted" "${good[@]}")" = "$before" ] ||
  fail "the copying rerun converted more than the failed inputs"
inputs_intact "$dir"
say "copying parallel: passed"

# --- Slurm -----------------------------------------------------------------
# 250 inputs: three tasks of 100; the failing inputs are in the first and
# the last, the second has none.
dir=$scratch/array
make_inputs "$dir"
padding=()
for ((i = 1; i <= 206; i++)); do
  name=$(printf 'pad%03d' "$i")
  source=${good[i % 40]}
  cp "$ref/pristine/$source.tlf" "$dir/$name.tlf"
  cp -r "$ref/$source" "$ref/$name"
  padding+=("$name")
done
rm "$dir/missing.tlf"
fingerprint "$dir" >"$dir.inputs"
{
  printf '%s.tlf\n' badheader "${good[@]:0:30}" missing "${good[@]:30}" "${padding[@]:0:58}"
  printf '%s.tlf\n' "${padding[@]:58:100}"
  printf '%s.tlf\n' "${padding[@]:158}" short blocked
} >"$dir/inputs.txt"
[ "$(wc -l <"$dir/inputs.txt")" = 250 ] || fail "the list does not have 250 lines"
cp "$source_dir/examples/tlf2pos-array.sbatch" "$dir/"
mkdir "$dir/converted"
: >"$dir/converted/blocked"
all_good=("${good[@]}" "${padding[@]}")
task1=("${padding[@]:58:100}")

# states JOB: each task's number and state, by number.
states() { squeue -h -t all -j "$1" -o '%K %T' | sort -n | paste -sd ' ' -; }

job=$(run_line "$dir" "$submit_recipe"$'\necho "$job"') || fail "submitting failed: $(cat "$dir.err")"
wait_job "$job"
say "Slurm job $job: $(states "$job")"
[ "$(states "$job")" = "0 FAILED 1 COMPLETED 2 FAILED" ] || fail "job $job's tasks ended $(states "$job")"
scontrol show job "${job}_2" | grep -q ' ExitCode=1:0' || fail "scontrol shows no exit code 1 for task 2"
job=$job run_line "$dir" "$failed_recipe" >"$dir.failed" || fail "listing the failed tasks failed"
[ "$(grep -v : "$dir.failed" | sort -n | paste -sd ' ' -)" = "0 2" ] ||
  fail "the failed tasks are not listed as 0 and 2: $(cat "$dir.failed")"
grep : "$dir.failed" >"$dir.lines"
named_once "$dir.lines" "${failing[@]}"
[ "$(wc -l <"$dir.lines")" = ${#failing[@]} ] || fail "the task logs have other lines: $(cat "$dir.lines")"
converted "$dir/converted" "${all_good[@]}"
nothing_else "$dir/converted" "${all_good[@]}" blocked
inputs_intact "$dir"

# A requeued task converts its chunk again: whole folders, nothing stale.
: >"$dir/converted/${task1[0]}/99999999.pos"
scontrol requeue "${job}_1"
# Slurm holds a requeued job back for two minutes; it may start now.
scontrol update JobId="${job}_1" StartTime=now
wait_job "$job"
[ "$(states "$job")" = "0 FAILED 1 COMPLETED 2 FAILED" ] ||
  fail "after the requeue, job $job's tasks ended $(states "$job")"
converted "$dir/converted" "${all_good[@]}"
nothing_else "$dir/converted" "${all_good[@]}" blocked

fix_inputs "$dir" "$dir/converted"
before=$(identities "$dir/converted" "${task1[@]}")
first=$job
job=$(job=$job run_line "$dir" "$resubmit_recipe"$'\necho "$job"') ||
  fail "resubmitting failed: $(cat "$dir.err")"
wait_job "$job"
say "Slurm job $job: $(states "$job")"
[ "$(states "$job")" = "0 COMPLETED 2 COMPLETED" ] || fail "the resubmitted job's tasks ended $(states "$job")"
converted "$dir/converted" "${all_good[@]}" "${failing[@]}"
nothing_else "$dir/converted" "${all_good[@]}" "${failing[@]}"
[ "$(identities "$dir/converted" "${task1[@]}")" = "$before" ] ||
  fail "resubmitting converted the task that had not failed"
inputs_intact "$dir"
[ -z "$(cat "$dir/tlf2pos-${job}_"*.log)" ] || fail "the resubmitted tasks logged lines"
say "Slurm (first job $first): passed"

# --- Nothing left ----------------------------------------------------------
trap - EXIT
cluster_down
cluster_gone
echo "cluster: the README's many-machines recipes work on Slurm and GNU parallel" \
  "($((SECONDS - start)) s)"
