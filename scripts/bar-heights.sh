#!/usr/bin/env bash
# Prints the heights of the 88 bars that the program's window WID shows now, one line,
# read from the window's own pixels: the lit pixels in each bar's middle column.
#   scripts/bar-heights.sh WID
set -euo pipefail
wid=${1:?usage: bar-heights.sh WID}
shot=$(mktemp /tmp/sonavex-bars.XXXXXX.png)
trap 'rm -f "$shot"' EXIT
import -window "$wid" "$shot" 2>/dev/null
# The picture (352 x 172) sits at the bottom inside a 2-pixel edge; bar i spans columns
# 4i..4i+2 of its top 80 rows.
top=$(($(xwininfo -id "$wid" | awk '/Height:/ { print $2 }') - 174))
convert "$shot" -crop "352x80+2+$top" +repage txt:- |
    awk -F'[,: ()]+' 'NR > 1 && $1 % 4 == 1 && $3 + $4 + $5 > 0 { lit[($1 - 1) / 4]++ }
        END { for (b = 0; b < 88; b++) printf "%d%s", lit[b], b < 87 ? " " : "\n" }'
