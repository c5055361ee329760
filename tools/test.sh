#!/bin/sh
# Sets Brindle up with everything its tests use and runs the whole suite:
# every test of the default build, the unit tests again under AddressSanitizer
# and UndefinedBehaviorSanitizer, and each fuzz target for a bounded time.
set -eu
repo=$(cd "$(dirname "$0")/.." && pwd)
"$repo/tools/setup.sh" test
cd "$repo"

# A failing test's output can run to thousands of lines, and a log's reader
# may see only its ends: the failures are repeated last.
run() {
  if ! ctest --preset "$1"; then
    echo "== what failed in the $1 tests =="
    grep -h -E -A4 '^(FAIL!|QFATAL|XPASS)|ERROR: AddressSanitizer|runtime error:' "$2/Testing/Temporary/LastTest.log" || true
    exit 1
  fi
}

run default build
for preset in sanitize fuzz; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  run "$preset" "build-$preset"
done
