#!/usr/bin/env bash
# CTest's emulator: runs one Windows program of this build in the private prefix.
# Usage: wine-run.sh /path/to/build/bin/program.exe|WINDOWS-PATH [args...]
# The program keeps this script's process (exec all the way), so killing it
# kills the program.
set -euo pipefail
BUILD_DIR=${BUILD_DIR:-$(cd "$(dirname "$1")/.." && pwd)}
source "$(dirname "$0")/wine-env.sh"
exe=$(wine_path_of "$1"); shift
exec "${drel_wine[@]}" "$WINELOADER" "$exe" "$@"
