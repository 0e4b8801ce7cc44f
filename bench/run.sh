#!/usr/bin/env bash
# The benchmark suite: builds tlf2pos in Release, generates the workloads,
# and runs tlf2pos and its floor by turns (A B A B ...) in a scratch folder,
# standard output to /dev/null, every run starting in an empty folder.
# Prints a Markdown table of medians.
#
#   bench/run.sh [runs]        runs of each program per workload, default 5
#
# Environment:
#   BUILD      build folder (default: build-bench in the repository)
#   SCRATCH    where the scratch folder is made (default: /dev/shm if there
#              is one, else $TMPDIR or /tmp); the floor is measured there
#              too, so the ratios hold for that file system. Memory-backed
#              file systems give steadier figures on a shared machine than
#              a journalled disk does.
#   TINY_RUNS  runs of each program for the start-up workload (default 200)
#   WORKLOADS  which workloads to run (default: "files parse tiny")
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-5}
tiny_runs=${TINY_RUNS:-200}
build=${BUILD:-$root/build-bench}
workloads=" ${WORKLOADS:-files parse tiny} "

if ! [[ $runs =~ ^[1-9][0-9]*$ && $tiny_runs =~ ^[1-9][0-9]*$ ]]; then
  echo "usage: bench/run.sh [runs]   (runs and TINY_RUNS: positive numbers)" >&2
  exit 2
fi

echo "building $build (Release)..." >&2
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
  -DTLF2POS_BENCH=ON >/dev/null
cmake --build "$build" -j2 --target tlf2pos gen_tulo floor hello measure >/dev/null
tool=$build/tlf2pos
bench=$build/bench

