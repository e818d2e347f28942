#!/usr/bin/env bash
# End-to-end checks of the real program on an X display with a PulseAudio server whose
# virtual microphone plays a chosen tone. Reads the picture from the window's own pixels and
# clicks the real toolbar.
#
#   program_test.sh CASE PROGRAM CLOSE_WINDOW
#     CASE: tone (and pause) | topmost | second-copy (and close) | sound-server-lost (and
#           retry) | server-hangs
#
# Needs DISPLAY, PULSE_SERVER and SONAVEX_SOUND_DIR (scripts/test.sh exports them); without
# them it skips (exit 77), or fails when SONAVEX_REQUIRE_SERVICES=1.
set -uo pipefail

case_name=${1:?case}
program=${2:?program}
close_window=${3:?close_window helper}
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
sound_server="$root/scripts/sound-server.sh"

if [ -z "${DISPLAY:-}" ] || [ -z "${PULSE_SERVER:-}" ] || [ -z "${SONAVEX_SOUND_DIR:-}" ]; then
    [ "${SONAVEX_REQUIRE_SERVICES:-0}" = 1 ] && { echo "FAIL: no display or sound server"; exit 1; }
    echo "SKIP: no display or sound server"
    exit 77
fi

# On the test's X display, also when started from a Wayland desktop.
export QT_QPA_PLATFORM=xcb
unset WAYLAND_DISPLAY

work=$(mktemp -d /tmp/sonavex-e2e.XXXXXX)
pid="" cover="" private_sound="" stopped=""
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    [ -n "$cover" ] && kill "$cover" 2>/dev/null
    [ -n "$stopped" ] && kill -CONT "$stopped" 2>/dev/null
    [ -n "$private_sound" ] && "$sound_server" stop "$private_sound" >/dev/null 2>&1
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*"
    exit 1
}
alive() { kill -0 "$pid" 2>/dev/null; }

# Top-level windows, topmost first: the program's are titled exactly "Sonavex".
program_windows() { xwininfo -root -children | awk '$2 == "\"Sonavex\":" { print $1 }'; }

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
    picture_top=$(($(xwininfo -id "$wid" | awk '/Height:/ { print $2 }') - 174))
}

# The picture's pixels as text, one "x,y: (r,g,b...)" line each.
picture() {
    import -window "$wid" "$work/shot.png" 2>/dev/null &&
        convert "$work/shot.png" -crop "352x172+2+$picture_top" +repage txt:-
}

# The bar with the most lit pixels in its middle column.
tallest_bar() {
    "$root/scripts/bar-heights.sh" "$wid" |
        awk '{ best = 1; for (b = 2; b <= NF; b++) if ($b > $best) best = b; print best - 1 }'
}

# Polls for at most $2 milliseconds until the tallest bar is $1.
wait_for_bar() {
    local deadline=$(($(date +%s%3N) + $2))
    until [ "$(tallest_bar)" = "$1" ]; do
        [ "$(date +%s%3N)" -ge "$deadline" ] && fail "tallest bar $(tallest_bar), expected $1"
        sleep 0.05
    done
}

# Polls for at most $1 milliseconds until the command that follows succeeds.
wait_until() {
    local deadline=$(($(date +%s%3N) + $1))
    shift
    until "$@"; do
        [ "$(date +%s%3N)" -ge "$deadline" ] && return 1
        sleep 0.05
    done
}

# Whether the program has a recording stream on the sound server.
recording() { pactl list source-outputs 2>/dev/null | grep -q "application.process.id = \"$pid\""; }
not_recording() { ! recording; }

# Over 0.3 s (six blocks), whether the picture changed.
moving() {
    local first
    first=$(picture | md5sum)
    sleep 0.3
    [ "$first" != "$(picture | md5sum)" ]
}

# Toolbar buttons, laid out from the left: topmost, then pause.
click() { xdotool mousemove --window "$wid" "$1" 15 click 1; }
topmost_x=16 pause_x=41

# Whether the topmost of the program's and the cover's windows is titled $1.
in_front() { xwininfo -root -children | grep -m1 -E '"(Sonavex|xmessage)":' | grep -q "\"$1\":"; }

# The toolbar's pixels, with the mouse away so that no button shows its hover look. Only
# the pause button changes in the cases that compare them.
toolbar() {
    xdotool mousemove 1279 1023
    sleep 0.3
    import -window "$wid" "$work/bar.png" 2>/dev/null &&
        convert "$work/bar.png" -crop "356x$((picture_top - 2))+0+0" +repage rgb:- | md5sum
}

# The distinct nice values of all the program's threads.
thread_nice() { ps -L -o ni= -p "$pid" | sort -u | tr -d ' ' | paste -sd' '; }

case "$case_name" in
tone)
    "$sound_server" play "$SONAVEX_SOUND_DIR" 440
    start_program
    wait_for_bar 48 1000
    "$sound_server" play "$SONAVEX_SOUND_DIR" 1000
    wait_for_bar 62 1500
    moving || fail "the picture does not move while capturing"
    click $pause_x
    wait_until 2000 not_recording || fail "still recording after pausing"
    moving && fail "the picture still moves after pausing"
    click $pause_x
    wait_until 2000 recording || fail "not recording again after resuming"
    moving || fail "the picture does not move again after resuming"
    ;;
