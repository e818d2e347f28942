#!/usr/bin/env bash
# Installs what the tests need, builds everything, starts a private sound server and a
# virtual display, runs every test, stops what it started. Exits non-zero on any failure.
set -uo pipefail
# The harness gives root, a private work directory (the logs) and the closing count.
source "$(dirname "${BASH_SOURCE[0]}")/../tests/e2e/common.sh"
cd "$root"
source scripts/deps.sh
ensure_packages test || exit 1

jobs=$(nproc 2>/dev/null || echo 2)
logs=0 failures=()
for server in sound sound-pipewire; do at_exit "scripts/sound-server.sh stop '$work/$server'"; done
at_exit "scripts/virtual-display.sh stop '$work/display'"

# Runs one named step; lists it among the failed steps when it fails.
step() {
    local name=$1
    shift
    echo "=== $name"
    "$@" && return
    echo "=== FAILED: $name"
    failures+=("$name")
    return 1
}

# Runs a test and adds its closing counts (a script's "P passed, F failed[, S skipped]", or
# CTest's "... F tests failed out of T" and its tests listed as "(Skipped)") to the totals; one
# that failed without saying how many counts as one failure. A skip never counts as passed.
counted() {
    local log="$work/log.$((++logs))" rc counts
    "$@" 2>&1 | tee "$log"
    rc=${PIPESTATUS[0]}
    counts=($(sed -nE 's/^([0-9]+) passed, ([0-9]+) failed(, ([0-9]+) skipped)?$/\1 \2 \4/p
        s/.* ([0-9]+) tests? failed out of ([0-9]+).*/\2-\1 \1 ctest/p' "$log" | tail -1))
    [ "${counts[2]:-}" = ctest ] &&
        counts[2]=$(grep -cE '^\s*[0-9]+ - .* \(Skipped\)$' "$log") &&
        counts[0]="${counts[0]}-${counts[2]}"
    passed=$((passed + ${counts[0]:-0}))
    failed=$((failed + ${counts[1]:-0} + (rc != 0 && ${counts[1]:-0} == 0)))
    skipped=$((skipped + ${counts[2]:-0}))
    return "$rc"
}
ctest_in() { ctest --test-dir "$@" --output-on-failure --timeout 300; }

build() {
    local dir=$1
    shift
    cmake -S . -B "$dir" -DSONAVEX_WERROR=ON -DSONAVEX_TESTS=ON -DSONAVEX_BENCH=ON "$@" \
        >/dev/null && cmake --build "$dir" -j "$jobs"
}

step "build (Release)" build build
step "build (address and undefined-behaviour sanitizers, core)" \
    build build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSONAVEX_CORE_ONLY=ON \
    -DSONAVEX_BENCH=OFF -DSONAVEX_SANITIZE=address,undefined
step "build (thread sanitizer, core)" \
    build build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSONAVEX_CORE_ONLY=ON \
    -DSONAVEX_BENCH=OFF -DSONAVEX_SANITIZE=thread
for arch in i686 x86_64; do
    step "build (Windows, $arch)" build "build-win-$arch" \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$arch.cmake"
done

# Whether this machine executes 32-bit x86 code, asked once: the 32-bit core's tests run
# natively or under qemu-i386-static, and the Wine and release steps read the same answer.
i386_how=natively i386_native=ON
i386_runs || i386_how="under qemu-i386-static" i386_native=OFF
step "build (portable core, 32-bit x86)" build build-i386 \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/linux-i386.cmake" -DSONAVEX_I386_NATIVE=$i386_native

# The Xvfb runs use the virtual display, also when started from a Wayland desktop.
export QT_QPA_PLATFORM=xcb
unset WAYLAND_DISPLAY
step "start the sound server" scripts/sound-server.sh start "$work/sound" pulseaudio &&
    source "$work/sound/env"
step "start the virtual display" scripts/virtual-display.sh start "$work/display" &&
    source "$work/display/env"
export SONAVEX_REQUIRE_SERVICES=1

step "tests (Release)" counted ctest_in build
step "tests (address and undefined-behaviour sanitizers)" counted ctest_in build-asan
step "tests (thread sanitizer, capture)" counted ctest_in build-tsan -L capture
step "tests (portable core, 32-bit x86, $i386_how)" counted ctest_in build-i386
# The live capture tests and the end-to-end cases that depend on the sound server (label
# "server") once more on PipeWire serving the PulseAudio protocol, as most desktops do; then
# back to PulseAudio for the rest.
if step "start the PipeWire sound server" \
    scripts/sound-server.sh start "$work/sound-pipewire" pipewire; then
    source "$work/sound-pipewire/env"
    step "tests on PipeWire (end to end)" counted ctest_in build -L server
    step "tests on PipeWire (live capture)" counted ctest_in build -R '^LiveCapture\.'
    scripts/sound-server.sh stop "$work/sound-pipewire"
    source "$work/sound/env"
fi
step "artwork check" counted app/art/check-art.sh
for arch in win32:i686 win64:x86_64; do
    step "release archive (${arch%:*})" counted \
        app/win32/tests/check-release.sh "$root/build-win-${arch#*:}" "${arch%:*}"
done
step "tests (Windows programs, x86 and x86_64, under Wine)" counted \
    app/win32/tests/run-wine-tests.sh "$root/build-win-i686" "$root/build-win-x86_64"
step "tests (Debian package)" counted \
    tests/package/package_test.sh "$root/build-pkg" "$root/build/tests/e2e/close_window"

echo
if [ ${#failures[@]} -gt 0 ]; then
    echo "Failed steps:"
    printf '  %s\n' "${failures[@]}"
    [ "$failed" -eq 0 ] && failed=${#failures[@]}
fi
finish
