#!/bin/sh
# Extraction of a large embedded file against cp, in the same run.
#
# usage: bench/run_extract.sh [MiB] [repetitions] [directory]
#        (defaults: 256 MiB, 5, $TMPDIR or /var/tmp)
# BUILD_DIR names the CMake build folder (default: build); the benchmark is
# built there (with the build's optimisation) if needed.
set -e
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" >/dev/null
cmake --build "$build" --target bench_extract -j2 >/dev/null
exec "$build/bin/bench_extract" "$@"
