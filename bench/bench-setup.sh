# Sourced by the benchmark scripts after `set -euo pipefail` and here=<bench folder>:
#   source "$here/bench-setup.sh" PROGRAM DEFAULT_BUILD_FOLDER [BUILD_DIR]
# Checks that PROGRAM.exe is built in BUILD_DIR (default: DEFAULT_BUILD_FOLDER
# under the source tree), sets up the build's Wine prefix and starts nginx.
# Leaves root (the source tree), BUILD_DIR (exported), the Wine environment and
# base (nginx's URL, ending in "/") to the script.
root=$(dirname "$here")
BUILD_DIR=$(cd "${3:-$root/$2}" && pwd)
export BUILD_DIR
[ -x "$BUILD_DIR/bin/$1.exe" ] || { echo "build $1 in $BUILD_DIR first" >&2; exit 2; }

"$root/tests/wine/prefix-setup.sh" "$BUILD_DIR"
"$root/tests/servers/nginx-start.sh" "$BUILD_DIR"
source "$root/tests/wine/wine-env.sh"
base=$(cat "$BUILD_DIR/nginx/url")
