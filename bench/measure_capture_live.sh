#!/usr/bin/env bash
# Measures live capture against a private sound server whose virtual microphone plays a
# 440 Hz tone: delivered, analysed and drained blocks, and the gap between a buffer's
# delivery and its re-queue.
#
#   bench/measure_capture_live.sh BUILD_DIR [seconds [stall_ms]]
#
# seconds defaults to 60; with stall_ms the window stalls that long after every 50th
# analysed block, so that the drain is measured too.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${1:?usage: measure_capture_live.sh BUILD_DIR [seconds]}" && pwd)
seconds=${2:-60}
stall=${3:-0}
tool="$build/bench/sonavex_capture_live_measure"
[ -x "$tool" ] || { echo "build $tool first" >&2; exit 2; }

work=$(mktemp -d /tmp/sonavex-measure.XXXXXX)
trap '"$root/scripts/sound-server.sh" stop "$work/sound" >/dev/null 2>&1; rm -rf "$work"' EXIT
"$root/scripts/sound-server.sh" start "$work/sound"
# shellcheck disable=SC1091
source "$work/sound/env"
"$root/scripts/sound-server.sh" play "$work/sound" 440
"$tool" "$seconds" "$stall"
