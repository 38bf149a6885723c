#!/usr/bin/env bash
# Runs clang-tidy (checks in .clang-tidy) over src/, or over the given folders
# of src/, with the compile commands of a configured build directory.
# Prints the warnings and a count per check; exits 1 when there is any.
#   scripts/tidy.sh [-p build-dir] [folder...]      e.g. scripts/tidy.sh base wml
set -euo pipefail
cd "$(dirname "$0")/.."
build=${POCKETLANE_TEST_BUILD_DIR:-build-test}
if [ "${1:-}" = "-p" ]; then
  build=$2
  shift 2
fi
if [ ! -f "$build/compile_commands.json" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
fi
pattern="$PWD/src/"
[ $# -gt 0 ] && pattern="$PWD/src/($(IFS='|'; echo "$*"))/"

log=$(mktemp)
trap 'rm -f "$log"' EXIT
run-clang-tidy -p "$build" -quiet -j "$(nproc)" "$pattern" >"$log" 2>&1 || true
# A header's warning is reported once for every file including it.
grep -E '^/.*: (warning|error): ' "$log" | sort -u | tee /dev/stderr |
  sed -E 's/.*\[([^]]+)\]$/\1/' | sort | uniq -c | sort -rn >"$log.counts" || true
if [ -s "$log.counts" ]; then
  echo "clang-tidy warnings per check:"
  cat "$log.counts"
  rm -f "$log.counts"
  exit 1
fi
rm -f "$log.counts"
grep -q -E '^/.*: error: ' "$log" && exit 1
echo "clang-tidy: no warnings in ${*:-src}"
