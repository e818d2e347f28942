#!/bin/sh
# Checks the pixel maps: each one parses, has the size the shells expect, uses at most
# 16 colours and only colours of the classic 16-colour palette (the Windows build turns
# them into 4-bit resources), the toolbar strip lies on the button-face grey, and each
# file is valid C/C++ so that a shell may also compile it in.
# Usage: app/art/check-art.sh   (needs ImageMagick; uses g++ if present)
set -eu
here=$(cd "$(dirname "$0")" && pwd)
palette="000000 800000 008000 808000 000080 800080 008080 C0C0C0
808080 FF0000 00FF00 FFFF00 0000FF FF00FF 00FFFF FFFFFF"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# colours FILE: the distinct colours of FILE as upper-case RRGGBB, one a line
colours() {
    convert "$1" -unique-colors -depth 8 txt:- |
        sed -n 's/.*#\([0-9A-Fa-f]\{6\}\).*/\1/p' | tr a-f A-F
}

check() { # FILE WIDTH HEIGHT
    file=$here/$1
    size=$(identify -format '%w %h' "$file" 2>/dev/null) || { fail "$1 does not parse"; return; }
    [ "$size" = "$2 $3" ] || fail "$1 is $size, expected $2 $3"
    count=$(colours "$file" | wc -l)
    [ "$count" -le 16 ] || fail "$1 has $count colours"
    for c in $(colours "$file"); do
        echo "$palette" | grep -qw "$c" || fail "$1 uses #$c, not a palette colour"
    done
    declared=$(sed -n '/^"[0-9]/{s/^"\([0-9]*\) \([0-9]*\) \([0-9]*\) \([0-9]*\)".*/\1 \2 \3 \4/p;q}' "$file")
    set -- $declared
    [ "${4:-}" = 1 ] || fail "$1: one character per pixel expected"
    if command -v g++ >/dev/null 2>&1; then
        printf '#include "%s"\nconst char *const *use = %s;\n' "$file" \
            "$(sed -n 's/^static const char \*const \([a-z0-9_]*\)\[\].*/\1/p' "$file")" |
            g++ -std=c++17 -Wall -Wextra -Wpedantic -Werror -fsyntax-only -x c++ - ||
            fail "$(basename "$file") is not valid C++"
    fi
}

check icon.xpm 32 32
check icon16.xpm 16 16
check toolbar.xpm 192 15

# The toolbar maps 192,192,192 to the button face: every image needs that ground at
# its top-left or top-right corner, and a dark outline inside (luminance below a third).
identify "$here/toolbar.xpm" >/dev/null 2>&1 || exit "$failures"
for i in 0 1 2 3 4 5 6 7 8 9 10 11; do
    x=$((i * 16))
    corners=$(convert "$here/toolbar.xpm" -crop 16x15+$x+0 +repage \
        -format '%[hex:p{0,0}] %[hex:p{15,0}]' info: | tr a-f A-F)
    case "$corners" in *C0C0C0*) ;; *) fail "toolbar image $i has no grey ground ($corners)" ;; esac
    dark=$(convert "$here/toolbar.xpm" -crop 16x15+$x+0 +repage -colorspace gray \
        -format '%[fx:minima < 0.34 ? 1 : 0]' info:)
    [ "$dark" = 1 ] || fail "toolbar image $i has no dark outline"
done

# The icons show their picture on black inside a grey frame: the corner is not black.
for f in icon.xpm icon16.xpm; do
    edge=$(convert "$here/$f" -format '%[hex:p{0,0}]' info: | tr a-f A-F)
    [ "$edge" != 000000 ] || fail "$f has no frame"
done

[ "$failures" -eq 0 ] && echo "art: all checks passed"
exit "$failures"
