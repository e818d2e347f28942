#!/usr/bin/env bash
# A private X display (Xvfb) for the window tests and the headless demo.
#
#   scripts/virtual-display.sh start DIR   start it; writes DIR/env (source it: DISPLAY)
#   scripts/virtual-display.sh stop DIR    stop it (by pid)
set -euo pipefail

cmd=${1:?usage: virtual-display.sh start|stop DIR}
dir=${2:?usage: virtual-display.sh start|stop DIR}
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)

case "$cmd" in
start)
    num=99
    while [ -e "/tmp/.X$num-lock" ] || [ -e "/tmp/.X11-unix/X$num" ]; do num=$((num + 1)); done
    Xvfb ":$num" -screen 0 1280x1024x24 -nolisten tcp -noreset >"$dir/xvfb.log" 2>&1 &
    echo $! >"$dir/xvfb.pid"
    for _ in $(seq 100); do
        DISPLAY=":$num" xdpyinfo >/dev/null 2>&1 && break
        sleep 0.1
    done
    DISPLAY=":$num" xdpyinfo >/dev/null
    printf 'export DISPLAY=:%s\n' "$num" >"$dir/env"
    ;;
stop)
    if [ -f "$dir/xvfb.pid" ]; then
        pid=$(cat "$dir/xvfb.pid")
        kill "$pid" 2>/dev/null || true
        for _ in $(seq 30); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
        kill -9 "$pid" 2>/dev/null || true
        rm -f "$dir/xvfb.pid"
    fi
    ;;
*)
    echo "virtual-display.sh: unknown command $cmd" >&2
    exit 2
    ;;
esac
