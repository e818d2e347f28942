#!/usr/bin/env bash
# The Debian package of the Linux program, built, checked and tried on this machine: it
# builds without the test and benchmark libraries; lintian finds no error; the desktop entry
# and the AppStream data validate; it installs with apt, the installed program shows a
# 440 Hz tone as bar 48, and purging it leaves no file behind. Ends with "N passed, N failed".
#
#   package_test.sh BUILD_DIR CLOSE_WINDOW
#
# Runs as root (it installs and purges the package). The end-to-end check needs DISPLAY,
# PULSE_SERVER and SONAVEX_SOUND_DIR, as tests/e2e/program_test.sh does.
set -uo pipefail

build_dir=${1:?build directory}
close_window=${2:?close_window helper}
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
work=$(mktemp -d /tmp/sonavex-package.XXXXXX)
passed=0 failed=0
installed_here=0

cleanup() {
    if [ "$installed_here" = 1 ] && dpkg-query -W -f='${Status}' sonavex 2>/dev/null | grep -q installed; then
        apt_get purge sonavex >/dev/null 2>&1
    fi
    rm -rf "$work"
}
trap cleanup EXIT

pass() { echo "PASS: $*"; passed=$((passed + 1)); }
fail() { echo "FAIL: $*"; failed=$((failed + 1)); }
finish() {
    echo "$passed passed, $failed failed"
    [ "$failed" -eq 0 ]
    exit
}
apt_get() {
    DEBIAN_FRONTEND=noninteractive apt-get -y -q -o DPkg::Lock::Timeout=300 "$@"
}

# ---- builds, without the test and benchmark libraries ----
if ! deb=$("$root/scripts/package.sh" "$build_dir" -DSONAVEX_WERROR=ON 2>"$work/build.log" | tail -1) ||
    [ ! -f "$deb" ]; then
    cat "$work/build.log"
    fail "the package does not build"
    finish
fi
arch=$(dpkg --print-architecture)
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build_dir/CMakeCache.txt")
if [ "$(basename "$deb")" = "sonavex_${version}-1_${arch}.deb" ] && [ -n "$version" ]; then
    pass "package $(basename "$deb") built, $(stat -c %s "$deb") bytes"
else
    fail "package named $(basename "$deb"), expected sonavex_${version}-1_${arch}.deb"
fi
if grep -qiE '^(GTest|benchmark)_DIR:|FFTW3' "$build_dir/CMakeCache.txt"; then
    fail "building the package looked for GoogleTest, Google Benchmark or FFTW"
else
    pass "built without GoogleTest, Google Benchmark or FFTW"
fi

dpkg-deb -c "$deb" | awk '{ print substr($6, 2) }' | sed 's|/$||' | grep . >"$work/contents"
files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print substr($6, 2) }')
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
if [ "$(sort <<<"$files")" = "$(sort <<<"$expected_files")" ]; then
    pass "the package holds the program and its desktop files only"
else
    fail "package contents differ:"
    diff <(sort <<<"$expected_files") <(sort <<<"$files")
fi
depends=$(dpkg-deb -f "$deb" Depends)
case "$depends" in
*libqt6widgets6*libstdc++6*) pass "dependencies found by shlibdeps: $depends" ;;
*) fail "dependencies: $depends" ;;
esac

# ---- the checkers ----
if lintian --fail-on error "$deb" >"$work/lintian.log" 2>&1 && ! grep -q '^E:' "$work/lintian.log"; then
    pass "lintian reports no error"
else
    cat "$work/lintian.log"
    fail "lintian reports errors"
fi
mkdir "$work/tree"
dpkg-deb -x "$deb" "$work/tree"
if desktop-file-validate "$work/tree/usr/share/applications/org.example.sonavex.desktop"; then
    pass "desktop-file-validate"
else
    fail "desktop-file-validate"
fi
if appstreamcli validate --no-net "$work/tree/usr/share/metainfo/org.example.sonavex.metainfo.xml"; then
    pass "appstreamcli validate"
else
    fail "appstreamcli validate"
fi
icons_ok=1
for size in 16 32 48 64 128 256; do
    file -b "$work/tree/usr/share/icons/hicolor/${size}x${size}/apps/org.example.sonavex.png" |
        grep -q "^PNG image data, $size x $size," || { icons_ok=0; echo "icon ${size}x${size} is wrong"; }
done
[ "$icons_ok" = 1 ] && pass "icons of 16 to 256 pixels" || fail "icons"

# ---- install, run, purge ----
if dpkg-query -W -f='${Status}' sonavex 2>/dev/null | grep -q 'install ok installed'; then
    fail "sonavex is installed already; not touching it"
    finish
fi
# The directories the package puts files in, listed before it comes and after it goes.
dirs=$(sed 's|/[^/]*$||' <<<"$files" | sort -u)
list_dirs() { for d in $dirs; do [ -d "$d" ] && find "$d" -maxdepth 1; done | sort; }
list_dirs >"$work/before"
while read -r path; do [ -e "$path" ] && echo "$path"; done <"$work/contents" >"$work/existed"

installed_here=1
if apt_get install "$deb" >"$work/install.log" 2>&1 &&
    dpkg-query -W -f='${Status}' sonavex | grep -q 'install ok installed'; then
    pass "apt-get installs the package"
else
    cat "$work/install.log"
    fail "apt-get cannot install the package"
    finish
fi
dpkg -L sonavex | sort >"$work/owned"

"$root/tests/e2e/program_test.sh" tone /usr/bin/sonavex "$close_window"
case $? in
0) pass "the installed /usr/bin/sonavex shows 440 Hz as bar 48" ;;
77) echo "SKIP: the installed program's end-to-end check (no display or sound server)" ;;
*) fail "the installed /usr/bin/sonavex fails the end-to-end check" ;;
esac

if apt_get purge sonavex >"$work/purge.log" 2>&1 &&
    ! dpkg-query -W -f='${Status}' sonavex 2>/dev/null | grep -q 'installed'; then
    installed_here=0
    pass "apt-get purges the package"
else
    cat "$work/purge.log"
    fail "apt-get cannot purge the package"
fi
left=$(while read -r path; do
    [ -e "$path" ] && ! grep -qxF "$path" "$work/existed" && echo "$path"
done <"$work/owned")
list_dirs >"$work/after"
if [ -z "$left" ] && cmp -s "$work/before" "$work/after"; then
    pass "nothing is left after the purge ($(wc -l <"$work/owned") paths were installed)"
else
    fail "left after the purge: $left $(diff "$work/before" "$work/after")"
fi
finish
