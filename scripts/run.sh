#!/usr/bin/env bash
# Installs what is missing, builds, and runs the analyser.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
source scripts/deps.sh
ensure_packages run
cmake -S . -B build >/dev/null
cmake --build build -j "$(nproc 2>/dev/null || echo 2)"
if [ ! -x build/sonavex ]; then
    echo "The Linux program is not built yet; the analysis libraries and tests are (scripts/test.sh)."
    exit 0
fi
exec build/sonavex