topmost)
    start_program
    # Recording, so PulseAudio's client thread, which fills the buffers, exists.
    wait_until 2000 recording || fail "not recording"
    normal=$(thread_nice)
    click $topmost_x
    if [ "$(id -u)" = 0 ]; then
        wait_until 1000 eval '[ "$(thread_nice)" = -10 ]' ||
            fail "thread nice values $(thread_nice) while on top, expected -10"
    else
        # Without permission nothing may change, for as long as a change would take.
        wait_until 500 eval '[ "$(thread_nice)" != "$normal" ]' &&
            fail "nice values changed to $(thread_nice) without permission"
    fi
    click $topmost_x
    wait_until 1000 eval '[ "$(thread_nice)" = "$normal" ]' ||
        fail "nice values $(thread_nice) after release"
    ;;
second-copy)
    start_program
    xmessage -geometry +0+0 cover 2>/dev/null &
    cover=$!
    wait_until 2000 in_front xmessage || fail "the cover window did not come over the program's"
    timeout 10 "$program" >"$work/second.log" 2>&1 || fail "the second copy exited with $?"
    wait_until 2000 in_front Sonavex || fail "the first copy did not come to the front"
    [ "$(program_windows)" = "$wid" ] || fail "windows after a second copy: $(program_windows)"
    "$close_window" "$wid" || fail "cannot ask the window to close"
    timeout 5 tail --pid="$pid" -f /dev/null || fail "the program still runs after closing"
    wait "$pid"
    rc=$? pid=""
    [ "$rc" = 0 ] || fail "exit code $rc after closing the window"
    ;;
sound-server-lost)
    # A server of our own, so that killing it leaves the shared one alone.
    private_sound="$work/sound"
    "$sound_server" start "$private_sound" >/dev/null || fail "cannot start a private server"
    export XDG_RUNTIME_DIR="$private_sound/run" PULSE_SERVER="unix:$private_sound/run/pulse/native"
    "$sound_server" play "$private_sound" 440
    start_program
    wait_for_bar 48 2000
    # How the toolbar looks with the pause button released, and pressed by hand.
    released=$(toolbar)
    click $pause_x
    pressed=$(toolbar)
    [ "$pressed" != "$released" ] || fail "the pause button looks the same pressed and released"
    click $pause_x
    [ "$(toolbar)" = "$released" ] || fail "the pause button does not look released again"
    moving || fail "the picture does not move after resuming"

    "$sound_server" stop "$private_sound"
    wait_until 3000 eval '[ "$(toolbar)" = "$pressed" ]' ||
        fail "capture stopped but the pause button is not pressed"
    alive || fail "the program died with the sound server"
    moving && fail "the picture still moves without a sound server"
    # A click tries the missing server again: the open fails at once and the button stays
    # pressed (the toolbar's own wait lets the click arrive first).
    click $pause_x
    [ "$(toolbar)" = "$pressed" ] || fail "a failed retry left the pause button released"
    alive || fail "the program died retrying without a sound server"
    [ "$(program_windows)" = "$wid" ] || fail "the window is gone"

    # The server is back: one click records again. The frozen picture still shows bar 48,
    # so another tone first proves the picture is live.
    "$sound_server" start "$private_sound" >/dev/null || fail "cannot restart the private server"
    "$sound_server" play "$private_sound" 1000
    click $pause_x
    wait_for_bar 62 2000
    [ "$(toolbar)" = "$released" ] || fail "the pause button is not released after the retry"
    "$sound_server" play "$private_sound" 440
    wait_for_bar 48 2000
    ;;
server-hangs)
    # A server that accepts the connection and then never answers: opening capture waits
    # for it boundedly, and a close asked for during that wait still ends the program with 0.
    private_sound="$work/sound"
    "$sound_server" start "$private_sound" >/dev/null || fail "cannot start a private server"
    export XDG_RUNTIME_DIR="$private_sound/run" PULSE_SERVER="unix:$private_sound/run/pulse/native"
    stopped=$(cat "$private_sound/server.pid")
    kill -STOP "$stopped"
    start_program
    # Capture is being opened once PulseAudio's client thread exists.
    wait_until 2000 eval "cat /proc/$pid/task/*/comm 2>/dev/null | grep -qx threaded-ml" ||
        fail "the program never began to open capture"
    "$close_window" "$wid" || fail "cannot ask the window to close"
    timeout 10 tail --pid="$pid" -f /dev/null || fail "the program still runs 10 s after closing"
    wait "$pid"
    rc=$? pid=""
    [ "$rc" = 0 ] || fail "exit code $rc after closing during the wait for the server"
    ;;
*)
    fail "unknown case $case_name"
    ;;
esac
echo "PASS: $case_name"
