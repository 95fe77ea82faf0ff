#!/usr/bin/env bash
# The main job: builds the launcher, packs a sample content set, starts nginx as
# the CDN and the launcher-server stub on 127.0.0.1, and runs the launcher under
# Wine through a whole update to the (stub) game's start. Uses your display when
# DISPLAY is set, otherwise Xvfb, and saves screenshots either way.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export BUILD_DIR=${BUILD_DIR:-$root/build}
"$root/tools/setup.sh"
cmake -S "$root" -B "$BUILD_DIR" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" >/dev/null
cmake --build "$BUILD_DIR"
[ -n "${DISPLAY:-}" ] && export DREL_USE_OWN_DISPLAY=1
"$root/tests/wine/prefix-setup.sh" "$BUILD_DIR"
cleanup() {
  "$root/tests/servers/launcher-server-stop.sh" "$BUILD_DIR"
  "$root/tests/servers/nginx-stop.sh" "$BUILD_DIR"
  "$root/tests/wine/prefix-shutdown.sh" "$BUILD_DIR"
}
trap cleanup EXIT
"$root/tests/servers/nginx-start.sh" "$BUILD_DIR"
"$root/tests/servers/launcher-server-start.sh" "$BUILD_DIR"
source "$root/tests/wine/wine-env.sh"
/usr/bin/python3 "$root/tools/demo/run_demo.py"
