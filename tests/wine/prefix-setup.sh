#!/usr/bin/env bash
# Starts Xvfb for the test run and creates the build's private Wine prefix once.
# Usage: prefix-setup.sh BUILD_DIR
set -euo pipefail
BUILD_DIR=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)

# One X server for the whole run; its display number goes into a file the other scripts read.
if [ -f "$BUILD_DIR/xvfb.pid" ] && kill -0 "$(cat "$BUILD_DIR/xvfb.pid")" 2>/dev/null; then
  :
else
  exec 3> "$BUILD_DIR/xvfb.displayfd"
  Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp -nolisten unix -ac >/dev/null 2>&1 &
  echo $! > "$BUILD_DIR/xvfb.pid"
  exec 3>&-
  for _ in $(seq 100); do [ -s "$BUILD_DIR/xvfb.displayfd" ] && break; sleep 0.1; done
  echo ":$(head -n1 "$BUILD_DIR/xvfb.displayfd")" > "$BUILD_DIR/wine-display"
fi

source "$here/wine-env.sh"
if ! wine_prefix_ensure; then
  echo "prefix-setup: Wine's $WINEARCH loader ($WINELOADER) cannot make a prefix on this machine" >&2
  exit 1
fi
ln -sfn "$BUILD_DIR/bin" "$WINEPREFIX/drive_c/drel-bin"
