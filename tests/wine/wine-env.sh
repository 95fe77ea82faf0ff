# Sourced by every script that runs a Windows binary of this build under Wine.
# BUILD_DIR must be set. The prefix is private to the build folder, has no Z:
# drive (the host's root must never be a fixed drive the launcher could choose)
# and runs with code page 936, like the players' machines.
export WINEPREFIX="$BUILD_DIR/wineprefix"
export WINEARCH=win32
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
    "$BUILD_DIR/bin/"*) printf '%s\\%s' "$WINE_BIN_DIR" "$(basename "$1")";;
    *) printf '%s' "$1";;
  esac
}
