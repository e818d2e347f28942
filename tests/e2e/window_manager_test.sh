#!/usr/bin/env bash
# Keep-on-top under a real window manager: openbox on a virtual display of the test's own.
# With the pin pressed (a real click) the window manager marks the window _NET_WM_STATE_ABOVE
# and keeps it above another window that is then activated; released, the other window
# comes over it.
#
#   window_manager_test.sh PROGRAM
#
# Needs PULSE_SERVER and SONAVEX_SOUND_DIR (scripts/test.sh exports them); without them, or
# without openbox, it skips (exit 77), or fails when SONAVEX_REQUIRE_SERVICES=1.
set -uo pipefail

program=${1:?program}
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

need_sound_server
command -v openbox >/dev/null || skip "no openbox"

pid="" cover="" wm=""
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    [ -n "$cover" ] && kill "$cover" 2>/dev/null
    [ -n "$wm" ] && kill "$wm" 2>/dev/null && wait "$wm" 2>/dev/null
    "$root/scripts/virtual-display.sh" stop "$work/display" >/dev/null 2>&1
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*"
    exit 1
}

# A display of our own, so that the window manager touches no other test's windows.
"$root/scripts/virtual-display.sh" start "$work/display" || fail "no virtual display"
source "$work/display/env"
export QT_QPA_PLATFORM=xcb XDG_CONFIG_HOME="$work/config"
unset WAYLAND_DISPLAY
openbox --sm-disable >"$work/openbox.log" 2>&1 &
wm=$!
for _ in $(seq 100); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    sleep 0.05
done
xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id' || fail "openbox did not start"

# The managed window titled exactly TITLE, from the window manager's list of clients.
client() {
    for _ in $(seq 100); do
        local id
        for id in $(xprop -root _NET_CLIENT_LIST 2>/dev/null | grep -o '0x[0-9a-f]*'); do
            if xprop -id "$id" WM_NAME 2>/dev/null | grep -qx "WM_NAME(.*) = \"$1\""; then
                echo $((id))
                return 0
            fi
        done
        sleep 0.05
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
# Activates the other window, as a user clicking it would, and lets the window manager settle.
activate_cover() {
    xdotool windowactivate --sync "$cover_wid" 2>/dev/null || xdotool windowraise "$cover_wid"
    sleep 0.3
}
click_pin() { xdotool mousemove --window "$wid" 16 15 click 1; sleep 0.3; }

"$program" >"$work/program.log" 2>&1 &
pid=$!
wid=$(client Sonavex) || fail "no window appeared"
xmessage -geometry 400x300+0+0 cover 2>/dev/null &
cover=$!
cover_wid=$(client xmessage) || fail "no cover window"
sleep 0.5
xdotool windowmove --sync "$wid" 100 100 2>/dev/null # under the cover, partly
activate_cover
above "$cover_wid" "$wid" || fail "the cover window is not above the program to begin with"
on_top_state && fail "_NET_WM_STATE_ABOVE before the pin is pressed"

xdotool windowactivate --sync "$wid" 2>/dev/null
click_pin
on_top_state || fail "no _NET_WM_STATE_ABOVE with the pin pressed: $(xprop -id "$wid" _NET_WM_STATE)"
activate_cover
above "$wid" "$cover_wid" || fail "the pinned window went under the activated window"

xdotool windowactivate --sync "$wid" 2>/dev/null
click_pin
on_top_state && fail "_NET_WM_STATE_ABOVE still set after releasing the pin"
activate_cover
above "$cover_wid" "$wid" || fail "the released window stays above the activated window"
kill -0 "$pid" 2>/dev/null || fail "the program exited"
echo "PASS: window-manager"
