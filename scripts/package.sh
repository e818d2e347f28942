#!/usr/bin/env bash
# Builds the Debian package of the Linux program and prints its path as the last line.
#
#   scripts/package.sh [BUILD_DIR [CMAKE_ARGS...]]     BUILD_DIR defaults to build-pkg
#
# Installs what building it needs (through apt-get, as for scripts/run.sh) and configures
# without tests and benchmarks, so neither GoogleTest, Google Benchmark nor FFTW is needed.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
source scripts/deps.sh
ensure_packages package

dir=${1:-build-pkg}
shift || true
cmake -S . -B "$dir" -DSONAVEX_TESTS=OFF -DSONAVEX_BENCH=OFF "$@" >/dev/null
cmake --build "$dir" -j "$(nproc 2>/dev/null || echo 2)"
rm -f "$dir"/sonavex_*.deb
(cd "$dir" && cpack -G DEB >cpack.log 2>&1) || { cat "$dir/cpack.log" >&2; exit 1; }
realpath "$dir"/sonavex_*.deb
