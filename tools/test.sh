#!/bin/sh
# Sets Brindle up with everything its tests use and runs the whole suite:
# every test of the default build, the unit tests again under AddressSanitizer
# and UndefinedBehaviorSanitizer, and each fuzz target for a bounded time.
set -eu
repo=$(cd "$(dirname "$0")/.." && pwd)
"$repo/tools/setup.sh" test
cd "$repo"
ctest --preset default
for preset in sanitize fuzz; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done
