# Sourced by the scripts that build and run the launcher (tools/test.sh,
# tools/demo.sh, bench/bench-setup.sh): which build runs under Wine here, and how.
#
# The product is the 32-bit launcher, and it runs wherever 32-bit Wine can be
# made to run. Three ways are tried, in order, each by running a tiny 32-bit
# console program under Wine (found out, not guessed):
#   wine32    32-bit Wine as it is, on machines that run 32-bit code;
#   qemu      32-bit Wine with its i386 loader emulated by qemu-i386 in a user
#             namespace of its own (tests/wine/i386-userns.sh), on machines
#             whose kernel runs no 32-bit code; the emulator comes from
#             tools/setup.sh --i386-emulator;
#   wine64    the x86-64 build of the same sources under wine64, only where
#             neither runs; the 32-bit launcher is then built and checked for
#             its shape only.
# DREL_TEST_WAY (wine32, qemu or wine64) forces a way; DREL_TEST_ARCH (i686 or
# x86_64) forces a build, the 32-bit one by the first way that works. A forced
# way that does not work here stops with the reason.
#
# drel_choose_arch BUILD_ROOT WHAT: WHAT names the run at the start of the plain
# line ("tests", "demo", "benchmark"). Sets DREL_WAY (the way), DREL_ARCH (the
# build that runs), DREL_TWIN_ARCH (the other one), DREL_I386_EMULATOR (the
# emulator's path for the qemu way, empty otherwise) and DREL_ARCH_LINE (one
# plain line saying which build runs, how and why). Returns 1, with the reason
# on standard error, when what is forced cannot run here.
#
# drel_configure BUILD_DIR ARCH [CMAKE ARGS...]: configures (or reconfigures)
# BUILD_DIR for ARCH with CMake's cross toolchain file, and records there how
# its Windows programs run (BUILD_DIR/drel-i386-emulator, read by wine-env.sh).

drel_wine_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
drel_source_root=$(cd "$drel_wine_dir/../.." && pwd)

drel_configure() {
  local dir=$1 arch=$2; shift 2
  cmake -S "$drel_source_root" -B "$dir" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$drel_source_root/cmake/mingw-$arch.cmake" "$@" >/dev/null
  if [ "$arch" = i686 ] && [ -n "${DREL_I386_EMULATOR:-}" ]; then
    echo "$DREL_I386_EMULATOR" > "$dir/drel-i386-emulator"
  else
    rm -f "$dir/drel-i386-emulator"
  fi
}

# drel_runs_32bit BUILD_ROOT [EMULATOR]: succeeds when a 32-bit console program
# runs under 32-bit Wine here (with its i386 loader emulated by EMULATOR when
# given); otherwise prints why on standard output and fails. The probe's prefix
# is kept in BUILD_ROOT/probe-i686, so only the first run makes it.
drel_runs_32bit() (
  set -uo pipefail
  # BUILD_ROOT is absolute: Wine takes no relative prefix.
  export BUILD_DIR="$1/probe-i686" DREL_ARCH=i686 DREL_I386_EMULATOR=${2:-}
  source "$drel_wine_dir/wine-env.sh" || exit 1
  # The probe's reasons are read by people and logs in English; the probe
  # program itself only prints ASCII.
  export LC_ALL=C LANG=C
  unset DISPLAY
  if [ ! -x "$WINELOADER" ]; then
    echo "no 32-bit Wine loader ($WINELOADER)"
    exit 1
  fi
  local said
  if ! said=$(wine_run --version 2>&1); then
    echo "$WINELOADER: ${said##*: }"
    exit 1
  fi
  mkdir -p "$BUILD_DIR"
  if ! timeout 600 bash -c 'source "$1" && wine_prefix_ensure' _ "$drel_wine_dir/wine-env.sh"; then
    echo "32-bit Wine could not make a prefix"
    exit 1
  fi
  i686-w64-mingw32-gcc -O1 -s -o "$WINEPREFIX/drive_c/drel-probe32.exe" "$drel_wine_dir/probe32.c" || exit 1
  said=$(timeout 120 "${drel_wine[@]}" "$WINELOADER" 'C:\drel-probe32.exe' 2>&1)
  wine_server -k 2>/dev/null
  case "$said" in
    *"drel-probe32 ran"*) exit 0;;
    *) echo "a 32-bit console program did not run under Wine: ${said:-no output}"; exit 1;;
  esac
)

