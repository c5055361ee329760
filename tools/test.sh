#!/bin/sh
# Sets Brindle up with everything its tests use and runs the whole suite.
set -eu
repo=$(cd "$(dirname "$0")/.." && pwd)
"$repo/tools/setup.sh" test
cd "$repo"
ctest --preset default "$@"
