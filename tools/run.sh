#!/bin/sh
# Sets Brindle up and starts it in the user's download folder, as the
# installed menu entry does.
set -eu
repo=$(cd "$(dirname "$0")/.." && pwd)
"$repo/tools/setup.sh" run
"$repo/tools/need-display.sh"
exec "$repo/build/brindle-in-downloads" "$repo/build/src/app/brindle"
