#!/usr/bin/env bash
# End-to-end checks of the real program on an X display with a PulseAudio server whose
# virtual microphone plays a chosen tone. Reads the picture from the window's own pixels and
# clicks the real toolbar.
#
#   program_test.sh CASE PROGRAM CLOSE_WINDOW
#     CASE: tone | pause | topmost | second-copy | sound-server-lost | close
#
# Needs DISPLAY, PULSE_SERVER and SONAVEX_SOUND_DIR (scripts/test.sh exports them); without
# them it skips (exit 77), or fails when SONAVEX_REQUIRE_SERVICES=1.
set -uo pipefail

case_name=${1:?case}
program=${2:?program}
close_window=${3:?close_window helper}
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
sound_server="$root/scripts/sound-server.sh"

if [ -z "${DISPLAY:-}" ] || [ -z "${PULSE_SERVER:-}" ] || [ -z "${SONAVEX_SOUND_DIR:-}" ]; then
    if [ "${SONAVEX_REQUIRE_SERVICES:-0}" = 1 ]; then
        echo "FAIL: DISPLAY, PULSE_SERVER and SONAVEX_SOUND_DIR are required"
        exit 1
    fi
    echo "SKIP: no display or sound server"
    exit 77
fi

work=$(mktemp -d /tmp/sonavex-e2e.XXXXXX)
pid=""
private_sound=""
cleanup() {
    if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
        kill "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    fi
    [ -n "$private_sound" ] && "$sound_server" stop "$private_sound" >/dev/null 2>&1
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*"
    exit 1
}

now_ms() { date +%s%3N; }

# The program's top-level window ids, one per running copy (titled exactly "Sonavex").
program_windows() { xwininfo -root -children 2>/dev/null | awk '$2 == "\"Sonavex\":" { print $1 }'; }

start_program() {
    "$program" >"$work/program.log" 2>&1 &
    pid=$!
    for _ in $(seq 100); do
        wid=$(program_windows | head -1)
        [ -n "$wid" ] && break
        sleep 0.05
    done
    [ -n "$wid" ] || fail "no window appeared"
    # At 1x the picture (352 x 172) sits at the bottom inside a 2-pixel edge.
    local height
    height=$(xwininfo -id "$wid" | awk '/Height:/ { print $2 }')
    picture_top=$((height - 172 - 2))
}

# The picture's pixels as raw RGB.
picture_rgb() {
    import -window "$wid" "$work/shot.png" 2>/dev/null || return 1
    convert "$work/shot.png" -crop "352x172+2+$picture_top" +repage rgb:-
}

picture_digest() { picture_rgb | md5sum | cut -d' ' -f1; }

# The bar with the most lit pixels in its middle column (bar i spans columns 4i..4i+2).
tallest_bar() {
    import -window "$wid" "$work/bars.png" 2>/dev/null || return 1
    convert "$work/bars.png" -crop "352x80+2+$picture_top" +repage txt:- |
        awk -F'[,: ()]+' 'NR > 1 && $1 % 4 == 1 && $3 + $4 + $5 > 0 { lit[$1]++ }
            END { best = 1; for (x = 1; x < 352; x += 4) if (lit[x] > lit[best]) best = x
                  print (best - 1) / 4 }'
}

# Polls until the tallest bar is $1, for at most $2 milliseconds; prints the last bar seen.
wait_for_bar() {
    local want=$1 deadline=$(($(now_ms) + $2)) bar=""
    while :; do
        bar=$(tallest_bar)
        [ "$bar" = "$want" ] && break
        [ "$(now_ms)" -ge "$deadline" ] && break
        sleep 0.05
    done
    echo "$bar"
}

# Clicks a toolbar button at its position in the window (buttons are laid out from the left).
click() {
    xdotool mousemove --window "$wid" "$1" "$2" click 1
}
topmost_button_x=16
pause_button_x=41
toolbar_y=15

