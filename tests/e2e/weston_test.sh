#!/usr/bin/env bash
# The real program on a Wayland compositor: a headless Weston of the test's own, with or
# without XWayland. Checks which platform the program chose and, from Weston's own
# screenshot, that it draws bar 48 for the 440 Hz tone. Weston has no input seat here, so
# nothing is clicked.
#
#   weston_test.sh CASE PROGRAM
#     CASE: wayland   (no XWayland: runs on Wayland)
#           xwayland  (XWayland there: runs on xcb)
#           explicit  (XWayland there, QT_QPA_PLATFORM=wayland: the user's choice holds)
#
# Needs PULSE_SERVER and SONAVEX_SOUND_DIR (scripts/test.sh exports them); without them, or
# without weston, it skips (exit 77), or fails when SONAVEX_REQUIRE_SERVICES=1.
set -uo pipefail

case_name=${1:?case}
program=${2:?program}
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
sound_server="$root/scripts/sound-server.sh"

need_sound_server
command -v weston >/dev/null && command -v weston-screenshooter >/dev/null || skip "no weston"

weston_pid="" pid=""
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    if [ -n "$weston_pid" ]; then
        kill "$weston_pid" 2>/dev/null
        timeout 5 tail --pid="$weston_pid" -f /dev/null ||
            { kill -0 "$weston_pid" 2>/dev/null && kill -9 "$weston_pid"; }
    fi
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*"
    [ -f "$work/weston.log" ] && tail -5 "$work/weston.log"
    [ -f "$work/program.log" ] && cat "$work/program.log"
    exit 1
}

xwayland=()
[ "$case_name" = wayland ] || xwayland=(--xwayland)
mkdir -m 700 "$work/run"
# Weston gets a runtime directory and socket name of its own; its clients find it there.
export XDG_RUNTIME_DIR="$work/run" WAYLAND_DISPLAY=sonavex-weston
unset DISPLAY QT_QPA_PLATFORM
env -u WAYLAND_DISPLAY setsid weston --backend=headless-backend.so --use-pixman --debug \
    "${xwayland[@]}" --socket="$WAYLAND_DISPLAY" --width=640 --height=480 \
    --log="$work/weston.log" </dev/null >/dev/null 2>&1 &
weston_pid=$!
for _ in $(seq 100); do [ -S "$work/run/$WAYLAND_DISPLAY" ] && break; sleep 0.05; done
[ -S "$work/run/$WAYLAND_DISPLAY" ] || fail "weston did not start"
if [ ${#xwayland[@]} -gt 0 ]; then
    for _ in $(seq 100); do
        display=$(sed -n 's/.*xserver listening on display \(:[0-9]*\).*/\1/p' "$work/weston.log")
        [ -n "$display" ] && break
        sleep 0.05
    done
    [ -n "$display" ] || fail "XWayland did not start"
    export DISPLAY=$display
fi
case "$case_name" in
wayland | xwayland) expected=$([ "$case_name" = wayland ] && echo wayland || echo xcb) ;;
explicit) export QT_QPA_PLATFORM=wayland expected=wayland ;;
*) fail "unknown case $case_name" ;;
esac

"$sound_server" play "$SONAVEX_SOUND_DIR" 440
# Qt's own decoration on Wayland would frame the window differently from XWayland's.
SONAVEX_REPORT_PLATFORM=1 QT_WAYLAND_DISABLE_WINDOWDECORATION=1 "$program" \
    >"$work/program.log" 2>&1 &
pid=$!

for _ in $(seq 100); do grep -q '^platform:' "$work/program.log" && break; sleep 0.05; done
chosen=$(sed -n 's/^platform: //p' "$work/program.log")
[ "$chosen" = "$expected" ] || fail "the program runs on '$chosen', expected $expected"

# The tallest bar in Weston's screenshot. The picture is the black area: its columns and
# rows are those with many pure black pixels (the desktop around it has none); its top 80
# rows hold the bars, bar i in columns 4i..4i+2.
tallest_bar() {
    rm -f "$work"/wayland-screenshot*.png
    (cd "$work" && weston-screenshooter >/dev/null 2>&1) || return 1
    convert "$work"/wayland-screenshot*.png -depth 8 txt:- | awk -F'[,: ()]+' '
        NR > 1 { r[$1, $2] = $3 + $4 + $5; if ($1 > w) w = $1; if ($2 > h) h = $2
                 if ($3 + $4 + $5 == 0) { col[$1]++; row[$2]++ } }
        END {
            x0 = -1; y0 = -1
            for (x = 0; x <= w && x0 < 0; x++) if (col[x] > 40) x0 = x
            for (y = 0; y <= h && y0 < 0; y++) if (row[y] > 100) y0 = y
            if (x0 < 0 || y0 < 0) { print "none"; exit }
            best = 1
            for (x = 1; x < 352; x += 4) {
                lit[x] = 0
                for (y = 0; y < 80; y++) if (r[x0 + x, y0 + y] > 0) lit[x]++
                if (lit[x] > lit[best]) best = x
            }
            print (best - 1) / 4
        }'
}

deadline=$(($(date +%s%3N) + 15000))
until [ "$(tallest_bar)" = 48 ]; do
    kill -0 "$pid" 2>/dev/null || fail "the program exited"
    [ "$(date +%s%3N)" -ge "$deadline" ] && fail "tallest bar $(tallest_bar), expected 48"
    sleep 0.2
done
echo "PASS: $case_name (on $chosen)"
