#!/usr/bin/env bash
# Every benchmark of the project, one after the other, then a summary of
# each figure beside its target:
#   launcher  a packed launcher that verifies the JDK and runs Hello: its
#             first run against a shell script of the same two java
#             commands, its repeat run (verification cached) against one
#             direct java command (run_launcher.sh)
#   digest    the same launcher with and without the payload digests, and
#             the check of an 8 MiB jar that every run copies out
#             (run_digest.sh)
#   cds       class-data sharing: a launcher that keeps a class-data archive
#             against direct java, for a mid-size application (repeat run,
#             first run) and for Hello (run_cds.sh)
#   platform  capture of child output, and the disk-scan walk (run_platform.sh)
#   extract   extraction of a large embedded file against cp (run_extract.sh)
#   jvm_scan  the JVM disk scan against find, and its early stop (bench_jvm_scan)
#   tagfile   loading a tag file of 400k tags against one of 100k (bench_tagfile)
#   runtime   a launcher that carries its Java runtime, on a machine without
#             Java: first run against tar -xf + java, repeat run against
#             direct java, size against jpackage's app image as tar.gz
#             (run_runtime.sh; needs root for its mount namespace)
#
# usage: bench/run_all.sh [--quick]
#   --quick  64 MiB instead of 256 and fewer repetitions, for a fast check
# BUILD_DIR names the CMake build folder (default: build). The extraction
# writes into a temporary directory that is removed at the end.
# Exit status: 0 when every benchmark ran and met its target, 1 otherwise.
set -uo pipefail
cd "$(dirname "$0")/.."
export BUILD_DIR=${BUILD_DIR:-build}
mib=256 runs=3 extractRuns=5 launcherRuns=41 tagRuns=5 runtimeRuns=15 cdsRounds=15
if [ "${1:-}" = --quick ]; then
  mib=64 runs=2 extractRuns=3 launcherRuns=15 tagRuns=3 runtimeRuns=5 cdsRounds=6
fi

[ -f "$BUILD_DIR/CMakeCache.txt" ] || cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
work=$(mktemp -d "${TMPDIR:-/tmp}/bvbench-all.XXXXXX")
trap 'rm -rf "$work"' EXIT
status=0

bench() {
  local name=$1
  shift
  echo "== $name"
  "$@" 2>&1 | tee "$work/$name.out"
  local rc=${PIPESTATUS[0]}
  if [ "$rc" -ne 0 ]; then
    echo "($name exited with status $rc)" | tee -a "$work/$name.out"
    status=1
  fi
  echo
}

# The launcher first: its runs create and remove small files, which would
# wait behind the write-back of the extraction benchmark's large ones.
bench launcher bench/run_launcher.sh "$launcherRuns"
bench digest bench/run_digest.sh "$launcherRuns"
bench runtime bench/run_runtime.sh "$runtimeRuns"
bench cds bench/run_cds.sh "$cdsRounds"
bench platform bench/run_platform.sh "$mib" /usr "$runs"
mkdir "$work/extract"
bench extract bench/run_extract.sh "$mib" "$extractRuns" "$work/extract"
if cmake --build "$BUILD_DIR" --target bench_jvm_scan bv_java -j2 >/dev/null; then
  bench jvm_scan "$(find "$BUILD_DIR" -name bench_jvm_scan -type f -perm -u+x | head -n 1)"
else
  echo "(bench_jvm_scan did not build)"; status=1
fi

if cmake --build "$BUILD_DIR" --target bench_tagfile -j2 >/dev/null; then
  bench tagfile "$(find "$BUILD_DIR" -name bench_tagfile -type f -perm -u+x | head -n 1)" "$tagRuns"
else
  echo "(bench_tagfile did not build)"; status=1
fi

echo "== Summary: each figure and its target"
for name in launcher digest runtime cds platform extract jvm_scan tagfile; do
  grep -h -i -e "target" -e "exited with status" "$work/$name.out" | sed "s/^ */$name: /"
done
grep -q -h "MISSED" "$work"/*.out && status=1
exit $status
