#!/usr/bin/env bash
# Installs what is missing, builds the launcher and its tests, and runs every
# test under Wine. Usage: tools/test.sh [ctest arguments...]
#
# The tests run the players' 32-bit launcher: under 32-bit Wine where this
# machine runs 32-bit code, under 32-bit Wine with its i386 loader emulated by
# qemu-i386 where the kernel runs none, and only where neither works the x86-64
# build of the same sources under wine64 (tests/wine/choose-arch.sh). Where the
# 32-bit launcher is emulated, the x86-64 twin runs the whole suite as well, so
# both builds are tested; elsewhere the other build is built and CTest checks
# its shape. One plain line says which, at the start and after the summaries.
# Env: BUILD_ROOT (default ./build): one build folder per architecture in it,
#      BUILD_ROOT/i686 and BUILD_ROOT/x86_64.
#      DREL_TEST_WAY=wine32|qemu|wine64 forces the way, DREL_TEST_ARCH=i686|x86_64
#      the build (README: "Which build the tests run").
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
BUILD_ROOT=${BUILD_ROOT:-$root/build}

"$root/tools/setup.sh"
source "$root/tests/wine/choose-arch.sh"
drel_choose_arch "$BUILD_ROOT" tests
build="$BUILD_ROOT/$DREL_ARCH"
twin="$BUILD_ROOT/$DREL_TWIN_ARCH"
if [ "$DREL_WAY" = qemu ]; then
  line="$DREL_ARCH_LINE; the x86-64 twin runs the whole suite too, under wine64"
else
  line="$DREL_ARCH_LINE; the $DREL_TWIN_ARCH launcher is built and checked for its shape only"
fi
echo "$line"

# suite BUILD_DIR WHAT [ctest arguments]: runs CTest in BUILD_DIR; adds a line
# with WHAT, the outcome and the time to summary.
summary=()
status=0
suite() {
  local dir=$1 what=$2 started result=passed; shift 2
  started=$(date +%s)
  (cd "$dir" && ctest --output-on-failure "$@") || { result=FAILED; status=1; }
  local took=$(( $(date +%s) - started ))
  summary+=("$what: $result in $((took / 60))m$(printf %02d $((took % 60)))s")
}

if [ "$DREL_WAY" = qemu ]; then
  # Both builds whole, each checking the other's shape; both suites run.
  drel_configure "$twin" "$DREL_TWIN_ARCH" -DBUILD_TESTING=ON -DDREL_TWIN_BUILD_DIR="$build"
  drel_configure "$build" "$DREL_ARCH" -DDREL_TWIN_BUILD_DIR="$twin"
  cmake --build "$twin" --target talmodrel
  cmake --build "$build"
  cmake --build "$twin"
  suite "$build" "the 32-bit launcher (i686, 32-bit Wine through qemu-i386)" "$@"
  suite "$twin" "the x86-64 twin (wine64)" "$@"
else
  # The twin: the launcher alone, for its shape check.
  drel_configure "$twin" "$DREL_TWIN_ARCH" -DBUILD_TESTING=OFF
  cmake --build "$twin" --target talmodrel
  drel_configure "$build" "$DREL_ARCH" -DDREL_TWIN_BUILD_DIR="$twin"
  cmake --build "$build"
  suite "$build" "the $DREL_ARCH build" "$@"
fi
printf '%s\n' "${summary[@]}"
echo "$line"
exit $status
