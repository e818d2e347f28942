#!/usr/bin/env bash
# A private sound server whose default source is a virtual microphone that plays a signal
# we choose: PulseAudio itself, or PipeWire serving the PulseAudio protocol through
# pipewire-pulse, as most desktops now do. Used by the tests, the benchmarks and the demo.
#
#   scripts/sound-server.sh start DIR [KIND]  start the server; writes DIR/env (source it).
#                                         KIND: pulseaudio or pipewire (default: the kind
#                                         in SONAVEX_SOUND_SERVER, else pulseaudio)
#   scripts/sound-server.sh play DIR SIG  replace the signal: a frequency in Hz (440),
#                                         "silence", or a sound file
#   scripts/sound-server.sh second DIR HZ add a second virtual microphone, vmic2
#                                         ("SecondMic"), playing a tone of HZ
#   scripts/sound-server.sh stop DIR      stop the signal and the server (by pid)
#
# DIR/server.pid holds the process that serves the PulseAudio protocol; DIR/server.pids all
# of the server's processes in the order they stop (for PipeWire: pipewire-pulse,
# wireplumber, pipewire). Each is recorded as soon as it runs, before any wait that may
# fail, so that stop finds whatever a failed start left running.
set -euo pipefail

cmd=${1:?usage: sound-server.sh start|play|stop DIR [signal|kind]}
dir=${2:?usage: sound-server.sh start|play|stop DIR [signal|kind]}
dir=$(mkdir -p "$dir" && cd "$dir" && pwd)
run="$dir/run"

server_env() {
    export XDG_RUNTIME_DIR="$run"
    export PULSE_SERVER="unix:$run/pulse/native"
    # PipeWire keeps its settings and remembered defaults under these: private, so that
    # no other server's state leaks in. No display: the servers would reach for X11.
    export XDG_CONFIG_HOME="$dir/config" XDG_STATE_HOME="$dir/state"
    unset DISPLAY WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS
}

# Whether the process runs: the servers are detached, so an ended one can linger as a
# zombie until whoever adopted it reaps it.
running() {
    kill -0 "$1" 2>/dev/null || return 1
    case "$(ps -o stat= -p "$1" 2>/dev/null)" in Z* | "") return 1 ;; esac
}

# Stops each pid in the file FILE (in the order listed), waiting up to 3 s for each.
stop_pids() {
    [ -f "$1" ] || return 0
    local pid
    for pid in $(cat "$1"); do
        running "$pid" || continue
        kill "$pid" 2>/dev/null || continue
        for _ in $(seq 30); do running "$pid" || break; sleep 0.1; done
        if running "$pid"; then kill -9 "$pid" 2>/dev/null || true; fi
    done
    rm -f "$1"
}

wait_for_server() {
    for _ in $(seq 100); do
        pactl info >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    echo "sound-server.sh: the server does not answer" >&2
    return 1
}

start_pulseaudio() {
    cat >"$dir/server.pa" <<PA
.fail
load-module module-native-protocol-unix auth-anonymous=1 socket=$run/pulse/native
load-module module-null-sink sink_name=nullsink rate=44100 channels=2
set-default-sink nullsink
load-module module-remap-source master=nullsink.monitor source_name=vmic channels=1 channel_map=mono source_properties=device.description=VirtualMic
set-default-source vmic
PA
    # The daemon has written its pid file by the time the starting process returns.
    pulseaudio -D -n --system=false --exit-idle-time=-1 --disallow-exit=yes \
        --use-pid-file=yes -F "$dir/server.pa" 2>"$dir/server.log" || return 1
    cp "$run/pulse/pid" "$dir/server.pid" && cp "$dir/server.pid" "$dir/server.pids" || return 1
    wait_for_server || return 1
}

# Starts one server process in a session of its own and records it first among those to stop.
spawn() {
    local name=$1
    shift
    setsid "$@" </dev/null >"$dir/$name.log" 2>&1 &
    { echo $! && { [ ! -f "$dir/server.pids" ] || cat "$dir/server.pids"; }; } >"$dir/server.pids.new" &&
        mv "$dir/server.pids.new" "$dir/server.pids" || return 1
}

