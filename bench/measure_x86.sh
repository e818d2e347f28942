#!/usr/bin/env bash
# Measures the x86 program beside the x86_64 one, side by side in one run:
#  - the CPU of each Windows program (the sonavex.exe of its release archive) under Wine at
#    1x, recording a live 440 Hz tone from a private sound server's virtual microphone, on a
#    virtual display, SECONDS each (default 30), with the wineserver's share beside it;
#  - the transforms, the frame and the rate converter as timed by bench/loop_bench.cpp, run
#    natively as the 32-bit x87 core and as the x86_64 one, three times each in turn, medians.
#
#   bench/measure_x86.sh BUILD BUILD_I386 BUILD_WIN_I686 BUILD_WIN_X86_64 [SECONDS]
#
# BUILD and BUILD_I386 need the target sonavex_loop_bench (cmake/linux-i386.cmake for the
# latter); the Windows builds their release archives (`--target package`). Where the machine
# executes no 32-bit x86 code (scripts/i386.sh; SONAVEX_NO_I386=1 forces it), the x86 rows
# are skipped with the reason: an emulator's timing says nothing of an x86 processor.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$root/scripts/i386.sh"
x86=yes wine=wine
i386_runs || x86=no wine=/usr/lib/wine/wine64
[ "$x86" = yes ] || export WINELOADER=$wine
usage="usage: measure_x86.sh BUILD BUILD_I386 BUILD_WIN_I686 BUILD_WIN_X86_64 [SECONDS]"
build=$(cd "${1:?$usage}" && pwd)
i386=$(cd "${2:?$usage}" && pwd)
win32=$(cd "${3:?$usage}" && pwd)
win64=$(cd "${4:?$usage}" && pwd)
seconds=${5:-30}

work=$(mktemp -d /tmp/sonavex-x86.XXXXXX)
export WINEPREFIX="$work/prefix" WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
cleanup() {
    timeout 30 wineserver -k >/dev/null 2>&1 || true
    "$root/scripts/virtual-display.sh" stop "$work/display" >/dev/null 2>&1 || true
    "$root/scripts/sound-server.sh" stop "$work/sound" >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT

echo "Natively, CPU time of one call (median of three runs' medians), microseconds:"
[ "$x86" = yes ] || echo "x86 (x87) skipped: $SONAVEX_I386_WHY"
for run in 1 2 3; do
    "$build/sonavex_loop_bench" >>"$work/x86_64.txt"
    if [ "$x86" = yes ]; then "$i386/sonavex_loop_bench" >>"$work/x87.txt"; fi
done
printf '%-36s %10s %10s %8s\n' case "x86 (x87)" x86_64 ratio
for name in "real_transform 8192" "real_transform 2048" "render_frame note" \
    "render_frame linear" "find_band_peak long" "find_band_peak short" \
    "rate_converter 48k_float_stereo_1s"; do
    x87=-
    [ "$x86" = no ] || x87=$(grep "^$name " "$work/x87.txt" | awk '{ print $NF }' | sort -g | sed -n 2p)
    x64=$(grep "^$name " "$work/x86_64.txt" | awk '{ print $NF }' | sort -g | sed -n 2p)
    awk -v n="$name" -v a="$x87" -v b="$x64" 'BEGIN {
        printf "%-36s %10s %10s %8s\n", n, a, b, a == "-" ? "-" : sprintf("%.2f", a / b) }'
done

"$root/scripts/sound-server.sh" start "$work/sound" >/dev/null
source "$work/sound/env"
"$root/scripts/virtual-display.sh" start "$work/display" >/dev/null
source "$work/display/env"
"$root/scripts/sound-server.sh" play "$SONAVEX_SOUND_DIR" 440
timeout 180 "$wine" wineboot -i >/dev/null 2>&1
timeout 60 "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
timeout 60 "$wine" reg add 'HKCU\Software\Wine\Drivers' /v Audio /d pulse /f >/dev/null 2>&1
timeout 60 wineserver -w

ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
# The Linux process id of the program recording from the sound server (Wine names the stream's
# client after the window), and of this prefix's wineserver.
recorder() {
    pactl list source-outputs 2>/dev/null |
        awk -F'"' '/application.name = "Sonavex"/ { on = 1 } on && /application.process.id/ { print $2; exit }'
}
wineserver_pid() {
    local pid
    for pid in $(pgrep -x 'wineserver(32|64)?'); do
        grep -qz "^WINEPREFIX=$WINEPREFIX\$" "/proc/$pid/environ" 2>/dev/null && echo "$pid" && return
    done
    return 1
}

echo
echo "Under Wine, 1x, live 440 Hz tone, ${seconds} s each: CPU as a share of one core"
printf '%-8s %10s %12s\n' archive sonavex.exe wineserver
hz=$(getconf CLK_TCK)
for arch in win32 win64; do
    case $arch in win32) dir=$win32 ;; win64) dir=$win64 ;; esac
    if [ "$arch" = win32 ] && [ "$x86" = no ]; then
        echo "$arch skipped: $SONAVEX_I386_WHY"
        continue
    fi
    unzip -qo "$dir"/sonavex-*-"$arch".zip sonavex.exe -d "$work/$arch"
    "$wine" "$work/$arch/sonavex.exe" >/dev/null 2>&1 &
    "$root/scripts/wait-window.sh" Sonavex 30 >/dev/null
    for _ in $(seq 100); do [ -n "$(recorder)" ] && break; sleep 0.1; done
    program=$(recorder) server=$(wineserver_pid)
    [ -n "$program" ] || { echo "$arch: the program does not record" >&2; exit 1; }
    p0=$(ticks "$program") s0=$(ticks "$server")
    sleep "$seconds" # the measuring interval
    p1=$(ticks "$program") s1=$(ticks "$server")
    [ "$(recorder)" = "$program" ] || { echo "$arch: recording stopped while measured" >&2; exit 1; }
    awk -v a="$arch" -v p=$((p1 - p0)) -v s=$((s1 - s0)) -v t=$((hz * seconds)) \
        'BEGIN { printf "%-8s %9.1f %% %11.1f %%\n", a, 100 * p / t, 100 * s / t }'
    timeout 30 wineserver -k >/dev/null 2>&1 || true
    timeout 30 wineserver -w >/dev/null 2>&1 || true
done
