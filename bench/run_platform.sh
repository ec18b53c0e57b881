#!/bin/sh
# Platform benchmarks: capture of child output and the disk-scan walk, each
# against its alternative in the same run.
#
# usage: bench/run_platform.sh [capture MiB] [walk tree] [repetitions]
#        (defaults: 256 MiB, /usr, 3)
# BUILD_DIR names the CMake build folder (default: build); bvcore is built
# there if needed and the benchmarks are compiled with optimisation.
set -e
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
mib=${1:-256}
tree=${2:-/usr}
runs=${3:-3}

[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" >/dev/null
cmake --build "$build" --target bvcore -j2 >/dev/null
mkdir -p "$build/bench"
for name in capture_bench walk_bench; do
  if [ ! -x "$build/bench/$name" ] || [ "bench/$name.cc" -nt "$build/bench/$name" ] ||
     [ "$build/libbvcore.a" -nt "$build/bench/$name" ]; then
    ${CXX:-c++} -std=c++17 -O2 -Wall -Wextra -I. -I"$build/generated" "bench/$name.cc" \
      "$build/libbvcore.a" -o "$build/bench/$name"
  fi
done

"$build/bench/capture_bench" "$mib" "$runs"
"$build/bench/walk_bench" "$tree" "$runs"
