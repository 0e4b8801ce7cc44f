#!/usr/bin/env bash
# Runs each fuzz target for SECONDS on its seed corpus, one after the other.
#
#   fuzz/run.sh SECONDS [BUILD_DIR] [TARGET...]
#
# BUILD_DIR is a clang build with the fuzz targets (default: build-fuzz in
# the source tree), made for instance with
#   CC=clang CXX=clang++ cmake -S . -B build-fuzz -DTLF2POS_FUZZ=ON \
#     -DBUILD_TESTING=OFF
#   cmake --build build-fuzz
# Extra libFuzzer flags can be given in FUZZ_FLAGS. New inputs the fuzzer
# finds go to BUILD_DIR/fuzz-work/<target>/corpus, never into fuzz/corpus; an
# input that crashes a target is kept as BUILD_DIR/fuzz-work/<target>/crash-*,
# and the script ends with status 1 if any target failed.
set -uo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
seconds="${1:?usage: fuzz/run.sh SECONDS [BUILD_DIR] [TARGET...]}"
build="$(cd "${2:-$here/../build-fuzz}" && pwd)" || exit 1
shift $(($# >= 2 ? 2 : 1))
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_scan fuzz_lines fuzz_convert)

failed=()
for target in "${targets[@]}"; do
  work="$build/fuzz-work/$target"
  mkdir -p "$work/corpus"
  echo "=== $target: ${seconds}s"
  # Lines and numbers matter up to the 8192-byte line store; 64 KiB leaves
  # room for several long lines while keeping every run short.
  # shellcheck disable=SC2086  # FUZZ_FLAGS: extra libFuzzer flags, one word each
  "$build/$target" "$work/corpus" "$here/corpus/$target" \
    -max_total_time="$seconds" -max_len=65536 -timeout=20 -rss_limit_mb=2048 \
    -artifact_prefix="$work/" -print_final_stats=1 -dict="$here/tulo.dict" \
    ${FUZZ_FLAGS:-} 2>&1 | tee "$work/log" |
    grep -E '^#[0-9]+[[:space:]]+(INITED|DONE)|ERROR|SUMMARY|stat::|Test unit written'
  status=${PIPESTATUS[0]}
  if [ "$status" -ne 0 ]; then
    echo "!!! $target failed (status $status); log: $work/log"
    failed+=("$target")
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "failed: ${failed[*]}"
  exit 1
fi
echo "all fuzz targets ran clean"
