#!/bin/sh
# Starts Brindle under a virtual X display and saves a PNG of its window.
#   tools/screenshot.sh [binary] [output.png]
# The settings and working folder are temporary unless XDG_CONFIG_HOME is set,
# and so is the runtime folder unless XDG_RUNTIME_DIR is.
set -eu
binary=${1:-build/src/app/brindle}
output=${2:-docs/window.png}
mkdir -p "$(dirname "$output")"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT INT TERM
: "${XDG_CONFIG_HOME:=$scratch/config}"
export XDG_CONFIG_HOME
# A virtual display has no login session, so no runtime folder: Qt would warn
# and fall back to a shared one under /tmp.
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
  XDG_RUNTIME_DIR=$scratch/runtime
  mkdir -m 700 "$XDG_RUNTIME_DIR"
  export XDG_RUNTIME_DIR
fi
output_abs=$(realpath -m "$output")
binary_abs=$(realpath "$binary")
cd "$scratch"
xvfb-run -a -s "-screen 0 800x600x24" sh -c '
  "$1" & app=$!
  for i in $(seq 50); do
    window=$(xdotool search --name "^Brindle$" 2>/dev/null | head -1) && [ -n "$window" ] && break
    sleep 0.1
  done
  sleep 1.2
  import -window "$window" "$2"
  kill $app
' sh "$binary_abs" "$output_abs"
echo "saved $output"
