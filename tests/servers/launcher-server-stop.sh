#!/usr/bin/env bash
set -uo pipefail
pidfile="$(cd "$1" && pwd)/launcher-server.pid"
[ -f "$pidfile" ] && kill "$(cat "$pidfile")" 2>/dev/null
rm -f "$pidfile"
exit 0
