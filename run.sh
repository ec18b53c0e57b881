#!/usr/bin/env bash
# The main job: install what is missing, build, pack the example launcher and run it.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"
build/bin/bvlauncher -bv:version
