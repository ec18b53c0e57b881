#!/usr/bin/env bash
# A launcher that carries its Java runtime, on a machine without Java (a
# mount namespace with a tmpfs over /usr/lib/jvm and a PATH without java;
# needs root and unshare):
#   - its first run (it unpacks the runtime into an empty cache and runs
#     Hello; the runtime's verification answers were recorded when it was
#     packed) against `tar -xf` of the same runtime plus one
#     `java -cp Hello.jar Hello` with it (target: at most 1.3 times);
#   - its repeat run (the runtime and its verification from the cache)
#     against one direct java of the unpacked runtime (at most 1.10);
#   - its size against a gzip tar of the JDK's `jpackage --type app-image`
#     of the same application (at most 1.0).
# The runtime is made with bvpack --jlink (java.base for Hello, with its
# class-data archive), the launcher packed at bvpack's default compression
# level.
#
# usage: bench/run_runtime.sh [runs]   (default 15; the median counts)
# BUILD_DIR names the CMake build folder (default: build).
# Exit status: 0 when every target is met, 1 when one is missed, 2 on a
# setup error.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
runs=${1:-15}

[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target bvlauncher bvpack bv_java -j2 >/dev/null
for tool in unshare jpackage tar gzip; do
  command -v "$tool" >/dev/null || { echo "runtime: $tool is missing" >&2; exit 2; }
done
[ "$(id -u)" -eq 0 ] || { echo "runtime: needs root for the mount namespace" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/bvbench-rt.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/tmp" "$work/app" "$work/cache"
cp "$build/java/Hello.jar" "$work/app/"
bvpack=$(pwd)/$build/bin/bvpack

# The runtime, the launcher that carries it, the same runtime as a tar.
"$bvpack" --emit "$work/emit" --jlink --main-class Hello --jar "$work/app/Hello.jar" >/dev/null
start=$(date +%s.%N)
"$bvpack" -o "$work/hello" --main-class Hello --jar "$work/app/Hello.jar" --runtime "$work/emit/runtime" 2>/dev/null
packed=$(date +%s.%N)
tar -cf "$work/runtime.tar" -C "$work/emit" runtime

# The JDK's packaging tool, of the same application: its app image as a
# gzip tar.
jpackage --type app-image --name Hello --input "$work/app" --main-jar Hello.jar --main-class Hello \
  --dest "$work/jp" >/dev/null 2>&1 || { echo "runtime: jpackage failed" >&2; exit 2; }
tar -czf "$work/jp.tar.gz" -C "$work/jp" Hello

# Commands run where no Java is installed.
# With RAMCACHE=1 the cache folder is a tmpfs of the namespace: the sync
# that completes the cache entry costs nothing there.
noJava() {
  unshare -m sh -c 'home=$1 cache=$2; shift 2
    mount -t tmpfs tmpfs /usr/lib/jvm || exit 1
    if [ "${RAMCACHE:-0}" = 1 ]; then mount -t tmpfs tmpfs "$cache" || exit 1; fi
    exec env -i PATH=/nonexistent HOME="$home" XDG_CACHE_HOME="$cache" "$@"' \
    sh "$work" "$work/cache" "$@"
}
# A first run leaves a detached process that makes the application's
# class-data archive after the launcher ended; the next command is timed
# only once it is gone, so that it neither slows nor is slowed by it.
waitIdle() {
  local i
  for ((i = 0; i < 600; i++)); do
    pgrep -f -- "$work/hello|$work/cache/" >/dev/null || return 0
    sleep 0.05
  done
  echo "runtime: the launcher's detached work did not end within 30 s" >&2; exit 2
}
first() { rm -rf "$work/cache/bvlauncher"; noJava "$work/hello" -bv:tempdir "$work/tmp" -bv:silent; }
firstInRam() { RAMCACHE=1 noJava "$work/hello" -bv:tempdir "$work/tmp" -bv:silent; }
repeat() { noJava "$work/hello" -bv:tempdir "$work/tmp" -bv:silent; }
tarJava() {
  rm -rf "$work/x"; mkdir "$work/x"
  noJava /bin/sh -c '/bin/tar -xf "$1" -C "$2" && "$2/runtime/bin/java" -cp "$3" Hello' sh "$work/runtime.tar" \
    "$work/x" "$work/app/Hello.jar"
}
direct() { noJava "$work/cache/bvlauncher/$(ls "$work/cache/bvlauncher" | grep '^runtime-')/bin/java" -cp "$work/app/Hello.jar" Hello; }

first | grep -q "Hello, world!" || { echo "runtime: the launcher's first run failed" >&2; first >&2 || true; exit 2; }
waitIdle
repeat | grep -q "Hello, world!" || { echo "runtime: the repeat run failed" >&2; exit 2; }
tarJava | grep -q "Hello, world!" || { echo "runtime: tar and java failed" >&2; exit 2; }
direct | grep -q "Hello, world!" || { echo "runtime: direct java failed" >&2; exit 2; }

: > "$work/times"
TIMEFORMAT='%3R'
for ((i = 0; i < runs; i++)); do
  for what in first tarJava repeat direct firstInRam; do
    { time $what >/dev/null 2>&1; } 2>>"$work/times"
    waitIdle
  done
done
[ -z "$(ls -A "$work/tmp")" ] || { echo "runtime: temp files left behind" >&2; exit 2; }

launcherSize=$(stat -c %s "$work/hello")
jpSize=$(stat -c %s "$work/jp.tar.gz")
jpFiles=$(find "$work/jp/Hello" | wc -l)
jpBytes=$(du -sb "$work/jp/Hello" | cut -f1)
awk -v runs="$runs" -v ls="$launcherSize" -v js="$jpSize" -v jf="$jpFiles" -v jb="$jpBytes" \
    -v pack="$(awk -v a="$start" -v b="$packed" 'BEGIN { print b - a }')" '
  function sort(a, n,   i, j, t) {
    for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (a[j] < a[i]) { t = a[i]; a[i] = a[j]; a[j] = t }
  }
  function median(a, n) { sort(a, n); return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2 }
  { k = (NR - 1) % 5; i = int((NR - 1) / 5) + 1; t[k, i] = $1 * 1000 }
  END {
    n = int(NR / 5)
    for (k = 0; k < 5; k++) { for (i = 1; i <= n; i++) w[i] = t[k, i]; m[k] = median(w, n) }
    printf "launcher, first run without Java (unpack, Hello):         median %6.1f ms\n", m[0]
    printf "tar -xf of the runtime + java -cp Hello.jar Hello:         median %6.1f ms\n", m[1]
    printf "launcher, repeat run (runtime and verification cached):   median %6.1f ms\n", m[2]
    printf "direct java of the unpacked runtime:                      median %6.1f ms\n", m[3]
    printf "launcher, first run with the cache on a tmpfs (no disk sync): median %6.1f ms (%.3f of tar -xf + java)\n", m[4], m[4] / m[1]
    printf "launcher: %.1f MB (packed in %.1f s); jpackage app image: %.1f MB in %d files, %.1f MB as tar.gz\n",
           ls / 1e6, pack, jb / 1e6, jf, js / 1e6
    r1 = m[0] / m[1]; r2 = m[2] / m[3]; r3 = ls / js
    printf "ratio first run/tar -xf + java: %.3f (wall, medians of %d runs each; target <= 1.3) %s\n", r1, n, r1 <= 1.3 ? "ok" : "MISSED"
    printf "ratio repeat run/direct java of the unpacked runtime: %.3f (wall, medians of %d runs each; target <= 1.10) %s\n", r2, n, r2 <= 1.10 ? "ok" : "MISSED"
    printf "ratio launcher size/jpackage app image as tar.gz: %.3f (target <= 1.0) %s\n", r3, r3 <= 1.0 ? "ok" : "MISSED"
    exit r1 <= 1.3 && r2 <= 1.10 && r3 <= 1.0 ? 0 : 1
  }' "$work/times"
