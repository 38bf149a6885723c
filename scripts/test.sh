#!/usr/bin/env bash
# Checks the layering and the formatting, then builds Pocketlane with
# AddressSanitizer and UBSan (installing what it needs on first use) and runs
# every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
python3 scripts/check-layers.py
find src tests bench -name '*.cpp' -o -name '*.h' | xargs clang-format --dry-run -Werror
build=${POCKETLANE_TEST_BUILD_DIR:-build-test}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPOCKETLANE_SANITIZE=ON >/dev/null
cmake --build "$build"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/tests/support/lsan.supp}
cd "$build"
ctest --output-on-failure -j2 "$@"
