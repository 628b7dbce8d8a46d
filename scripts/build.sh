#!/usr/bin/env bash
# Configures and builds the console, its tools and tests into build/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QZ_BUILD_DIR:-$root/build}
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo ${QZ_CMAKE_ARGS:-} >/dev/null
cmake --build "$build" -j"$(nproc)"
