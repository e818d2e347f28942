#!/usr/bin/env bash
# A private PulseAudio server whose default source is a virtual microphone that plays a
# signal we choose. Used by the tests, the benchmarks and the headless demo.
#
#   scripts/sound-server.sh start DIR     start the server; writes DIR/env (source it)
#   scripts/sound-server.sh play DIR SIG  replace the signal: a frequency in Hz (440),
#                                         "silence", or a sound file
#   scripts/sound-server.sh stop DIR      stop the signal and the server (by pid)
set -euo pipefail

cmd=${1:?usage: sound-server.sh start|play|stop DIR [signal]}
dir=${2:?usage: sound-server.sh start|play|stop DIR [signal]}
dir=$(mkdir -p "$dir" && cd "$dir" && pwd)
run="$dir/run"

server_env() {
    export XDG_RUNTIME_DIR="$run"
    export PULSE_SERVER="unix:$run/pulse/native"
    unset DISPLAY
}

stop_feeder() {
    if [ -f "$dir/feeder.pid" ]; then
        local pid
        pid=$(cat "$dir/feeder.pid")
        kill -- "-$pid" 2>/dev/null || kill "$pid" 2>/dev/null || true
        rm -f "$dir/feeder.pid"
    fi
}

case "$cmd" in
start)
    mkdir -p "$run/pulse"
    chmod 700 "$run"
    server_env
    cat >"$dir/server.pa" <<PA
.fail
load-module module-native-protocol-unix auth-anonymous=1 socket=$run/pulse/native
load-module module-null-sink sink_name=nullsink rate=44100 channels=2
set-default-sink nullsink
load-module module-remap-source master=nullsink.monitor source_name=vmic channels=1 channel_map=mono source_properties=device.description=VirtualMic
set-default-source vmic
PA
    pulseaudio -D -n --system=false --exit-idle-time=-1 --disallow-exit=yes \
        --use-pid-file=yes -F "$dir/server.pa" 2>"$dir/server.log"
    for _ in $(seq 50); do
        pactl info >/dev/null 2>&1 && break
        sleep 0.1
    done
    pactl info >/dev/null
    cp "$run/pulse/pid" "$dir/server.pid"
    printf 'export XDG_RUNTIME_DIR=%q\nexport PULSE_SERVER=%q\nexport SONAVEX_SOUND_DIR=%q\n' \
        "$XDG_RUNTIME_DIR" "$PULSE_SERVER" "$dir" >"$dir/env"
    ;;
play)
    sig=${3:?usage: sound-server.sh play DIR FREQ|silence|FILE}
    server_env
    stop_feeder
    case "$sig" in
    silence) exit 0 ;;
    *[!0-9.]*)
        setsid paplay -d nullsink "$sig" </dev/null >/dev/null 2>&1 &
        ;;
    *)
        setsid bash -c "sox -q -n -t raw -r 22050 -e signed -b 16 -c 1 - synth 3600 sine $sig vol 0.5 \
            | pacat --playback --raw --format=s16le --rate=22050 --channels=1 --latency-msec=20 -d nullsink" \
            </dev/null >/dev/null 2>&1 &
        ;;
    esac
    echo $! >"$dir/feeder.pid"
    # The first recorder otherwise waits up to 1.5 s for its first block.
    timeout 5 parec --raw --format=s16le --rate=22050 --channels=1 2>/dev/null | head -c 4096 >/dev/null || true
    ;;
stop)
    stop_feeder
    if [ -f "$dir/server.pid" ]; then
        pid=$(cat "$dir/server.pid")
        kill "$pid" 2>/dev/null || true
        for _ in $(seq 30); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
        kill -9 "$pid" 2>/dev/null || true
        rm -f "$dir/server.pid"
    fi
    ;;
*)
    echo "sound-server.sh: unknown command $cmd" >&2
    exit 2
    ;;
esac
