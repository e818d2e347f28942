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
purge_if_ours() { [ "$installed_here" = 1 ] && apt_get purge sonavex >/dev/null 2>&1; }
at_exit purge_if_ours
apt_get() { DEBIAN_FRONTEND=noninteractive apt-get -y -q -o DPkg::Lock::Timeout=300 "$@"; }

# ---- builds, without the test and benchmark libraries ----
deb=$("$root/scripts/package.sh" "$build_dir" -DSONAVEX_WERROR=ON 2>"$work/build.log" | tail -1)
[ -f "$deb" ] || { cat "$work/build.log"; fail "the package does not build"; }
check "built without GoogleTest, Google Benchmark or FFTW" \
    eval '! grep -iE "^(GTest|benchmark)_DIR:|FFTW3" "$build_dir/CMakeCache.txt"'

dpkg-deb -c "$deb" | awk '{ print substr($6, 2) }' | sed 's|/$||' | grep . >"$work/contents"
files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print substr($6, 2) }' | sort)
check "the package holds the program and its desktop files only" diff - <(echo "$files") <<LIST
/usr/bin/sonavex
/usr/share/applications/org.example.sonavex.desktop
/usr/share/doc/sonavex/changelog.Debian.gz
/usr/share/doc/sonavex/copyright
$(printf '/usr/share/icons/hicolor/%s/apps/org.example.sonavex.png\n' \
    128x128 16x16 256x256 32x32 48x48 64x64)
/usr/share/man/man1/sonavex.1.gz
/usr/share/metainfo/org.example.sonavex.metainfo.xml
LIST
depends=$(dpkg-deb -f "$deb" Depends)
check "dependencies found by shlibdeps: $depends" \
    eval '[[ $depends == *libqt6widgets6*libstdc++6* ]]'

# ---- the checkers ----
check "lintian reports no error" eval 'lintian --fail-on error "$deb" >"$work/lintian.log" 2>&1 &&
    ! grep "^E:" "$work/lintian.log"'
dpkg-deb -x "$deb" "$work/tree"
share=$work/tree/usr/share
check desktop-file-validate desktop-file-validate "$share/applications/org.example.sonavex.desktop"
check "appstreamcli validate" \
    appstreamcli validate --no-net "$share/metainfo/org.example.sonavex.metainfo.xml"
for size in 16 32 48 64 128 256; do
    check "icon of $size pixels" eval 'file -b "$share/icons/hicolor/${size}x$size/apps/"*.png |
        grep -q "^PNG image data, $size x $size,"'
done

# ---- install, run, purge ----
dpkg-query -W -f='${Status}' sonavex 2>/dev/null | grep -q 'install ok installed' &&
    fail "sonavex is installed already; not touching it"
# What the package's paths and the directories of its files hold, before it comes and after
# it goes.
dirs=$(sed 's|/[^/]*$||' <<<"$files" | sort -u)
snapshot() {
    for d in $dirs; do [ -d "$d" ] && find "$d" -maxdepth 1; done
    while read -r path; do [ -e "$path" ] && echo "$path"; done <"$work/contents"
}
snapshot | sort -u >"$work/before"

installed_here=1
apt_get install "$deb" >"$work/install.log" 2>&1
dpkg-query -W -f='${Status}' sonavex | grep -q 'install ok installed' ||
    { cat "$work/install.log"; fail "apt-get cannot install the package"; }
ok "apt-get installs the package"

# The installed program runs: its window opens and it records from the sound server.
case_installed-program-runs() {
    need_services
    program=/usr/bin/sonavex
    start_program
    wait_until 5000 recording || fail "the installed program does not record"
    close_program
}
run_case installed-program-runs

check "apt-get purges the package" eval 'apt_get purge sonavex >"$work/purge.log" 2>&1 &&
    ! dpkg-query -W -f="\${Status}" sonavex 2>/dev/null | grep installed'
check "nothing is left after the purge ($(wc -l <"$work/contents") paths were installed)" \
    diff "$work/before" <(snapshot | sort -u)
finish
