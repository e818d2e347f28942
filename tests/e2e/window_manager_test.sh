#!/usr/bin/env bash
# Keep-on-top under a real window manager: openbox on a virtual display of the case's own.
# With the pin pressed (a real click) the window manager marks the window _NET_WM_STATE_ABOVE
# and keeps it above another window that is then activated, and all the program's threads
# run at nice -10 (when root); released, the other window comes over it and the nice values
# are as before.
#
#   window_manager_test.sh PROGRAM CLOSE_WINDOW [window-manager]
#
# Needs DISPLAY, PULSE_SERVER and SONAVEX_SOUND_DIR (scripts/test.sh exports them); without them, or
# without openbox, it skips (exit 77), or fails when SONAVEX_REQUIRE_SERVICES=1.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
e2e_script "$@"
command -v openbox >/dev/null || skip "no openbox"

# The mapped window titled exactly $1, once there (the window manager's frame is untitled).
client() { timeout 5 xdotool search --sync --onlyvisible --name "^$1\$" | head -1 | grep .; }
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
nice_is() { [ "$(thread_nice)" = "$1" ]; }

case_window-manager() {
    # A display of the case's own, so that the window manager touches no other test's windows.
    private_display
    export XDG_CONFIG_HOME="$work/config"
    openbox --sm-disable >"$work/openbox.log" 2>&1 &
    at_exit "kill $!"
    wait_until 5000 eval 'xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"' ||
        fail "openbox did not start"

    launch "$program"
    wid=$(client Sonavex) || fail "no window appeared"
    xmessage -geometry 400x300+0+0 cover 2>/dev/null &
    at_exit "kill $!"
    cover=$(client xmessage) || fail "no cover window"
    # Recording, so that PulseAudio's client thread, which fills the buffers, exists.
    wait_until 2000 recording || fail "not recording"
    local normal raised
    normal=$(thread_nice)
    raised=$([ "$(id -u)" = 0 ] && echo -10 || echo "$normal") # only root may raise them
    xdotool windowmove --sync "$wid" 100 100 2>/dev/null # under the cover, partly
    activate "$cover"
    above "$cover" "$wid" || fail "the cover window is not above the program to begin with"
    on_top_state && fail "_NET_WM_STATE_ABOVE before the pin is pressed"

    activate "$wid"
    click $pin
    wait_until 2000 on_top_state ||
        fail "no _NET_WM_STATE_ABOVE with the pin pressed: $(xprop -id "$wid" _NET_WM_STATE)"
    wait_until 1000 nice_is "$raised" ||
        fail "thread nice values $(thread_nice) pinned, not $raised"
    activate "$cover"
    above "$wid" "$cover" || fail "the pinned window went under the activated window"

    activate "$wid"
    click $pin
    wait_until 2000 eval '! on_top_state' ||
        fail "_NET_WM_STATE_ABOVE still set after releasing the pin"
    wait_until 1000 nice_is "$normal" || fail "thread nice values $(thread_nice) after release"
    activate "$cover"
    above "$cover" "$wid" || fail "the released window stays above the activated window"
}

run_cases "${@:3}"
