#!/bin/sh
# Sets Brindle up and starts it; downloads land in the user's download folder.
set -eu
repo=$(cd "$(dirname "$0")/.." && pwd)
"$repo/tools/setup.sh" run
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display to open Brindle's window on; tools/screenshot.sh shows it under a virtual X display." >&2
  exit 1
fi
downloads=$(xdg-user-dir DOWNLOAD 2>/dev/null || echo "$HOME/Downloads")
mkdir -p "$downloads"
cd "$downloads"
exec "$repo/build/src/app/brindle"
