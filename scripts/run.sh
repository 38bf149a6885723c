#!/usr/bin/env bash
# Builds Pocketlane (installing what it needs on first use) and runs it.
# Arguments go to the program, e.g. scripts/run.sh --port 8080 --headless
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DPOCKETLANE_BUILD_TESTS=OFF -DPOCKETLANE_BUILD_BENCH=OFF >/dev/null
cmake --build build --target pocketlane
exec build/src/pocketlane "$@"
