#!/usr/bin/env bash
# A private X display (Xvfb) for the window tests and the headless demo.
#
#   scripts/virtual-display.sh start DIR [WxH]   start it, 1280x1024 unless a screen size
#                                                is given; writes DIR/env (source it: DISPLAY)
#   scripts/virtual-display.sh stop DIR          stop it (by pid)
set -euo pipefail

cmd=${1:?usage: virtual-display.sh start|stop DIR}
dir=${2:?usage: virtual-display.sh start|stop DIR}
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)

case "$cmd" in
start)
    screen=${3:-1280x1024}
    [[ $screen =~ ^[0-9]+x[0-9]+$ ]] || { echo "virtual-display.sh: screen size WxH, not $screen" >&2; exit 2; }
    # Xvfb picks a free display itself and writes its number to the descriptor we give it,
    # so two displays started at once never race for the same number.
    : >"$dir/display.num"
    Xvfb -displayfd 3 -screen 0 "${screen}x24" -nolisten tcp -noreset \
        >"$dir/xvfb.log" 2>&1 3>"$dir/display.num" &
    echo $! >"$dir/xvfb.pid"
    num=""
    for _ in $(seq 100); do
        num=$(tr -dc 0-9 <"$dir/display.num" 2>/dev/null || true)
        [ -n "$num" ] && DISPLAY=":$num" xdpyinfo >/dev/null 2>&1 && break
        sleep 0.1
    done
    [ -n "$num" ] || { echo "virtual-display.sh: Xvfb gave no display number" >&2; exit 1; }
    DISPLAY=":$num" xdpyinfo >/dev/null
    printf 'export DISPLAY=:%s\n' "$num" >"$dir/env"
    ;;
stop)
    if [ -f "$dir/xvfb.pid" ]; then
        pid=$(cat "$dir/xvfb.pid")
        kill "$pid" 2>/dev/null || true
        for _ in $(seq 30); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
        if kill -0 "$pid" 2>/dev/null; then kill -9 "$pid"; fi
        rm -f "$dir/xvfb.pid" "$dir/display.num"
    fi
    ;;
*)
    echo "virtual-display.sh: unknown command $cmd" >&2
    exit 2
    ;;
esac