default_scratch=${TMPDIR:-/tmp}
[[ -d /dev/shm && -w /dev/shm ]] && default_scratch=/dev/shm
scratch=$(mktemp -d "${SCRATCH:-$default_scratch}/tlf2pos-bench.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/in"
results=$scratch/results
: >"$results"

echo "generating the workloads in $scratch..." >&2
for w in files parse; do
  "$bench/gen_tulo" "$w" "$scratch/in/$w.bytes" >"$scratch/in/$w.tlf"
done
"$bench/gen_tulo" tiny >"$scratch/in/tiny.tlf"

# One run in a new empty folder: appends "workload program wall user sys rss"
# to the results. The folder is removed and its file system synced before
# the next run, so that no run pays for another's files.
run_once() {
  local workload=$1 program=$2 want_status=$3
  shift 3
  local dir=$scratch/run
  mkdir "$dir"
  local line
  line=$("$bench/measure" "$dir" "$@")
  set -- $line
  if [[ $5 != "$want_status" ]]; then
    echo "$program on $workload ended with status $5, not $want_status" >&2
    exit 1
  fi
  echo "$workload $program $1 $2 $3 $4" >>"$results"
  rm -rf "$dir"
  sync -f "$scratch"
}

# Both programs once more, outside the timing, to show that the floor
# writes exactly what tlf2pos writes: the same names, bytes and order.
check_same_output() {
  local workload=$1 a=$scratch/check-a b=$scratch/check-b
  local status=0
  mkdir "$a" "$b"
  (cd "$a" && exec "$tool" "$scratch/in/$workload.tlf" >"$scratch/out-a") || status=$?
  (cd "$b" && exec "$bench/floor" "$workload" "$scratch/in/$workload.tlf" \
    "$scratch/in/$workload.bytes" >"$scratch/out-b")
  if [[ $status != 1 ]] || ! cmp -s "$scratch/out-a" "$scratch/out-b" ||
    ! diff -r -q "$a" "$b" >/dev/null; then
    echo "the floor does not write what tlf2pos writes for $workload" >&2
    exit 1
  fi
  rm -rf "$a" "$b" "$scratch/out-a" "$scratch/out-b"
  sync -f "$scratch"
}

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
for w in files parse; do
  [[ $workloads == *" $w "* ]] || continue
  echo "$w: checking the floor, then $runs runs of each..." >&2
  check_same_output "$w"
  for ((r = 0; r < runs; ++r)); do
    run_once "$w" tlf2pos 1 "$tool" "$scratch/in/$w.tlf"
    run_once "$w" floor 0 "$bench/floor" "$w" "$scratch/in/$w.tlf" "$scratch/in/$w.bytes"
  done
done

[[ $workloads == *" tiny "* ]] || tiny_runs=0
((tiny_runs == 0)) || echo "tiny: $tiny_runs runs of each..." >&2
mkdir "$scratch/tiny"
cp "$scratch/in/tiny.tlf" "$scratch/tiny/tulo005.tlf"
for ((r = 0; r < tiny_runs; ++r)); do
  for program in tlf2pos hello; do
    if [[ $program == tlf2pos ]]; then
      set -- $("$bench/measure" "$scratch/tiny" "$tool" tulo005.tlf)
    else
      set -- $("$bench/measure" "$scratch/tiny" "$bench/hello")
    fi
    echo "tiny $program $1 $2 $3 $4" >>"$results"
  done
done
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

size_of() { stat -c %s "$scratch/in/$1.tlf"; }

# Medians per workload and program; the ratio is the median of the ratios
# of the paired runs (run i of tlf2pos against run i of its floor).
awk -v files_size="$(size_of files)" -v parse_size="$(size_of parse)" \
  -v tiny_size="$(size_of tiny)" -v runs="$runs" -v tiny_runs="$tiny_runs" '
function median(list, n,    i, j, t, a) {
  split(list, a, " ")
  for (i = 2; i <= n; ++i)
    for (j = i; j > 1 && a[j - 1] > a[j]; --j) {
      t = a[j]; a[j] = a[j - 1]; a[j - 1] = t
    }
  return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
}
{
  key = $1 " " $2
  n[key]++
  wall[key] = wall[key] " " $3
  user[key] = user[key] " " $4
  if ($6 > rss[key]) rss[key] = $6
  walls[key, n[key]] = $3
}
END {
  size["files"] = files_size; size["parse"] = parse_size; size["tiny"] = tiny_size
  floor_of["files"] = "floor"; floor_of["parse"] = "floor"; floor_of["tiny"] = "hello"
  print "| workload | program | runs | median wall (s) | median user CPU (s) | wall / floor | MB per user-CPU s | peak RSS (MiB) |"
  print "|---|---|---|---|---|---|---|---|"
  split("files parse tiny", order, " ")
  for (o = 1; o <= 3; ++o) {
    w = order[o]
    a = w " tlf2pos"; b = w " " floor_of[w]
    if (!(a in n))
      continue
    ratios = ""
    for (i = 1; i <= n[a]; ++i)
      ratios = ratios " " walls[a, i] / walls[b, i]
    ua = median(user[a], n[a])
    printf "| %s | tlf2pos | %d | %.4f | %.4f | %.3f | %s | %.2f |\n", w, n[a],
      median(wall[a], n[a]), ua, median(ratios, n[a]),
      (w == "tiny" || ua == 0) ? "-" : sprintf("%.0f", size[w] / 1e6 / ua), rss[a] / 1024
    ub = median(user[b], n[b])
    printf "| %s | %s | %d | %.4f | %.4f | 1 | - | %.2f |\n", w, floor_of[w], n[b],
      median(wall[b], n[b]), ub, rss[b] / 1024
    if (w == "parse")
      net = ua > ub ? sprintf("%.0f", size[w] / 1e6 / (ua - ub)) : "-"
  }
  if (net != "") {
    print ""
    print "Scan throughput on parse net of the user CPU its floor spends on the same" \
      " files and reads: " net " MB per user-CPU second."
  }
}' "$results"
echo
echo "Input: files $(size_of files) bytes, parse $(size_of parse) bytes, tiny $(size_of tiny) bytes;" \
  "scratch on $(df -T "$scratch" | awk 'NR == 2 { print $2 }');" \
  "load average $load_before before, $load_after after."
