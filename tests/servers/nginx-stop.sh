#!/usr/bin/env bash
set -uo pipefail
dir="$(cd "$1" && pwd)/nginx"
[ -f "$dir/nginx.pid" ] && kill "$(cat "$dir/nginx.pid")" 2>/dev/null
rm -f "$dir/nginx.pid"
exit 0
