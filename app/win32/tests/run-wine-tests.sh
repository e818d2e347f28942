#!/usr/bin/env bash
# Runs the Windows program's tests under Wine, for each BUILD_DIR (the i686 and the x86_64
# build): the test driver starts the sonavex.exe of the build's release archive, exactly as
# it ships, on the virtual display, once with a 440 Hz tone on the sound server's virtual
# microphone (and 880 Hz on a second one, chosen from the picture's menu), with 443 and
# 436 Hz for the readout's tuner, and once with no sound server at all; then the same
# program with faults injected: a device that refuses buffers while recording, a chosen
# device that fails to open or is unplugged, failed allocations; and recording what the
# computer plays, from a stand-in for the system's audio service and from Wine's own, which
# refuses. A stand-in in the system folder plays the recording mixer, as the control panel or
# SNDVOL32.EXE, and another SNDVOL32.EXE lies beside the program, where it must be neither
# found nor started.
# Where the machine executes no 32-bit x86 code (scripts/i386.sh), the x86 program's run is
# skipped and said so.
#
#   app/win32/tests/run-wine-tests.sh BUILD_DIR...
#
# Uses the display and sound server of DISPLAY and SONAVEX_SOUND_DIR (scripts/test.sh sets
# them), else starts private ones. Reports as the end-to-end tests do.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../../../tests/e2e/common.sh"
[ $# -gt 0 ] || { echo "usage: run-wine-tests.sh BUILD_DIR..." >&2 && exit 2; }
[ -n "${SONAVEX_SOUND_DIR:-}" ] || private_sound_server
[ -n "${DISPLAY:-}" ] || private_display

# Debian's wine starts 32-bit and 64-bit programs alike (the former need wine32:i386), but
# whenever wine32 is installed it starts the 32-bit loader, which cannot run where the machine
# executes no 32-bit x86 code: there the 64-bit loader runs the x86_64 program alone.
wine=$(command -v wine)
if ! i386_runs; then
    wine=/usr/lib/wine/wine64
    export WINELOADER=$wine
fi
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
export WINEPREFIX="$work/prefix" WINEARCH=win64 WINEDEBUG=-all
# The stand-in mixers are native programs where Wine has builtin ones.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d;control.exe,sndvol32.exe=n"
# The default locale's ANSI code page is 1252: the Japanese texts must survive it.
export LANG=C.UTF-8 LC_ALL=C.UTF-8

# A home of its own, so that the prefix's My Pictures (which Wine links to the home's
# Pictures folder) is private too.
export HOME="$work/home"
mkdir -p "$HOME/Pictures"

# A private prefix. Without a window manager every top-level window's destruction would
# wait for one, unless Wine manages the windows.
at_exit "timeout 20 '$wineserver' -k"
timeout 180 "$wine" wineboot -i >/dev/null 2>&1 || fail "wineboot failed"
timeout 60 "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
timeout 60 "$wine" reg add 'HKCU\Software\Wine\Drivers' /v Audio /d pulse /f >/dev/null 2>&1
timeout 60 "$wineserver" -w

windows_path() { echo "Z:${1//\//\\}"; }
# What drive runs the driver as: by default the test's user as it is.
as_user=(env)

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

# Runs the driver in one mode. Its lines "ok   WHAT" and "FAIL WHAT WHY" are reported as
# ours; a driver that ends otherwise than by its closing count fails too.
drive() {
    local mode=$1 exe=${2:-$program} log="$work/driver-$arch-$1.log" line rc
    timeout 180 "${as_user[@]}" "$wine" "$driver" "$mode" "$(windows_path "$exe")" 2>"$work/wine-$arch-$mode.err" |
        sed 's/\r$//; s/ *$//' >"$log"
    rc=${PIPESTATUS[0]}
    while IFS= read -r line; do
        case $line in
        "ok   "*) ok "$arch $mode: ${line#ok   }" ;;
        FAIL*) not_ok "$arch $mode" "${line#FAIL }" ;;
        esac
    done <"$log"
    grep -qx '[0-9]* passed, [0-9]* failed' "$log" && { [ "$rc" = 0 ] || grep -q ^FAIL "$log"; } ||
        not_ok "$arch $mode" "the driver ended with $rc"
    timeout 30 "$wineserver" -k >/dev/null 2>&1
    timeout 30 "$wineserver" -w >/dev/null 2>&1
}

