#!/usr/bin/env bash
# The "Record from" menu, driven for real: a private sound server (of the test command's
# kind) with the virtual microphone at 440 Hz, a second one at 880 Hz and the null sink's
# monitor; the menu opened with a right click or the keyboard's menu key and walked with
# the arrow keys.
#
#   record_from_test.sh PROGRAM CLOSE_WINDOW [CASE...]
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
program=${1:?program} close_window=${2:?close_window helper}
shift 2
need_display
need_sound_server

# The program's record stream as "index client source-index", from the server.
stream() {
    pactl list source-outputs | awk -v p="application.process.id = \"$pid\"" '
        /^Source Output #/ { o = substr($3, 2) } /^\tClient: / { c = $2 } /^\tSource: / { s = $2 }
        index($0, p) { print o, c, s; exit }'
}
source_index() { pactl list short sources | awk -v n="$1" '$2 == n { print $1 }'; }
# Opens the menu (a right click on the picture, or "key" for the menu key) and takes its
# item for source NAME ("" for "Default input"): the server lists sources in menu order.
choose() {
    local downs=1
    [ -n "$1" ] && downs=$(($(pactl list short sources | awk -v n="$1" '$2 == n { print NR }') + 1))
    xdotool windowfocus --sync "$wid"
    if [ "${2:-}" = key ]; then xdotool key Menu; else xdotool mousemove --window "$wid" 100 60 click 3; fi
    wait_until 2000 eval '[ "$(xdotool search --onlyvisible --pid "$pid" | wc -l)" -gt 1 ]' ||
        fail "no menu opened"
    for _ in $(seq "$downs"); do xdotool key Down; done
    xdotool key Return
}
# Within a second the stream is on SOURCE and shows BAR, still the first stream.
moved() {
    local want="$first $(source_index "$1")"
    wait_until 1000 eval '[ "$(stream)" = "$want" ]' || fail "stream $(stream), expected $want ($1)"
    wait_for_bar "$2" 1000
}

case_record-from() {
    private_sound_server
    play 440
    "$root/scripts/sound-server.sh" second "$SONAVEX_SOUND_DIR" 880
    start_program
    wait_for_bar 48 2000
    first=$(stream | cut -d' ' -f1-2)
    choose vmic2 && moved vmic2 60
    choose "" key && moved vmic 48
    choose nullsink.monitor && moved nullsink.monitor 48
    xdotool mousemove --window "$wid" 41 15 click 1 # pause
    wait_until 2000 eval '! recording' || fail "still recording while paused"
    choose vmic2
    xdotool mousemove --window "$wid" 41 15 click 1
    wait_until 2000 recording || fail "no recording after releasing pause"
    wait_for_bar 60 2000
    close_program
}

run_cases "$@"
