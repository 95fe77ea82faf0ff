#!/usr/bin/env bash
# Installs what is missing, builds the launcher and its tests for 32-bit Windows,
# and runs every test under Wine. Usage: tools/test.sh [ctest arguments...]
# Env: BUILD_DIR (default ./build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
BUILD_DIR=${BUILD_DIR:-$root/build}

"$root/tools/setup.sh"
cmake -S "$root" -B "$BUILD_DIR" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" >/dev/null
cmake --build "$BUILD_DIR"
cd "$BUILD_DIR"
ctest --output-on-failure "$@"
