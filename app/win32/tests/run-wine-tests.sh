#!/usr/bin/env bash
# Runs the Windows program's tests under Wine, for each BUILD_DIR (the i686 and the x86_64
# build): the test driver starts the sonavex.exe of the build's release archive, exactly as
# it ships, on the virtual display, once with a 440 Hz tone on the sound server's virtual
# microphone and once with no sound server at all; then the same program with faults
# injected: a device that refuses buffers while recording, failed allocations. A stand-in
# in the system folder plays the recording mixer, as the control panel or SNDVOL32.EXE, and
# another SNDVOL32.EXE lies beside the program, where it must be neither found nor started.
#
#   app/win32/tests/run-wine-tests.sh WORK_DIR BUILD_DIR...
#
# Expects DISPLAY, XDG_RUNTIME_DIR, PULSE_SERVER and SONAVEX_SOUND_DIR (scripts/test.sh sets
# them); when they are missing it starts a private sound server and display under WORK_DIR.
# Prints "N passed, N failed" and exits non-zero on any failure.
set -uo pipefail

work=${1:?usage: run-wine-tests.sh WORK_DIR BUILD_DIR...}
shift
work=$(mkdir -p "$work" && cd "$work" && pwd)
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)
source "$root/scripts/counts.sh"
passed=0 failed=0

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

# Debian's wine starts 32-bit and 64-bit programs alike (the former need wine32:i386).
wine=$(command -v wine)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
export WINEPREFIX="$work/prefix" WINEARCH=win64 WINEDEBUG=-all
# The stand-in mixers are native programs where Wine has builtin ones.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d;control.exe,sndvol32.exe=n"
# The default locale's ANSI code page is 1252: the Japanese texts must survive it.
export LANG=C.UTF-8 LC_ALL=C.UTF-8

# A private prefix, made anew when it was made without 32-bit Wine. Without a window manager
# every top-level window's destruction would wait for one, unless Wine manages the windows.
if [ ! -f "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ]; then
    rm -rf "$WINEPREFIX"
    timeout 180 "$wine" wineboot -i >/dev/null 2>&1 || fail "wineboot"
fi
timeout 60 "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
timeout 60 "$wine" reg add 'HKCU\Software\Wine\Drivers' /v Audio /d pulse /f >/dev/null 2>&1
timeout 60 "$wineserver" -w

windows_path() { echo "Z:${1//\//\\}"; }

# Which recording mixers the prefix has: the stand-in as control.exe (current Windows), also
# as SNDVOL32.EXE (the classic mixer, preferred), or neither; a 32-bit program's system folder
# is syswow64. The driver learns which to expect from SONAVEX_MIXER and reads what the
# stand-in was started as from the log.
export SONAVEX_MIXER_LOG
SONAVEX_MIXER_LOG=$(windows_path "$work/mixer.log")
mixers() {
    local name folder
    for folder in system32 syswow64; do
        folder="$WINEPREFIX/drive_c/windows/$folder"
        rm -f "$folder/control.exe" "$folder/sndvol32.exe"
        for name in "$@"; do cp "$stand_in" "$folder/$name"; done
    done
}

# Runs the driver in one mode and adds up its counts.
drive() {
    local mode=$1 exe=${2:-$program} log="$work/driver-$arch-$1.log"
    timeout 180 "$wine" "$driver" "$mode" "$(windows_path "$exe")" 2>"$work/wine-$arch-$mode.err" |
        tr -d '\r' | tee "$log"
    local rc=${PIPESTATUS[0]}
    if read_counts "$log"; then
        passed=$((passed + counted_passed))
        failed=$((failed + counted_failed))
    elif [ "$rc" -ne 0 ]; then
        fail "driver ($arch, $mode) ended with $rc"
    fi
    timeout 30 "$wineserver" -k >/dev/null 2>&1
    timeout 30 "$wineserver" -w >/dev/null 2>&1
}

for build in "$@"; do
    tests=$(cd "$build" && pwd)/app/win32/tests
    driver="$tests/sonavex_wine_driver.exe" faults="$tests/sonavex_faults.exe"
    stand_in="$tests/sonavex_mixer_stand_in.exe"
    # The program as it ships: taken out of the build's release archive, made anew if older.
    archive=$(compgen -G "$build/sonavex-*-win*.zip" | head -1)
    [ "$archive" -nt "$build/app/win32/sonavex.exe" ] ||
        archive=$(cd "$build" && cpack >/dev/null && compgen -G "$PWD/sonavex-*-win*.zip" | head -1)
    arch=$(basename "${archive%.zip}")
    arch=${arch##*-}
    program="$work/$arch/sonavex.exe"
    echo "--- $(basename "$archive")"
    if ! unzip -qo "$archive" sonavex.exe -d "${program%/*}" || [ ! -f "$driver" ]; then
        fail "no release archive or test driver in $build"
        continue
    fi

    # 440 Hz on the virtual microphone; one warm-up read so the first recorder does not wait.
    "$root/scripts/sound-server.sh" play "$SONAVEX_SOUND_DIR" 440 || fail "play 440 Hz"
    timeout 5 parec --raw --format=s16le --rate=22050 --channels=1 2>/dev/null |
        head -c 4096 >/dev/null
    mixers control.exe
    cp "$stand_in" "${program%/*}/SNDVOL32.EXE"
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
        env "SONAVEX_FAIL_$allocation=1" timeout 60 "$wine" "$faults" 2>/dev/null &&
            echo "ok   failed ${allocation,,} allocation ends the program with exit code 0" &&
            passed=$((passed + 1)) && continue
        fail "failed ${allocation,,} allocation ($arch): exit code $?"
    done
    timeout 30 "$wineserver" -k >/dev/null 2>&1
done

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ] && [ $((passed + failed)) -gt 0 ]
