#!/usr/bin/env bash
# The benchmark suite: builds tlf2pos and the benchmark programs in a
# Release build of its own (TLF2POS_BENCH on), generates the workloads,
# and runs tlf2pos and its references by turns (A B A B ...) in a scratch
# folder, standard output to /dev/null, every run starting in an empty
# folder. Prints Markdown tables of medians. CPU time is user + system: on a
# virtual machine their split is noisy, their sum is not.
#
#   bench/run.sh [runs]        runs of each program per workload, default 5
#
# Workloads: files (creating POS files), parse (scanning numbers), tiny
# (start-up), and formats: the same record lines written the seven ways
# common programs print numbers, each run against the floor and against
# bench/from_chars.cpp, the plain std::from_chars program a user could write.
#
# Environment:
#   BUILD      build folder (default: build-bench in the repository)
#   SCRATCH    where the scratch folder is made (default: /dev/shm if there
#              is one, else $TMPDIR or /tmp); the floor is measured there
#              too, so the ratios hold for that file system. Memory-backed
#              file systems give steadier figures on a shared machine than
#              a journalled disk does.
#   TINY_RUNS  runs of each program for the start-up workload (default 200)
#   WORKLOADS  which workloads to run (default: "files parse tiny formats");
#              single formats may be named too (fixed6 integers numpy repr
#              g e6wide fortran)
#   BEFORE     another tlf2pos program (say, a build of the commit before a
#              change) to run by turns with this one on parse and the
#              formats: A B A B in the same rounds, so that the load of a
#              shared machine falls on both alike; a table compares them
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-5}
tiny_runs=${TINY_RUNS:-200}
build=${BUILD:-$root/build-bench}
before=${BEFORE:-}
if [[ -n $before && ! -x $before ]]; then
  echo "BEFORE=$before is no program" >&2
  exit 2
fi
workloads=" ${WORKLOADS:-files parse tiny formats} "
all_formats="fixed6 integers numpy repr g e6wide fortran"
formats=""
for f in $all_formats; do
  [[ $workloads == *" formats "* || $workloads == *" $f "* ]] && formats="$formats $f"
done
formats="$formats "

if ! [[ $runs =~ ^[1-9][0-9]*$ && $tiny_runs =~ ^[1-9][0-9]*$ ]]; then
  echo "usage: bench/run.sh [runs]   (runs and TINY_RUNS: positive numbers)" >&2
  exit 2
fi

echo "building $build (Release)..." >&2
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
  -DTLF2POS_BENCH=ON >/dev/null
cmake --build "$build" -j2 --target tlf2pos bench_gen_tulo bench_floor bench_hello \
  bench_measure bench_from_chars >/dev/null
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
for w in files parse $formats; do
  [[ $workloads == *" $w "* || $formats == *" $w "* ]] || continue
  "$bench/bench_gen_tulo" "$w" "$scratch/in/$w.bytes" >"$scratch/in/$w.tlf"
done
"$bench/bench_gen_tulo" tiny >"$scratch/in/tiny.tlf"

# One run in a new empty folder: appends "workload program wall user sys rss"
# to the results. The folder is removed and its file system synced before
# the next run, so that no run pays for another's files.
run_once() {
  local workload=$1 program=$2 want_status=$3
  shift 3
  local dir=$scratch/run
  mkdir "$dir"
  local line
  line=$("$bench/bench_measure" "$dir" "$@")
  local m
  read -r -a m <<<"$line"
  if [[ ${m[4]} != "$want_status" ]]; then
    echo "$program on $workload ended with status ${m[4]}, not $want_status" >&2
    exit 1
  fi
  echo "$workload $program ${m[0]} ${m[1]} ${m[2]} ${m[3]}" >>"$results"
  rm -rf "$dir"
  sync -f "$scratch"
}

