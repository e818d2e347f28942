#!/usr/bin/env bash
# "Save picture…" and "Copy picture" on the running program, by their keys: the real save
# dialog (driven with the keyboard) and the X clipboard (read back as a paste target would),
# each against a screenshot of the window's picture taken while paused, at 1x and at 2x;
# Cancel, and a folder the program may not write to.
#
#   picture_test.sh PROGRAM CLOSE_WINDOW [CASE...]
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
e2e_script "$@"
clipboard_image=$(dirname "$close_window")/clipboard_image
size=156 # the size button's x

# A home of the case's own whose XDG pictures folder is "Bilder": the dialog proposes there.
own_home() {
    export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config
    mkdir -p "$HOME/Bilder" "$XDG_CONFIG_HOME" || return 1
    echo 'XDG_PICTURES_DIR="$HOME/Bilder"' >"$XDG_CONFIG_HOME/user-dirs.dirs"
}

# The program (started with any further arguments) showing 440 Hz, at scale $1, paused: its
# picture stays as it is.
frozen_program() {
    local width="Width: $((352 * $1 + 4))"
    own_home || fail "no home folder"
    play 440
    start_program "${@:2}"
    wait_for_bar 48 2000
    [ "$1" = 1 ] || click $size
    wait_until 2000 eval 'xwininfo -id "$wid" | grep -q "$width"' || fail "the window is not at ${1}x"
    click $pause
    wait_until 2000 eval '! recording' || fail "still recording while paused"
}

# The picture in the window now, cut from a screenshot into $1 (at scale $2): the toolbar
# above and the 2-pixel edge left out.
shot_picture() {
    import -window "$wid" png:- |
        convert - -gravity SouthWest -crop "$((352 * $2))x$((172 * $2))+2+2" +repage "$1"
}
same_pixels() { compare -metric AE "$1" "$2" null: 2>/dev/null; }

# The picture's menu entry $1 places from its end, chosen with the keyboard.
from_menu() {
    xdotool windowfocus --sync "$wid" mousemove --window "$wid" 100 60 click 3
    wait_until 2000 eval '[ "$(xdotool search --onlyvisible --pid "$pid" | wc -l)" -gt 1 ]' ||
        fail "no menu opened"
    xdotool key --repeat "$1" Up key Return
}
# Ctrl+S in the window, or with "menu" its menu entry; sets dialog to the save dialog.
open_dialog() {
    if [ "${1:-}" = menu ]; then from_menu 2; else xdotool windowfocus --sync "$wid" key ctrl+s; fi
    wait_until 5000 eval 'dialog=$(xdotool search --onlyvisible --name "^Save picture$" | head -1); [ -n "$dialog" ]' ||
        fail "no save dialog opened"
    xdotool windowfocus --sync "$dialog"
}
# Types path $1 over the proposed name and confirms.
save_as() { xdotool key ctrl+a type "$1" && xdotool key Return; }
dialog_gone() { ! xdotool search --onlyvisible --name "^Save picture$" >/dev/null; }

# Saved with the proposed name (Ctrl+S), under a typed name (the menu's "Save picture…") and
# copied (Ctrl+C, or with $2 "menu" the menu's last entry): each equals the screenshot.
saves_and_copies_at() {
    frozen_program "$1"
    shot_picture "$work/shown.png" "$1" || fail "no screenshot"
    open_dialog
    xdotool key Return # the proposed name, in the pictures folder
    wait_until 5000 eval 'ls "$HOME/Bilder"/*.png >/dev/null 2>&1 && dialog_gone' ||
        fail "nothing saved"
    local saved=("$HOME/Bilder"/*)
    [ "${#saved[@]}" = 1 ] && [[ "${saved[0]##*/}" =~ ^Sonavex\ [0-9]{4}-[0-9]{2}-[0-9]{2}\ [0-9]{2}-[0-9]{2}-[0-9]{2}\.png$ ]] ||
        fail "saved as: ${saved[*]##*/}"
    open_dialog menu
    save_as "$work/typed.png"
    wait_until 5000 test -s "$work/typed.png" || fail "nothing saved under the typed name"
    if [ "$2" = menu ]; then from_menu 1; else xdotool windowfocus --sync "$wid" key ctrl+c; fi
    wait_until 2000 "$clipboard_image" "$work/copied.png" || fail "no PNG image on the clipboard"
    for file in "${saved[0]}" "$work/typed.png" "$work/copied.png"; do
        same_pixels "$file" "$work/shown.png" || fail "${file##*/} differs from the window's picture"
    done
    close_program
}
case_picture-1x() { saves_and_copies_at 1 keys; }
case_picture-2x() { saves_and_copies_at 2 menu; }

# Cancel writes nothing. A folder the program may not write to: a message box, and neither
# the file nor a part of it; the program runs on. Root writes anywhere, so as root the
# program runs without the capabilities that override file permissions.
case_picture-cancel-read-only() {
    local locked=$work/locked
    mkdir "$locked" && chmod 555 "$locked" || fail "no read-only folder"
    local caps=-dac_override,-dac_read_search real=$program
    [ "$(id -u)" = 0 ] && program=setpriv && set -- --inh-caps=$caps --bounding-set=$caps "$real"
    frozen_program 1 "$@"
    open_dialog
    xdotool key Escape
    wait_until 5000 dialog_gone || fail "Cancel left the dialog open"
    open_dialog # the command that was cancelled has ended
    [ -z "$(ls -A "$HOME/Bilder")" ] || fail "Cancel wrote $(ls "$HOME/Bilder")"
    local file_dialog=$dialog box=""
    save_as "$locked/picture.png"
    wait_until 5000 eval 'box=$(xdotool search --onlyvisible --name "^Save picture$" | grep -vx "$file_dialog"); [ -n "$box" ]' ||
        fail "no message box"
    [ -z "$(ls -A "$locked")" ] || fail "left behind: $(ls -A "$locked")"
    xdotool windowfocus --sync "$box" key Return
    wait_until 5000 dialog_gone || fail "the message box stayed open"
    close_program # the program runs on
}

run_cases "${@:3}"