drel_choose_arch() {
  local build_root what=$2 asked=${DREL_TEST_WAY:-} way="" native_why="" emulated_why="" emulator=""
  build_root=$(mkdir -p "$1" && cd "$1" && pwd)
  case "$asked" in
    ""|wine32|qemu|wine64) ;;
    *) echo "DREL_TEST_WAY is '$asked': wine32, qemu or wine64" >&2; return 1;;
  esac
  case "${DREL_TEST_ARCH:-}" in
    "") ;;
    i686) [ "$asked" = wine64 ] && { echo "DREL_TEST_ARCH=i686 and DREL_TEST_WAY=wine64 contradict each other" >&2; return 1; };;
    x86_64)
      case "$asked" in wine32|qemu) echo "DREL_TEST_ARCH=x86_64 and DREL_TEST_WAY=$asked contradict each other" >&2; return 1;; esac
      asked=wine64;;
    *) echo "DREL_TEST_ARCH is '$DREL_TEST_ARCH': i686 or x86_64" >&2; return 1;;
  esac

  # The 32-bit launcher, as it is or emulated, unless the twin is asked for.
  if [ -z "$asked" ] || [ "$asked" = wine32 ]; then
    if native_why=$(drel_runs_32bit "$build_root"); then
      way=wine32
    elif [ "$asked" = wine32 ]; then
      echo "DREL_TEST_WAY=wine32, but 32-bit Wine does not run here: $native_why" >&2
      return 1
    fi
  fi
  if [ -z "$way" ] && { [ -z "$asked" ] || [ "$asked" = qemu ]; }; then
    if ! emulator=$("$drel_source_root/tools/setup.sh" --i386-emulator); then
      emulated_why="no qemu-i386 of version 8.1 or later could be fetched"
    elif emulated_why=$(drel_runs_32bit "$build_root" "$emulator"); then
      way=qemu
    fi
    if [ "$way" != qemu ]; then
      emulator=""
      if [ -n "$asked" ] || [ "${DREL_TEST_ARCH:-}" = i686 ]; then
        echo "${DREL_TEST_WAY:+DREL_TEST_WAY=$DREL_TEST_WAY }${DREL_TEST_ARCH:+DREL_TEST_ARCH=$DREL_TEST_ARCH }asks for the 32-bit launcher, but 32-bit Wine runs here neither as it is (${native_why:-not tried}) nor with its loader emulated ($emulated_why)" >&2
        return 1
      fi
    fi
  fi
  [ -n "$way" ] || way=wine64

  local forced="" why
  [ -n "${DREL_TEST_ARCH:-}" ] && forced="DREL_TEST_ARCH=$DREL_TEST_ARCH: "
  [ -n "${DREL_TEST_WAY:-}" ] && forced="DREL_TEST_WAY=$DREL_TEST_WAY: "
  case "$native_why" in
    "") why="32-bit Wine as it is not tried";;
    *"Exec format error"*) why="this kernel runs no 32-bit code: $native_why";;
    *) why="32-bit Wine as it is does not run here: $native_why";;
  esac
  case "$way" in
    wine32)
      DREL_ARCH=i686 DREL_TWIN_ARCH=x86_64
      DREL_ARCH_LINE="$what: ${forced}the 32-bit launcher under 32-bit Wine (this machine runs 32-bit code)";;
    qemu)
      DREL_ARCH=i686 DREL_TWIN_ARCH=x86_64
      DREL_ARCH_LINE="$what: ${forced}the 32-bit launcher under 32-bit Wine, its i386 loader emulated by qemu-i386 ($why)";;
    wine64)
      DREL_ARCH=x86_64 DREL_TWIN_ARCH=i686
      if [ -n "$forced" ]; then
        DREL_ARCH_LINE="$what: ${forced}the x86-64 build under wine64; the 32-bit launcher is NOT run"
      else
        DREL_ARCH_LINE="$what: the x86-64 build under wine64; the 32-bit launcher is NOT run: 32-bit Wine runs here neither as it is ($native_why) nor emulated ($emulated_why)"
      fi;;
  esac
  DREL_WAY=$way
  DREL_I386_EMULATOR=$emulator
  export DREL_WAY DREL_ARCH DREL_TWIN_ARCH DREL_I386_EMULATOR DREL_ARCH_LINE
}
