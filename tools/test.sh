#!/usr/bin/env bash
# Installs what is missing, builds the launcher and its tests, and runs every
# test under Wine. Usage: tools/test.sh [ctest arguments...]
#
# The tests run the 32-bit launcher wherever this machine runs 32-bit Windows
# programs, and the x86-64 build of the same sources under wine64 where it does
# not (tests/wine/choose-arch.sh); the other build is built too and CTest checks
# its shape. One plain line says which, at the start and after CTest's summary.
# Env: BUILD_ROOT (default ./build): one build folder per architecture in it,
#      BUILD_ROOT/i686 and BUILD_ROOT/x86_64.
#      DREL_TEST_ARCH=i686|x86_64 forces the build the tests run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
BUILD_ROOT=${BUILD_ROOT:-$root/build}

"$root/tools/setup.sh"
source "$root/tests/wine/choose-arch.sh"
drel_choose_arch "$BUILD_ROOT" tests
line="$DREL_ARCH_LINE; $DREL_TWIN_NOTE"
echo "$line"
build="$BUILD_ROOT/$DREL_ARCH"
twin="$BUILD_ROOT/$DREL_TWIN_ARCH"

# The twin: the launcher alone, for its shape check.
drel_configure "$twin" "$DREL_TWIN_ARCH" -DBUILD_TESTING=OFF
cmake --build "$twin" --target talmodrel
drel_configure "$build" "$DREL_ARCH" -DDREL_TWIN_BUILD_DIR="$twin"
cmake --build "$build"
cd "$build"
status=0
ctest --output-on-failure "$@" || status=$?
echo "$line"
exit $status
