#!/usr/bin/env bash
# The launcher as a whole: a packed launcher that runs the typical
# instruction script, verifies the machine's JDK and launches a hello-world
# application, timed from start to end against
#   - one direct `java -cp Hello.jar Hello`, and
#   - a shell script that runs the same two java commands (the verification
#     and the launch, as the launcher's log shows them).
# The launcher runs twice per round: first with an empty verification cache
# (it verifies the JDK), then again (the verification comes from the cache).
# Targets: first run / script at most 1.05; repeat run / direct java at
# most 1.10. The cache lives in a temporary folder, never the user's own.
#
# usage: bench/run_launcher.sh [runs]   (default 41; the median counts)
# BUILD_DIR names the CMake build folder (default: build).
# Exit status: 0 when both targets are met, 1 when one is missed, 2 on a
# setup error.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
runs=${1:-41}

[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target bvlauncher bvpack bv_java -j2 >/dev/null

java=$(command -v java || true)
if [ -z "$java" ]; then echo "launcher: no java on PATH" >&2; exit 2; fi
home=$(readlink -f "$java"); home=${home%/bin/java}

work=$(mktemp -d "${TMPDIR:-/tmp}/bvbench.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/tmp"

# The payload: the example's typical script, a JVM file whose one hint is
# JAVA_HOME, a launch script that runs Hello, and the two archives.
cat > "$work/jvm.tag" <<'END'
DESC: JDK for the benchmark
JVM_EXE: bin/java
PLATFORM_HINT:
  JAVA_HOME
/:
JVM_PROPERTIES:
  "os.name=Linux"
  "java.vm.specification.name=Java Virtual Machine Specification"
/:
CLASSPATH: "-cp "
CLASSPATH_SEPARATOR: :
END
cat > "$work/launch.tag" <<'END'
DESC: Hello
DISPLAY_CONSOLE: 1
AUTO_SET_WORKING_DIR: 1
COMMAND: """@JVM_HOME@/@JVM_EXE@"" %CP%() Hello"
END
"$build/bin/bvpack" -o "$work/hello" instructions:examples/setup/instructions.tag \
  verify-jar:"$build/java/Verify.jar" launch-script:"$work/launch.tag" jvm:"$work/jvm.tag" \
  classpath-jar:"$build/java/Hello.jar" >/dev/null

launcher() {
  XDG_CACHE_HOME=$work/cache BV_VERIFY_CACHE=1 JAVA_HOME=$home "$work/hello" -bv:tempdir "$work/tmp" "$@"
}
clearCache() { rm -rf "$work/cache"; }

# One run with a log: the two commands that the launcher runs.
clearCache
launcher -bv:log "$work/log" >"$work/out"
grep -q "Hello, world!" "$work/out" || { echo "launcher: Hello did not run" >&2; cat "$work/out" >&2; exit 2; }
commands=$(sed -n 's/^Executing launch script command: \(.*\) in working directory .*$/\1/p' "$work/log")
[ "$(printf '%s\n' "$commands" | wc -l)" -eq 2 ] || { echo "launcher: expected two commands in the log" >&2; exit 2; }
echo "launcher: the commands of a run, from its log:"
printf '%s\n' "$commands" | sed 's/^/  /'

# The same two commands in a script, on copies of the two archives (the
# launcher's own copies are gone with its temp files).
cp "$build/java/Verify.jar" "$build/java/Hello.jar" "$work/"
{
  echo '#!/bin/sh'
  printf '%s\n' "$commands" | sed -e "s#\"[^\"]*/bvj[^/\"]*/Verify.jar\"#\"$work/Verify.jar\"#" \
    -e "s#\"[^\"]*/bvj[^/\"]*/Hello.jar\"#\"$work/Hello.jar\"#" | {
    read -r verify; read -r launch
    echo "$verify >/dev/null"
    echo "$launch"
  }
} > "$work/script.sh"
chmod +x "$work/script.sh"
script() { (cd "$work" && JAVA_HOME=$home ./script.sh); }
# The same, each command through its own "sh -c" as the launcher runs them:
# shows how much of the difference is the shell per command.
sed -e '2,$s/.*/sh -c '"'"'&'"'"'/' "$work/script.sh" > "$work/script-sh-c.sh"
chmod +x "$work/script-sh-c.sh"
scriptShC() { (cd "$work" && JAVA_HOME=$home ./script-sh-c.sh); }
script | grep -q "Hello, world!" || { echo "launcher: the script did not run Hello" >&2; exit 2; }
direct() { (cd "$work" && "$home/bin/java" -cp "$work/Hello.jar" Hello); }
direct | grep -q "Hello, world!" || { echo "launcher: java did not run Hello" >&2; exit 2; }
launcher -bv:log "$work/log2" >/dev/null
grep -q "taken from the cache" "$work/log2" || { echo "launcher: the repeat run did not use the cache" >&2; exit 2; }

# Alternating runs after one warm-up each; the medians count (on a busy
# machine the best runs are a matter of luck), the best runs and the CPU
# time of the whole process tree are printed beside them.
launcher >/dev/null; script >/dev/null; scriptShC >/dev/null; direct >/dev/null
: > "$work/times"
TIMEFORMAT='%3R %3U %3S'  # wall, user and system seconds, children included
for ((i = 0; i < runs; i++)); do
  clearCache
  for what in launcher script scriptShC direct launcher; do
    { time $what >/dev/null 2>&1; } 2>>"$work/times"
  done
done
[ -z "$(ls -A "$work/tmp")" ] || { echo "launcher: temp files left behind" >&2; exit 2; }

# Each group of five lines is one round: the launcher's first run (empty
# cache), the script, the sh -c script, direct java, the launcher's repeat.
awk -v runs="$runs" '
  function sort(a, n,   i, j, t) {
    for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (a[j] < a[i]) { t = a[i]; a[i] = a[j]; a[j] = t }
  }
  function median(a, n) { sort(a, n); return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2 }
  function best(a, n) { sort(a, n); return a[1] }
  {
    k = (NR - 1) % 5; i = int((NR - 1) / 5) + 1
    wall[k, i] = $1 * 1000; cpu[k, i] = ($2 + $3) * 1000
  }
  END {
    n = int(NR / 5)
    for (k = 0; k < 5; k++) {
      for (i = 1; i <= n; i++) { w[i] = wall[k, i]; c[i] = cpu[k, i] }
      bw[k] = best(w, n); mw[k] = median(w, n); bc[k] = best(c, n); mc[k] = median(c, n)
    }
    split("launcher, first run (verify + Hello)|script (the same two commands)|script, each command through sh -c|direct java -cp Hello.jar Hello|launcher, repeat run (cached)", name, "|")
    for (k = 0; k < 5; k++)
      printf "%-40s wall best %6.1f ms, median %6.1f ms; cpu best %5.1f ms, median %5.1f ms\n", name[k + 1] ":", bw[k], mw[k], bc[k], mc[k]
    r = mw[0] / mw[1]; rr = mw[4] / mw[3]
    printf "cpu ratio launcher/script: %.3f, repeat/direct: %.3f (medians of %d runs each, for comparison)\n", mc[0] / mc[1], mc[4] / mc[3], n
    printf "ratio launcher first run/script: %.3f (wall, medians of %d runs each; target <= 1.05) %s\n", r, n, r <= 1.05 ? "ok" : "MISSED"
    printf "ratio launcher repeat run/direct java: %.3f (wall, medians of %d runs each; target <= 1.10) %s\n", rr, n, rr <= 1.10 ? "ok" : "MISSED"
    exit r <= 1.05 && rr <= 1.10 ? 0 : 1
  }' "$work/times"
