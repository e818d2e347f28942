#!/usr/bin/env bash
# Keep-on-top under a real window manager: openbox on a virtual display of the case's own.
# With the pin pressed (a real click) the window manager marks the window _NET_WM_STATE_ABOVE
# and keeps it above another window that is then activated; released, the other window
# comes over it.
#
#   window_manager_test.sh PROGRAM CLOSE_WINDOW [window-manager]
#
# Needs PULSE_SERVER and SONAVEX_SOUND_DIR (scripts/test.sh exports them); without them, or
# without openbox, it skips (exit 77), or fails when SONAVEX_REQUIRE_SERVICES=1.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
program=${1:?program}
shift 2
need_sound_server
command -v openbox >/dev/null || skip "no openbox"

# The managed window titled exactly $1, from the window manager's list of clients.
client() {
    local id
    for id in $(xprop -root _NET_CLIENT_LIST 2>/dev/null | grep -o '0x[0-9a-f]*'); do
        xprop -id "$id" WM_NAME 2>/dev/null | grep -qx "WM_NAME(.*) = \"$1\"" && echo $((id)) && return
    done
    return 1
}
# Whether window A is stacked above window B, by the window manager's own list (bottom first).
above() {
    xprop -root _NET_CLIENT_LIST_STACKING | tr -d ',' |
        awk -v a="$(printf '0x%x' "$1")" -v b="$(printf '0x%x' "$2")" '
        { for (i = 5; i <= NF; i++) { if ($i == a) ia = i; if ($i == b) ib = i } }
        END { exit !(ia && ib && ia > ib) }'
}
on_top_state() { xprop -id "$wid" _NET_WM_STATE | grep -q _NET_WM_STATE_ABOVE; }
# Activates window $1, as a user clicking it would. Openbox restacks before it reports the
# window active.
activate() {
    local target
    target=$(printf '0x%x' "$1")
    xdotool windowactivate --sync "$1" 2>/dev/null
    wait_until 2000 eval 'xprop -root _NET_ACTIVE_WINDOW | grep -q "# $target\$"' ||
        fail "window $target did not become active"
}
click_pin() { xdotool mousemove --window "$wid" 16 15 click 1; }

case_window-manager() {
    # A display of the case's own, so that the window manager touches no other test's windows.
    private_display
    export XDG_CONFIG_HOME="$work/config"
    openbox --sm-disable >"$work/openbox.log" 2>&1 &
    at_exit "kill $!"
    wait_until 5000 eval 'xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"' ||
        fail "openbox did not start"

    launch "$program"
    wait_until 5000 eval 'wid=$(client Sonavex)' || fail "no window appeared"
    xmessage -geometry 400x300+0+0 cover 2>/dev/null &
    at_exit "kill $!"
    local cover
    wait_until 5000 eval 'cover=$(client xmessage)' || fail "no cover window"
    xdotool windowmove --sync "$wid" 100 100 2>/dev/null # under the cover, partly
    activate "$cover"
    above "$cover" "$wid" || fail "the cover window is not above the program to begin with"
    on_top_state && fail "_NET_WM_STATE_ABOVE before the pin is pressed"

    activate "$wid"
    click_pin
    wait_until 2000 on_top_state ||
        fail "no _NET_WM_STATE_ABOVE with the pin pressed: $(xprop -id "$wid" _NET_WM_STATE)"
    activate "$cover"
    above "$wid" "$cover" || fail "the pinned window went under the activated window"

    activate "$wid"
    click_pin
    wait_until 2000 eval '! on_top_state' || fail "_NET_WM_STATE_ABOVE still set after releasing the pin"
    activate "$cover"
    above "$cover" "$wid" || fail "the released window stays above the activated window"
    alive || fail "the program exited"
}

run_cases "$@"