# The distinct nice values of all the program's threads.
thread_nice() { ps -L -o ni= -p "$pid" | sort -u | tr -d ' ' | paste -sd' '; }

moving() {
    local first second
    first=$(picture_digest)
    sleep 0.3
    second=$(picture_digest)
    [ "$first" != "$second" ]
}

case "$case_name" in
tone)
    "$sound_server" play "$SONAVEX_SOUND_DIR" 440
    start_program
    bar=$(wait_for_bar 48 1000)
    [ "$bar" = 48 ] || fail "440 Hz: tallest bar $bar after a second, expected 48"
    "$sound_server" play "$SONAVEX_SOUND_DIR" 1000
    bar=$(wait_for_bar 62 1500)
    [ "$bar" = 62 ] || fail "1000 Hz: tallest bar $bar, expected 62"
    ;;
pause)
    "$sound_server" play "$SONAVEX_SOUND_DIR" 440
    start_program
    [ "$(wait_for_bar 48 2000)" = 48 ] || fail "no spectrum before pausing"
    moving || fail "the picture does not move while capturing"
    click "$pause_button_x" "$toolbar_y"
    sleep 0.3
    moving && fail "the picture still moves after pausing"
    click "$pause_button_x" "$toolbar_y"
    sleep 0.5
    moving || fail "the picture does not move again after resuming"
    ;;
topmost)
    start_program
    sleep 0.5 # the capture thread is running
    normal=$(thread_nice)
    click "$topmost_button_x" "$toolbar_y"
    sleep 0.3
    raised=$(thread_nice)
    if [ "$(id -u)" = 0 ]; then
        [ "$raised" = -10 ] || fail "thread nice values $raised while on top, expected -10"
    else
        [ "$raised" = "$normal" ] || fail "nice values changed to $raised without permission"
    fi
    click "$topmost_button_x" "$toolbar_y"
    sleep 0.3
    [ "$(thread_nice)" = "$normal" ] || fail "nice values $(thread_nice) after release"
    ;;
second-copy)
    start_program
    timeout 10 "$program" >"$work/second.log" 2>&1
    rc=$?
    [ "$rc" = 0 ] || fail "the second copy exited with $rc"
    count=$(program_windows | wc -l)
    [ "$count" = 1 ] || fail "$count windows after starting a second copy"
    kill -0 "$pid" 2>/dev/null || fail "the first copy is gone"
    ;;
sound-server-lost)
    # A server of our own, so that killing it leaves the shared one alone.
    private_sound="$work/sound"
    "$sound_server" start "$private_sound" >/dev/null || fail "cannot start a private server"
    (
        source "$private_sound/env"
        "$sound_server" play "$private_sound" 440
    )
    export XDG_RUNTIME_DIR="$private_sound/run" PULSE_SERVER="unix:$private_sound/run/pulse/native"
    start_program
    [ "$(wait_for_bar 48 2000)" = 48 ] || fail "no spectrum from the private server"
    "$sound_server" stop "$private_sound"
    sleep 1
    kill -0 "$pid" 2>/dev/null || fail "the program died with the sound server"
    moving && fail "the picture still moves without a sound server"
    program_windows | grep -qx "$wid" || fail "the window is gone"
    # Pausing and resuming tries the missing server again and must not hurt either.
    click "$pause_button_x" "$toolbar_y"
    click "$pause_button_x" "$toolbar_y"
    sleep 0.5
    kill -0 "$pid" 2>/dev/null || fail "the program died retrying without a sound server"
    ;;
close)
    start_program
    sleep 0.5
    "$close_window" "$wid" || fail "cannot ask the window to close"
    for _ in $(seq 50); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    kill -0 "$pid" 2>/dev/null && fail "the program still runs after its window was closed"
    wait "$pid"
    rc=$?
    pid=""
    [ "$rc" = 0 ] || fail "exit code $rc after closing the window"
    ;;
*)
    fail "unknown case $case_name"
    ;;
esac
echo "PASS: $case_name"
