#!/usr/bin/env bash
# Runs the end-to-end tests: the real launcher under Wine and Xvfb against nginx
# and the launcher-server stub. Usage: run-e2e.sh BUILD_DIR [SCRIPT.py] [unittest args]
# (SCRIPT.py in this folder; launcher_e2e.py by default)
set -euo pipefail
export BUILD_DIR=$(cd "$1" && pwd); shift
here=$(cd "$(dirname "$0")" && pwd)
script=launcher_e2e.py
case "${1:-}" in *.py) script=$1; shift;; esac
source "$here/../../wine/wine-env.sh"
exec /usr/bin/python3 "$here/$script" "$@"
