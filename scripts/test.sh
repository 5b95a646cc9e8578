#!/usr/bin/env bash
# Installs what is missing, builds everything into build/ and runs every test through CTest.
# Usage: scripts/test.sh [ctest arguments...]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

scripts/install-deps.sh

build="${NORVIA_BUILD_DIR:-$root/build}"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)"

cd "$build"
ctest --output-on-failure -j"$(nproc)" "$@"
