#!/usr/bin/env bash
# The main job. For now: build and run the launcher's start-up once in the
# private Wine prefix.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export BUILD_DIR=${BUILD_DIR:-$root/build}
"$root/tools/setup.sh"
cmake -S "$root" -B "$BUILD_DIR" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" >/dev/null
cmake --build "$BUILD_DIR"
"$root/tests/wine/prefix-setup.sh" "$BUILD_DIR"
trap '"$root/tests/wine/prefix-shutdown.sh" "$BUILD_DIR"' EXIT
"$root/tests/wine/wine-run.sh" "$BUILD_DIR/bin/talmodrel.exe" | cat
