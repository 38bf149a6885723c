#!/usr/bin/env bash
# Checks the layering and the formatting, then builds Pocketlane with
# AddressSanitizer and UBSan (installing what it needs on first use), runs
# clang-tidy with that build's compile commands (any warning fails the run)
# and runs every test; then builds the fuzz targets with clang in a build
# folder of their own and runs each for a bounded time
# (POCKETLANE_FUZZ_SECONDS each, default 45; 0 skips them).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
python3 scripts/check-layers.py
find src tests bench -name '*.cpp' -o -name '*.h' | xargs clang-format --dry-run -Werror
build=${POCKETLANE_TEST_BUILD_DIR:-build-test}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPOCKETLANE_SANITIZE=ON \
  -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
cmake --build "$build"
tidy_start=$SECONDS
bash scripts/tidy.sh -p "$build"
echo "clang-tidy took $((SECONDS - tidy_start))s"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/tests/support/lsan.supp}
# LeakSanitizer's own tracer now and then crashes while it checks a test
# process at its exit ("Tracer caught signal 11", a known fault of the
# sanitizer with threads, not of the test). When every failed test failed
# only that way, those tests run once more; any other failure stands.
again=""
if ! (cd "$build" && ctest --output-on-failure -j2 "$@") | tee "$build/ctest.log"; then
  failed=$(grep -acE 'Test +#[0-9]+: .*\*\*\*(Failed|Exception|Timeout)' "$build/ctest.log" || true)
  tracer=$(grep -ac 'LeakSanitizer has encountered a fatal error' "$build/ctest.log" || true)
  if [ "$failed" -eq 0 ] || [ "$failed" -ne "$tracer" ]; then exit 1; fi
  echo "$failed test(s) failed only by LeakSanitizer's tracer; running them again"
  (cd "$build" && ctest --output-on-failure --rerun-failed) | tee "$build/ctest-again.log"
  again="; run again: $(grep -aE 'tests passed, ' "$build/ctest-again.log" | tail -n 1)"
fi
summary="$(grep -aE 'tests passed, [0-9]+ tests failed out of' "$build/ctest.log" | tail -n 1)$again"

fuzz_seconds=${POCKETLANE_FUZZ_SECONDS:-45}
[ "$fuzz_seconds" -gt 0 ] || { echo "$summary"; exit 0; }
fuzz_build=${POCKETLANE_FUZZ_BUILD_DIR:-build-fuzz}
cmake -S . -B "$fuzz_build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DPOCKETLANE_FUZZ=ON \
  -DPOCKETLANE_BUILD_TESTS=OFF -DPOCKETLANE_BUILD_BENCH=OFF >/dev/null
cmake --build "$fuzz_build" --target fuzz
for target in "$fuzz_build"/fuzz/fuzz_*; do
  [ -f "$target" ] && [ -x "$target" ] || continue
  name=${target##*/fuzz_}
  # A scratch copy of the seed corpus: what a run finds stays out of the tree.
  corpus="$fuzz_build/corpus-$name"
  rm -rf "$corpus" && mkdir -p "$corpus" && cp fuzz/corpus/"$name"/* "$corpus"/
  echo "fuzzing $name for ${fuzz_seconds}s"
  if ! "$target" -max_total_time="$fuzz_seconds" -artifact_prefix="$fuzz_build/$name-" \
      "$corpus" >"$fuzz_build/$name.log" 2>&1; then
    tail -n 60 "$fuzz_build/$name.log"
    echo "fuzz target $name failed; the input is in $fuzz_build/$name-*" >&2
    exit 1
  fi
  tail -n 1 "$fuzz_build/$name.log"
done
# The test summary closes the run, after the fuzzing.
echo "$summary"
