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
e2e_script "$@"

# An md5 of the window's pixels, cut by the ImageMagick options given: the picture (352 x
# 172, at the bottom inside a 2-pixel edge) or the toolbar above it; and whether the picture
# changes within 0.6 s (blocks come every 46 ms).
pixels() {
    import -window "$wid" "$work/shot.png" 2>/dev/null &&
        convert "$work/shot.png" "$@" +repage rgb:- | md5sum
}
picture() { pixels -gravity SouthWest -crop 352x172+2+2; }
moving() {
    local first
    first=$(picture)
    wait_until 600 eval '[ "$(picture)" != "$first" ]'
}

# The toolbar's pixels once they are steady, with the mouse away so that no button shows its
# hover look. Only the pause button changes in the cases that compare them.
toolbar() {
    local last="" now
    xdotool mousemove 1279 1023
    for _ in $(seq 20); do
        now=$(pixels -gravity South -chop 0x176)
        [ "$now" = "$last" ] && break
        last=$now
    done
    echo "$now"
}

# The tone's bar, paused and resumed by hand, then the sound server lost and back.
case_tone() {
    # A server of our own, so that stopping it leaves the shared one alone.
    private_sound_server
    play 440
    start_program
    wait_for_bar 48 1000
    play 1000
    wait_for_bar 62 1500
    local released pressed
    released=$(toolbar)
    click $pause
    wait_until 2000 eval '! recording' || fail "still recording after pausing"
    moving && fail "the picture still moves after pausing"
    pressed=$(toolbar)
    [ "$pressed" != "$released" ] || fail "the pause button looks the same pressed and released"
    click $pause
    wait_until 2000 recording || fail "not recording again after resuming"
    moving || fail "the picture does not move again after resuming"
    [ "$(toolbar)" = "$released" ] || fail "the pause button does not look released again"

    "$root/scripts/sound-server.sh" stop "$SONAVEX_SOUND_DIR"
    wait_until 3000 eval '[ "$(toolbar)" = "$pressed" ]' ||
        fail "capture stopped but the pause button is not pressed"
    alive || fail "the program died with the sound server"
    moving && fail "the picture still moves without a sound server"
    # A click tries the missing server again: the open fails at once and the button stays
    # pressed.
    click $pause
    [ "$(toolbar)" = "$pressed" ] || fail "a failed retry left the pause button released"
    [ "$(program_windows)" = "$wid" ] || fail "the window is gone after a failed retry"

    # The server is back: one click records again. The frozen picture shows 1000 Hz, so
    # 440 Hz proves the picture is live.
    "$root/scripts/sound-server.sh" start "$SONAVEX_SOUND_DIR" >/dev/null ||
        fail "cannot restart the private server"
    play 440
    click $pause
    wait_for_bar 48 2000
    [ "$(toolbar)" = "$released" ] || fail "the pause button is not released after the retry"
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

# The readout's tuner on a live tone: resting the pointer on bar 48 (A4) shows how far the
# tone is from the key, and the text follows the tone; a bar without a tone shows no peak.
# The program writes each text its tooltip shows to its log (SONAVEX_REPORT_READOUT=1).
readout_over() {
    local height shown
    height=$(xdotool getwindowgeometry --shell "$wid" | sed -n 's/^HEIGHT=//p')
    shown=$(grep -c '^readout: ' "$work/program.log")
    xdotool mousemove --window "$wid" 300 10 # off the picture, so that the tooltip goes
    # Column 1 of the bar, 40 rows down the spectrum: the picture sits inside a 2-pixel edge.
    xdotool mousemove --window "$wid" $((2 + 4 * $1 + 1)) $((height - 174 + 40))
    wait_until 3000 eval '[ "$(grep -c "^readout: " "$work/program.log")" -gt "$shown" ]' ||
        fail "no readout over bar $1"
}
# Waits for the tooltip over bar $1 to show a text matching the pattern $2.
readout_shows() {
    local bar=$1 pattern=$2
    readout_over "$bar"
    wait_until 2000 eval 'tail -1 "$work/program.log" | grep -qE "$pattern"' ||
        fail "the readout over bar $bar says \"$(tail -1 "$work/program.log")\", not /$pattern/"
}
case_readout() {
    private_sound_server
    play 443
    SONAVEX_REPORT_READOUT=1 start_program
    wait_for_bar 48 1000
    xdotool windowfocus --sync "$wid" # tooltips show only over the active window
    readout_shows 48 '^readout: A4 440\.0 Hz, [-+]?[0-9]+ dB, peak 44[23]\.[0-9] Hz \+12 cents$'
    play 436
    readout_shows 48 '^readout: A4 440\.0 Hz, [-+]?[0-9]+ dB, peak 43[56]\.[0-9] Hz -16 cents$'
    readout_shows 60 '^readout: A5 880\.0 Hz, -?[0-9]+ dB$'
}

run_cases "${@:3}"
