#!/usr/bin/env bash
# Runs clang-tidy (checks in .clang-tidy) over every .cpp of src/, or of the
# given folders, with the compile commands of a configured and built build
# directory (the tests include the files moc writes there).
# Prints the warnings and a count per check; exits 1 when there is any.
#   scripts/tidy.sh [-p build-dir] [folder...]      e.g. scripts/tidy.sh src/base tests
set -euo pipefail
cd "$(dirname "$0")/.."
build=${POCKETLANE_TEST_BUILD_DIR:-build-test}
if [ "${1:-}" = "-p" ]; then
  build=$2
  shift 2
fi
if [ ! -f "$build/compile_commands.json" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
  cmake --build "$build"
fi
[ $# -gt 0 ] || set -- src
pattern="$PWD/($(IFS='|'; echo "${*%/}"))/"

log=$(mktemp)
trap 'rm -f "$log" "$log.counts"' EXIT
status=0
run-clang-tidy -p "$build" -quiet -j "$(nproc)" "$pattern" >"$log" 2>&1 || status=$?
# run-clang-tidy always asks for colours; a header's warning is reported once
# for every file including it.
sed -i -E 's/\x1b\[[0-9;]*m//g' "$log"
grep -E '^/.*: (warning|error): ' "$log" | sort -u | tee /dev/stderr |
  sed -E 's/.*\[([^]]+)\]$/\1/' | sort | uniq -c | sort -rn >"$log.counts" || true
if [ -s "$log.counts" ]; then
  echo "clang-tidy warnings per check:"
  cat "$log.counts"
  exit 1
fi
if [ "$status" -ne 0 ]; then
  tail -n 40 "$log"
  echo "clang-tidy failed (exit $status)" >&2
  exit 1
fi
echo "clang-tidy: no warnings in $*"
