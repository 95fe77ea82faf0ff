#!/usr/bin/env bash
# Runs a host command with the build's Wine environment (WINEPREFIX, WINELOADER,
# code page 936...), for the scripts that prepare what the Windows tests read.
# Usage: in-wine-env.sh BUILD_DIR COMMAND [ARGS...]
set -euo pipefail
BUILD_DIR=$(cd "$1" && pwd); shift
export BUILD_DIR
source "$(dirname "$0")/wine-env.sh"
exec "$@"
