#!/usr/bin/env bash
# The first start, the one a new user sees, in paired rounds (A then B in
# every round; the median of the per-round ratios counts, wall and CPU):
#   1. java/mid (1,205 classes) packed one-line with --jlink of Temurin 25
#      and --train, so the runtime carries the ahead-of-time cache of the
#      training run: its first run where no Java is installed (a mount
#      namespace with a tmpfs over /usr/lib/jvm; it unpacks the runtime and
#      the jar into an empty cache) against `java -cp mid.jar mid.Main` on
#      the same runtime unpacked beforehand, without the cache (target: at
#      most 0.75); its repeat run against the same (target: at most 0.65);
#   2. Apache Ant as Debian installs it (/usr/share/ant), packed one-line
#      (--home-property ant.home), `-version` on the machine's default Java:
#      its first run with an empty cache (no verification JVM: the home's
#      release file answers; the jars unpacked; the class list recorded)
#      against an `exec java` script of Debian's command line (target: at
#      most 1.05), and against Debian's /usr/bin/ant for comparison; its
#      repeat run (the class-data archive made after the first run) against
#      the script (target: at most 0.60).
#   3. a window program (java/SwingShow.java: it exits as soon as its window
#      is open, so a run's time is the time to the first window), packed
#      one-line with --jlink of Temurin 25 and --train, under Xvfb: its
#      first run where no Java is installed against the same runtime's java
#      unpacked beforehand (target: at most 1.0), and its repeat run.
#
# usage: bench/run_first_start.sh [rounds]   (default 9)
# BUILD_DIR names the CMake build folder (default: build); COMPRESSION the
# runtime's zstd level (default 19, bvpack's default).
# Needs root (the mount namespace), Temurin 25 in /usr/lib/jvm, Ant and Xvfb.
# Exit status: 0 when every target is met, 1 when one is missed, 2 on a
# setup error.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
rounds=${1:-9}
level=${COMPRESSION:-19}
temurin=/usr/lib/jvm/temurin-25-jdk-amd64

