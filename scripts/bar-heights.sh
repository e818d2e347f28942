#!/usr/bin/env bash
# Prints the heights of the 88 bars that the program's picture shows, one line: the lit
# pixels in each bar's middle column.
#   scripts/bar-heights.sh WID          the picture in the program's window WID now
#   scripts/bar-heights.sh PNG X Y      the picture at X,Y in the screenshot PNG
set -euo pipefail
[ $# = 1 ] || [ $# = 3 ] || { echo "usage: bar-heights.sh WID | PNG X Y" >&2; exit 2; }
if [ $# = 3 ]; then
    shot=$1 left=$2 top=$3
else
    shot=$(mktemp /tmp/sonavex-bars.XXXXXX.png)
    trap 'rm -f "$shot"' EXIT
    import -window "$1" "$shot" 2>/dev/null
    # In the window the picture (352 x 172) sits at the bottom inside a 2-pixel edge.
    left=2 top=$(($(xwininfo -id "$1" | awk '/Height:/ { print $2 }') - 174))
fi
# Bar i spans columns 4i..4i+2 of the picture's top 80 rows.
convert "$shot" -crop "352x80+$left+$top" +repage txt:- |
    awk -F'[,: ()]+' 'NR > 1 && $1 % 4 == 1 && $3 + $4 + $5 > 0 { lit[($1 - 1) / 4]++ }
        END { for (b = 0; b < 88; b++) printf "%d%s", lit[b], b < 87 ? " " : "\n" }'
