#!/usr/bin/env bash
# Measures the running program at several window sizes with live input: a private sound
# server whose virtual microphone plays a tone, a virtual display large enough for a 4K
# window. For each program given, one after the other in the same run: the CPU time as a
# share of one core and the resident memory at 1x, 2x, 1920x1080 and 3840x2160 (the whole
# window), then the resident memory a moment after coming back to exactly 1x and again
# after a further measuring period there.
#
#   bench/measure_sizes.sh CLOSE_WINDOW SECONDS PROGRAM [PROGRAM...]
set -euo pipefail

close_window=${1:?close_window helper}
seconds=${2:?seconds per size}
shift 2
[ $# -gt 0 ] || { echo "usage: measure_sizes.sh CLOSE_WINDOW SECONDS PROGRAM..." >&2; exit 2; }
source "$(dirname "${BASH_SOURCE[0]}")/../tests/e2e/common.sh"
# Pinned to the virtual display, also when started from a Wayland desktop.
export QT_QPA_PLATFORM=xcb
unset WAYLAND_DISPLAY
private_display 4096x2400
private_sound_server
play 440

ticks=$(getconf CLK_TCK)
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$pid/stat"; }
resident() { awk '/VmRSS/ { printf "%.1f", $2 / 1024 }' "/proc/$pid/status"; }
# CPU share of one core over $1 seconds, in percent.
cpu_share() {
    local t0 c0 t1 c1
    t0=$(date +%s%N)
    c0=$(cpu_ticks)
    sleep "$1"
    t1=$(date +%s%N)
    c1=$(cpu_ticks)
    awk -v c=$((c1 - c0)) -v hz="$ticks" -v ns=$((t1 - t0)) \
        'BEGIN { printf "%.1f", 100 * c / hz / (ns / 1e9) }'
}
# Resizes the window and waits until the program has seen the new size.
resize() {
    xdotool windowsize --sync "$wid" "$1" "$2" 2>/dev/null || xdotool windowsize "$wid" "$1" "$2"
    sleep 1
}

rows=("1x" "2x" "1920x1080" "3840x2160" "1x again, 0.2 s after" "1x again, ${seconds} s after")
declare -A cell
for program in "$@"; do
    "$program" 2>"$work/program.err" &
    pid=$!
    wid=$("$root/scripts/wait-window.sh" Sonavex 5) || { echo "no window" >&2; exit 1; }
    sleep 2
    read -r w1 h1 < <(xwininfo -id "$wid" | awk '/Width:/ { w = $2 } /Height:/ { h = $2 } END { print w, h }')
    cell["$program,0"]="$(cpu_share "$seconds") % / $(resident) MB"
    resize $((w1 + 352)) $((h1 + 172))
    cell["$program,1"]="$(cpu_share "$seconds") % / $(resident) MB"
    resize 1920 1080
    cell["$program,2"]="$(cpu_share "$seconds") % / $(resident) MB"
    resize 3840 2160
    cell["$program,3"]="$(cpu_share "$seconds") % / $(resident) MB"
    xdotool windowsize "$wid" "$w1" "$h1"
    sleep 0.2
    cell["$program,4"]="$(resident) MB"
    cell["$program,5"]="$(cpu_share "$seconds") % / $(resident) MB"
    peak=$(awk '/VmHWM/ { printf "%.1f", $2 / 1024 }' "/proc/$pid/status")
    cell["$program,peak"]="$peak MB"
    "$close_window" "$wid"
    wait "$pid" || true
    pid=""
done

echo "CPU (share of one core over ${seconds} s) / resident memory, window size:"
printf '| window |'
for program in "$@"; do printf ' %s |' "$program"; done
printf '\n|---|'
for _ in "$@"; do printf -- '---|'; done
echo
for i in "${!rows[@]}"; do
    printf '| %s |' "${rows[$i]}"
    for program in "$@"; do printf ' %s |' "${cell["$program,$i"]}"; done
    echo
done
printf '| peak resident |'
for program in "$@"; do printf ' %s |' "${cell["$program,peak"]}"; done
echo