# The references once more, outside the timing, to show that they write
# exactly what tlf2pos writes: the same names, bytes and order.
check_same_output() {
  local workload=$1 a=$scratch/check-a b=$scratch/check-b c=$scratch/check-c
  local status=0
  mkdir "$a" "$b"
  (cd "$a" && exec "$tool" "$scratch/in/$workload.tlf" >"$scratch/out-a") || status=$?
  (cd "$b" && exec "$bench/bench_floor" "$workload" "$scratch/in/$workload.tlf" \
    "$scratch/in/$workload.bytes" >"$scratch/out-b")
  if [[ $status != 1 ]] || ! cmp -s "$scratch/out-a" "$scratch/out-b" ||
    ! diff -r -q "$a" "$b" >/dev/null; then
    echo "the floor does not write what tlf2pos writes for $workload" >&2
    exit 1
  fi
  if [[ $formats == *" $workload "* ]]; then
    mkdir "$c"
    (cd "$c" && exec "$bench/bench_from_chars" "$scratch/in/$workload.tlf" >"$scratch/out-c")
    if ! cmp -s "$scratch/out-a" "$scratch/out-c" || ! diff -r -q "$a" "$c" >/dev/null; then
      echo "the from_chars program does not write what tlf2pos writes for $workload" >&2
      exit 1
    fi
    rm -rf "$c" "$scratch/out-c"
  fi
  rm -rf "$a" "$b" "$scratch/out-a" "$scratch/out-b"
  sync -f "$scratch"
}

# The CPU the figures hold for. A virtual machine's model name may be as
# bare as "AMD EPYC", so the family and model numbers, the clock and the
# vector extensions are named too: the same program runs at other speeds
# on other kinds of CPU.
cpu_description() {
  awk -F': *' '
    $1 ~ /^model name/ && model == "" { model = $2 }
    $1 ~ /^vendor_id/ && vendor == "" { vendor = $2 }
    $1 ~ /^cpu family/ && family == "" { family = $2 }
    $1 ~ /^model[ \t]*$/ && number == "" { number = $2 }
    $1 ~ /^stepping/ && stepping == "" { stepping = $2 }
    $1 ~ /^cpu MHz/ && mhz == "" { mhz = $2 }
    $1 ~ /^(flags|Features)/ && flags == "" { flags = " " $2 " " }
    $1 ~ /^processor/ { cpus++ }
    END {
      split("sse2 ssse3 sse4_2 avx avx2 avx512f avx512bw avx512vl avx512vbmi avx512_vbmi2 " \
            "avx512_fp16 avx512_bf16 amx_tile amx_bf16 amx_int8 asimd sve sve2", known, " ")
      vector = ""
      for (i = 1; i in known; ++i)
        if (index(flags, " " known[i] " "))
          vector = vector " " known[i]
      printf "CPU: %s (%s, family %s, model %s, stepping %s), %s cores, %s MHz;" \
        " vector extensions:%s%s\n", model == "" ? "unknown" : model,
        vendor == "" ? "vendor unknown" : vendor, family == "" ? "-" : family,
        number == "" ? "-" : number, stepping == "" ? "-" : stepping, cpus,
        mhz == "" ? "clock unknown" : mhz, vector == "" ? " none known" : vector,
        index(flags, " hypervisor ") ? "; a virtual machine" : ""
    }' /proc/cpuinfo 2>/dev/null || echo "CPU: unknown (no /proc/cpuinfo)"
}

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
for w in files parse; do
  [[ $workloads == *" $w "* ]] || continue
  echo "$w: checking the floor, then $runs runs of each..." >&2
  check_same_output "$w"
  for ((r = 0; r < runs; ++r)); do
    run_once "$w" tlf2pos 1 "$tool" "$scratch/in/$w.tlf"
    run_once "$w" floor 0 "$bench/bench_floor" "$w" "$scratch/in/$w.tlf" "$scratch/in/$w.bytes"
    [[ -z $before || $w != parse ]] || run_once "$w" before 1 "$before" "$scratch/in/$w.tlf"
  done
done

