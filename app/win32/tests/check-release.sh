#!/usr/bin/env bash
# Builds the Windows release archive of BUILD_DIR with CPack and checks it statically: it
# holds exactly sonavex.exe, README.txt and LICENSE.txt, the texts with Windows line ends and
# the README the one for Windows users, of this version; the .exe is a GUI program of the
# build's processor (PE32 for win32, PE32+ for win64) that imports only system DLLs and
# carries the project's version; the x86 one uses no SSE instruction at all, so it runs on
# any x86 and computes with the x87 unit, as the 32-bit core tests do.
#
#   app/win32/tests/check-release.sh BUILD_DIR win32|win64
#
# Reports as the end-to-end tests do.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../../../tests/e2e/common.sh"

build=$(cd "${1:?usage: check-release.sh BUILD_DIR win32|win64}" && pwd)
arch=${2:?usage: check-release.sh BUILD_DIR win32|win64}
case "$arch" in
win32) prefix=i686-w64-mingw32 kind="PE32 executable (GUI) Intel 80386" ;;
win64) prefix=x86_64-w64-mingw32 kind="PE32+ executable (GUI) x86-64" ;;
*) echo "unknown architecture $arch" >&2 && exit 2 ;;
esac
version=$(sed -nE 's/^#define SONAVEX_VERSION_STRING "(.*)"$/\1/p' \
    "$build/generated/sonavex_version.h")
archive="$build/sonavex-$version-$arch.zip"
# The DLLs every Windows has; the program may import nothing else.
system_dlls="kernel32.dll user32.dll gdi32.dll comctl32.dll winmm.dll shell32.dll msvcrt.dll
advapi32.dll comdlg32.dll ole32.dll"

only_system_dlls() {
    local dlls dll bad=0
    dlls=$("$prefix-objdump" -p "$work/sonavex.exe" | sed -nE 's/^\s*DLL Name: (.*)$/\1/p')
    echo "  imports" $dlls
    for dll in $dlls; do
        grep -qw "${dll,,}" <<<"$system_dlls" || bad=1
    done
    [ "$bad" -eq 0 ] && [ -n "$dlls" ]
}

exactly_three_files() {
    local names
    names=$(unzip -Z1 "$archive" | sort | tr '\n' ' ')
    echo "  $(basename "$archive"): $names($(stat -c %s "$archive") bytes)"
    [ "$names" = "LICENSE.txt README.txt sonavex.exe " ]
}

# Every line ends in CR LF; the README is the users' (no build steps) and names the version.
windows_texts() {
    local readme
    readme=$(unzip -p "$archive" README.txt)
    [ "$(unzip -p "$archive" README.txt LICENSE.txt | grep -cv $'\r$')" -eq 0 ] &&
        grep -q "^Sonavex $version for Windows" <<<"$readme" && ! grep -q apt-get <<<"$readme"
}

pe_gui() {
    local what
    what=$(file -b "$work/sonavex.exe")
    echo "  $what"
    [[ "$what" == "$kind"* ]]
}

# The fixed part holds the numbers; the strings follow their names in UTF-16.
version_resource() {
    local texts
    texts=$(strings -el "$work/sonavex.exe")
    grep -A1 -x ProductVersion <<<"$texts" | grep -qx "$version" &&
        grep -A1 -x ProductName <<<"$texts" | grep -qx Sonavex
}

no_sse() {
    local code
    code=$("$prefix-objdump" -d "$work/sonavex.exe")
    ! grep -q '%xmm' <<<"$code" && grep -q 'fmul' <<<"$code"
}

check "cpack builds $(basename "$archive")" \
    bash -c "cd '$build' && rm -f '$archive' && cpack >'$work/cpack.log' 2>&1 && [ -f '$archive' ]"
if [ -f "$archive" ]; then
    check "the archive holds exactly sonavex.exe, README.txt and LICENSE.txt" exactly_three_files
    check "README.txt (for Windows users, $version) and LICENSE.txt have Windows line ends" \
        windows_texts
    unzip -q -o "$archive" sonavex.exe -d "$work"
    check "sonavex.exe is a $kind program" pe_gui
    check "sonavex.exe imports only system DLLs" only_system_dlls
    check "sonavex.exe carries the version resource of Sonavex $version" version_resource
    [ "$arch" = win32 ] && check "the x86 sonavex.exe uses no SSE instruction (x87 arithmetic)" no_sse
fi
finish
