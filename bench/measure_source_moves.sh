#!/usr/bin/env bash
# Measures how soon a source chosen in the "Record from" menu shows in the picture: on a
# private server with the microphone at 440 Hz and a second one at 880 Hz, the menu moves
# the recording between them MOVES times, each once the previous has shown. The program
# (SONAVEX_MOVE_TIMING=1) times each choice to the first frame whose tallest bar changed and
# prints the median and the worst at exit. On PulseAudio and on PipeWire, one after the other.
#
#   bench/measure_source_moves.sh PROGRAM CLOSE_WINDOW [MOVES, default 20] [KINDS]
#     KINDS: default "pulseaudio pipewire"
set -uo pipefail
program=${1:?program} close_window=${2:?close_window helper}
moves=${3:-20} kinds=${4:-pulseaudio pipewire}
source "$(dirname "${BASH_SOURCE[0]}")/../tests/e2e/common.sh"
# Pinned to the virtual display, also when started from a Wayland desktop.
export QT_QPA_PLATFORM=xcb
unset WAYLAND_DISPLAY
private_display

for kind in $kinds; do
    (
        work=$(mktemp -d "$work/$kind.XXXXXX") cleanups=()
        trap run_cleanups EXIT
        private_sound_server "$kind"
        play 440
        "$root/scripts/sound-server.sh" second "$SONAVEX_SOUND_DIR" 880
        export SONAVEX_MOVE_TIMING=1
        start_program
        wait_for_bar 48 3000
        for i in $(seq "$moves"); do
            if [ $((i % 2)) = 1 ]; then choose_source vmic2; wait_for_bar 60 3000
            else choose_source vmic; wait_for_bar 48 3000; fi
        done
        close_program
        echo "$(pactl info | awk -F': ' '/^Server (Name|Version)/ { printf "%s ", $2 }'):" \
            "$(grep choice-to-new-source-frame "$work/program.log")"
    ) || failed=$((failed + 1))
done
[ "${failed:-0}" = 0 ]
