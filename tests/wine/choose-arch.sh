# Sourced by the scripts that build and run the launcher (tools/test.sh,
# tools/demo.sh, bench/bench-setup.sh): which build runs under Wine here.
#
# The product is the 32-bit launcher, and it is what runs wherever this machine
# runs 32-bit Windows programs. Some machines' kernels run no 32-bit code at all;
# there the x86-64 build of the same sources runs under wine64, and the 32-bit
# launcher is built and checked for its shape only. Which kind of machine this
# is is found out by running a tiny 32-bit console program under Wine, not
# guessed. DREL_TEST_ARCH (i686 or x86_64) forces the choice on any machine.
#
# drel_choose_arch BUILD_ROOT WHAT: WHAT names the run at the start of the plain
# line ("tests", "demo", "benchmark"). Sets DREL_ARCH (the build that runs),
# DREL_TWIN_ARCH (the other one), DREL_ARCH_LINE (one plain line saying which
# build runs and why) and DREL_TWIN_NOTE (what is done with the other build
# where it is built beside: its shape is checked). Returns 1, with the reason
# on standard error, when DREL_TEST_ARCH asks for a build this machine cannot run.
#
# drel_configure BUILD_DIR ARCH [CMAKE ARGS...]: configures (or reconfigures)
# BUILD_DIR for ARCH with CMake's cross toolchain file.

drel_wine_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
drel_source_root=$(cd "$drel_wine_dir/../.." && pwd)

drel_configure() {
  local dir=$1 arch=$2; shift 2
  cmake -S "$drel_source_root" -B "$dir" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$drel_source_root/cmake/mingw-$arch.cmake" "$@" >/dev/null
}

# drel_runs_32bit BUILD_ROOT: succeeds when a 32-bit console program runs under
# Wine here; otherwise prints why on standard output and fails. The probe's
# prefix is kept in BUILD_ROOT/probe-i686, so only the first run makes it.
drel_runs_32bit() (
  set -uo pipefail
  export BUILD_DIR="$1/probe-i686" DREL_ARCH=i686
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
  if ! said=$("$WINELOADER" --version 2>&1); then
    echo "$WINELOADER: ${said##*: }"
    exit 1
  fi
  mkdir -p "$BUILD_DIR"
  if ! timeout 600 bash -c 'source "$1" && wine_prefix_ensure' _ "$drel_wine_dir/wine-env.sh"; then
    echo "32-bit Wine could not make a prefix"
    exit 1
  fi
  i686-w64-mingw32-gcc -O1 -s -o "$WINEPREFIX/drive_c/drel-probe32.exe" "$drel_wine_dir/probe32.c" || exit 1
  said=$(timeout 120 "$WINELOADER" 'C:\drel-probe32.exe' 2>&1)
  "$WINESERVER" -k 2>/dev/null
  case "$said" in
    *"drel-probe32 ran"*) exit 0;;
    *) echo "a 32-bit console program did not run under Wine: ${said:-no output}"; exit 1;;
  esac
)

drel_choose_arch() {
  local build_root=$1 what=$2 why
  case "${DREL_TEST_ARCH:-}" in
    "")
      if why=$(drel_runs_32bit "$build_root"); then
        DREL_ARCH=i686
        DREL_ARCH_LINE="$what: this machine runs 32-bit programs: running the 32-bit launcher (i686) under Wine"
      else
        DREL_ARCH=x86_64
        DREL_ARCH_LINE="$what: this machine cannot run 32-bit programs ($why): running the x86-64 build under wine64"
      fi;;
    i686)
      if ! why=$(drel_runs_32bit "$build_root"); then
        echo "DREL_TEST_ARCH=i686, but this machine cannot run 32-bit programs: $why" >&2
        return 1
      fi
      DREL_ARCH=i686
      DREL_ARCH_LINE="$what: DREL_TEST_ARCH=i686: running the 32-bit launcher (i686) under Wine";;
    x86_64)
      DREL_ARCH=x86_64
      DREL_ARCH_LINE="$what: DREL_TEST_ARCH=x86_64: running the x86-64 build under wine64";;
    *)
      echo "DREL_TEST_ARCH is '$DREL_TEST_ARCH': i686 or x86_64" >&2
      return 1;;
  esac
  if [ "$DREL_ARCH" = i686 ]; then
    DREL_TWIN_ARCH=x86_64
    DREL_TWIN_NOTE="the x86-64 launcher is built and checked for its shape"
  else
    DREL_TWIN_ARCH=i686
    DREL_TWIN_NOTE="the 32-bit launcher is built and checked for its shape only (PE32, i386, GUI, no DLL beyond Windows' own, version resource), not run"
  fi
  export DREL_ARCH DREL_TWIN_ARCH DREL_ARCH_LINE DREL_TWIN_NOTE
}
