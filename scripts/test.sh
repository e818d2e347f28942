#!/usr/bin/env bash
# Installs what the tests need, builds everything, starts a private sound server and a
# virtual display, runs every test, stops what it started. Exits non-zero on any failure.
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
source scripts/deps.sh
source scripts/counts.sh
ensure_packages test || exit 1

jobs=$(nproc 2>/dev/null || echo 2)
work=$(mktemp -d /tmp/sonavex-test.XXXXXX)
passed=0
failed=0
failures=()

cleanup() {
    scripts/sound-server.sh stop "$work/sound" >/dev/null 2>&1
    scripts/sound-server.sh stop "$work/sound-pipewire" >/dev/null 2>&1
    scripts/virtual-display.sh stop "$work/display" >/dev/null 2>&1
    rm -rf "$work" # the logs and the Wine prefix (some 700 MB)
}
trap cleanup EXIT

# Runs one named step; counts it as a failure when it fails.
step() {
    local name=$1
    shift
    echo "=== $name"
    if "$@"; then return 0; fi
    echo "=== FAILED: $name"
    failures+=("$name")
    return 1
}

# Adds LOG's closing counts to the totals; a runner that failed without saying how many
# failed counts as one failure.
add_counts() {
    local log=$1 rc=$2
    if read_counts "$log"; then
        passed=$((passed + counted_passed))
        failed=$((failed + counted_failed))
        [ "$rc" -ne 0 ] && [ "$counted_failed" -eq 0 ] && failed=$((failed + 1))
    elif [ "$rc" -ne 0 ]; then
        failed=$((failed + 1))
    fi
    return "$rc"
}

# Runs ctest in a build tree and adds its counts to the totals.
run_ctest() {
    local dir=$1
    shift
    local log="$work/ctest-$(basename "$dir").log"
    ctest --test-dir "$dir" --output-on-failure --timeout 300 "$@" 2>&1 | tee "$log"
    add_counts "$log" "${PIPESTATUS[0]}"
}

build() {
    local dir=$1
    shift
    cmake -S . -B "$dir" -DSONAVEX_WERROR=ON -DSONAVEX_TESTS=ON -DSONAVEX_BENCH=ON "$@" \
        >/dev/null && cmake --build "$dir" -j "$jobs"
}

step "build (Release)" build build || true
step "build (address and undefined-behaviour sanitizers, core)" \
    build build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSONAVEX_CORE_ONLY=ON \
    -DSONAVEX_BENCH=OFF -DSONAVEX_SANITIZE=address,undefined || true
step "build (thread sanitizer, core)" \
    build build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSONAVEX_CORE_ONLY=ON \
    -DSONAVEX_BENCH=OFF -DSONAVEX_SANITIZE=thread || true
for arch in i686 x86_64; do
    step "build (Windows, $arch)" build "build-win-$arch" \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$arch.cmake" || true
done

step "build (portable core, 32-bit x86)" build build-i386 \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/linux-i386.cmake" || true
# The toolchain file runs a tiny 32-bit program to learn whether the kernel executes x86 code.
i386_how=natively
if ! grep -qx 'SONAVEX_I386_NATIVE:BOOL=ON' build-i386/CMakeCache.txt 2>/dev/null; then
    i386_how="under qemu-i386-static"
    echo "This machine does not execute 32-bit x86 programs: the 32-bit core runs $i386_how."
fi

# The Xvfb runs use the virtual display, also when started from a Wayland desktop.
export QT_QPA_PLATFORM=xcb
unset WAYLAND_DISPLAY
step "start the sound server" scripts/sound-server.sh start "$work/sound" pulseaudio &&
    source "$work/sound/env"
step "start the virtual display" scripts/virtual-display.sh start "$work/display" &&
    source "$work/display/env"
export SONAVEX_REQUIRE_SERVICES=1

step "tests (Release)" run_ctest build || true
step "tests (address and undefined-behaviour sanitizers)" run_ctest build-asan || true
step "tests (thread sanitizer, capture)" run_ctest build-tsan -L capture || true
step "tests (portable core, 32-bit x86, $i386_how)" run_ctest build-i386 || true
# The end-to-end and live capture tests once more on PipeWire serving the PulseAudio
# protocol, as most desktops do; then back to PulseAudio for the rest.
if step "start the PipeWire sound server" \
    scripts/sound-server.sh start "$work/sound-pipewire" pipewire; then
    source "$work/sound-pipewire/env"
    step "tests on PipeWire (end to end)" run_ctest build -L e2e || true
    step "tests on PipeWire (live capture)" run_ctest build -R '^LiveCapture\.' || true
    scripts/sound-server.sh stop "$work/sound-pipewire"
    source "$work/sound/env"
else
    failed=$((failed + 1))
fi
# Runs a script that ends with its own "N passed, N failed" line and adds those counts.
run_counted() {
    local log="$work/$1.log"
    shift
    "$@" 2>&1 | tee "$log"
    add_counts "$log" "${PIPESTATUS[0]}"
}

if step "artwork check" app/art/check-art.sh; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
for arch in win32 win64; do
    case $arch in win32) dir=build-win-i686 ;; win64) dir=build-win-x86_64 ;; esac
    step "release archive ($arch)" run_counted "release-$arch" \
        app/win32/tests/check-release.sh "$root/$dir" "$arch" || true
done
step "tests (Windows programs, x86 and x86_64, under Wine)" run_counted wine \
    app/win32/tests/run-wine-tests.sh "$work/wine" "$root/build-win-i686" "$root/build-win-x86_64" ||
    true
step "tests (Debian package)" run_counted package \
    tests/package/package_test.sh "$root/build-pkg" "$root/build/tests/e2e/close_window" || true

echo
if [ ${#failures[@]} -gt 0 ]; then
    echo "Failed steps:"
    printf '  %s\n' "${failures[@]}"
    [ "$failed" -eq 0 ] && failed=${#failures[@]}
fi
echo "$passed passed, $failed failed"
[ ${#failures[@]} -eq 0 ] && [ "$failed" -eq 0 ]
