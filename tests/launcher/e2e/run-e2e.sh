#!/usr/bin/env bash
# Runs the end-to-end tests: the real launcher under Wine and Xvfb against nginx
# and the launcher-server stub. Usage: run-e2e.sh BUILD_DIR [unittest args]
set -euo pipefail
export BUILD_DIR=$(cd "$1" && pwd); shift
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../wine/wine-env.sh"
exec /usr/bin/python3 "$here/launcher_e2e.py" "$@"
