#!/usr/bin/env bash
# Ends the prefix's wineserver and the run's X server.
set -uo pipefail
BUILD_DIR=$(cd "$1" && pwd)
if source "$(dirname "$0")/wine-env.sh"; then
  wine_server -k 2>/dev/null
fi
if [ -f "$BUILD_DIR/xvfb.pid" ]; then
  kill "$(cat "$BUILD_DIR/xvfb.pid")" 2>/dev/null
  rm -f "$BUILD_DIR/xvfb.pid" "$BUILD_DIR/wine-display" "$BUILD_DIR/xvfb.displayfd"
fi
exit 0
