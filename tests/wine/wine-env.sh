# Sourced by every script that runs a Windows binary of a build under Wine: the
# one place that knows, for each target architecture, Wine's loader, its server,
# WINEARCH and the prefix folder.
#
# BUILD_DIR must be set. The architecture is the build's own (BUILD_DIR/drel-arch,
# written when CMake configures it); for a folder that is not a configured build,
# such as the 32-bit probe's, DREL_ARCH names it.
#
# The loaders are called directly: Debian's `wine` wrapper takes the 32-bit loader
# whenever wine32 is installed, even on a machine whose kernel runs no 32-bit code.
# The prefix is private to the build folder, has no Z: drive (the host's root must
# never be a fixed drive the launcher could choose) and runs with code page 936,
# like the players' machines.
#
# Where the kernel runs no 32-bit code, 32-bit Wine still runs with its i386
# loader emulated (tests/wine/i386-userns.sh): DREL_I386_EMULATOR names the
# emulator (qemu-i386), or BUILD_DIR/drel-i386-emulator does for a build
# configured that way (tests/wine/choose-arch.sh). Every Wine command then
# goes through wine_run or wine_server (or tests/wine/wine-run.sh), never the
# loader itself.
if [ -f "$BUILD_DIR/drel-arch" ]; then
  DREL_ARCH=$(cat "$BUILD_DIR/drel-arch")
elif [ -z "${DREL_ARCH:-}" ]; then
  echo "wine-env: $BUILD_DIR is not a configured build (no drel-arch) and DREL_ARCH is not set" >&2
  return 1 2>/dev/null || exit 1
fi
if [ -z "${DREL_I386_EMULATOR:-}" ] && [ "$DREL_ARCH" = i686 ] && [ -f "$BUILD_DIR/drel-i386-emulator" ]; then
  DREL_I386_EMULATOR=$(cat "$BUILD_DIR/drel-i386-emulator")
fi
drel_wine=()
case "$DREL_ARCH" in
  i686)
    export WINELOADER=/usr/lib/wine/wine
    export WINESERVER=/usr/lib/wine/wineserver32
    export WINEARCH=win32
    if [ -n "${DREL_I386_EMULATOR:-}" ]; then
      export DREL_I386_EMULATOR
      drel_wine=("$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/i386-userns.sh" "$DREL_I386_EMULATOR")
      # The 64-bit server serves 32-bit Wine as well (Debian's own wineserver
      # wrapper prefers it), and runs at full speed where the 32-bit one would
      # be emulated.
      export WINESERVER=/usr/lib/wine/wineserver64
    fi;;
  x86_64)
    export WINELOADER=/usr/lib/wine/wine64
    export WINESERVER=/usr/lib/wine/wineserver64
    export WINEARCH=win64;;
  *)
    echo "wine-env: unknown architecture '$DREL_ARCH' (i686 or x86_64)" >&2
    return 1 2>/dev/null || exit 1;;
esac
export DREL_ARCH
export WINEPREFIX="$BUILD_DIR/wineprefix"
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono/Gecko install prompt, no desktop menu entries.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export LC_ALL=zh_CN.UTF-8
export LANG=zh_CN.UTF-8
# The binaries are reached through C:\drel-bin, a link to the build's bin folder.
WINE_BIN_DIR='C:\drel-bin'
# The demo may run on the user's own display (DREL_USE_OWN_DISPLAY=1).
if [ -z "${DREL_USE_OWN_DISPLAY:-}" ] && [ -f "$BUILD_DIR/wine-display" ]; then
  export DISPLAY="$(cat "$BUILD_DIR/wine-display")"
fi

# Prints the Windows path of a file in the build's bin folder, the Unix path otherwise.
wine_path_of() {
  case "$1" in
    "$BUILD_DIR/bin/"*) printf '%s\\%s' "$WINE_BIN_DIR" "${1#"$BUILD_DIR/bin/"}" | tr / '\\';;
    *) printf '%s' "$1";;
  esac
}

# wine_run PROGRAM [ARGS...]: runs a Windows program in the prefix.
# wine_server ARGS...: runs the prefix's wineserver (-k ends it, -w waits for it).
# Both run where the Wine processes of this build run: for an emulated i386
# loader, in a namespace of their own (tests/wine/i386-userns.sh), where the
# user is the same as for every other Wine process of the build.
wine_run() { "${drel_wine[@]}" "$WINELOADER" "$@"; }
wine_server() { "${drel_wine[@]}" "$WINESERVER" "$@"; }

# Makes the prefix once (for this architecture), without a Z: drive. Fails, and
# leaves no prefix behind, when this machine cannot run the architecture's Wine.
wine_prefix_ensure() {
  local marker="$WINEPREFIX/.drel-ready"
  if [ ! -f "$marker" ] || [ "$(cat "$marker")" != "$WINEARCH" ]; then
    rm -rf "$WINEPREFIX"
    if ! wine_run wineboot --init >/dev/null 2>&1 || ! wine_server -w; then
      rm -rf "$WINEPREFIX"
      return 1
    fi
    echo "$WINEARCH" > "$marker"
  fi
  rm -f "$WINEPREFIX/dosdevices/z:"
}
