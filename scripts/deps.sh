# Debian packages the project needs; sourced by run.sh and test.sh.
#   ensure_packages run      what building and running the Linux program needs
#   ensure_packages package  what building the program and its Debian package needs
#   ensure_packages test     what the whole test suite needs (both programs, Wine, sanitizers,
#                            the package's checks)

run_packages="build-essential cmake pkg-config qt6-base-dev libpulse-dev fonts-liberation
fonts-vlgothic pulseaudio-utils qt6-wayland"
package_packages="$run_packages dpkg-dev file"
demo_packages="pulseaudio xvfb xauth x11-utils sox imagemagick"
test_packages="$package_packages $demo_packages libgtest-dev libgmock-dev libbenchmark-dev
xdotool libfftw3-dev mingw-w64 wine64 wine wine32:i386 fonts-wine locales procps psmisc lintian
desktop-file-utils appstream pipewire wireplumber pipewire-pulse dbus weston xwayland openbox
g++-multilib qemu-user-static zip unzip binutils python3 strace"

ensure_packages() {
    local wanted missing=() pkg
    case "$1" in
    run) wanted="$run_packages" ;;
    package) wanted="$package_packages" ;;
    demo) wanted="$run_packages $demo_packages" ;;
    test) wanted="$test_packages" ;;
    esac
    for pkg in $wanted; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' ||
            missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        if command -v sudo >/dev/null 2>&1; then
            sudo=(sudo)
        else
            echo "Missing Debian packages: ${missing[*]}" >&2
            [[ " ${missing[*]}" == *:i386* ]] &&
                echo "As root, first: dpkg --add-architecture i386 && apt-get update" >&2
            echo "Install them as root: apt-get install --no-install-recommends ${missing[*]}" >&2
            return 1
        fi
    fi
    echo "Installing: ${missing[*]}"
    # The x86 Windows program runs under 32-bit Wine, a package of the i386 architecture.
    if [[ " ${missing[*]}" == *:i386* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
        "${sudo[@]}" dpkg --add-architecture i386 || return 1
    fi
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q >/dev/null &&
        "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q \
            --no-install-recommends "${missing[@]}" >/dev/null
}
