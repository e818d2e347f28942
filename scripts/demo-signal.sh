#!/usr/bin/env bash
# Writes the headless demo's signal as a WAV file (mono, 16-bit, 22050 Hz): a sweep across
# the piano keyboard from A0 to C8, then four chords.
#
#   scripts/demo-signal.sh OUT.wav
set -euo pipefail

out=${1:?usage: demo-signal.sh OUT.wav}
parts=$(mktemp -d /tmp/sonavex-demo-signal.XXXXXX)
trap 'rm -rf "$parts"' EXIT

format=(-r 22050 -b 16)
sox -n "${format[@]}" -c 1 "$parts/0.wav" synth 2.5 sine 27.5/4186 vol 0.5
# Chords as semitones from A4: C major, A minor, F major, G major.
chords=("%-9 %-5 %-2" "%-12 %-9 %-5" "%-16 %-12 %-9" "%-14 %-10 %-7")
i=1
for chord in "${chords[@]}"; do
    read -r -a notes <<<"$chord"
    sox -c 3 -r 22050 -n -b 16 "$parts/$i.wav" \
        synth 1 sine "${notes[0]}" sine "${notes[1]}" sine "${notes[2]}" remix - vol 0.3 fade 0.02 1 0.1
    i=$((i + 1))
done
sox "$parts"/[0-4].wav "$out"
