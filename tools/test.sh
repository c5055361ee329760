#!/bin/sh
# Sets Brindle up with everything its tests use and runs the whole suite:
# every test of the default build, then the unit tests again under
# AddressSanitizer and UndefinedBehaviorSanitizer and each fuzz target for a
# bounded time, from one clang build made while the default tests run.
set -eu
repo=$(cd "$(dirname "$0")/.." && pwd)
"$repo/tools/setup.sh" test
cd "$repo"

# The default suites mostly wait on paced servers and timers: the sanitizer
# build takes the processor time they leave, at a lower priority, in a
# session of its own so that it ends with this script.
cmake --preset sanitize >/dev/null
setsid -w nice -n 10 cmake --build --preset sanitize >build/sanitize-build.log 2>&1 &
sanitizer_build=$!
trap 'kill -- -$sanitizer_build 2>/dev/null || true' EXIT

# A failing test's output can run to thousands of lines, and a log's reader
# may see only its ends: each failed suite is repeated last, by its failing
# lines (QtTest, sanitizers, libFuzzer) or else its last 30 lines.
failures() {
  awk '
    / Testing: / { name = $3; n = 0; out = 0; next }
    /^Output:$/ { out = 1; next }
    /^<end of output>$/ { out = 0; next }
    out { line[++n] = $0; next }
    /^Test / && !/^Test (time|Passed)/ {
      print "== " name ": " $0 " =="
      shown = 0
      for (i = 1; i <= n; i++)
        if (line[i] ~ /^(FAIL!|QFATAL|XPASS)|ERROR: |runtime error:|deadly signal|Timeout/)
          for (j = i; j <= n && j < i + 5; j++) { print line[j]; shown = 1 }
      if (!shown)
        for (i = (n > 30 ? n - 29 : 1); i <= n; i++) print line[i]
    }' "$1/Testing/Temporary/LastTest.log"
}

run() {
  if ! ctest --preset "$1"; then
    echo "== what failed in the $1 tests =="
    failures "$2" || true
    exit 1
  fi
}

run default build
if ! wait $sanitizer_build; then
  tail -n 40 build/sanitize-build.log
  exit 1
fi
run sanitize build-sanitize
