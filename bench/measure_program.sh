#!/usr/bin/env bash
# Measures the running program with live input: a private sound server whose virtual
# microphone plays a tone, a virtual display, the program at 1x and then at 2x. Does so on
# PulseAudio and on PipeWire (pipewire-pulse) one after the other, in one run.
# Prints the CPU time as a share of one core for each size, of the program and of the sound
# server's processes over the same interval, the resident memory, and the time from a
# block's delivery to the end of the paint that shows it (median and worst).
#
#   bench/measure_program.sh PROGRAM CLOSE_WINDOW [SECONDS per size, default 30] [KINDS]
#     KINDS: the servers to measure on, default "pulseaudio pipewire"
set -euo pipefail

program=${1:?program}
close_window=${2:?close_window helper}
seconds=${3:-30}
kinds=${4:-pulseaudio pipewire}
source "$(dirname "${BASH_SOURCE[0]}")/../tests/e2e/common.sh"
# Pinned to the virtual display, also when started from a Wayland desktop.
export QT_QPA_PLATFORM=xcb
unset WAYLAND_DISPLAY
private_display

ticks=$(getconf CLK_TCK)
# CPU ticks of the program, of its window thread (the thread whose id is the pid), and of
# the sound server's processes (all of them summed, then each by name).
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$pid/stat"; }
window_ticks() { awk '{ print $14 + $15 }' "/proc/$pid/task/$pid/stat"; }
server_ticks() {
    local p
    for p in $(cat "$work/sound/server.pids"); do
        printf '%s %s\n' "$(cat "/proc/$p/comm")" "$(awk '{ print $14 + $15 }' "/proc/$p/stat")"
    done
}
percent() {
    awk -v c="$1" -v hz="$ticks" -v ns="$2" 'BEGIN { printf "%.2f", 100 * c / hz / (ns / 1e9) }'
}
# CPU share of one core over the given seconds, in percent: the whole program and in
# brackets the window thread's part (the rest is the audio client's threads); then the
# server's processes.
cpu_share() {
    local t0 c0 w0 s0 t1 c1 w1 s1 ns servers
    t0=$(date +%s%N)
    c0=$(cpu_ticks)
    w0=$(window_ticks)
    s0=$(server_ticks)
    sleep "$1"
    t1=$(date +%s%N)
    c1=$(cpu_ticks)
    w1=$(window_ticks)
    s1=$(server_ticks)
    ns=$((t1 - t0))
    servers=$(paste -d' ' <(echo "$s0") <(echo "$s1") |
        awk -v hz="$ticks" -v ns="$ns" '{ d = $4 - $2; sum += d
            each = each sprintf("%s%s %.2f%%", n++ ? ", " : "", $1, 100 * d / hz / (ns / 1e9)) }
            END { printf "%.2f%% (%s)", 100 * sum / hz / (ns / 1e9), each }')
    echo "program $(percent $((c1 - c0)) $ns)% (window thread $(percent $((w1 - w0)) $ns)%), server $servers"
}

measure_on() {
    local kind=$1 wid one two rss
    private_sound_server "$kind"
    (
        source "$work/sound/env"
        "$root/scripts/sound-server.sh" play "$work/sound" 440
        SONAVEX_PAINT_TIMING=1 "$program" 2>"$work/program.err" &
        pid=$!
        wid=$("$root/scripts/wait-window.sh" Sonavex 5) || { echo "no window" >&2; exit 1; }
        sleep 2
        one=$(cpu_share "$seconds")
        xdotool mousemove --window "$wid" 155 15 click 1 # the size button: 2x
        sleep 1
        two=$(cpu_share "$seconds")
        rss=$(awk '/VmHWM/ { printf "%.1f", $2 / 1024 }' "/proc/$pid/status")
        "$close_window" "$wid"
        wait "$pid" || true
        echo "== on $kind ($(pactl info | sed -n 's/^Server Name: //p'))"
        echo "CPU, share of one core over ${seconds} s:"
        echo "  1x: ${one}"
        echo "  2x: ${two}"
        echo "resident memory, peak: ${rss} MB"
        grep 'delivery-to-paint' "$work/program.err" || echo "no paint timing recorded"
    )
    "$root/scripts/sound-server.sh" stop "$work/sound"
    rm -rf "$work/sound"
}

for kind in $kinds; do
    measure_on "$kind"
done
