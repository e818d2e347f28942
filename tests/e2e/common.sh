# Shared by the end-to-end and measuring scripts; sourced, never run. Sets root (the source
# tree) and work (a private directory, removed at exit).

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
work=$(mktemp -d "/tmp/sonavex-$(basename "$0" .sh).XXXXXX")
trap 'rm -rf "$work"' EXIT # each script sets its own cleanup, which removes it too

# A test that cannot run here skips (exit 77), or fails when the test command requires the
# services it starts (SONAVEX_REQUIRE_SERVICES=1).
skip() {
    [ "${SONAVEX_REQUIRE_SERVICES:-0}" = 1 ] && { echo "FAIL: $*"; exit 1; }
    echo "SKIP: $*"
    exit 77
}

# The test command's sound server (PULSE_SERVER, SONAVEX_SOUND_DIR), or skip.
need_sound_server() {
    [ -n "${PULSE_SERVER:-}" ] && [ -n "${SONAVEX_SOUND_DIR:-}" ] || skip "no sound server"
}

# The measuring scripts' own services under $work: a sound server and a virtual display
# (of size $1, default the script's), stopped with the program at exit.
pid=""
stop_measuring() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null
    "$root/scripts/sound-server.sh" stop "$work/sound" >/dev/null 2>&1 || true
    "$root/scripts/virtual-display.sh" stop "$work/display" >/dev/null 2>&1 || true
    rm -rf "$work"
}
start_measuring_display() {
    trap stop_measuring EXIT
    # Pinned to the virtual display, also when started from a Wayland desktop.
    export QT_QPA_PLATFORM=xcb
    unset WAYLAND_DISPLAY
    "$root/scripts/virtual-display.sh" start "$work/display" "$@"
    source "$work/display/env"
}
