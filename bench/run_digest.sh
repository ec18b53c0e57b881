#!/usr/bin/env bash
# What the payload check costs a start. Launchers of the same payload with
# the digest block (the default) and without it (--no-digest), each running
# Hello with the JDK's verification taken from the cache (a repeat run):
#   hello  the payload of run_launcher.sh (the script, Verify.jar, Hello.jar):
#          what every start checks, the index and the scripts, and the two
#          small archives as they are copied out;
#   big    the same with a stored jar of MIB MiB of random bytes on the class
#          path, which the launcher copies out, and so checks, on every run
#          (the JVM never opens it: Hello is found in the first jar).
# Timed from start to end, alternating, medians of the runs; one direct
# `java -cp Hello.jar Hello` for scale.
# Target: hello with digests at most 1.05 times hello without. The big
# payload's figures (the added time, and the check's speed in MiB/s of CPU
# time) are printed for comparison; their cost grows with the bytes a run
# copies out.
#
# usage: bench/run_digest.sh [runs] [mib]   (defaults: 31 runs, 8 MiB)
# BUILD_DIR names the CMake build folder (default: build).
# Exit status: 0 when the target is met, 1 when missed, 2 on a setup error.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(cd "${BUILD_DIR:-build}" 2>/dev/null && pwd || echo "${BUILD_DIR:-build}")
runs=${1:-31}
mib=${2:-8}

[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target bvlauncher bvpack bv_java -j2 >/dev/null

java=$(command -v java || true)
if [ -z "$java" ]; then echo "digest: no java on PATH" >&2; exit 2; fi
home=$(readlink -f "$java"); home=${home%/bin/java}
jartool="$home/bin/jar"
[ -x "$jartool" ] || jartool=$(command -v jar || true)
if [ -z "$jartool" ]; then echo "digest: no jar tool" >&2; exit 2; fi

work=$(mktemp -d "${TMPDIR:-/tmp}/bvbench.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/tmp" "$work/big"

# A stored (uncompressed) jar of random bytes: it packs at full size.
head -c "$((mib << 20))" /dev/urandom >"$work/big/data.bin"
(cd "$work/big" && "$jartool" --create --no-compress --file "$work/big.jar" data.bin)

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
cat > "$work/launch.tag" <<'END'
DESC: Hello
DISPLAY_CONSOLE: 1
AUTO_SET_WORKING_DIR: 1
COMMAND: """@JVM_HOME@/@JVM_EXE@"" %CP%() Hello"
END
entries=(instructions:examples/setup/instructions.tag verify-jar:"$build/java/Verify.jar"
         launch-script:"$work/launch.tag" jvm:"$work/jvm.tag" classpath-jar:"$build/java/Hello.jar")
"$build/bin/bvpack" -o "$work/hello-sealed" "${entries[@]}" >/dev/null
"$build/bin/bvpack" --no-digest -o "$work/hello-plain" "${entries[@]}" >/dev/null
"$build/bin/bvpack" -o "$work/big-sealed" "${entries[@]}" classpath-jar:"$work/big.jar" >/dev/null
"$build/bin/bvpack" --no-digest -o "$work/big-plain" "${entries[@]}" classpath-jar:"$work/big.jar" >/dev/null

run() { XDG_CACHE_HOME=$work/cache BV_VERIFY_CACHE=1 JAVA_HOME=$home "$work/$1" -bv:tempdir "$work/tmp"; }
direct() { (cd "$work" && "$home/bin/java" -cp "$build/java/Hello.jar" Hello); }
kinds=(hello-sealed hello-plain big-sealed big-plain direct)
for what in "${kinds[@]}"; do
  if [ "$what" = direct ]; then out=$(direct); else out=$(run "$what"); fi
  grep -q "Hello, world!" <<<"$out" || { echo "digest: $what did not run Hello" >&2; exit 2; }
done

: > "$work/times"
TIMEFORMAT='%3R %3U %3S'
for ((i = 0; i < runs; i++)); do
  for what in "${kinds[@]}"; do
    if [ "$what" = direct ]; then
      { time direct >/dev/null 2>&1; } 2>>"$work/times"
    else
      { time run "$what" >/dev/null 2>&1; } 2>>"$work/times"
    fi
  done
done
[ -z "$(ls -A "$work/tmp")" ] || { echo "digest: temp files left behind" >&2; exit 2; }

awk -v runs="$runs" -v mib="$mib" '
  function sort(a, n,   i, j, t) {
    for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (a[j] < a[i]) { t = a[i]; a[i] = a[j]; a[j] = t }
  }
  function median(a, n) { sort(a, n); return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2 }
  {
    k = (NR - 1) % 5; i = int((NR - 1) / 5) + 1
    wall[k, i] = $1 * 1000; cpu[k, i] = ($2 + $3) * 1000
  }
  END {
    n = int(NR / 5)
    for (k = 0; k < 5; k++) {
      for (i = 1; i <= n; i++) { w[i] = wall[k, i]; c[i] = cpu[k, i] }
      mw[k] = median(w, n); mc[k] = median(c, n)
    }
    split("hello, with digests|hello, without digests|hello + " mib " MiB jar, with digests|hello + " mib " MiB jar, without digests|direct java -cp Hello.jar Hello", name, "|")
    for (k = 0; k < 5; k++) printf "%-40s wall median %6.1f ms; cpu median %5.1f ms\n", name[k + 1] ":", mw[k], mc[k]
    extra = mc[2] - mc[3]
    printf "the check of %d MiB more: %+.1f ms wall, %+.1f ms cpu", mib, mw[2] - mw[3], extra
    if (extra > 0) printf " (%.0f MiB/s of cpu time)", mib * 1000 / extra
    printf "; ratio with/without digests %.3f wall, %.3f cpu\n", mw[2] / mw[3], mc[2] / mc[3]
    printf "cpu ratio hello with/without digests: %.3f (for comparison)\n", mc[0] / mc[1]
    r = mw[0] / mw[1]
    printf "ratio hello with/without digests: %.3f (wall, medians of %d runs; target <= 1.05) %s\n", r, n, r <= 1.05 ? "ok" : "MISSED"
    exit r <= 1.05 ? 0 : 1
  }' "$work/times"
