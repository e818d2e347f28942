#!/usr/bin/env bash
# Measures the running program with live input: a private sound server whose virtual
# microphone plays a tone, a virtual display, the program at 1x and then at 2x.
# Prints the CPU time as a share of one core for each size, the resident memory, and the
# time from a block's delivery to the end of the paint that shows it (median and worst).
#
#   tests/e2e/measure.sh PROGRAM CLOSE_WINDOW [SECONDS per size, default 30]
set -euo pipefail

program=${1:?program}
close_window=${2:?close_window helper}
seconds=${3:-30}
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
work=$(mktemp -d /tmp/sonavex-measure.XXXXXX)
pid=""
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null
    "$root/scripts/sound-server.sh" stop "$work/sound" >/dev/null 2>&1 || true
    "$root/scripts/virtual-display.sh" stop "$work/display" >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT

"$root/scripts/sound-server.sh" start "$work/sound"
source "$work/sound/env"
"$root/scripts/virtual-display.sh" start "$work/display"
source "$work/display/env"
"$root/scripts/sound-server.sh" play "$work/sound" 440

SONAVEX_PAINT_TIMING=1 "$program" 2>"$work/program.err" &
pid=$!
wid=$("$root/scripts/wait-window.sh" Sonavex 5) || { echo "no window" >&2; exit 1; }
sleep 2

ticks=$(getconf CLK_TCK)
# CPU ticks of the whole process and of its window thread (the thread whose id is the pid).
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$pid/stat"; }
window_ticks() { awk '{ print $14 + $15 }' "/proc/$pid/task/$pid/stat"; }
percent() {
    awk -v c="$1" -v hz="$ticks" -v ns="$2" 'BEGIN { printf "%.2f", 100 * c / hz / (ns / 1e9) }'
}
# CPU share of one core over the given seconds, in percent: the whole process, and in
# brackets the window thread's part (the rest is the audio client's threads).
cpu_share() {
    local t0 c0 w0 t1 c1 w1
    t0=$(date +%s%N)
    c0=$(cpu_ticks)
    w0=$(window_ticks)
    sleep "$1"
    t1=$(date +%s%N)
    c1=$(cpu_ticks)
    w1=$(window_ticks)
    echo "$(percent $((c1 - c0)) $((t1 - t0)))% (window thread $(percent $((w1 - w0)) $((t1 - t0)))%)"
}

one=$(cpu_share "$seconds")
xdotool mousemove --window "$wid" 155 15 click 1 # the size button: 2x
sleep 1
two=$(cpu_share "$seconds")
rss=$(awk '/VmHWM/ { printf "%.1f", $2 / 1024 }' "/proc/$pid/status")

"$close_window" "$wid"
wait "$pid" || true
pid=""
echo "CPU, share of one core over ${seconds} s: 1x ${one}, 2x ${two}"
echo "resident memory, peak: ${rss} MB"
grep 'delivery-to-paint' "$work/program.err" || echo "no paint timing recorded"
