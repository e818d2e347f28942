# shellcheck shell=bash
# The harness of the end-to-end and package scripts; sourced, never run. Sets root (the source
# tree) and work (a private directory, removed at exit), and reports in one format: a line
# "ok NAME" or "not ok NAME: why" per check ("skip NAME: why" for one that cannot run here),
# then "N passed, N failed, N skipped". The script exits 1 when any check failed, 77 when all
# were skipped.
#
# A script defines its cases as functions case_NAME and ends with `run_cases "$@"`. Each case
# runs in a subshell of its own with its own work directory and clean-ups, so one that fails
# or skips leaves the next a clean start.

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
source "$root/scripts/i386.sh"
work=$(mktemp -d "/tmp/sonavex-$(basename "$0" .sh).XXXXXX")
passed=0 failed=0 skipped=0
pid="" wid="" case_name=""
cleanups=()

# Runs CMD (evaluated then) at exit, before what was registered earlier.
at_exit() { cleanups+=("$*"); }
run_cleanups() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    local i
    for ((i = ${#cleanups[@]} - 1; i >= 0; i--)); do eval "${cleanups[i]}" >/dev/null 2>&1; done
    rm -rf "$work"
}
trap run_cleanups EXIT

ok() { echo "ok $1"; passed=$((passed + 1)); }
not_ok() { echo "not ok $1: $2"; failed=$((failed + 1)); }
# Reports as check NAME whether the command that follows succeeds.
check() { if "${@:2}"; then ok "$1"; else not_ok "$1" "exit code $?"; fi; }
# Ends the case (or the script, outside a case) as failed because of WHY.
fail() {
    [ -n "$case_name" ] && { echo "$*" >"$why"; tail -5 "$work"/*.log 2>/dev/null; exit 1; }
    not_ok "$(basename "$0" .sh)" "$*"
    finish
}
# A script or case that cannot run here skips; it fails instead when the test command
# requires the services it starts (SONAVEX_REQUIRE_SERVICES=1).
skip() {
    [ "${SONAVEX_REQUIRE_SERVICES:-0}" = 1 ] && fail "$*"
    echo "skip ${case_name:-$(basename "$0" .sh)}: $*"
    exit 77
}
# Reports check NAME as skipped because of WHY, never as passed: for what this machine cannot
# run at all, which the test command does not turn into a failure.
skip_check() { echo "skip $1: $2"; skipped=$((skipped + 1)); }
finish() {
    echo "$passed passed, $failed failed, $skipped skipped"
    exit $((failed > 0 ? 1 : passed == 0 && skipped > 0 ? 77 : 0))
}

# Runs case_NAME in a subshell and reports it.
run_case() {
    local rc
    (
        case_name=$1 cleanups=() why="$work/$1.why"
        work=$(mktemp -d "$work/$1.XXXXXX")
        trap run_cleanups EXIT
        "case_$1"
    )
    rc=$?
    case $rc in
    0) ok "$1" ;;
    77) skipped=$((skipped + 1)) ;;
    *) not_ok "$1" "$(cat "$work/$1.why" 2>/dev/null || echo "exit code $rc")" ;;
    esac
}
# Runs the named cases, or all, then finishes.
run_cases() {
    local name names=("$@")
    [ $# -gt 0 ] || names=($(declare -F | sed -n 's/^declare -f case_//p'))
    for name in "${names[@]}"; do run_case "$name"; done
    finish
}

# Polls for at most MS milliseconds until the command that follows succeeds.
wait_until() {
    local deadline=$(($(date +%s%3N) + $1))
    shift
    until "$@"; do
        [ "$(date +%s%3N)" -ge "$deadline" ] && return 1
        sleep 0.05
    done
}

# The test command's display and sound server (DISPLAY, PULSE_SERVER, SONAVEX_SOUND_DIR), or
# skip. The program is pinned to that display, also when started from a Wayland desktop.
need_services() {
    [ -n "${DISPLAY:-}" ] && [ -n "${PULSE_SERVER:-}" ] && [ -n "${SONAVEX_SOUND_DIR:-}" ] ||
        skip "no display or sound server"
    export QT_QPA_PLATFORM=xcb
    unset WAYLAND_DISPLAY
}
# An end-to-end script's start: its arguments are PROGRAM CLOSE_WINDOW [CASE...] (it ends with
# run_cases "${@:3}"), and it needs the test command's services.
e2e_script() { program=${1:?program} close_window=${2:?close_window helper} && need_services; }

# A sound server of the caller's own under $work/sound (of the test command's kind), its
# environment exported; stopped at exit.
private_sound_server() {
    at_exit "'$root/scripts/sound-server.sh' stop '$work/sound'"
    "$root/scripts/sound-server.sh" start "$work/sound" "$@" >/dev/null ||
        fail "cannot start a private sound server"
    source "$work/sound/env"
}
# A virtual display of the caller's own (of size $1, default 1280x1024); stopped at exit.
private_display() {
    at_exit "'$root/scripts/virtual-display.sh' stop '$work/display'"
    "$root/scripts/virtual-display.sh" start "$work/display" "$@" || fail "no virtual display"
    source "$work/display/env"
}
play() { "$root/scripts/sound-server.sh" play "${SONAVEX_SOUND_DIR:?}" "$1"; }

# Starts PROGRAM (with any arguments) in the background, its output in $work/program.log,
# and sets pid; start_program also waits for its window and sets wid.
launch() { "$@" >"$work/program.log" 2>&1 & pid=$!; }
start_program() {
    launch "${program:?}" "$@"
    wid=$("$root/scripts/wait-window.sh" Sonavex 5) || fail "no window appeared"
}
alive() { kill -0 "$pid" 2>/dev/null; }
# Clicks the toolbar button at x = $1: the pin, pause, mixer and About buttons are at these.
pin=16 pause=41 mixer=180 about=204
click() { xdotool mousemove --window "$wid" "$1" 15 click 1; }
# Top-level windows, topmost first: the program's are titled exactly "Sonavex"; and whether
# the topmost of the program's and a cover's (xmessage) is titled $1.
program_windows() { xwininfo -root -children | awk '$2 == "\"Sonavex\":" { print $1 }'; }
in_front() { xwininfo -root -children | grep -m1 -E '"(Sonavex|xmessage)":' | grep -q "\"$1\":"; }
# The distinct nice values of all the program's threads.
thread_nice() { ps -L -o ni= -p "$pid" | sort -u | tr -d ' ' | paste -sd' '; }

# Asks the window to close, as a window manager's close button does, and waits at most
# SECONDS (default 5) for the program to end; fails unless it ends with exit code 0.
close_program() {
    "${close_window:?}" "$wid" || fail "cannot ask the window to close"
    timeout "${1:-5}" tail --pid="$pid" -f /dev/null || fail "the program still runs after closing"
    local rc=0
    wait "$pid" || rc=$?
    pid=""
    [ "$rc" = 0 ] || fail "exit code $rc after closing the window"
}

# The bar with the most lit pixels in the window's picture now (see scripts/bar-heights.sh;
# its arguments, default the window).
tallest_bar() {
    "$root/scripts/bar-heights.sh" "${@:-$wid}" |
        awk '{ best = 1; for (b = 2; b <= NF; b++) if ($b > $best) best = b; print best - 1 }'
}
# Polls for at most MS milliseconds until the tallest bar is BAR.
wait_for_bar() {
    local bar=$1
    wait_until "$2" eval '[ "$(tallest_bar)" = "$bar" ]' ||
        fail "tallest bar $(tallest_bar), expected $bar"
}
# Whether the program has a recording stream on the sound server.
recording() { pactl list source-outputs 2>/dev/null | grep -q "application.process.id = \"$pid\""; }
# The program's record stream as "index client source-index", from the server.
stream() {
    pactl list source-outputs | awk -v p="application.process.id = \"$pid\"" '
        /^Source Output #/ { o = substr($3, 2) } /^\tClient: / { c = $2 } /^\tSource: / { s = $2 }
        index($0, p) { print o, c, s; exit }'
}
source_index() { pactl list short sources | awk -v n="$1" '$2 == n { print $1 }'; }
# Opens the "Record from" menu (a right click on the picture, or with "key" the menu key)
# and takes its item for source NAME ("" for "Default input"), listed in the server's order.
choose_source() {
    local downs=1
    [ -n "$1" ] && downs=$(($(pactl list short sources | awk -v n="$1" '$2 == n { print NR }') + 1))
    xdotool windowfocus --sync "$wid"
    if [ "${2:-}" = key ]; then xdotool key Menu; else xdotool mousemove --window "$wid" 100 60 click 3; fi
    wait_until 2000 eval '[ "$(xdotool search --onlyvisible --pid "$pid" | wc -l)" -gt 1 ]' ||
        fail "no menu opened"
    for _ in $(seq "$downs"); do xdotool key Down; done
    xdotool key Return
}
