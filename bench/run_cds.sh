#!/usr/bin/env bash
# Class-data sharing: a launcher whose template asks for it
# (%CDS_OPTIONS%()) against one direct `java -cp <the same jars> Main`, on
# the newest JDK installed, in paired runs (one of each, alternating; the
# medians count):
#   - mid-size application (java/mid: logging, streams, java.time, regex, an
#     HTTP client object, 1200 classes of its own), repeat run (archive
#     made, verification cached) / direct java: target at most 0.85;
#   - the same, first run (no archive yet: the run records its classes) /
#     direct java: target at most 1.10; also printed against the same
#     launcher with BV_CDS=0. The archive is then made by a detached process
#     after the run, which is waited for outside the timing; its CPU time is
#     measured on its own;
#   - Hello, repeat run / direct java: target at most 1.05.
# For comparison, without targets (newest JDK 19 or newer): the JVM's own
# archive at exit (-XX:+AutoCreateSharedArchive), and on JDK 25 or newer the
# ahead-of-time cache (-XX:AOTMode=record, then -XX:AOTCache), each run by
# hand: the run that makes the archive or records for the cache, and a
# repeat run, against direct java.
#
# The launchers are one-line launchers (bvpack --main-class) when their
# jars stay at one path from run to run (the jar cache), which the script
# tries first; otherwise tag-file launchers whose jars lie next to them,
# named in their .cp side files (a one-line launcher that extracts its jars
# into the run's temporary folder gets no archive). The script says which.
# The caches live in a temporary folder, never the user's own.
#
# usage: bench/run_cds.sh [rounds]   (default 15; first runs take two
#        thirds of that, the comparisons a third, at least 3 each)
# BUILD_DIR names the CMake build folder (default: build).
# Exit status: 0 when every target is met, 1 when one is missed, 2 on a
# setup error.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
rounds=${1:-15}
fewer=$((rounds / 3 < 3 ? 3 : rounds / 3))
firstRounds=$((rounds * 2 / 3 < 3 ? 3 : rounds * 2 / 3))

