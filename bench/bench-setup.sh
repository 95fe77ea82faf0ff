# Sourced by the benchmark scripts after `set -euo pipefail` and here=<bench folder>:
#   source "$here/bench-setup.sh" "PROGRAM..." DEFAULT_BUILD_ROOT [BUILD_ROOT]
# Chooses the build to measure as the tests do (tests/wine/choose-arch.sh: the
# 32-bit launcher where this machine runs 32-bit programs, DREL_TEST_ARCH or
# DREL_TEST_WAY to force one), except where the 32-bit launcher would run
# emulated (qemu-i386): emulated figures say nothing of a player's machine, so
# there the x86-64 twin is measured under wine64 unless DREL_TEST_WAY=qemu asks
# for the emulated one. Says which first and last.
# Builds the programs (PROGRAM.exe each) in BUILD_ROOT/ARCH (BUILD_ROOT default:
# DEFAULT_BUILD_ROOT under the source tree; configured for the target when it is
# not yet), sets up the build's Wine prefix and starts nginx, both stopped again
# when the script ends. Leaves root (the source tree), BUILD_DIR (exported), the
# Wine environment and base (nginx's URL, ending in "/") to the script, and
# bench_random_file PATH BYTES, which makes a file of random bytes unless it
# has that size already.
root=$(dirname "$here")
source "$root/tests/wine/choose-arch.sh"
bench_root=${3:-$root/$2}
if [ -z "${DREL_TEST_WAY:-}" ] && [ -z "${DREL_TEST_ARCH:-}" ] &&
   drel_choose_arch "$bench_root" benchmark >/dev/null && [ "$DREL_WAY" = qemu ]; then
  DREL_TEST_WAY=wine64 drel_choose_arch "$bench_root" benchmark
  DREL_ARCH_LINE="benchmark: the x86-64 twin under wine64: the 32-bit launcher would run emulated here (qemu-i386; this kernel runs no 32-bit code), and emulated figures mean nothing"
else
  drel_choose_arch "$bench_root" benchmark
fi
echo "$DREL_ARCH_LINE"
BUILD_DIR="$bench_root/$DREL_ARCH"
if [ ! -f "$BUILD_DIR/CMakeCache.txt" ]; then
  drel_configure "$BUILD_DIR" "$DREL_ARCH" -DBUILD_TESTING=OFF
fi
BUILD_DIR=$(cd "$BUILD_DIR" && pwd)
export BUILD_DIR
# shellcheck disable=SC2086  # one target per word
if ! build_log=$(cmake --build "$BUILD_DIR" --target $1 2>&1); then
  echo "$build_log" >&2
  exit 2
fi

# What this run starts (the X server with the prefix's Wine, nginx) it stops
# again at the end; what was already running, for example a test run's, stays.
bench_running() { [ -f "$1" ] && kill -0 "$(cat "$1")" 2>/dev/null; }
bench_stops=()
bench_running "$BUILD_DIR/xvfb.pid" || bench_stops+=("$root/tests/wine/prefix-shutdown.sh")
bench_running "$BUILD_DIR/nginx/nginx.pid" || bench_stops+=("$root/tests/servers/nginx-stop.sh")
trap 'for stop in "${bench_stops[@]}"; do "$stop" "$BUILD_DIR"; done
      echo "benchmark: the figures above are of the $DREL_ARCH build ($BUILD_DIR)"' EXIT
"$root/tests/wine/prefix-setup.sh" "$BUILD_DIR"
"$root/tests/servers/nginx-start.sh" "$BUILD_DIR"
source "$root/tests/wine/wine-env.sh"
base=$(cat "$BUILD_DIR/nginx/url")

bench_random_file() {
  mkdir -p "$(dirname "$1")"
  if [ ! -f "$1" ] || [ "$(stat -c %s "$1")" -ne "$2" ]; then
    head -c "$2" /dev/urandom > "$1"
  fi
}
