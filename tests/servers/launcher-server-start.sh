#!/usr/bin/env bash
# Starts the launcher-server stub on 127.0.0.1:8000 (the launcher's port) for the
# tests. Its control folder is C:\launcher-server of the prefix: tests write
# "mode" there and read "requests.log" (see tools/launcher_server).
# Usage: launcher-server-start.sh BUILD_DIR
set -euo pipefail
BUILD_DIR=$(cd "$1" && pwd)
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/tests/wine/wine-env.sh"
control="$WINEPREFIX/drive_c/launcher-server"
pidfile="$BUILD_DIR/launcher-server.pid"
if [ -f "$pidfile" ] && kill -0 "$(cat "$pidfile")" 2>/dev/null; then exit 0; fi
if (exec 3<>/dev/tcp/127.0.0.1/8000) 2>/dev/null; then
  echo "port 8000 on 127.0.0.1 is taken by another program; the launcher-server stub needs it" >&2
  exit 1
fi
mkdir -p "$control"
rm -f "$control/mode" "$control/requests.log"
/usr/bin/python3 "$root/tools/launcher_server/launcher_server.py" --port 8000 \
  --control-dir "$control" --pid-file "$pidfile" >"$BUILD_DIR/launcher-server.log" 2>&1 &
for _ in $(seq 50); do
  (exec 3<>/dev/tcp/127.0.0.1/8000) 2>/dev/null && exit 0
  sleep 0.1
done
echo "launcher-server stub did not start on 127.0.0.1:8000 (port busy?)" >&2
cat "$BUILD_DIR/launcher-server.log" >&2
exit 1
