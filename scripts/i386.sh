# shellcheck shell=bash
# Whether this machine executes 32-bit x86 programs; sourced, never run. Machines of the same
# kind differ: on some a 32-bit program fails with "Exec format error" although it builds.
# The test command asks once and every step that depends on it (the 32-bit core's tests,
# the Wine runs, the release checks, bench/measure_x86.sh) reads the same answer, exported
# as SONAVEX_I386 ("yes" or "no") with its reason in SONAVEX_I386_WHY.
# SONAVEX_NO_I386=1 takes the no-32-bit path on a machine that could run it.
#
#   i386_runs   true when 32-bit x86 programs run here; asks the machine once

i386_probe() {
    local dir rc=0
    dir=$(mktemp -d) || return 1
    printf 'int main(void) { return 0; }\n' >"$dir/probe.c" &&
        gcc -m32 "$dir/probe.c" -o "$dir/probe" >/dev/null 2>&1 || rc=2
    [ "$rc" = 0 ] && { "$dir/probe" >/dev/null 2>&1 || rc=1; }
    rm -rf "$dir"
    return "$rc"
}

i386_runs() {
    [ "${SONAVEX_NO_I386:-0}" = 1 ] &&
        SONAVEX_I386=no SONAVEX_I386_WHY="SONAVEX_NO_I386=1 asks for no 32-bit x86 code"
    if [ -z "${SONAVEX_I386:-}" ]; then
        local rc=0
        i386_probe || rc=$?
        case $rc in
        0) SONAVEX_I386=yes SONAVEX_I386_WHY="" ;;
        1) SONAVEX_I386=no SONAVEX_I386_WHY="this machine does not execute 32-bit x86 code" ;;
        *) SONAVEX_I386=no SONAVEX_I386_WHY="gcc -m32 cannot build a 32-bit x86 program here" ;;
        esac
    fi
    export SONAVEX_I386 SONAVEX_I386_WHY
    [ "$SONAVEX_I386" = yes ]
}
