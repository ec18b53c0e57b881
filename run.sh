#!/usr/bin/env bash
# The main job: install what is missing, build what the example needs (the
# bvlauncher stub, bvpack, the Java parts; not the tests, which ./test.sh
# builds), pack the example launcher (build/example/setup) and run it. It finds the JDK on the machine,
# verifies it with the embedded verification class and launches the example
# application with the arguments given to this script.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target example_launcher
build/bin/bvpack --list build/example/setup
echo "Running build/example/setup $*"
status=0
build/example/setup "$@" || status=$?
echo "The example launcher exited with status $status"
exit "$status"
