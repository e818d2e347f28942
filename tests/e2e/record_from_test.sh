#!/usr/bin/env bash
# The "Record from" menu, driven for real: a private sound server (of the test command's
# kind) with the virtual microphone at 440 Hz, a second one at 880 Hz and the null sink's
# monitor; the menu opened with a right click or the keyboard's menu key and walked with
# the arrow keys; and two sources whose long names begin alike.
#
#   record_from_test.sh PROGRAM CLOSE_WINDOW [CASE...]
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
e2e_script "$@"

# Within a second the stream is on SOURCE and shows BAR, still the first stream.
moved() {
    local want="$first $(source_index "$1")"
    wait_until 1000 eval '[ "$(stream)" = "$want" ]' || fail "stream $(stream), expected $want ($1)"
    wait_for_bar "$2" 1000
}

# The readout's tooltip appears over bar 48 while another window has the focus.
readout_while_inactive() {
    local cover height
    xmessage -geometry +700+700 cover 2>/dev/null &
    at_exit "kill $!"
    wait_until 3000 eval 'cover=$(xdotool search --onlyvisible --name "^xmessage$")' ||
        fail "no cover window"
    xdotool windowfocus --sync "$cover"
    height=$(xwininfo -id "$wid" | awk '/Height:/ { print $2 }')
    xdotool mousemove --window "$wid" $((2 + 4 * 48 + 1)) $((height - 174 + 40))
    wait_until 3000 eval '[ "$(xdotool search --onlyvisible --pid "$pid" | wc -l)" -gt 1 ]' ||
        fail "no readout while another window has the focus"
    [ "$(xdotool getwindowfocus)" = "$cover" ] || fail "the cover window lost the focus"
    xdotool mousemove 1279 1023
}

case_record-from() {
    private_sound_server
    play 440
    "$root/scripts/sound-server.sh" second "$SONAVEX_SOUND_DIR" 880
    start_program
    wait_for_bar 48 2000
    readout_while_inactive
    first=$(stream | cut -d' ' -f1-2)
    choose_source vmic2 && moved vmic2 60
    choose_source "" key && moved vmic 48
    choose_source nullsink.monitor && moved nullsink.monitor 48
    click $pause
    wait_until 2000 eval '! recording' || fail "still recording while paused"
    choose_source vmic2
    click $pause
    wait_until 2000 recording || fail "no recording after releasing pause"
    wait_for_bar 60 2000
    close_program
}

# Two sources whose names agree in their first 256 bytes, on a PipeWire server (PulseAudio
# refuses names this long): each is chosen by its whole name and recorded from, not the other.
case_long-source-names() {
    private_sound_server pipewire
    play 440
    "$root/scripts/sound-server.sh" second "$SONAVEX_SOUND_DIR" 880
    local long short
    long=$(printf 'n%.0s' $(seq 300)) short=$(printf 'n%.0s' $(seq 256))
    for source in "$long:nullsink" "$short:nullsink2"; do
        pactl load-module module-remap-source master="${source#*:}.monitor" \
            source_name="${source%:*}" channels=1 channel_map=mono >/dev/null ||
            fail "the server refused a long source name"
    done
    start_program
    wait_for_bar 48 2000
    first=$(stream | cut -d' ' -f1-2)
    choose_source "$short" && moved "$short" 60
    choose_source "$long" && moved "$long" 48
    close_program
}

run_cases "${@:3}"
