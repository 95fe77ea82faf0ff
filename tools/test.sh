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
  line="$DREL_ARCH_LINE; the x86-64 twin runs the whole suite too (but the 4 GiB case), under wine64"
else
  line="$DREL_ARCH_LINE; the $DREL_TWIN_ARCH launcher is built and checked for its shape only"
fi
echo "$line"

# suite BUILD_DIR WHAT [ctest arguments]: runs CTest in BUILD_DIR (through the
# command in the array runner, when set); adds a line with WHAT, the outcome
# and the time to summary.
summary=()
status=0
runner=()
suite() {
  local dir=$1 what=$2 started result=passed; shift 2
  started=$(date +%s)
  "${runner[@]}" ctest --test-dir "$dir" --output-on-failure "$@" || { result=FAILED; status=1; }
  local took=$(( $(date +%s) - started ))
  summary+=("$what: $result in $((took / 60))m$(printf %02d $((took % 60)))s")
}

if [ "$DREL_WAY" = qemu ]; then
  # Both builds whole, each checking the other's shape; both suites run.
  drel_configure "$twin" "$DREL_TWIN_ARCH" -DBUILD_TESTING=ON -DDREL_TWIN_BUILD_DIR="$build"
  drel_configure "$build" "$DREL_ARCH" -DDREL_TWIN_BUILD_DIR="$twin"
  cmake --build "$build"
  cmake --build "$twin" --target talmodrel
  # The case of a file beyond 4 GiB is there for what only 32 bits break, and
  # it takes minutes: the 32-bit launcher runs it, the twin does not.
  twin_args=(-E '^launcher_e2e_beyond_4gib$')
  twin_what="the x86-64 twin (wine64; the 4 GiB case left to the 32-bit launcher)"
  # A network namespace of its own: loopback, and one link with an address
  # for the device identity, made of network adapters (a veth pair, both ends
  # inside; nothing listens there).
  own_network=(unshare --net sh -c 'ip link set lo up &&
    ip link add drel0 type veth peer name drel1 && ip addr add 10.213.0.1/24 dev drel0 &&
    ip link set drel0 up && ip link set drel1 up && exec "$@"' own-network)
  if "${own_network[@]}" true 2>/dev/null; then
    # Most of a suite's time is waiting (servers, time-outs, slow CDN paths),
    # so the twin's runs beside the 32-bit one, in a network of its own: its
    # launcher-server stub takes 127.0.0.1:8000 too. Its output follows.
    # Its build too goes on while the 32-bit suite starts.
    twin_log="$twin/suite.log"
    (
      summary=() status=0 runner=("${own_network[@]}")
      if cmake --build "$twin" > "$twin_log" 2>&1; then
        suite "$twin" "$twin_what" "${twin_args[@]}" "$@" >> "$twin_log" 2>&1
      else
        summary=("$twin_what: its build FAILED") status=1
      fi
      printf '%s\n' "${summary[@]}" > "$twin/suite.summary"
      exit $status
    ) &
    twin_pid=$!
    suite "$build" "the 32-bit launcher (i686, 32-bit Wine through qemu-i386)" "$@"
    wait "$twin_pid" || status=1
    echo "---- the x86-64 twin's suite, run beside it in a network of its own ----"
    cat "$twin_log"
    mapfile -t -O ${#summary[@]} summary < "$twin/suite.summary"
  else
    suite "$build" "the 32-bit launcher (i686, 32-bit Wine through qemu-i386)" "$@"
    cmake --build "$twin"
    suite "$twin" "$twin_what" "${twin_args[@]}" "$@"
  fi
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
