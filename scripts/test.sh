#!/usr/bin/env bash
# Installs what the tests need, builds everything, starts a private sound server and a
# virtual display, runs every test, stops what it started. Exits non-zero on any failure.
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
source scripts/deps.sh
ensure_packages test || exit 1

jobs=$(nproc 2>/dev/null || echo 2)
work=$(mktemp -d /tmp/sonavex-test.XXXXXX)
passed=0
failed=0
failures=()

cleanup() {
    scripts/sound-server.sh stop "$work/sound" >/dev/null 2>&1
    scripts/virtual-display.sh stop "$work/display" >/dev/null 2>&1
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

# Runs ctest in a build tree and adds its counts to the totals.
run_ctest() {
    local dir=$1
    shift
    local log="$work/ctest-$(basename "$dir").log"
    ctest --test-dir "$dir" --output-on-failure --timeout 300 "$@" 2>&1 | tee "$log"
    local rc=${PIPESTATUS[0]}
    local line
    line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -1)
    if [ -n "$line" ]; then
        local total nfail
        nfail=$(sed -E 's/.* ([0-9]+) tests? failed out of.*/\1/' <<<"$line")
        total=$(sed -E 's/.*out of ([0-9]+).*/\1/' <<<"$line")
        passed=$((passed + total - nfail))
        failed=$((failed + nfail))
    elif [ "$rc" -ne 0 ]; then
        failed=$((failed + 1))
    fi
    return "$rc"
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
if [ -f app/win32/CMakeLists.txt ]; then
    for arch in i686 x86_64; do
        step "build (Windows, $arch)" build "build-win-$arch" \
            -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$arch.cmake" || true
    done
fi

step "start the sound server" scripts/sound-server.sh start "$work/sound" && source "$work/sound/env"
step "start the virtual display" scripts/virtual-display.sh start "$work/display" &&
    source "$work/display/env"
export SONAVEX_REQUIRE_SERVICES=1

step "tests (Release)" run_ctest build || true
step "tests (address and undefined-behaviour sanitizers)" run_ctest build-asan || true
step "tests (thread sanitizer, capture)" run_ctest build-tsan -L capture || true
# Runs a script that ends with its own "N passed, N failed" line and adds those counts.
run_counted() {
    local log="$work/$1.log"
    shift
    "$@" 2>&1 | tee "$log"
    local rc=${PIPESTATUS[0]}
    local line
    line=$(grep -E '^[0-9]+ passed, [0-9]+ failed' "$log" | tail -1)
    if [ -n "$line" ]; then
        passed=$((passed + $(cut -d' ' -f1 <<<"$line")))
        failed=$((failed + $(sed -E 's/^[0-9]+ passed, ([0-9]+) failed.*/\1/' <<<"$line")))
    fi
    if [ "$rc" -ne 0 ] && { [ -z "$line" ] || [ "$(sed -E 's/^[0-9]+ passed, ([0-9]+) failed.*/\1/' <<<"$line")" -eq 0 ]; }; then
        failed=$((failed + 1))
    fi
    return "$rc"
}

if step "artwork check" app/art/check-art.sh; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
if [ -x app/win32/tests/run-wine-tests.sh ]; then
    step "tests (Windows program under Wine)" run_counted wine \
        app/win32/tests/run-wine-tests.sh "$root/build-win-x86_64" "$work/wine" || true
fi
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
