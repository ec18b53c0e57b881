#!/usr/bin/env bash
# Runs the example launcher under valgrind memcheck (its payload packed onto
# the stub linked against the shared C library, build/tests/bvlauncher-shared):
# a typical run, one with a log file, one that finds no JVM, one whose input
# file is missing, one of a launcher whose trailer is cut off and one whose
# classpath archive was changed. Each must
# end without a memcheck error and without a definite leak, and leave its
# temporary directory empty. The Java processes the launcher starts are not
# traced.
#
# Usage: tests/valgrind_example.sh [BUILD_DIR]   (default: build)
# Exit status: 0 all clean, 1 a finding or a leftover, 77 when valgrind or
# the example launcher is missing.
set -euo pipefail
build="$(cd "${1:-build}" && pwd)"
src="$(cd "$(dirname "$0")/.." && pwd)"
valgrind="$(command -v valgrind || true)"
if [ -z "$valgrind" ]; then
  echo "valgrind is not installed; skipped"
  exit 77
fi
if [ ! -x "$build/example/setup" ] || [ ! -x "$build/tests/bvlauncher-shared" ]; then
  # The tree packs it only where a JDK builds the Java parts.
  echo "no example launcher at $build/example/setup (built with the tree when a JDK is there); skipped"
  exit 77
fi

work="$(mktemp -d "${TMPDIR:-/tmp}/bvvalgrind.XXXXXX")"
trap 'rm -rf "$work"' EXIT
failures=0

# The example's payload (examples/CMakeLists.txt) on the stub linked against
# the shared C library: memcheck sees the heap only through that library.
launcher="$work/setup"
"$build/bin/bvpack" --stub "$build/tests/bvlauncher-shared" -o "$launcher" \
  instructions:"$src/examples/setup/instructions.tag" verify-jar:"$build/java/Verify.jar" \
  launch-script:"$src/examples/setup/launch.tag" jvm:"$src/examples/setup/jvm-linux.tag" \
  jvm:"$src/examples/setup/jvm-macos.tag" classpath-jar:"$build/java/ExampleSetup.jar" >/dev/null

# check NAME EXPECTED_REGEX ENV_COMMAND... -- LAUNCHER ARGS...
# Runs the launcher with -bv:tempdir under memcheck and checks the result.
check() {
  local name="$1" expected="$2"
  shift 2
  local prefix=()
  while [ "$1" != "--" ]; do
    prefix+=("$1")
    shift
  done
  shift
  local program="$1"
  shift
  local temp="$work/$name.tmp"
  mkdir -p "$temp"
  local status=0
  "${prefix[@]}" "$valgrind" --leak-check=full --errors-for-leak-kinds=definite \
    --error-exitcode=99 --trace-children=no --log-file="$work/$name.valgrind" \
    "$program" -bv:tempdir "$temp" "$@" >"$work/$name.out" 2>&1 || status=$?
  local problem=""
  if [ "$status" = 99 ] || ! grep -q "ERROR SUMMARY: 0 errors" "$work/$name.valgrind"; then
    problem="memcheck reported errors or leaks"
  elif [ -n "$(ls -A "$temp")" ]; then
    problem="left in the temp directory: $(ls -A "$temp" | tr '\n' ' ')"
  elif ! grep -qE -- "$expected" "$work/$name.out"; then
    problem="the output lacks: $expected"
  fi
  if [ -n "$problem" ]; then
    failures=$((failures + 1))
    echo "FAIL $name (exit status $status): $problem"
    echo "--- output"
    cat "$work/$name.out"
    echo "--- memcheck"
    cat "$work/$name.valgrind"
  else
    echo "ok   $name (exit status $status)"
  fi
}

# The example finds the machine's JDK through its path hints; without one it
# ends with the not-found message, which is still a full run.
found_or_not="Example setup application done\.|A suitable JVM could not be found\."
check typical "$found_or_not" env -- "$launcher"
check log "$found_or_not" env -- "$launcher" -bv:log "$work/run.log"
if ! grep -q "^file type: 0" "$work/run.log"; then
  failures=$((failures + 1))
  echo "FAIL log: the log file lacks the index listing"
fi

# No JVM: an input file replaces the JVM files by one whose executable
# exists nowhere, and PATH and JAVA_HOME are cleared.
cat >"$work/nojvm.jvm" <<EOF
DESC: No such JVM
JVM_EXE: bin/no-such-java
PATH_HINT:
  $work/no-such-home
/:
JVM_PROPERTIES:
  "os.name=Linux"
/:
EOF
cat >"$work/nojvm.tag" <<EOF
ACTION: RUN_INSTRUCTIONS
LOGFILE: $work/nojvm.log
JVM: $work/nojvm.jvm
EOF
check nojvm "A suitable JVM could not be found\\." \
  env -u JAVA_HOME -u JDK_HOME PATH="$work/no-such-dir" -- "$launcher" -bv:in "$work/nojvm.tag"

# Failures: a missing input file, a launcher cut short (its trailer gone),
# one with a byte of its classpath archive changed (its digest differs).
check missing-input "Could not load the input file\\." env -- "$launcher" -bv:in "$work/missing.tag"
damaged_message="The launcher file is damaged or incomplete\\. Download it again\\."
head -c "$(($(stat -c %s "$launcher") - 3))" "$launcher" >"$work/cut"
chmod 755 "$work/cut"
check cut "$damaged_message" env -- "$work/cut"
cp "$launcher" "$work/damaged"
jar_at=$(grep -abo "ExampleSetup\.class" "$work/damaged" | head -1 | cut -d: -f1)
printf 'X' | dd of="$work/damaged" bs=1 seek="$jar_at" conv=notrunc status=none
check damaged "$damaged_message" env -- "$work/damaged"

if [ "$failures" != 0 ]; then
  echo "$failures run(s) failed"
  exit 1
fi
echo "memcheck: no errors, no definite leaks"
