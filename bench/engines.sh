#!/usr/bin/env bash
# What a job engine costs per input, for choosing an engine and a chunk size:
# COUNT small TULO files (the example, three POS files each) converted by
# tlf2pos-each under xargs -P, under GNU parallel over ssh (the README's
# shared-folder form, one input per job and 100 per job, on the two host
# names of one sshd on loopback), and as a Slurm job array on two nodes of
# this machine (examples/tlf2pos-array.sbatch, chunks of 1, 10 and 100
# inputs per task). Each is run once, wall time from start to the last
# folder, and checked: every input must have its folder. The daemons are
# those of the cluster test (tests/cluster_daemons.sh). Prints a table and
# the load average before and after; the figures are only as quiet as the
# machine.
#
# usage: bench/engines.sh PREFIX [COUNT]
#   PREFIX/bin holds tlf2pos and tlf2pos-each (cmake --install); COUNT is
#   the number of inputs, 2000 by default. ENGINES names the runs (default
#   "xargs parallel1 parallel100 slurm1 slurm10 slurm100": parallelN is N
#   inputs per job, slurmN N per task). Runs as root; needs
#   sh scripts/install-deps.sh cluster.
set -euo pipefail

fail() { echo "engines: FAIL: $*" >&2; exit 1; }

[ "$(id -u)" = 0 ] || fail "needs root (slurmd runs jobs as their user)"
if [ $# -lt 1 ] || [ ! -x "$1/bin/tlf2pos-each" ]; then
  fail "usage: bench/engines.sh PREFIX [COUNT], with PREFIX/bin/tlf2pos-each"
fi
# shellcheck disable=SC2034  # read by tests/cluster_daemons.sh, sourced below
prefix=$(cd "$1" && pwd)
count=${2:-2000}
source_dir=$(cd "$(dirname "$0")/.." && pwd)
scratch=$(mktemp -d)
# shellcheck disable=SC1091  # a file of the source tree, which the lint stage checks on its own
# shellcheck disable=SC1091  # a file of the source tree, which the lint stage checks on its own
. "$source_dir/tests/cluster_daemons.sh"
trap cluster_down EXIT
trap 'exit 130' INT TERM HUP
cluster_up

work=$scratch/work
mkdir -p "$work"
for ((i = 0; i < count; i++)); do
  cp "$source_dir/examples/tulo005.tlf" "$work/$(printf 'f%05d' "$i").tlf"
done
(cd "$work" && printf '%s\n' ./*.tlf) >"$work/inputs.txt"
cp "$source_dir/examples/tlf2pos-array.sbatch" "$work/"
printf 'h1\nh2\n' >"$work/hosts"
load_before=$(cut -d' ' -f1-3 /proc/loadavg)

results=()
# measure NAME COMMAND: COMMAND in bash at the inputs' folder, converting into
# converted/; its wall time per input.
measure() {
  local began ended made
  rm -rf "$work/converted"
  began=$(date +%s.%N)
  (cd "$work" && bash -c "$2") >/dev/null
  ended=$(date +%s.%N)
  made=$(find "$work/converted" -mindepth 1 -maxdepth 1 -type d | wc -l)
  [ "$made" = "$count" ] || fail "$1 made $made folders, not $count"
  results+=("$(awk -v name="$1" -v t0="$began" -v t1="$ended" -v n="$count" \
    'BEGIN { printf "| %s | %.1f | %.2f |", name, t1 - t0, (t1 - t0) * 1000 / n }')")
  echo "engines: ${results[-1]}"
}
# slurm CHUNK: the array with CHUNK inputs per task, until its last task ends.
slurm() {
  local job
  job=$(CHUNK=$1 sbatch --parsable --array=0-$(((count - 1) / $1)) -o /dev/null \
    tlf2pos-array.sbatch inputs.txt converted)
  wait_job "$job"
  [ -z "$(squeue -h -t failed -j "$job")" ] || fail "a task of job $job failed"
}
export -f slurm wait_job fail
export count

for engine in ${ENGINES:-xargs parallel1 parallel100 slurm1 slurm10 slurm100}; do
  case $engine in
    xargs)
      measure "one machine: xargs -0 -n 100 -P 2 tlf2pos-each" \
        "printf '%s\0' *.tlf | xargs -0 -n 100 -P 2 tlf2pos-each -o converted --" ;;
    parallel*)
      measure "parallel over ssh, 2 hosts, ${engine#parallel} per job" \
        "parallel -n ${engine#parallel} --sshloginfile hosts --workdir . tlf2pos-each -o converted -- ::: *.tlf" ;;
    slurm*)
      measure "Slurm array, 2 nodes, ${engine#slurm} per task" "slurm ${engine#slurm}" ;;
    *) fail "no engine $engine" ;;
  esac
done

echo
echo "$count inputs on $(nproc) CPUs ($(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ //'))," \
  "load average before $load_before, after $(cut -d' ' -f1-3 /proc/loadavg):"
echo "| engine | wall (s) | wall per input (ms) |"
echo "|---|---|---|"
printf '%s\n' "${results[@]}"
