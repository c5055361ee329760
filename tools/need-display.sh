#!/bin/sh
# Ends with one line of advice when there is no display to open a window on.
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display to open Brindle's window on; tools/screenshot.sh shows it under a virtual X display." >&2
  exit 1
fi
