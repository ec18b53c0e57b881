#!/bin/sh
# Platform benchmarks: capture of child output and the disk-scan walk, each
# against its alternative in the same run.
#
# usage: bench/run_platform.sh [capture MiB] [walk tree] [repetitions]
#        (defaults: 256 MiB, /usr, 3)
# BUILD_DIR names the CMake build folder (default: build); the benchmarks are
# built there (with the build's optimisation) if needed.
set -e
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
mib=${1:-256}
tree=${2:-/usr}
runs=${3:-3}

[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" >/dev/null
cmake --build "$build" --target bench_capture bench_walk -j2 >/dev/null

"$build/bin/bench_capture" "$mib" "$runs"
"$build/bin/bench_walk" "$tree" "$runs"
