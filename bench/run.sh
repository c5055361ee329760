#!/bin/sh
# Prints Brindle's performance table (Markdown). Needs the test set-up:
#   tools/setup.sh test && bench/run.sh
set -eu
repo=$(cd "$(dirname "$0")/.." && pwd)
build=$repo/build
cmake --build "$build" --target bar_drawing_bench press_setup_bench cpu_figures desktop_figures digest_figures minimal_window brindle >/dev/null

echo "| Figure | Measured | Goal |"
echo "| --- | --- | --- |"
"$build/bench/bar_drawing_bench" --benchmark_format=csv 2>/dev/null | grep '^"drawBar' |
  while IFS=, read -r name _ real _; do
    percent=${name#*/}; percent=${percent%\"}
    printf '| drawProgress, full 281 x 25 bar at %s %% | %.2f µs | under 5 µs at 100 %% |\n' "$percent" "$(echo "$real / 1000" | bc -l)"
  done

# What a press adds before wget runs, and a child's whole life, confined and
# not: medians of five repetitions.
"$build/bench/press_setup_bench" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
  --benchmark_format=csv 2>/dev/null | grep '_median"' | cut -d, -f1,3 | tr -d '"' > "${TMPDIR:-/tmp}/press_setup.$$"
figure() { grep "^$1_median," "${TMPDIR:-/tmp}/press_setup.$$" | cut -d, -f2; }
printf '| Set-up a press adds: confinement prepared, lock with the writer check | %.0f µs + %.0f µs | at most 5 ms |\n' \
  "$(figure prepareConfinement)" "$(figure takeLock)"
printf '| A child from fork to its end (`true`), unconfined / confined | %.1f ms / %.1f ms | |\n' \
  "$(echo "$(figure startAndEnd/0) / 1000" | bc -l)" "$(echo "$(figure startAndEnd/1) / 1000" | bc -l)"
rm -f "${TMPDIR:-/tmp}/press_setup.$$"

# Start-up to the window shown, and resident memory of the idle window, under
# a virtual display: Brindle and the minimal window in turn, eleven runs of
# each, so that a busy moment of the machine falls on both alike; the
# medians, and the median of each turn's ratio.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT INT TERM
export XDG_CONFIG_HOME="$scratch/config"
# The virtual display's session has no runtime folder of its own; without one
# Qt warns and falls back to a shared folder under /tmp.
export XDG_RUNTIME_DIR="$scratch/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
# A run whose program cannot reach its display (another display server took
# the number between xvfb-run's choice and its start) prints nothing and is
# run again.
measure() { # program window-name -> "milliseconds kilobytes"
  for _ in 1 2 3; do
    xvfb-run -a sh -c '
    start=$(date +%s%N)
    "$1" & pid=$!
    until xdotool search --onlyvisible --name "$2" >/dev/null 2>&1; do
      [ "$(awk "{print \$3}" /proc/$pid/stat)" != Z ] || exit 1
      sleep 0.005
    done
    end=$(date +%s%N)
    sleep 1
    rss=$(awk "/VmRSS/ {print \$2}" /proc/$pid/status)
    kill $pid
    echo $(( (end - start) / 1000000 )) $rss
  ' sh "$1" "$2" 2>/dev/null && return
  done
  return 1
}
median() { sort -n | awk '{ value[NR] = $1 } END { print value[int((NR + 1) / 2)] }'; }
turns=11
for _ in $(seq $turns); do
  measure "$build/src/app/brindle" '^Brindle$' >>"$scratch/brindle"
  measure "$build/bench/minimal_window" '^Minimal$' >>"$scratch/minimal"
done
b_ms=$(cut -d' ' -f1 "$scratch/brindle" | median); m_ms=$(cut -d' ' -f1 "$scratch/minimal" | median)
b_kb=$(cut -d' ' -f2 "$scratch/brindle" | median); m_kb=$(cut -d' ' -f2 "$scratch/minimal" | median)
ratio=$(paste -d' ' "$scratch/brindle" "$scratch/minimal" | awk '{ printf "%.2f\n", $1 / $3 }' | median)
kb_ratio=$(paste -d' ' "$scratch/brindle" "$scratch/minimal" | awk '{ printf "%.2f\n", $2 / $4 }' | median)
echo "| Start-up to window shown, median of $turns alternating runs | $b_ms ms (minimal Qt window $m_ms ms), median ratio $ratio | within 15 % of the minimal window (ratio at most 1.15) |"
echo "| Resident memory, idle window | $((b_kb / 1024)) MB (minimal Qt window $((m_kb / 1024)) MB), median ratio $kb_ratio | within 15 % of the minimal window |"

cd "$scratch"
# The figures' presses end behind no active window: none of their
# notifications, nor their keeping the computer awake, reaches the desktop's
# or the system's bus (desktop_figures starts its own).
export DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/bus DBUS_SYSTEM_BUS_ADDRESS=unix:path=/nonexistent/bus
"$build/bench/cpu_figures"
"$build/bench/desktop_figures" 2>/dev/null | grep "^|"
"$build/bench/digest_figures"
