#!/bin/sh
# A demo without the internet: serves a generated 100 MB file on 127.0.0.1
# at about 3 MB/s and opens Brindle with its address remembered, in a
# temporary folder that is removed afterwards.
set -eu
repo=$(cd "$(dirname "$0")/.." && pwd)
"$repo/tools/setup.sh" run
"$repo/tools/need-display.sh"
scratch=$(mktemp -d)
server=""
trap '[ -z "$server" ] || kill "$server"; rm -rf "$scratch"' EXIT INT TERM
mkdir -p "$scratch/site" "$scratch/downloads" "$scratch/config/Brindle"
head -c 104857600 /dev/urandom > "$scratch/site/demo.bin"
python3 "$repo/tools/test_server.py" --root "$scratch/site" > "$scratch/port" &
server=$!
until [ -s "$scratch/port" ]; do sleep 0.1; done
address="http://127.0.0.1:$(head -n 1 "$scratch/port")/x/rate=3000000/demo.bin"
# Brindle reads no command line; the address goes in through its settings.
printf '[lasturl]\nlast=%s\n' "$address" > "$scratch/config/Brindle/brindle.ini"
echo "Brindle shows a demo address served from this machine: press Download, Pause and Download again."
cd "$scratch/downloads"
XDG_CONFIG_HOME="$scratch/config" "$repo/build/src/app/brindle"
