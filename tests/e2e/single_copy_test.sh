#!/usr/bin/env bash
# The single copy and the priority of the programs the window starts, against the real
# program on the test display and sound server: a runtime directory squatted by another
# user, broken lock files, a flood of connections, the mixer started while on top, and a
# stopped first copy.
#
#   single_copy_test.sh PROGRAM
set -uo pipefail
program=${1:?program}
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
need_sound_server
[ -n "${DISPLAY:-}" ] || skip "no display"
export QT_QPA_PLATFORM=xcb
unset WAYLAND_DISPLAY
peer="$root/tests/e2e/socket_peer.py"

# The program's own runtime directory, and a stand-in mixer that notes its nice value.
export XDG_RUNTIME_DIR="$work/run"
mkdir -m 700 "$XDG_RUNTIME_DIR" "$work/bin"
printf '#!/bin/sh\nps -o ni= -p $$ >"%s/mixer.nice"\n' "$work" >"$work/bin/pavucontrol"
chmod +x "$work/bin/pavucontrol"

passed=0 failed=0 pids=() squatter=""
ok() { echo "ok $1"; passed=$((passed + 1)); }
not_ok() { echo "not ok $1: $2"; failed=$((failed + 1)); }
cleanup() {
    for p in "${pids[@]}"; do kill -CONT "$p" 2>/dev/null; kill "$p" 2>/dev/null; done
    [ -n "$squatter" ] && userdel "$squatter" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# Polls for at most $1 milliseconds until the command that follows succeeds.
wait_until() {
    local deadline=$(($(date +%s%3N) + $1))
    shift
    until "$@"; do
        [ "$(date +%s%3N)" -ge "$deadline" ] && return 1
        sleep 0.05
    done
}
window_of() { xdotool search --all --onlyvisible --pid "$1" --name '^Sonavex$' 2>/dev/null | head -1; }
in_front() { xwininfo -root -children | grep -m1 -E '"(Sonavex|xmessage)":' | grep -q "\"$1\":"; }
rss_kb() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status"; }

# Starts the program (environment from the arguments) with the usual limit of 1,024
# descriptors and waits for its window; sets pid and wid.
start() {
    (ulimit -Sn 1024 && exec env "$@" "$program") >"$work/program.log" 2>&1 &
    pid=$!
    pids+=("$pid")
    wait_until 5000 eval 'wid=$(window_of $pid); [ -n "$wid" ]'
}
stop() { kill "$pid" && { wait "$pid" 2>/dev/null || true; }; }

# Another user owns the runtime directory Qt falls back to without XDG_RUNTIME_DIR, and
# holds a lock and listens at the program's names there and at the fixed names in the
# temporary folder (a private one here, standing in for /tmp).
if [ "$(id -u)" = 0 ]; then
    squatter="sonavex-squat-$$"
    useradd --no-create-home --shell /usr/sbin/nologin "$squatter"
    tmp="$work/tmp" squat="$work/tmp/runtime-$(id -un)"
    mkdir -m 1777 "$tmp" && chmod 711 "$work"
    install -d -m 700 -o "$squatter" "$squat"
    setpriv --reuid="$squatter" --regid="$(id -g "$squatter")" --clear-groups \
        /usr/bin/python3 "$peer" listen "$tmp/connections" "$squat/sonavex.socket" "$tmp/sonavex.socket" \
        >"$tmp/listening" &
    listener=$!
    pids+=("$listener")
    wait_until 5000 test -s "$tmp/listening" || not_ok squatted-runtime-directory "no squatter"
    for lock in "$squat/sonavex.lock" "$tmp/sonavex.lock"; do
        printf '%s\n%s\n%s\n' "$listener" "$(readlink "/proc/$listener/exe")" "$(hostname)" >"$lock" && chown "$squatter" "$lock"
    done
    if ! start -u XDG_RUNTIME_DIR TMPDIR="$tmp"; then
        not_ok squatted-runtime-directory "no window; $(head -c 300 "$work/program.log")"
    elif [ -e "$tmp/connections" ]; then
        not_ok squatted-runtime-directory "the program connected to the other user's socket"
    elif ! grep -q "no private runtime directory" "$work/program.log"; then
        not_ok squatted-runtime-directory "nothing said on stderr"
    else
        ok squatted-runtime-directory
    fi
    stop
else
    echo "ok squatted-runtime-directory # skip: creating a second user needs root"
fi

# A lock file left behind, empty or garbled, never blocks a start. The second start is the
# first copy of the cases that follow, with the stand-in mixer on its PATH.
: >"$XDG_RUNTIME_DIR/sonavex.lock"
start && stop && ok empty-lock-file || not_ok empty-lock-file "no window"
head -c 4096 /dev/urandom >"$XDG_RUNTIME_DIR/sonavex.lock"
start PATH="$work/bin:$PATH" && ok garbled-lock-file || not_ok garbled-lock-file "no window"
first=$pid

# 1,100 idle connections and one sending 50 MB: the first copy stays small and still
# answers a second copy, coming to the front.
before=$(rss_kb "$first")
python3 "$peer" flood "$XDG_RUNTIME_DIR/sonavex.socket" 1100 50 >"$work/flood" &
pids+=($!)
xmessage -geometry +0+0 cover 2>/dev/null &
pids+=($!)
if ! wait_until 20000 test -s "$work/flood"; then
    not_ok flood "the flood did not finish"
elif ! wait_until 2000 in_front xmessage; then
    not_ok flood "the cover window did not come over the program's"
elif ! timeout 10 "$program" >"$work/second.log" 2>&1; then
    not_ok flood "the second copy exited with $?: $(cat "$work/second.log")"
elif ! wait_until 2000 in_front Sonavex; then
    not_ok flood "the first copy did not come to the front"
elif [ $(($(rss_kb "$first") - before)) -ge 20480 ]; then
    not_ok flood "memory grew from $before to $(rss_kb "$first") kB ($(cat "$work/flood"))"
else
    ok flood
fi

# While on top (nice -10, permitted to root), the mixer button starts the stand-in mixer at
# the normal nice value.
if [ "$(id -u)" = 0 ]; then
    xdotool mousemove --window "$wid" 16 15 click 1 # the pin
    if ! wait_until 2000 eval '[ "$(ps -L -o ni= -p "$first" | sort -u | tr -d " ")" = -10 ]'; then
        not_ok mixer-priority "the pin did not raise the priority"
    else
        xdotool mousemove --window "$wid" 180 15 click 1 # the mixer
        if ! wait_until 3000 test -s "$work/mixer.nice"; then
            not_ok mixer-priority "the stand-in mixer did not run"
        else
            [ "$(tr -d ' ' <"$work/mixer.nice")" = 0 ] && ok mixer-priority ||
                not_ok mixer-priority "the mixer ran at nice $(cat "$work/mixer.nice")"
        fi
    fi
else
    echo "ok mixer-priority # skip: raising the priority needs root"
fi

# A stopped first copy cannot answer: a second copy says so and fails, within 5 s.
kill -STOP "$first"
started=$(date +%s%3N)
timeout 5 "$program" >"$work/second.log" 2>&1
rc=$? took=$(($(date +%s%3N) - started))
kill -CONT "$first"
if [ "$rc" = 0 ] || [ "$rc" = 124 ] || [ ! -s "$work/second.log" ]; then
    not_ok stopped-first-copy "exit code $rc after $took ms: $(cat "$work/second.log")"
else
    ok stopped-first-copy
fi

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
