#!/bin/sh
# Sets Brindle up and starts it; downloads land in the user's download folder.
set -eu
repo=$(cd "$(dirname "$0")/.." && pwd)
"$repo/tools/setup.sh" run
"$repo/tools/need-display.sh"
downloads=$(xdg-user-dir DOWNLOAD 2>/dev/null || echo "$HOME/Downloads")
mkdir -p "$downloads"
cd "$downloads"
exec "$repo/build/src/app/brindle"