start_pipewire() {
    mkdir -p "$XDG_CONFIG_HOME" "$XDG_STATE_HOME" || return 1
    # wireplumber and pipewire-pulse talk over a session bus: a private one.
    dbus-daemon --session --fork --address="unix:path=$run/bus" --print-pid=3 \
        3>"$dir/bus.pid" >/dev/null || return 1
    export DBUS_SESSION_BUS_ADDRESS="unix:path=$run/bus"
    rm -f "$dir/server.pids"
    # Stopped in the reverse order: the protocol server first, pipewire itself last.
    spawn pipewire pipewire || return 1
    for _ in $(seq 50); do [ -S "$run/pipewire-0" ] && break; sleep 0.1; done
    spawn wireplumber wireplumber || return 1
    spawn pipewire-pulse pipewire-pulse || return 1
    head -1 "$dir/server.pids" >"$dir/server.pid" || return 1
    wait_for_server || return 1
    pactl load-module module-null-sink sink_name=nullsink rate=44100 channels=2 >/dev/null ||
        return 1
    pactl load-module module-remap-source master=nullsink.monitor source_name=vmic \
        channels=1 channel_map=mono source_properties=device.description=VirtualMic \
        >/dev/null || return 1
    # The defaults are wireplumber's to keep: asked before it has seen the new nodes, it
    # forgets the request. Ask until it reports them.
    for _ in $(seq 50); do
        pactl set-default-sink nullsink 2>/dev/null || true
        pactl set-default-source vmic 2>/dev/null || true
        [ "$(pactl get-default-source 2>/dev/null)" = vmic ] &&
            [ "$(pactl get-default-sink 2>/dev/null)" = nullsink ] && return 0
        sleep 0.1
    done
    echo "sound-server.sh: wireplumber never took vmic as the default source" >&2
    return 1
}

# Stops the feeder whose pid is in FILE (default: the first microphone's).
stop_feeder() {
    local file=${1:-$dir/feeder.pid}
    if [ -f "$file" ]; then
        local pid
        pid=$(cat "$file")
        kill -- "-$pid" 2>/dev/null || kill "$pid" 2>/dev/null || true
        rm -f "$file"
    fi
}

# Plays a tone of HZ into SINK in a session of its own; its pid goes to FILE. The player keeps
# 100 ms queued: with less, a machine busy with other work let it run dry now and then, and
# the gaps of silence skewed the tone that the live capture test measures.
feed_tone() {
    setsid bash -c 'sox -q -n -t raw -r 22050 -e signed -b 16 -c 1 - synth 3600 sine "$1" vol 0.5 |
        pacat --playback --raw --format=s16le --rate=22050 --channels=1 --latency-msec=100 -d "$2"' \
        _ "$1" "$2" </dev/null >/dev/null 2>&1 &
    echo $! >"$3"
}

case "$cmd" in
start)
    kind=${3:-${SONAVEX_SOUND_SERVER:-pulseaudio}}
    mkdir -p "$run/pulse"
    chmod 700 "$run"
    server_env
    case "$kind" in
    pulseaudio) start_pulseaudio || { "$0" stop "$dir"; exit 1; } ;;
    pipewire) start_pipewire || { "$0" stop "$dir"; exit 1; } ;;
    *) echo "sound-server.sh: unknown server kind $kind" >&2; exit 2 ;;
    esac
    # The kind goes along, so that a test starting a private server of its own gets the same.
    printf 'export XDG_RUNTIME_DIR=%q\nexport PULSE_SERVER=%q\nexport SONAVEX_SOUND_DIR=%q\nexport SONAVEX_SOUND_SERVER=%q\n' \
        "$XDG_RUNTIME_DIR" "$PULSE_SERVER" "$dir" "$kind" >"$dir/env"
    ;;
play)
    sig=${3:?usage: sound-server.sh play DIR FREQ|silence|FILE}
    server_env
    stop_feeder
    case "$sig" in
    silence) exit 0 ;;
    *[!0-9.]*)
        setsid paplay -d nullsink "$sig" </dev/null >/dev/null 2>&1 &
        echo $! >"$dir/feeder.pid"
        ;;
    *) feed_tone "$sig" nullsink "$dir/feeder.pid" ;;
    esac
    # The first recorder otherwise waits up to 1.5 s for its first block.
    timeout 5 parec --raw --format=s16le --rate=22050 --channels=1 2>/dev/null | head -c 4096 >/dev/null || true
    ;;
second)
    hz=${3:?usage: sound-server.sh second DIR HZ}
    server_env
    pactl load-module module-null-sink sink_name=nullsink2 rate=44100 channels=2 >/dev/null
    pactl load-module module-remap-source master=nullsink2.monitor source_name=vmic2 \
        channels=1 channel_map=mono source_properties=device.description=SecondMic >/dev/null
    stop_feeder "$dir/feeder2.pid"
    feed_tone "$hz" nullsink2 "$dir/feeder2.pid"
    timeout 5 parec -d vmic2 --raw --format=s16le --rate=22050 --channels=1 2>/dev/null | head -c 4096 >/dev/null || true
    ;;
stop)
    stop_feeder
    stop_feeder "$dir/feeder2.pid"
    [ -f "$dir/server.pids" ] || { [ -f "$dir/server.pid" ] && cp "$dir/server.pid" "$dir/server.pids"; }
    stop_pids "$dir/server.pids"
    stop_pids "$dir/bus.pid"
    rm -f "$dir/server.pid"
    ;;
*)
    echo "sound-server.sh: unknown command $cmd" >&2
    exit 2
    ;;
esac
