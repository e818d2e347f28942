#!/usr/bin/env bash
# Installs what is missing, builds, and runs the analyser on your display and default input.
# With no display (a server, a container) it shows the main job instead: a private sound
# server whose virtual microphone plays a demo signal, a virtual display, the program running
# for a few seconds, and a screenshot of its window saved as a PNG.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
source scripts/deps.sh

headless=0
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    headless=1
fi
if [ "$headless" = 1 ]; then
    ensure_packages demo
else
    ensure_packages run
fi
# The program alone: no tests or benchmarks, so none of their libraries is needed.
cmake -S . -B build -DSONAVEX_TESTS=OFF -DSONAVEX_BENCH=OFF >/dev/null
cmake --build build -j "$(nproc 2>/dev/null || echo 2)" --target sonavex
if [ ! -x build/sonavex ]; then
    echo "The Linux program is not built yet; the analysis libraries and tests are (scripts/test.sh)."
    exit 0
fi
if [ "$headless" = 0 ]; then
    exec build/sonavex
fi

echo "No display: running the headless demo."
work=$(mktemp -d /tmp/sonavex-demo.XXXXXX)
shot="$root/build/sonavex-demo.png"
pid=""
cleanup() {
    if [ -n "$pid" ]; then
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    fi
    scripts/sound-server.sh stop "$work/sound" >/dev/null 2>&1 || true
    scripts/virtual-display.sh stop "$work/display" >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT

scripts/demo-signal.sh "$work/demo.wav"
scripts/sound-server.sh start "$work/sound"
source "$work/sound/env"
scripts/virtual-display.sh start "$work/display"
source "$work/display/env"

build/sonavex &
pid=$!
if ! wid=$(scripts/wait-window.sh Sonavex 5); then
    echo "The program's window did not appear." >&2
    exit 1
fi
scripts/sound-server.sh play "$work/sound" "$work/demo.wav"
echo "Playing a sweep across the keyboard and four chords into the virtual microphone..."
sleep 4.6 # into the second chord
import -window "$wid" "$shot"
echo "Screenshot of the window: $shot"
