#!/usr/bin/env bash
# The Debian package of the Linux program, built, checked and tried on this machine: it
# builds without the test and benchmark libraries; lintian finds no error; the desktop entry
# and the AppStream data validate; it installs with apt, the installed program opens its
# window and records from the sound server, and purging it leaves no file behind.
#
#   package_test.sh BUILD_DIR CLOSE_WINDOW
#
# Runs as root (it installs and purges the package). The run of the installed program needs
# DISPLAY, PULSE_SERVER and SONAVEX_SOUND_DIR, as the end-to-end tests do.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../e2e/common.sh"
build_dir=${1:?build directory}
close_window=${2:?close_window helper}
installed_here=0
purge_if_ours() {
    if [ "$installed_here" = 1 ] && dpkg-query -W -f='${Status}' sonavex 2>/dev/null | grep -q installed; then
        apt_get purge sonavex >/dev/null 2>&1
    fi
}
at_exit purge_if_ours
# CHECK NAME COMMAND...: reports COMMAND's success as check NAME.
check() {
    local name=$1
    shift
    if "$@"; then ok "$name"; else not_ok "$name" "failed"; fi
}
apt_get() {
    DEBIAN_FRONTEND=noninteractive apt-get -y -q -o DPkg::Lock::Timeout=300 "$@"
}

# ---- builds, without the test and benchmark libraries ----
deb=$("$root/scripts/package.sh" "$build_dir" -DSONAVEX_WERROR=ON 2>"$work/build.log" | tail -1)
[ -f "$deb" ] || { cat "$work/build.log"; fail "the package does not build"; }
name=sonavex_$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build_dir/CMakeCache.txt")-1_$(dpkg --print-architecture).deb
check "package named $name" [ "$(basename "$deb")" = "$name" ]
check "built without GoogleTest, Google Benchmark or FFTW" \
    eval '! grep -qiE "^(GTest|benchmark)_DIR:|FFTW3" "$build_dir/CMakeCache.txt"'

dpkg-deb -c "$deb" | awk '{ print substr($6, 2) }' | sed 's|/$||' | grep . >"$work/contents"
files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print substr($6, 2) }' | sort)
expected_files="/usr/bin/sonavex
/usr/share/applications/org.example.sonavex.desktop
/usr/share/doc/sonavex/changelog.Debian.gz
/usr/share/doc/sonavex/copyright
/usr/share/icons/hicolor/128x128/apps/org.example.sonavex.png
/usr/share/icons/hicolor/16x16/apps/org.example.sonavex.png
/usr/share/icons/hicolor/256x256/apps/org.example.sonavex.png
/usr/share/icons/hicolor/32x32/apps/org.example.sonavex.png
/usr/share/icons/hicolor/48x48/apps/org.example.sonavex.png
/usr/share/icons/hicolor/64x64/apps/org.example.sonavex.png
/usr/share/man/man1/sonavex.1.gz
/usr/share/metainfo/org.example.sonavex.metainfo.xml"
check "the package holds the program and its desktop files only" \
    diff <(sort <<<"$expected_files") - <<<"$files"
depends=$(dpkg-deb -f "$deb" Depends)
check "dependencies found by shlibdeps: $depends" eval '[[ $depends == *libqt6widgets6*libstdc++6* ]]'

# ---- the checkers ----
check "lintian reports no error" \
    eval 'lintian --fail-on error "$deb" >"$work/lintian.log" 2>&1 && ! grep "^E:" "$work/lintian.log"'
dpkg-deb -x "$deb" "$work/tree"
check desktop-file-validate desktop-file-validate "$work/tree/usr/share/applications/org.example.sonavex.desktop"
check "appstreamcli validate" appstreamcli validate --no-net "$work/tree/usr/share/metainfo/org.example.sonavex.metainfo.xml"
icons() {
    local size
    for size in 16 32 48 64 128 256; do
        file -b "$work/tree/usr/share/icons/hicolor/${size}x${size}/apps/org.example.sonavex.png" |
            grep -q "^PNG image data, $size x $size," || { echo "icon ${size}x${size} is wrong"; return 1; }
    done
}
check "icons of 16 to 256 pixels" icons

# ---- install, run, purge ----
dpkg-query -W -f='${Status}' sonavex 2>/dev/null | grep -q 'install ok installed' &&
    fail "sonavex is installed already; not touching it"
# The directories the package puts files in, listed before it comes and after it goes.
dirs=$(sed 's|/[^/]*$||' <<<"$files" | sort -u)
list_dirs() { for d in $dirs; do [ -d "$d" ] && find "$d" -maxdepth 1; done | sort; }
list_dirs >"$work/before"
while read -r path; do [ -e "$path" ] && echo "$path"; done <"$work/contents" >"$work/existed"

installed_here=1
apt_get install "$deb" >"$work/install.log" 2>&1
dpkg-query -W -f='${Status}' sonavex | grep -q 'install ok installed' ||
    { cat "$work/install.log"; fail "apt-get cannot install the package"; }
ok "apt-get installs the package"
dpkg -L sonavex | sort >"$work/owned"

# The installed program runs: its window opens and it records from the sound server.
case_installed-program-runs() {
    need_display
    need_sound_server
    program=/usr/bin/sonavex
    start_program
    wait_until 5000 recording || fail "the installed program does not record"
    close_program
}
run_case installed-program-runs

apt_get purge sonavex >"$work/purge.log" 2>&1
if ! dpkg-query -W -f='${Status}' sonavex 2>/dev/null | grep -q 'installed'; then
    installed_here=0
    ok "apt-get purges the package"
else
    cat "$work/purge.log"
    not_ok "apt-get purges the package" "still installed"
fi
left=$(while read -r path; do
    [ -e "$path" ] && ! grep -qxF "$path" "$work/existed" && echo "$path"
done <"$work/owned")
list_dirs >"$work/after"
check "nothing is left after the purge ($(wc -l <"$work/owned") paths were installed)" \
    eval '[ -z "$left" ] && diff "$work/before" "$work/after"'
finish
