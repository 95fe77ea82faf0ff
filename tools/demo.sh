#!/usr/bin/env bash
# The main job: builds the launcher, packs a sample content set, starts nginx as
# the CDN and the launcher-server stub on 127.0.0.1, and runs the launcher under
# Wine through a whole update to the (stub) game's start. Uses your display when
# DISPLAY is set, otherwise Xvfb, and saves screenshots either way.
# The build that runs is chosen as for the tests (tests/wine/choose-arch.sh): the
# players' 32-bit launcher, under 32-bit Wine, or with its i386 loader emulated
# by qemu-i386 where the kernel runs no 32-bit code; the x86-64 build under
# wine64 only where neither works. One plain line says which.
# Env: BUILD_ROOT (default ./build; the build goes to BUILD_ROOT/ARCH),
#      DREL_TEST_WAY=wine32|qemu|wine64 or DREL_TEST_ARCH=i686|x86_64 forces it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
BUILD_ROOT=${BUILD_ROOT:-$root/build}
"$root/tools/setup.sh"
source "$root/tests/wine/choose-arch.sh"
drel_choose_arch "$BUILD_ROOT" demo
echo "$DREL_ARCH_LINE"
export BUILD_DIR="$BUILD_ROOT/$DREL_ARCH"
drel_configure "$BUILD_DIR" "$DREL_ARCH"
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
echo "$DREL_ARCH_LINE"
