#!/usr/bin/env bash
# Instructions per value, counted by callgrind: tlf2pos, the from_chars
# program and the floor over each format's whole workload. Unlike times,
# these counts are the same on every run and every machine of one
# architecture, so a change to the scanner can be judged on a busy or
# foreign machine. Valgrind knows no AVX-512: it counts the code a CPU
# without it runs.
#
#   bench/instructions.sh [format...]   default: all seven formats and parse
#
# Environment:
#   BUILD   build folder (default: build-bench, configured and built as
#           bench/run.sh does)
#   BEFORE  another tlf2pos program, counted beside this one
#   SCRATCH where the workloads are written (default: $TMPDIR or /tmp)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD:-$root/build-bench}
before=${BEFORE:-}
formats=${*:-fixed6 integers numpy repr g e6wide fortran parse}
if ! command -v valgrind >/dev/null; then
  echo "bench/instructions.sh needs valgrind (sh scripts/install-deps.sh bench)" >&2
  exit 2
fi
if [[ -n $before && ! -x $before ]]; then
  echo "BEFORE=$before is no program" >&2
  exit 2
fi

echo "building $build (Release)..." >&2
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
  -DTLF2POS_BENCH=ON >/dev/null
cmake --build "$build" -j2 --target tlf2pos bench_gen_tulo bench_floor bench_from_chars >/dev/null
bench=$build/bench

scratch=$(mktemp -d "${SCRATCH:-${TMPDIR:-/tmp}}/tlf2pos-instructions.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

# Prints "instructions conditional-branches mispredicted" of one run of the
# command, in an empty folder of its own.
count() {
  local dir=$scratch/run out=$scratch/callgrind.out
  mkdir "$dir"
  (cd "$dir" && valgrind -q --tool=callgrind --branch-sim=yes --callgrind-out-file="$out" \
    "$@" >/dev/null) || true
  # The totals line lists the events in the order of the events line.
  awk '/^events:/ { for (i = 2; i <= NF; ++i) at[$i] = i - 1 }
       /^(summary|totals):/ { print $(at["Ir"] + 1), $(at["Bc"] + 1), $(at["Bcm"] + 1); exit }' "$out"
  rm -rf "$dir" "$out"
}

echo "| workload | values | tlf2pos: instructions per value | from_chars program | fewer by | floor | tlf2pos: conditional branches (M) | from_chars: conditional branches (M) | tlf2pos: mispredicted (M) | from_chars: mispredicted (M) |${before:+ before: instructions per value | after fewer by |}"
echo "|---|---|---|---|---|---|---|---|---|---|${before:+---|---|}"
for w in $formats; do
  echo "$w..." >&2
  tlf=$scratch/$w.tlf
  "$bench/bench_gen_tulo" "$w" "$scratch/$w.bytes" >"$tlf"
  values=$(awk 'NR > 1 { n += NF } END { print n + 0 }' "$tlf")
  read -r ti tb tm <<<"$(count "$build/tlf2pos" "$tlf")"
  read -r ci cb cm <<<"$(count "$bench/bench_from_chars" "$tlf")"
  read -r li _ _ <<<"$(count "$bench/bench_floor" "$w" "$tlf" "$scratch/$w.bytes")"
  bi=""
  [[ -z $before ]] || read -r bi _ _ <<<"$(count "$before" "$tlf")"
  awk -v w="$w" -v v="$values" -v ti="$ti" -v ci="$ci" -v li="$li" -v tb="$tb" -v cb="$cb" \
    -v tm="$tm" -v cm="$cm" -v bi="$bi" 'BEGIN {
      printf "| %s | %d | %.1f | %.1f | %.2fx | %.1f | %.1f | %.1f | %.2f | %.2f |", w, v, ti / v,
        ci / v, ci / ti, li / v, tb / 1e6, cb / 1e6, tm / 1e6, cm / 1e6
      if (bi != "")
        printf " %.1f | %.2fx |", bi / v, bi / ti
      printf "\n"
    }'
done
echo
echo "Counted by $(valgrind --version) on $(uname -m); values are the numbers on the record lines."
