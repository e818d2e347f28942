#!/usr/bin/env bash
# The single copy and the priority of the programs the window starts, against the real
# program on the test display and sound server: a runtime directory squatted by another
# user, one reached through a symbolic link, broken lock files, a flood of connections, the
# mixer started while on top, a stopped first copy and one on its way out.
#
#   single_copy_test.sh PROGRAM CLOSE_WINDOW [CASE...]   (default: every case)
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
e2e_script "$@"
peer="$root/tests/e2e/socket_peer.py"

# Each case: a runtime directory of its own, and the usual limit of 1,024 descriptors. Its
# name is 113 bytes long, so that the socket's full name (128) does not fit a socket address.
own_runtime_dir() {
    export XDG_RUNTIME_DIR="$work/run"
    XDG_RUNTIME_DIR+=$(printf '%*s' $((113 - ${#XDG_RUNTIME_DIR})) "" | tr ' ' r)
    mkdir -m 700 "$XDG_RUNTIME_DIR" || fail "cannot make $XDG_RUNTIME_DIR"
    ulimit -Sn 1024
}

# Another user owns the runtime directory Qt falls back to without XDG_RUNTIME_DIR, and
# holds a lock and listens at the program's names there and at fixed names in the temporary
# folder (a private one standing in for /tmp). The lock files name a running process, so
# that they look held.
case_squatted-runtime-directory() {
    [ "$(id -u)" = 0 ] || skip "making a second user needs root"
    local user="sonavex-squat-$$" tmp="$work/tmp" squat="$work/tmp/runtime-$(id -un)" listener
    useradd --no-create-home --shell /usr/sbin/nologin "$user" || fail "useradd failed"
    at_exit "userdel '$user'"
    # The other user reaches nothing of the checkout, which may lie in a folder closed to
    # others: its listener is copied where it can read it.
    mkdir -m 1777 "$tmp" && chmod 711 "$work" "$(dirname "$work")" || fail "no shared folder"
    install -m 644 "$peer" "$tmp/socket_peer.py" || fail "cannot copy the listener"
    install -d -m 700 -o "$user" "$squat"
    setpriv --reuid="$user" --regid="$(id -g "$user")" --clear-groups /usr/bin/python3 \
        "$tmp/socket_peer.py" listen "$tmp/connections" "$squat/sonavex.socket" \
        "$tmp/sonavex.socket" >"$tmp/listening" &
    listener=$!
    at_exit "kill $listener; wait $listener"
    wait_until 5000 test -s "$tmp/listening" || fail "the squatter does not listen"
    for lock in "$squat/sonavex.lock" "$tmp/sonavex.lock"; do
        printf '%s\n%s\n%s\n' "$listener" "$(readlink "/proc/$listener/exe")" "$(uname -n)" \
            >"$lock" && chown "$user" "$lock"
    done
    unset XDG_RUNTIME_DIR
    TMPDIR="$tmp" start_program
    [ -e "$tmp/connections" ] && fail "the program connected to the other user's socket"
    grep -q "no private runtime directory" "$work/program.log" || fail "nothing said on stderr"
    close_program
}

# A runtime directory named with a trailing slash through a symbolic link to a private
# directory: the link is refused, and nothing is made where it leads.
case_runtime-directory-link() {
    mkdir -m 700 "$work/run" && ln -s run "$work/link" || fail "cannot make the link"
    XDG_RUNTIME_DIR="$work/link/" start_program
    grep -q "no private runtime directory ($work/link/ is a symbolic link)" "$work/program.log" ||
        fail "stderr: $(<"$work/program.log")"
    [ -z "$(ls -A "$work/run")" ] || fail "made through the link: $(ls -A "$work/run")"
    close_program
}

# A lock file left behind, empty or garbled, never blocks a start; nor does one that cannot
# be locked at all (a directory in its place), which is said on stderr.
case_broken-lock-file() {
    own_runtime_dir
    : >"$XDG_RUNTIME_DIR/sonavex.lock"
    start_program
    close_program
    head -c 4096 /dev/urandom >"$XDG_RUNTIME_DIR/sonavex.lock"
    start_program
    close_program
    rm "$XDG_RUNTIME_DIR/sonavex.lock" && mkdir "$XDG_RUNTIME_DIR/sonavex.lock"
    start_program
    grep -q "cannot lock" "$work/program.log" || fail "nothing said on stderr"
    close_program
}

# 1,100 idle connections and one sending 50 MB: the first copy stays small and still
# answers a second copy by coming to the front, for all the runtime directory's long name.
case_flood() {
    own_runtime_dir
    start_program
    local before after
    before=$(awk '/^VmRSS:/ { print $2 }' "/proc/$pid/status")
    (cd "$XDG_RUNTIME_DIR" && exec python3 "$peer" flood sonavex.socket 1100 50) >"$work/flood" &
    at_exit "kill $!"
    wait_until 20000 test -s "$work/flood" || fail "the flood did not end"
    after=$(awk '/^VmRSS:/ { print $2 }' "/proc/$pid/status")
    [ $((after - before)) -lt 20480 ] ||
        fail "memory grew from $before to $after kB ($(cat "$work/flood"))"
    xmessage -geometry +0+0 cover 2>/dev/null &
    at_exit "kill $!"
    wait_until 2000 in_front xmessage || fail "the cover window did not come over the program's"
    timeout 10 "$program" >"$work/second.log" 2>&1 || fail "the second copy exited with $?"
    wait_until 2000 in_front Sonavex || fail "the first copy did not come to the front"
    [ "$(program_windows)" = "$wid" ] || fail "windows after a second copy: $(program_windows)"
    close_program
}

# While on top (nice -10, permitted to root) the mixer button and the About box's link start
# stand-ins for the mixer and the browser, which run at the normal nice value.
case_started-programs-priority() {
    [ "$(id -u)" = 0 ] || skip "raising the priority needs root"
    own_runtime_dir
    mkdir "$work/bin"
    printf '#!/bin/sh\nps -o ni= -p $$ >"$0.nice"\n' >"$work/bin/pavucontrol"
    chmod +x "$work/bin/pavucontrol" && cp "$work/bin/pavucontrol" "$work/bin/xdg-open"
    PATH="$work/bin:$PATH" start_program
    wait_until 2000 recording || fail "not recording" # PulseAudio's thread exists
    click $pin
    wait_until 2000 eval '[ "$(thread_nice)" = -10 ]' || fail "nice $(thread_nice) while on top"
    click $mixer
    click $about
    local about_box=""
    wait_until 3000 eval 'about_box=$(xwininfo -root -children | awk "/\"Sonavex のバージョン情報\"/ { print \$1 }")
        [ -n "$about_box" ]' || fail "no About box"
    xdotool mousemove --window "$about_box" 100 33 click 1 # the address
    for stand_in in pavucontrol xdg-open; do
        wait_until 3000 test -s "$work/bin/$stand_in.nice" || fail "$stand_in did not run"
        [ "$(tr -d ' ' <"$work/bin/$stand_in.nice")" = 0 ] ||
            fail "$stand_in ran at nice $(<"$work/bin/$stand_in.nice")"
    done
    "$close_window" "$about_box"
    close_program
}

# A stopped first copy cannot answer: a second copy says so and fails within 5 s.
case_stopped-first-copy() {
    own_runtime_dir
    start_program
    kill -STOP "$pid"
    local rc=0
    timeout 5 "$program" >"$work/second.log" 2>&1 || rc=$?
    kill -CONT "$pid"
    [ "$rc" != 0 ] && [ "$rc" != 124 ] || fail "the second copy ended with $rc"
    grep -q "did not answer" "$work/second.log" || fail "the second copy said: $(<"$work/second.log")"
    close_program
}

# A copy started while the first is on its way out, with the first's removal of its socket
# slowed by a second (strace injects the delay): the new copy waits for the lock and comes
# up as the first copy, its socket is the one it keeps, and a third copy is answered by it.
case_exiting-first-copy() {
    own_runtime_dir
    start_program
    local first=$pid socket="$XDG_RUNTIME_DIR/sonavex.socket" made
    at_exit "kill $first"
    strace -f -p "$first" -o /dev/null -e trace=unlink,unlinkat \
        -e inject=unlink,unlinkat:delay_enter=1000000 2>"$work/strace.log" &
    at_exit "kill $!"
    wait_until 5000 grep -q attached "$work/strace.log" || fail "strace did not attach"
    "$close_window" "$wid" || fail "cannot ask the window to close"
    wait_until 2000 eval '[ -z "$(program_windows)" ]' || fail "the first window stays"
    start_program
    made=$(stat -c '%i %z' "$socket") || fail "the second copy has no socket"
    timeout 10 tail --pid="$first" -f /dev/null || fail "the first copy did not end"
    [ "$(stat -c '%i %z' "$socket" 2>&1)" = "$made" ] ||
        fail "the first copy removed the socket of the second"
    timeout 10 "$program" >"$work/third.log" 2>&1 || fail "the third copy exited with $?"
    [ "$(program_windows)" = "$wid" ] || fail "windows: $(program_windows)"
    close_program
}

run_cases "${@:3}"
