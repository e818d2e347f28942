#!/usr/bin/env bash
# End-to-end cases of the real program on an X display with a PulseAudio server whose
# virtual microphone plays a chosen tone. Reads the picture from the window's own pixels and
# clicks the real toolbar.
#
#   program_test.sh PROGRAM CLOSE_WINDOW [CASE...]   (default: every case)
#
# Needs DISPLAY, PULSE_SERVER and SONAVEX_SOUND_DIR (scripts/test.sh exports them); without
# them it skips (exit 77), or fails when SONAVEX_REQUIRE_SERVICES=1.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
program=${1:?program} close_window=${2:?close_window helper}
shift 2
need_display
need_sound_server

# The picture's pixels, one "x,y: (r,g,b...)" line each; over 0.3 s (six blocks), whether
# they changed.
picture() {
    local top=$(($(xwininfo -id "$wid" | awk '/Height:/ { print $2 }') - 174))
    import -window "$wid" "$work/shot.png" 2>/dev/null &&
        convert "$work/shot.png" -crop "352x172+2+$top" +repage txt:-
}
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
    local top=$(($(xwininfo -id "$wid" | awk '/Height:/ { print $2 }') - 176))
    xdotool mousemove 1279 1023
    sleep 0.3
    import -window "$wid" "$work/bar.png" 2>/dev/null &&
        convert "$work/bar.png" -crop "356x$top+0+0" +repage rgb:- | md5sum
}

# The distinct nice values of all the program's threads.
thread_nice() { ps -L -o ni= -p "$pid" | sort -u | tr -d ' ' | paste -sd' '; }

case_tone() {
    play 440
    start_program
    wait_for_bar 48 1000
    play 1000
    wait_for_bar 62 1500
    moving || fail "the picture does not move while capturing"
    click $pause_x
    wait_until 2000 eval '! recording' || fail "still recording after pausing"
    moving && fail "the picture still moves after pausing"
    click $pause_x
    wait_until 2000 recording || fail "not recording again after resuming"
    moving || fail "the picture does not move again after resuming"
}

case_topmost() {
    start_program
    # Recording, so PulseAudio's client thread, which fills the buffers, exists.
    wait_until 2000 recording || fail "not recording"
    local normal
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
}

case_second-copy() {
    start_program
    xmessage -geometry +0+0 cover 2>/dev/null &
    at_exit "kill $!"
    wait_until 2000 in_front xmessage || fail "the cover window did not come over the program's"
    timeout 10 "$program" >"$work/second.log" 2>&1 || fail "the second copy exited with $?"
    wait_until 2000 in_front Sonavex || fail "the first copy did not come to the front"
    [ "$(program_windows)" = "$wid" ] || fail "windows after a second copy: $(program_windows)"
    close_program
}

case_sound-server-lost() {
    # A server of our own, so that stopping it leaves the shared one alone.
    private_sound_server
    play 440
    start_program
    wait_for_bar 48 2000
    # How the toolbar looks with the pause button released, and pressed by hand.
    local released pressed
    released=$(toolbar)
    click $pause_x
    pressed=$(toolbar)
    [ "$pressed" != "$released" ] || fail "the pause button looks the same pressed and released"
    click $pause_x
    [ "$(toolbar)" = "$released" ] || fail "the pause button does not look released again"
    moving || fail "the picture does not move after resuming"

    "$root/scripts/sound-server.sh" stop "$SONAVEX_SOUND_DIR"
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
    "$root/scripts/sound-server.sh" start "$SONAVEX_SOUND_DIR" >/dev/null ||
        fail "cannot restart the private server"
    play 1000
    click $pause_x
    wait_for_bar 62 2000
    [ "$(toolbar)" = "$released" ] || fail "the pause button is not released after the retry"
    play 440
    wait_for_bar 48 2000
}

case_server-hangs() {
    # A server that accepts the connection and then never answers: opening capture waits
    # for it boundedly, and a close asked for during that wait still ends the program with 0.
    private_sound_server
    local stopped
    stopped=$(cat "$SONAVEX_SOUND_DIR/server.pid")
    kill -STOP "$stopped"
    at_exit "kill -CONT $stopped"
    start_program
    # Capture is being opened once PulseAudio's client thread exists.
    wait_until 2000 eval "cat /proc/$pid/task/*/comm 2>/dev/null | grep -qx threaded-ml" ||
        fail "the program never began to open capture"
    close_program 10
}

run_cases "$@"