[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target bvlauncher bvlauncher_stripped bvpack bv_java bv_mid -j2 >/dev/null
[ "$(id -u)" -eq 0 ] || { echo "first-start: needs root for the mount namespace" >&2; exit 2; }
[ -x "$temurin/bin/jlink" ] || { echo "first-start: no Temurin 25 at $temurin" >&2; exit 2; }
[ -f /usr/share/ant/lib/ant-launcher.jar ] || { echo "first-start: no Ant in /usr/share/ant" >&2; exit 2; }
java=$(command -v java) || { echo "first-start: no java on PATH" >&2; exit 2; }
command -v Xvfb >/dev/null || { echo "first-start: no Xvfb" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/bvbench-first.XXXXXX")
xvfb=""
trap '[ -z "$xvfb" ] || kill "$xvfb"; rm -rf "$work"' EXIT
mkdir "$work/tmp" "$work/cache" "$work/antcache" "$work/swingcache"
cp "$build/java/mid.jar" "$build/java/SwingShow.jar" "$work/"
# A display of its own for the window program.
for display in 91 92 93 94 95 96 97 98 99; do
  [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ] || break
done
Xvfb ":$display" -screen 0 1024x768x24 >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=":$display"
sleep 1
bvpack=$(pwd)/$build/bin/bvpack

start=$(date +%s.%N)
JAVA_HOME=$temurin PATH=$temurin/bin:/usr/bin:/bin TMPDIR=$work/tmp "$bvpack" -o "$work/mid" --main-class mid.Main \
  --jar "$work/mid.jar" --jlink --train --compression-level "$level" >"$work/pack.log" 2>&1 ||
  { cat "$work/pack.log" >&2; echo "first-start: bvpack failed" >&2; exit 2; }
packed=$(date +%s.%N)
grep -q "carries the ahead-of-time cache" "$work/pack.log" ||
  { cat "$work/pack.log" >&2; echo "first-start: no cache was made" >&2; exit 2; }
JAVA_HOME=$temurin PATH=$temurin/bin:/usr/bin:/bin TMPDIR=$work/tmp "$bvpack" -o "$work/swing" \
  --main-class SwingShow --jar "$work/SwingShow.jar" --jlink --train --compression-level "$level" -- --exit \
  >"$work/pack-swing.log" 2>&1 || { cat "$work/pack-swing.log" >&2; echo "first-start: bvpack failed" >&2; exit 2; }
"$bvpack" -o "$work/ant" --main-class org.apache.tools.ant.launch.Launcher \
  --jar /usr/share/ant/lib/ant-launcher.jar --jar /usr/share/ant/lib/ant.jar \
  --home-property ant.home --options-env ANT_OPTS >/dev/null 2>&1
# Debian's command line, without the script's own work.
cat > "$work/ant-script" <<END
#!/bin/sh
exec "$java" -classpath /usr/share/ant/lib/ant-launcher.jar -Dant.home=/usr/share/ant \
  -Dant.library.dir=/usr/share/ant/lib org.apache.tools.ant.launch.Launcher "\$@"
END
chmod +x "$work/ant-script"

noJava() {
  unshare -m sh -c 'home=$1 cache=$2; shift 2
    mount -t tmpfs tmpfs /usr/lib/jvm || exit 1
    exec env -i PATH=/nonexistent HOME="$home" XDG_CACHE_HOME="$cache" DISPLAY="$DISPLAY" "$@"' \
    sh "$work" "${CACHE:-$work/cache}" "$@"
}
# Until no process of the launchers (a class-data archive being made) is
# left: the next timing starts on an idle machine.
waitIdle() {
  local i
  for ((i = 0; i < 1200; i++)); do
    pgrep -f -- "$work/" >/dev/null || return 0
    sleep 0.05
  done
  echo "first-start: the launchers' detached work did not end within 60 s" >&2; exit 2
}
midFirst() { rm -rf "$work/cache/bvlauncher"; noJava "$work/mid"; }
midRepeat() { noJava "$work/mid"; }
midDirect() { noJava "$work/plainrt/bin/java" -cp "$work/mid.jar" mid.Main; }
swingFirst() { rm -rf "$work/swingcache/bvlauncher"; CACHE=$work/swingcache noJava "$work/swing" --exit; }
swingRepeat() { CACHE=$work/swingcache noJava "$work/swing" --exit; }
swingDirect() { noJava "$work/swingrt/bin/java" -cp "$work/SwingShow.jar" SwingShow --exit; }
antFirst() { rm -rf "$work/antcache/bvlauncher"; XDG_CACHE_HOME=$work/antcache "$work/ant" -version; }
antRepeat() { XDG_CACHE_HOME=$work/antcache "$work/ant" -version; }
antScript() { "$work/ant-script" -version; }
antDebian() { /usr/bin/ant -version; }

midFirst | grep -q "^mid: 300 parts" || { echo "first-start: mid's first run failed" >&2; midFirst >&2 || true; exit 2; }
runtime=$(ls -d "$work"/cache/bvlauncher/runtime-*)
cp -R "$runtime" "$work/plainrt" && rm "$work/plainrt/lib/bvlauncher-app.aot"
midDirect | grep -q "^mid: 300 parts" || { echo "first-start: direct java failed" >&2; exit 2; }
swingFirst | grep -q "^shown" || { echo "first-start: the window program's first run failed" >&2; exit 2; }
cp -R "$(ls -d "$work"/swingcache/bvlauncher/runtime-*)" "$work/swingrt"
swingDirect | grep -q "^shown" || { echo "first-start: the window program with java failed" >&2; exit 2; }
antFirst | grep -q "Apache Ant" || { echo "first-start: Ant's first run failed" >&2; exit 2; }
waitIdle
antScript | grep -q "Apache Ant" || { echo "first-start: the java script failed" >&2; exit 2; }

# pair A B: rounds of A then B; prints the medians and the median ratios
# and sets $ratio (wall) and $cpuRatio.
TIMEFORMAT='%3R %3U %3S'
pair() {
  local a=$1 b=$2 i
  : > "$work/times"
  for ((i = 0; i < rounds; i++)); do
    { time $a >/dev/null 2>&1; } 2>>"$work/times"; waitIdle
    { time $b >/dev/null 2>&1; } 2>>"$work/times"; waitIdle
  done
  read -r ratio cpuRatio < <(awk -v a="$a" -v b="$b" '
    function median(v, n,   i, j, t) {
      for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (v[j] < v[i]) { t = v[i]; v[i] = v[j]; v[j] = t }
      return n % 2 ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2
    }
    NR % 2 == 1 { aw = $1; ac = $2 + $3 }
    NR % 2 == 0 { n++; w1[n] = aw; c1[n] = ac; w2[n] = $1; c2[n] = $2 + $3; rw[n] = aw / $1; rc[n] = ac / ($2 + $3) }
    END {
      printf "%-10s wall %6.0f ms, cpu %6.0f ms   %-10s wall %6.0f ms, cpu %6.0f ms   (medians of %d)\n",
             a, median(w1, n) * 1000, median(c1, n) * 1000, b, median(w2, n) * 1000, median(c2, n) * 1000, n > "/dev/stderr"
      print median(rw, n), median(rc, n)
    }' "$work/times")
}
failed=0
check() {  # label target
  local verdict=ok
  awk -v r="$ratio" -v t="$2" 'BEGIN { exit r <= t ? 0 : 1 }' || { verdict=MISSED; failed=1; }
  printf "ratio %s: %.3f wall, %.3f cpu (median of paired rounds; target <= %s) %s\n" "$1" "$ratio" "$cpuRatio" "$2" "$verdict"
}
echo "mid packed with --jlink --train (Temurin 25, level $level) in $(awk -v a="$start" -v b="$packed" 'BEGIN { printf "%.1f", b - a }') s;" \
  "launcher $(($(stat -c %s "$work/mid") / 1000000)) MB"
pair midFirst midDirect 2>&1; check "mid first run without Java/java -cp on the unpacked runtime" 0.75
pair midRepeat midDirect 2>&1; check "mid repeat run/java -cp on the unpacked runtime" 0.65
pair antFirst antScript 2>&1; check "Ant -version first run (empty cache)/exec java script" 1.05
pair antRepeat antScript 2>&1; check "Ant -version repeat run/exec java script" 0.60
pair antFirst antDebian 2>&1; check "Ant -version first run (empty cache)/Debian's /usr/bin/ant" 1.05
pair swingFirst swingDirect 2>&1; check "window program first run without Java/the same runtime's java" 1.0
pair swingRepeat swingDirect 2>&1; check "window program repeat run/the same runtime's java" 1.0
[ -z "$(ls -A "$work/tmp")" ] || { echo "first-start: temp files left behind" >&2; exit 2; }
exit $failed
