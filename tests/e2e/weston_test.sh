#!/usr/bin/env bash
# The real program on a Wayland compositor: a headless Weston of the case's own, with or
# without XWayland. Checks which platform the program chose and, from Weston's own
# screenshot, that it draws bar 48 for the 440 Hz tone. Weston has no input seat here, so
# nothing is clicked.
#
#   weston_test.sh PROGRAM CLOSE_WINDOW [CASE...]
#     weston-wayland   (no XWayland: runs on Wayland)
#     weston-xwayland  (XWayland there: runs on xcb)
#     weston-explicit  (XWayland there, QT_QPA_PLATFORM=wayland: the user's choice holds)
#
# Needs DISPLAY, PULSE_SERVER and SONAVEX_SOUND_DIR (scripts/test.sh exports them); without them, or
# without weston, it skips (exit 77), or fails when SONAVEX_REQUIRE_SERVICES=1.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
e2e_script "$@"
command -v weston >/dev/null && command -v weston-screenshooter >/dev/null || skip "no weston"

stop_weston() {
    kill "$1" 2>/dev/null
    timeout 5 tail --pid="$1" -f /dev/null || { kill -0 "$1" 2>/dev/null && kill -9 "$1"; }
}
# Starts Weston (with XWayland when $1 is --xwayland) on a socket and runtime directory of
# its own, where its clients find it.
start_weston() {
    mkdir -m 700 "$work/run"
    export XDG_RUNTIME_DIR="$work/run" WAYLAND_DISPLAY=sonavex-weston
    unset DISPLAY QT_QPA_PLATFORM
    env -u WAYLAND_DISPLAY setsid weston --backend=headless-backend.so --use-pixman --debug \
        "$@" --socket="$WAYLAND_DISPLAY" --width=640 --height=480 \
        --log="$work/weston.log" </dev/null >/dev/null 2>&1 &
    at_exit stop_weston $!
    wait_until 5000 test -S "$work/run/$WAYLAND_DISPLAY" || fail "weston did not start"
    [ $# = 0 ] && return
    local log=$work/weston.log
    wait_until 5000 grep -q 'xserver listening on display' "$log" || fail "XWayland did not start"
    export DISPLAY=$(sed -n 's/.*xserver listening on display \(:[0-9]*\).*/\1/p' "$log")
}

# The tallest bar in Weston's screenshot. The picture is the black area: its first column
# and row with many pure black pixels (the desktop around it has none).
weston_bar() {
    rm -f "$work"/wayland-screenshot*.png
    (cd "$work" && weston-screenshooter >/dev/null 2>&1) || return 1
    local shot
    shot=$(ls "$work"/wayland-screenshot*.png) || return 1
    set -- $(convert "$shot" -depth 8 txt:- | awk -F'[,: ()]+' '
        NR > 1 && $3 + $4 + $5 == 0 { col[$1]++; row[$2]++ }
        END { x = 0; while (x < 4096 && col[x] <= 40) x++
              y = 0; while (y < 4096 && row[y] <= 100) y++; print x, y }')
    tallest_bar "$shot" "$1" "$2"
}

# Runs the program on the Weston started and expects it on the platform $1.
expect_platform() {
    local expected=$1
    play 440
    # Qt's own decoration on Wayland would frame the window differently from XWayland's.
    SONAVEX_REPORT_PLATFORM=1 QT_WAYLAND_DISABLE_WINDOWDECORATION=1 launch "$program"
    wait_until 5000 grep -q '^platform:' "$work/program.log"
    local chosen
    chosen=$(sed -n 's/^platform: //p' "$work/program.log")
    [ "$chosen" = "$expected" ] || fail "the program runs on '$chosen', expected $expected"
    wait_until 15000 eval 'alive && [ "$(weston_bar)" = 48 ]' ||
        fail "tallest bar $(weston_bar), expected 48; $(alive || echo the program exited)"
}

case_weston-wayland() { start_weston && expect_platform wayland; }
case_weston-xwayland() { start_weston --xwayland && expect_platform xcb; }
case_weston-explicit() {
    start_weston --xwayland && QT_QPA_PLATFORM=wayland expect_platform wayland
}

run_cases "${@:3}"
