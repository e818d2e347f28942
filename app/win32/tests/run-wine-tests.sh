#!/usr/bin/env bash
# Runs the Windows program's tests under Wine: the test driver starts BUILD_DIR's real
# sonavex.exe (x86_64) on the virtual display, once with a 440 Hz tone on the sound
# server's virtual microphone and once with no sound server at all; then the same program
# with faults injected: a device that refuses buffers while recording, failed allocations.
# A stand-in in the prefix plays the recording mixer, as the control panel or SNDVOL32.EXE.
#
#   app/win32/tests/run-wine-tests.sh BUILD_DIR WORK_DIR
#
# Expects DISPLAY, XDG_RUNTIME_DIR, PULSE_SERVER and SONAVEX_SOUND_DIR (scripts/test.sh sets
# them); when they are missing it starts a private sound server and display under WORK_DIR.
# Prints "N passed, N failed" and exits non-zero on any failure.
set -uo pipefail

build=$(cd "${1:?usage: run-wine-tests.sh BUILD_DIR WORK_DIR}" && pwd)
work=${2:?usage: run-wine-tests.sh BUILD_DIR WORK_DIR}
mkdir -p "$work"
work=$(cd "$work" && pwd)
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)
source "$root/scripts/counts.sh"

program="$build/app/win32/sonavex.exe"
driver="$build/app/win32/tests/sonavex_wine_driver.exe"
faults="$build/app/win32/tests/sonavex_faults.exe"
stand_in="$build/app/win32/tests/sonavex_mixer_stand_in.exe"
passed=0
failed=0

fail() {
    echo "FAIL $*"
    failed=$((failed + 1))
}

started=()
cleanup() {
    [ -n "${wineserver:-}" ] && timeout 20 "$wineserver" -k >/dev/null 2>&1
    for what in "${started[@]}"; do
        "$root/scripts/$what.sh" stop "$work/$what" >/dev/null 2>&1
    done
}
trap cleanup EXIT

if [ -z "${SONAVEX_SOUND_DIR:-}" ]; then
    "$root/scripts/sound-server.sh" start "$work/sound-server" && source "$work/sound-server/env"
    started+=(sound-server)
fi
if [ -z "${DISPLAY:-}" ]; then
    "$root/scripts/virtual-display.sh" start "$work/virtual-display" &&
        source "$work/virtual-display/env"
    started+=(virtual-display)
fi

wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
export WINEPREFIX="$work/prefix" WINEARCH=win64 WINEDEBUG=-all
# The stand-in mixers are native programs where Wine has builtin ones.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d;control.exe,sndvol32.exe=n"
# The default locale's ANSI code page is 1252: the Japanese texts must survive it.
export LANG=C.UTF-8 LC_ALL=C.UTF-8

if [ ! -f "$program" ] || [ ! -f "$driver" ]; then
    fail "no $program or $driver: build the x86_64 Windows program first"
    echo "$passed passed, $failed failed"
    exit 1
fi

# A private prefix. Without a window manager every top-level window's destruction would
# wait for one, unless Wine manages the windows itself.
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    timeout 180 "$wine" wineboot -i >/dev/null 2>&1 || fail "wineboot"
fi
timeout 60 "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
timeout 60 "$wine" reg add 'HKCU\Software\Wine\Drivers' /v Audio /d pulse /f >/dev/null 2>&1
timeout 60 "$wineserver" -w

windows_path() { echo "Z:${1//\//\\}"; }

# Which recording mixers the prefix has: the stand-in as control.exe (current Windows), also
# as SNDVOL32.EXE (the classic mixer, preferred), or neither. The driver learns which to
# expect from SONAVEX_MIXER and reads what the stand-in was started as from the log.
system32="$WINEPREFIX/drive_c/windows/system32"
export SONAVEX_MIXER_LOG
SONAVEX_MIXER_LOG=$(windows_path "$work/mixer.log")
mixers() {
    rm -f "$system32/control.exe" "$system32/sndvol32.exe"
    local name
    for name in "$@"; do cp "$stand_in" "$system32/$name"; done
}

# Runs the driver in one mode and adds up its counts.
drive() {
    local mode=$1 exe=${2:-$program} log="$work/driver-$1.log"
    timeout 180 "$wine" "$driver" "$mode" "$(windows_path "$exe")" 2>"$work/wine-$mode.err" |
        tr -d '\r' | tee "$log"
    local rc=${PIPESTATUS[0]}
    if read_counts "$log"; then
        passed=$((passed + counted_passed))
        failed=$((failed + counted_failed))
    elif [ "$rc" -ne 0 ]; then
        fail "driver ($mode) ended with $rc"
    fi
    timeout 30 "$wineserver" -k >/dev/null 2>&1
    timeout 30 "$wineserver" -w >/dev/null 2>&1
}

# 440 Hz on the virtual microphone; one warm-up read so the first recorder does not wait.
"$root/scripts/sound-server.sh" play "$SONAVEX_SOUND_DIR" 440 || fail "play 440 Hz"
timeout 5 parec --raw --format=s16le --rate=22050 --channels=1 2>/dev/null |
    head -c 4096 >/dev/null
mixers control.exe
SONAVEX_MIXER=control.exe drive running
# The device refuses the 40th buffer (while recording) and the 42nd (while starting again).
mixers
SONAVEX_MIXER=none SONAVEX_FAIL_ADDS=40,42 drive device-faults "$faults"
"$root/scripts/sound-server.sh" play "$SONAVEX_SOUND_DIR" silence >/dev/null 2>&1

# No sound server: a socket that does not exist, and a fresh wineserver.
mixers control.exe sndvol32.exe
PULSE_SERVER="unix:$work/no-such-server/native" SONAVEX_MIXER=SNDVOL32.EXE drive no-sound

# An allocation failing at window creation: the program ends at once with exit code 0,
# as when its toolbar cannot be made, instead of running on without its picture.
for allocation in HISTORY DISPLAY; do
    env "SONAVEX_FAIL_$allocation=1" timeout 60 "$wine" "$faults" 2>/dev/null
    rc=$?
    if [ "$rc" -eq 0 ]; then
        echo "ok   failed ${allocation,,} allocation ends the program with exit code 0"
        passed=$((passed + 1))
    else
        fail "failed ${allocation,,} allocation: exit code $rc"
    fi
done
timeout 30 "$wineserver" -k >/dev/null 2>&1

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
