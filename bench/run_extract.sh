#!/bin/sh
# Extraction of a large embedded file against cp, in the same run.
#
# usage: bench/run_extract.sh [MiB] [repetitions] [directory]
#        (defaults: 256 MiB, 5, $TMPDIR or /var/tmp)
# BUILD_DIR names the CMake build folder (default: build); bvcore is built
# there if needed and the benchmark is compiled with optimisation.
set -e
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" >/dev/null
cmake --build "$build" --target bvcore -j2 >/dev/null
mkdir -p "$build/bench"
if [ ! -x "$build/bench/extract_bench" ] || [ bench/extract_bench.cc -nt "$build/bench/extract_bench" ] ||
   [ "$build/libbvcore.a" -nt "$build/bench/extract_bench" ]; then
  ${CXX:-c++} -std=c++17 -O2 -Wall -Wextra -I. -I"$build/generated" bench/extract_bench.cc \
    "$build/libbvcore.a" -o "$build/bench/extract_bench"
fi
exec "$build/bench/extract_bench" "$@"