[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target bvlauncher bvpack bv_java bv_mid -j2 >/dev/null

# The newest JDK: the highest JAVA_VERSION in a release file among the
# homes under /usr/lib/jvm and the one of java on PATH.
home="" best=0
candidates=()
if command -v java >/dev/null 2>&1; then
  j=$(readlink -f "$(command -v java)"); candidates+=("${j%/bin/java}")
fi
for h in /usr/lib/jvm/*; do [ -x "$h/bin/java" ] && candidates+=("$(readlink -f "$h")"); done
for h in "${candidates[@]}"; do
  v=$(sed -n 's/^JAVA_VERSION="\(1\.\)\{0,1\}\([0-9]*\).*/\2/p' "$h/release" 2>/dev/null || true)
  if [ -n "$v" ] && [ "$v" -gt "$best" ]; then best=$v home=$h; fi
done
if [ -z "$home" ] || [ "$best" -lt 13 ]; then echo "cds: no JDK 13 or newer" >&2; exit 2; fi
java=$home/bin/java
echo "cds: the newest JDK is $home (Java $best)"

work=$(mktemp -d "${TMPDIR:-/tmp}/bvbench-cds.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/tmp" "$work/cache"
cp "$build/java/mid.jar" "$build/java/Hello.jar" "$work/"
cat > "$work/jvm.tag" <<'END'
DESC: JDK for the benchmark
JVM_EXE: bin/java
PLATFORM_HINT:
  JAVA_HOME
/:
JVM_PROPERTIES:
  "os.name=Linux"
/:
CLASSPATH: "-cp "
CLASSPATH_SEPARATOR: :
END
for app in mid:mid.Main:mid.jar hello:Hello:Hello.jar; do
  IFS=: read -r name main jar <<<"$app"
  printf 'DESC: %s\nDISPLAY_CONSOLE: 1\nAUTO_SET_WORKING_DIR: 0\nCOMMAND: """@JVM_HOME@/@JVM_EXE@"" %%CDS_OPTIONS%%() %%CP%%() %s"\n' \
    "$name" "$main" > "$work/$name-launch.tag"
  "$build/bin/bvpack" -o "$work/$name" instructions:examples/setup/instructions.tag \
    launch-script:"$work/$name-launch.tag" jvm:"$work/jvm.tag" >/dev/null
  echo "$work/$jar" > "$work/$name.cp"
done

cds=$work/cache/bvlauncher/cds
launch() { # name [launcher options...]; the environment's BV_CDS is passed on
  local name=$1; shift
  (cd "$work" && XDG_CACHE_HOME="$work/cache" JAVA_HOME="$home" "./$name" -bv:silent -bv:tempdir "$work/tmp" "$@")
}
launchWithoutCds() { BV_CDS=0 launch "$@"; }
direct() { (cd "$work" && "$java" -cp "$work/$2" "$1"); }
# Waits until no archive is being made (no list left, every lock free).
waitIdle() {
  local i lock busy
  for ((i = 0; i < 1800; i++)); do
    busy=no
    compgen -G "$cds/*.classes-*" >/dev/null && busy=yes
    for lock in "$cds"/*.lock; do
      [ -e "$lock" ] && ! flock -n "$lock" true && busy=yes
    done
    [ $busy = no ] && return 0
    sleep 0.1
  done
  echo "cds: the archive was not made within 3 minutes" >&2; exit 2
}
archives() { compgen -G "$cds/*.jsa" | wc -l; }

mode="tag-file launchers, the jar next to each named in its .cp file"
# One-line launchers where their class path is stable.
mkdir "$work/one-line"
for app in mid:mid.Main:mid.jar hello:Hello:Hello.jar; do
  IFS=: read -r name main jar <<<"$app"
  "$build/bin/bvpack" -o "$work/one-line/$name" --main-class "$main" --jar "$work/$jar" >/dev/null
done
if (cd "$work" && XDG_CACHE_HOME="$work/one-line-cache" JAVA_HOME="$home" ./one-line/hello -bv:silent \
      -bv:tempdir "$work/tmp" -bv:log "$work/one-line.log" >/dev/null 2>&1) &&
   grep -q "Class-data sharing: recording" "$work/one-line.log"; then
  mv "$work/one-line/mid" "$work/one-line/hello" "$work/"
  rm -f "$work/mid.cp" "$work/hello.cp"
  mode="one-line launchers (bvpack --main-class), the jars in the user's cache"
fi
cds=$work/one-line-cache/bvlauncher/cds waitIdle
rm -rf "$work/one-line-cache"
echo "cds: $mode"

# Checks: both applications run, the first run makes an archive, the second
# uses it.
launch mid -bv:log "$work/log1" >"$work/out" 2>&1 || true
grep -q "^mid: 300 parts" "$work/out" || { echo "cds: the launcher did not run mid" >&2; cat "$work/out" >&2; exit 2; }
grep -q "recording the classes" "$work/log1" || { echo "cds: the first run recorded nothing" >&2; grep "Class-data" "$work/log1" >&2; exit 2; }
waitIdle
[ "$(archives)" -eq 1 ] || { echo "cds: no archive after the first run" >&2; exit 2; }
launch mid -bv:log "$work/log2" >/dev/null
grep -q "using the archive" "$work/log2" || { echo "cds: the second run did not use the archive" >&2; exit 2; }
direct mid.Main mid.jar | grep -q "^mid: 300 parts" || { echo "cds: java did not run mid" >&2; exit 2; }
launch hello >/dev/null; waitIdle; launch hello | grep -q "Hello, world!" || { echo "cds: Hello did not run" >&2; exit 2; }
echo "cds: archive sizes: $(ls -l "$cds"/*.jsa | awk '{printf "%s%.1f MiB", sep, $5 / 1048576; sep = ", "}')"

TIMEFORMAT='%3R %3U %3S'
# Times "$@" (wall, user, system seconds) into the file $out.
timed() { { time "$@" >/dev/null 2>&1; } 2>>"$out"; }

# Repeat runs: mid (launcher, direct) and Hello (launcher, direct).
out=$work/repeat
: >"$out"
launch mid >/dev/null; direct mid.Main mid.jar >/dev/null
for ((i = 0; i < rounds; i++)); do
  timed launch mid; timed direct mid.Main mid.jar; timed launch hello; timed direct Hello Hello.jar
done
# First runs: the mid archive removed before each (outside the timing), the
# launcher with BV_CDS=0, direct java; the archive made afterwards is
# waited for outside the timing too.
out=$work/first
: >"$out"
for ((i = 0; i < firstRounds; i++)); do
  rm -f "$cds"/*.jsa
  timed launch mid; waitIdle
  timed launchWithoutCds mid; timed direct mid.Main mid.jar
done

# The making of the archive on its own: the class list of one run, then
# the dump as the detached process runs it.
"$java" -XX:DumpLoadedClassList="$work/mid.classlist" -cp "$work/mid.jar" mid.Main >/dev/null
{ time "$java" -Xshare:dump -XX:SharedClassListFile="$work/mid.classlist" \
    -XX:SharedArchiveFile="$work/dump-check.jsa" -cp "$work/mid.jar" >/dev/null 2>&1; } 2>"$work/dump"

# The alternatives, by hand, for comparison: per round direct java, the
# run that makes the archive or records, and a repeat run with it.
out=$work/alternatives
: >"$out"
if [ "$best" -ge 19 ]; then
  for ((i = 0; i < fewer; i++)); do
    rm -f "$work/auto.jsa"
    timed direct mid.Main mid.jar
    timed "$java" -XX:SharedArchiveFile="$work/auto.jsa" -XX:+AutoCreateSharedArchive -Xlog:cds*=off -cp "$work/mid.jar" mid.Main
    timed "$java" -XX:SharedArchiveFile="$work/auto.jsa" -XX:+AutoCreateSharedArchive -Xlog:cds*=off -cp "$work/mid.jar" mid.Main
    if [ "$best" -ge 25 ]; then
      rm -f "$work/app.aot" "$work/app.aotconf"
      timed "$java" -XX:AOTMode=record -XX:AOTConfiguration="$work/app.aotconf" -Xlog:cds*=off -Xlog:aot*=off -cp "$work/mid.jar" mid.Main
      "$java" -XX:AOTMode=create -XX:AOTConfiguration="$work/app.aotconf" -XX:AOTCache="$work/app.aot" \
        -Xlog:cds*=off -Xlog:aot*=off -cp "$work/mid.jar" >/dev/null 2>&1
      timed "$java" -XX:AOTCache="$work/app.aot" -Xlog:cds*=off -Xlog:aot*=off -cp "$work/mid.jar" mid.Main
    fi
  done
fi
[ -z "$(ls -A "$work/tmp")" ] || { echo "cds: temp files left behind" >&2; exit 2; }

awk -v best="$best" -v dumpfile="$work/dump" '
  function sort(a, n,   i, j, t) {
    for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (a[j] < a[i]) { t = a[i]; a[i] = a[j]; a[j] = t }
  }
  function median(a, n,   c, i) { for (i = 1; i <= n; i++) c[i] = a[i]; sort(c, n); return n % 2 ? c[(n + 1) / 2] : (c[n / 2] + c[n / 2 + 1]) / 2 }
  # The median of the per-round ratios of columns k and l of group g.
  function ratio(g, k, l, field,   i, r) { for (i = 1; i <= rows[g]; i++) r[i] = v[g, i, k, field] / v[g, i, l, field]; return median(r, rows[g]) }
  function med(g, k, field,   i, r) { for (i = 1; i <= rows[g]; i++) r[i] = v[g, i, k, field]; return median(r, rows[g]) }
  FILENAME != last { last = FILENAME; g++; n = 0; width[g] = (g == 1 ? 4 : g == 2 ? 3 : (best >= 25 ? 5 : 3)) }
  { k = n % width[g]; i = int(n / width[g]) + 1; n++; rows[g] = i; v[g, i, k, "wall"] = $1; v[g, i, k, "cpu"] = $2 + $3 }
  END {
    printf "mid, direct java:                        wall median %6.0f ms, cpu %6.0f ms\n", med(1, 1, "wall") * 1000, med(1, 1, "cpu") * 1000
    printf "mid, launcher repeat run (archive):      wall median %6.0f ms, cpu %6.0f ms\n", med(1, 0, "wall") * 1000, med(1, 0, "cpu") * 1000
    printf "mid, launcher first run (records):       wall median %6.0f ms, cpu %6.0f ms\n", med(2, 0, "wall") * 1000, med(2, 0, "cpu") * 1000
    printf "mid, launcher with BV_CDS=0:             wall median %6.0f ms, cpu %6.0f ms\n", med(2, 1, "wall") * 1000, med(2, 1, "cpu") * 1000
    printf "Hello, direct java:                      wall median %6.0f ms, cpu %6.0f ms\n", med(1, 3, "wall") * 1000, med(1, 3, "cpu") * 1000
    printf "Hello, launcher repeat run (archive):    wall median %6.0f ms, cpu %6.0f ms\n", med(1, 2, "wall") * 1000, med(1, 2, "cpu") * 1000
    getline dump < dumpfile; split(dump, d, " ")
    printf "making the mid archive after a first run (java -Xshare:dump, detached, lowest priority): wall %.0f ms, cpu %.0f ms\n", d[1] * 1000, (d[2] + d[3]) * 1000
    if (rows[3] > 0) {
      printf "for comparison, by hand: -XX:+AutoCreateSharedArchive first run / direct java: %.3f wall, %.3f cpu; repeat: %.3f wall, %.3f cpu\n", ratio(3, 1, 0, "wall"), ratio(3, 1, 0, "cpu"), ratio(3, 2, 0, "wall"), ratio(3, 2, 0, "cpu")
      if (best >= 25) printf "for comparison, by hand: AOT cache recording run (-XX:AOTMode=record) / direct java: %.3f wall, %.3f cpu; repeat (-XX:AOTCache): %.3f wall, %.3f cpu\n", ratio(3, 3, 0, "wall"), ratio(3, 3, 0, "cpu"), ratio(3, 4, 0, "wall"), ratio(3, 4, 0, "cpu")
    }
    rep = ratio(1, 0, 1, "wall"); first = ratio(2, 0, 2, "wall"); hello = ratio(1, 2, 3, "wall")
    printf "cpu ratios: mid repeat/direct %.3f, mid first/direct %.3f, mid first/BV_CDS=0 %.3f, Hello repeat/direct %.3f\n", ratio(1, 0, 1, "cpu"), ratio(2, 0, 2, "cpu"), ratio(2, 0, 1, "cpu"), ratio(1, 2, 3, "cpu")
    printf "ratio mid first run/launcher with BV_CDS=0: %.3f (wall, median of %d paired runs, for comparison)\n", ratio(2, 0, 1, "wall"), rows[2]
    printf "ratio mid repeat run/direct java: %.3f (wall, median of %d paired runs; target <= 0.85) %s\n", rep, rows[1], rep <= 0.85 ? "ok" : "MISSED"
    printf "ratio mid first run/direct java: %.3f (wall, median of %d paired runs; target <= 1.10) %s\n", first, rows[2], first <= 1.10 ? "ok" : "MISSED"
    printf "ratio Hello repeat run/direct java: %.3f (wall, median of %d paired runs; target <= 1.05) %s\n", hello, rows[1], hello <= 1.05 ? "ok" : "MISSED"
    exit rep <= 0.85 && first <= 1.10 && hello <= 1.05 ? 0 : 1
  }' "$work/repeat" "$work/first" "$work/alternatives"
