#!/usr/bin/env bash
# Installs what is missing, builds with warnings as errors and runs the whole test suite.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"
export QZ_CMAKE_ARGS="-DQZ_WERROR=ON"
bash "$root/scripts/build.sh"
build=${QZ_BUILD_DIR:-$root/build}
cd "$build"
ctest --output-on-failure -j2 "$@"