# The second virtual microphone, at 880 Hz, for the "Record from" menu.
pactl list short sources 2>/dev/null | grep -q $'\tvmic2\t' ||
    "$root/scripts/sound-server.sh" second "$SONAVEX_SOUND_DIR" 880 ||
    not_ok "second microphone" "cannot add it to the sound server"

# The pointer off the programs' windows, wherever earlier tests on the display left it: a
# readout that shows from a program's start would stand in for the one the driver checks.
xdotool mousemove "$(($(xdotool getdisplaygeometry | cut -d' ' -f1) - 1))" 0 2>/dev/null

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
    if [ "$arch" = win32 ] && ! i386_runs; then
        skip_check "$arch under Wine" "$SONAVEX_I386_WHY"
        continue
    fi
    program="$work/$arch/sonavex.exe"
    if ! unzip -qo "$archive" sonavex.exe -d "${program%/*}" || [ ! -f "$driver" ]; then
        not_ok "$build" "no release archive or test driver"
        continue
    fi

    # 440 Hz on the virtual microphone; one warm-up read so the first recorder does not wait.
    play 440 || not_ok "$arch" "cannot play 440 Hz"
    timeout 5 parec --raw --format=s16le --rate=22050 --channels=1 2>/dev/null |
        head -c 4096 >/dev/null
    timeout 60 "$wine" "$driver" devices >/dev/null 2>&1 || not_ok "$arch" "no second microphone"
    mixers control.exe
    cp "$stand_in" "${program%/*}/SNDVOL32.EXE"
    SONAVEX_MIXER=control.exe drive running
    # The device refuses the 40th buffer (while recording) and the 42nd (while starting again),
    # and the fourth open (a device chosen from the menu); the chosen device is unplugged
    # before the sixth.
    mixers
    SONAVEX_MIXER=none SONAVEX_FAIL_ADDS=40,42 SONAVEX_FAIL_OPENS=4 SONAVEX_GONE=SecondMic:6 \
        drive device-faults "$faults"
    # What the computer plays: from a stand-in service that the driver moves along, then from
    # Wine's own, which refuses loopback.
    SONAVEX_MIXER=none SONAVEX_LOOPBACK="stand-in:sonavex-$arch-$$" drive loopback "$faults"
    SONAVEX_MIXER=none SONAVEX_LOOPBACK=system drive loopback-refused "$faults"
    # "Save picture…" and "Copy picture", also into a folder the program may not write to.
    # Root may write anywhere: as root this session (the wineserver included, which opens
    # the files) runs without the capabilities that override file permissions.
    mixers
    locked="$work/$arch-locked"
    mkdir -p "$locked" && chmod 555 "$locked"
    [ "$(id -u)" = 0 ] && as_user=(setpriv --inh-caps=-dac_override,-dac_read_search
        --bounding-set=-dac_override,-dac_read_search)
    SONAVEX_MIXER=none SONAVEX_LOCKED_FOLDER=$(windows_path "$locked") drive pictures
    as_user=(env)
    # The readout's tuner: 443 Hz is A4 +11.7 cents, 436 Hz A4 -15.8 cents.
    for tone in "443 +12" "436 -16"; do
        hz=${tone% *} cents="${tone#* } cents"
        play "$hz" || not_ok "$arch tuner" "cannot play $hz Hz"
        SONAVEX_MIXER=none drive tuner
        a4=$(grep '^readout 48: ' "$work/driver-$arch-tuner.log")
        if [[ $a4 == "readout 48: A4 440.0 Hz, "*" dB, peak "*" Hz $cents" ]]; then
            ok "$arch tuner: $hz Hz reads $cents over bar 48"
        else
            not_ok "$arch tuner" "$hz Hz: \"$a4\""
        fi
    done
    play silence >/dev/null 2>&1

    # No sound server: a socket that does not exist, and a fresh wineserver.
    mixers control.exe sndvol32.exe
    PULSE_SERVER="unix:$work/no-such-server/native" SONAVEX_MIXER=SNDVOL32.EXE drive no-sound

    # An allocation failing at window creation: the program ends at once with exit code 0,
    # as when its toolbar cannot be made, instead of running on without its picture.
    for allocation in history display; do
        check "$arch: a failed $allocation allocation ends the program with exit code 0" \
            env "SONAVEX_FAIL_${allocation^^}=1" timeout 60 "$wine" "$faults" 2>/dev/null
    done
    timeout 30 "$wineserver" -k >/dev/null 2>&1
done
finish
