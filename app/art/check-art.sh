#!/usr/bin/env bash
# Checks the pixel maps: each one parses, has the size the shells expect, uses at most
# 16 colours and only colours of the classic 16-colour palette (the Windows build turns
# them into 4-bit resources), one character per pixel, and the toolbar strip lies on the
# button-face grey. Reports as the end-to-end tests do.
# Usage: app/art/check-art.sh   (needs ImageMagick)
set -u
source "$(dirname "${BASH_SOURCE[0]}")/../../tests/e2e/common.sh"
here=$root/app/art
palette="000000 800000 008000 808000 000080 800080 008080 C0C0C0
808080 FF0000 00FF00 FFFF00 0000FF FF00FF 00FFFF FFFFFF"

# colours FILE: the distinct colours of FILE as upper-case RRGGBB, one a line
colours() {
    convert "$1" -unique-colors -depth 8 txt:- |
        sed -n 's/.*#\([0-9A-Fa-f]\{6\}\).*/\1/p' | tr a-f A-F
}

# Prints what is wrong with FILE, expected WIDTH x HEIGHT, one fault a line.
art_faults() {
    local file=$here/$1 size count c
    size=$(identify -format '%w %h' "$file" 2>/dev/null) || { echo "does not parse"; return; }
    [ "$size" = "$2 $3" ] || echo "is $size, expected $2 $3"
    count=$(colours "$file" | wc -l)
    [ "$count" -le 16 ] || echo "has $count colours"
    for c in $(colours "$file"); do
        echo "$palette" | grep -qw "$c" || echo "uses #$c, not a palette colour"
    done
    sed -n '/^"[0-9]/{p;q}' "$file" | grep -q '^"[0-9]* [0-9]* [0-9]* 1"' ||
        echo "one character per pixel expected"
}
# The toolbar maps 192,192,192 to the button face: every image needs that ground at
# its top-left or top-right corner, and a dark outline inside (luminance below a third).
toolbar_images() {
    local i corners dark
    for i in $(seq 0 11); do
        corners=$(convert "$here/toolbar.xpm" -crop 16x15+$((i * 16))+0 +repage \
            -format '%[hex:p{0,0}] %[hex:p{15,0}]' info: | tr a-f A-F)
        [[ $corners == *C0C0C0* ]] || echo "image $i has no grey ground ($corners)"
        dark=$(convert "$here/toolbar.xpm" -crop 16x15+$((i * 16))+0 +repage -colorspace gray \
            -format '%[fx:minima < 0.34 ? 1 : 0]' info:)
        [ "$dark" = 1 ] || echo "image $i has no dark outline"
    done
}
# The icons show their picture on black inside a grey frame: the corner is not black.
frame() {
    [ "$(convert "$here/$1" -format '%[hex:p{0,0}]' info:)" != 000000 ] || echo "has no frame"
}

report() { # NAME FAULTS
    if [ -z "$2" ]; then ok "$1"; else not_ok "$1" "$(paste -sd';' <<<"$2")"; fi
}
report icon.xpm "$(art_faults icon.xpm 32 32; frame icon.xpm)"
report icon16.xpm "$(art_faults icon16.xpm 16 16; frame icon16.xpm)"
report toolbar.xpm "$(art_faults toolbar.xpm 192 15; toolbar_images)"
finish