if [[ -n ${formats// /} ]]; then
  for w in $formats; do
    echo "$w: checking the floor and the from_chars program..." >&2
    check_same_output "$w"
  done
  echo "formats: $runs rounds of each format, tlf2pos, floor and from_chars by turns..." >&2
  for ((r = 0; r < runs; ++r)); do
    for w in $formats; do
      run_once "$w" tlf2pos 1 "$tool" "$scratch/in/$w.tlf"
      run_once "$w" floor 0 "$bench/bench_floor" "$w" "$scratch/in/$w.tlf" "$scratch/in/$w.bytes"
      run_once "$w" from_chars 0 "$bench/bench_from_chars" "$scratch/in/$w.tlf"
      [[ -z $before ]] || run_once "$w" before 1 "$before" "$scratch/in/$w.tlf"
    done
  done
fi

[[ $workloads == *" tiny "* ]] || tiny_runs=0
((tiny_runs == 0)) || echo "tiny: $tiny_runs runs of each..." >&2
mkdir "$scratch/tiny"
cp "$scratch/in/tiny.tlf" "$scratch/tiny/tulo005.tlf"
for ((r = 0; r < tiny_runs; ++r)); do
  for program in tlf2pos hello; do
    if [[ $program == tlf2pos ]]; then
      line=$("$bench/bench_measure" "$scratch/tiny" "$tool" tulo005.tlf)
    else
      line=$("$bench/bench_measure" "$scratch/tiny" "$bench/bench_hello")
    fi
    read -r -a m <<<"$line"
    echo "tiny $program ${m[0]} ${m[1]} ${m[2]} ${m[3]}" >>"$results"
  done
done
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

size_of() { stat -c %s "$scratch/in/$1.tlf" 2>/dev/null || echo 0; }
# The numbers on the record lines, every one scanned.
values_of() { awk 'NR > 1 { n += NF } END { print n + 0 }' "$scratch/in/$1.tlf" 2>/dev/null || echo 0; }
sizes=""
values=""
for w in files parse tiny $formats; do
  sizes="$sizes $w=$(size_of "$w")"
  values="$values $w=$(values_of "$w")"
done

# Medians per workload and program; the ratio is the median of the ratios
# of the paired runs (run i of tlf2pos against run i of its floor). For the
# formats, each program's CPU beyond the floor's is taken run by run (run i
# of each program against run i of the floor).
awk -v sizes="$sizes" -v values="$values" -v formats="$formats" -v before="$before" '
function median(list, n,    i, j, t, a) {
  split(list, a, " ")
  for (i = 2; i <= n; ++i)
    for (j = i; j > 1 && a[j - 1] > a[j]; --j) {
      t = a[j]; a[j] = a[j - 1]; a[j - 1] = t
    }
  return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
}
function ns_per_value(values, seconds) {
  return values > 0 && seconds > 0 ? sprintf("%.1f", seconds * 1e9 / values) : "-"
}
function mb_per_s(bytes, seconds) {
  return seconds > 0 ? sprintf("%.0f", bytes / 1e6 / seconds) : "-"
}
{
  key = $1 " " $2
  n[key]++
  wall[key] = wall[key] " " $3
  cpu[key] = cpu[key] " " ($4 + $5)
  if ($6 > rss[key]) rss[key] = $6
  walls[key, n[key]] = $3
  cpus[key, n[key]] = $4 + $5
}
END {
  split(sizes, pairs, " ")
  for (i in pairs) {
    split(pairs[i], kv, "=")
    size[kv[1]] = kv[2]
  }
  split(values, pairs, " ")
  for (i in pairs) {
    split(pairs[i], kv, "=")
    count[kv[1]] = kv[2]
  }
  floor_of["files"] = "floor"; floor_of["parse"] = "floor"; floor_of["tiny"] = "hello"
  split("files parse tiny", order, " ")
  for (o = 1; o <= 3; ++o) {
    w = order[o]
    a = w " tlf2pos"; b = w " " floor_of[w]
    if (!(a in n))
      continue
    if (!header_done) {
      print "| workload | program | runs | median wall (s) | median CPU (s) | wall / floor | MB per CPU-s | peak RSS (MiB) |"
      print "|---|---|---|---|---|---|---|---|"
      header_done = 1
    }
    ratios = ""
    for (i = 1; i <= n[a]; ++i)
      ratios = ratios " " walls[a, i] / walls[b, i]
    ca = median(cpu[a], n[a])
    printf "| %s | tlf2pos | %d | %.4f | %.4f | %.3f | %s | %.2f |\n", w, n[a],
      median(wall[a], n[a]), ca, median(ratios, n[a]),
      w == "tiny" ? "-" : mb_per_s(size[w], ca), rss[a] / 1024
    cb = median(cpu[b], n[b])
    printf "| %s | %s | %d | %.4f | %.4f | 1 | - | %.2f |\n", w, floor_of[w], n[b],
      median(wall[b], n[b]), cb, rss[b] / 1024
    if (w == "parse")
      net = mb_per_s(size[w], ca - cb)
  }
  if (net != "") {
    print ""
    print "Scan throughput on parse net of the CPU its floor spends on the same" \
      " files and reads: " net " MB per CPU second."
  }

  if (before != "") {
    print ""
    print "Before and after, paired by rounds: CPU beyond the floor'"'"'s (s), medians, and the" \
      " median of the rounds'"'"' ratios (before / after: above 1 is faster now)."
    print ""
    print "| workload | before CPU beyond the floor | after CPU beyond the floor | after faster by | before wall / floor | after wall / floor |"
    print "|---|---|---|---|---|---|"
    nw = split("parse " formats, ws, " ")
    for (k = 1; k <= nw; ++k) {
      w = ws[k]
      t = w " tlf2pos"; f = w " floor"; b = w " before"
      if (!(b in n))
        continue
      nt = ""; nb = ""; ratios = ""; wt = ""; wb = ""
      for (i = 1; i <= n[b]; ++i) {
        dt = cpus[t, i] - cpus[f, i]
        db = cpus[b, i] - cpus[f, i]
        nt = nt " " dt; nb = nb " " db
        ratios = ratios " " (dt > 0 ? db / dt : 1e9)
        wt = wt " " walls[t, i] / walls[f, i]
        wb = wb " " walls[b, i] / walls[f, i]
      }
      r = median(ratios, n[b])
      printf "| %s | %.4f | %.4f | %s | %.3f | %.3f |\n", w, median(nb, n[b]), median(nt, n[b]),
        (r >= 1e9 ? "-" : sprintf("%.2fx", r)), median(wb, n[b]), median(wt, n[b])
    }
  }

  title["fixed6"] = "`%.6f`"; example["fixed6"] = "`-123.456789`"
  title["integers"] = "integers of up to six digits"; example["integers"] = "`-123456`"
  title["numpy"] = "numpy `savetxt` default, `%.18e`"
  example["numpy"] = "`-1.234567890123456789e+02`"
  title["repr"] = "Python `repr` (shortest round trip, up to 17 digits)"
  example["repr"] = "`-123.45678901234567`"
  title["g"] = "C `%g` across magnitudes"; example["g"] = "`1.23457e-07`"
  title["e6wide"] = "`%.6e` with exponents far beyond 22"
  example["e6wide"] = "`5.123456e+187`"
  title["fortran"] = "Fortran list output, `D` exponent"
  example["fortran"] = "`-0.12345678901234D+03`"
  nf = split(formats, fs, " ")
  if (nf == 0)
    exit
  print ""
  print "Formats: MB of input per CPU second beyond the floor'"'"'s CPU (CPU = user + sys)," \
    " medians of the paired runs."
  print ""
  print "| values written as | example | tlf2pos, MB per CPU-s | from_chars program, MB per CPU-s | tlf2pos faster by | tlf2pos, ns per value | from_chars program, ns per value | tlf2pos CPU (s) | floor CPU (s) | from_chars CPU (s) | peak RSS (MiB) |"
  print "|---|---|---|---|---|---|---|---|---|---|---|"
  for (k = 1; k <= nf; ++k) {
    w = fs[k]
    t = w " tlf2pos"; f = w " floor"; c = w " from_chars"
    if (!(t in n))
      continue
    nt = ""; nc = ""; ratios = ""
    for (i = 1; i <= n[t]; ++i) {
      dt = cpus[t, i] - cpus[f, i]
      dc = cpus[c, i] - cpus[f, i]
      nt = nt " " dt
      nc = nc " " dc
      ratios = ratios " " (dt > 0 ? dc / dt : 1e9)
    }
    r = median(ratios, n[t])
    printf "| %s | %s | %s | %s | %s | %s | %s | %.4f | %.4f | %.4f | %.2f |\n", title[w],
      example[w], mb_per_s(size[w], median(nt, n[t])), mb_per_s(size[w], median(nc, n[t])),
      (r >= 1e9 ? "-" : sprintf("%.2fx", r)), ns_per_value(count[w], median(nt, n[t])),
      ns_per_value(count[w], median(nc, n[t])), median(cpu[t], n[t]), median(cpu[f], n[t]),
      median(cpu[c], n[t]), rss[t] / 1024
  }
  print ""
  print "ns per value: CPU beyond the floor'"'"'s divided by the numbers on the record lines;" \
    " bench_number_scan'"'"'s ns per value count the same work without the files."

}' "$results"
echo
cpu_description
echo "Input bytes:$sizes; scratch on $(df -T "$scratch" | awk 'NR == 2 { print $2 }');" \
  "load average $load_before before, $load_after after."
