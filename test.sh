#!/usr/bin/env bash
# The tests: install what is missing, build, run every test; then build the
# whole tree again with AddressSanitizer and UndefinedBehaviorSanitizer in
# build-asan/ and run every test there too (BV_SANITIZE_TESTS=0 skips that).
set -euo pipefail
cd "$(dirname "$0")"
# With the tools of the test that shows a real window (Xvfb, zenity).
BV_WITH_DESKTOP=1 scripts/install-deps.sh
jobs="$(nproc)"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

if [ "${BV_SANITIZE_TESTS:-1}" != 0 ]; then
  cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBV_SANITIZE=ON >/dev/null
  cmake --build build-asan -j"$jobs"
  # Any report fails the test that ran into it (programs started by the
  # tests, such as bvlauncher, included), and leaks count as reports.
  export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:strict_string_checks=1:check_initialization_order=1"
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
  ctest --test-dir build-asan --output-on-failure -j"$jobs"
fi
