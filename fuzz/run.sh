#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer, ASan and UBSan) in build-fuzz/
# and runs each for the given number of seconds, two at a time:
#
#   fuzz/run.sh SECONDS [TARGET...]      (default: every target)
#
# Seeds come from examples/ (fuzz/make_seeds.sh); the corpus grows in
# build-fuzz/corpus/<target>/ from run to run. A finding is written to
# build-fuzz/artifacts/<target>/ and makes the script fail; keep it under
# tests/fuzz_regressions/<target>/ once it is fixed. Logs and a summary line
# per target (runs, executions per second) are in build-fuzz/logs/.
# JOBS=1 runs one target at a time.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:?usage: fuzz/run.sh SECONDS [TARGET...]}"
shift
all=(archive_index tag_file instructions expressions cmd_line text_arguments launch_script verify_cache
  runtime_archive class_version)
targets=("${@:-${all[@]}}")
jobs="${JOBS:-2}"
out=build-fuzz

BV_WITH_FUZZ=1 scripts/install-deps.sh
CC=clang CXX=clang++ cmake -S . -B "$out" -DBV_FUZZ=ON -DBV_TESTS=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
build_targets=()
for t in "${targets[@]}"; do build_targets+=(--target "fuzz_$t"); done
cmake --build "$out" -j2 "${build_targets[@]}"
fuzz/make_seeds.sh "$out/seeds"
mkdir -p "$out/logs" "$out/tmp"
# The targets' scratch files, out of the shared temporary directory.
export TMPDIR="$PWD/$out/tmp"

run_one() {
  local t="$1"
  mkdir -p "$out/corpus/$t" "$out/artifacts/$t"
  local status=0
  "$out/fuzz/fuzz_$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=16384 \
    -print_final_stats=1 -artifact_prefix="$out/artifacts/$t/" \
    "$out/corpus/$t" "$out/seeds/$t" >"$out/logs/$t.log" 2>&1 || status=$?
  local runs speed
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$out/logs/$t.log" | tail -1)
  speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$out/logs/$t.log" | tail -1)
  if [ "$status" = 0 ]; then
    echo "$t: ${seconds}s, ${runs:-?} runs, ${speed:-?}/s, no finding" | tee "$out/logs/$t.summary"
  else
    echo "$t: FINDING (exit $status), see $out/logs/$t.log and $out/artifacts/$t/" | tee "$out/logs/$t.summary"
  fi
  return "$status"
}

failed=0
running=0
pids=()
for t in "${targets[@]}"; do
  run_one "$t" &
  pids+=($!)
  running=$((running + 1))
  if [ "$running" -ge "$jobs" ]; then
    wait -n || failed=1
    running=$((running - 1))
  fi
done
while [ "$running" -gt 0 ]; do
  wait -n || failed=1
  running=$((running - 1))
done
exit "$failed"
