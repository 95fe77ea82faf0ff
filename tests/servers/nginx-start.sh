#!/usr/bin/env bash
# Starts nginx as the CDN origin for the tests: 127.0.0.1 only, serving the
# folder C:\cdn of the private Wine prefix (so Windows tests can write the
# packages it serves), byte ranges on. Writes the base URL to
# BUILD_DIR/nginx/url (for example http://127.0.0.1:18080/).
# Usage: nginx-start.sh BUILD_DIR
set -euo pipefail
BUILD_DIR=$(cd "$1" && pwd)
source "$(dirname "$0")/../wine/wine-env.sh"
dir="$BUILD_DIR/nginx"
www="$WINEPREFIX/drive_c/cdn"
mkdir -p "$dir/logs" "$dir/tmp" "$www"
if [ -f "$dir/nginx.pid" ] && kill -0 "$(cat "$dir/nginx.pid")" 2>/dev/null; then exit 0; fi

for port in $(seq 18080 18099); do
  if ! (exec 3<>/dev/tcp/127.0.0.1/$port) 2>/dev/null; then break; fi
done
cat > "$dir/nginx.conf" <<CONF
worker_processes 1;
daemon on;
pid $dir/nginx.pid;
error_log $dir/logs/error.log warn;
events { worker_connections 256; }
http {
  access_log $dir/logs/access.log;
  # Which bytes of which package each request got, and when it ended: the
  # pause test checks what was served twice, the limit benchmark the rate.
  log_format ranges '\$msec \$request_time \$status \$body_bytes_sent "\$http_range" \$uri';
  access_log $dir/logs/ranges.log ranges;
  client_body_temp_path $dir/tmp/body;
  proxy_temp_path $dir/tmp/proxy;
  fastcgi_temp_path $dir/tmp/fastcgi;
  uwsgi_temp_path $dir/tmp/uwsgi;
  scgi_temp_path $dir/tmp/scgi;
  types { text/plain txt; application/octet-stream tqpkg; }
  default_type application/octet-stream;
  sendfile on;
  server {
    listen 127.0.0.1:$port;
    root $www;
    location / { }
    # Content below /slow/ trickles, so a download can be watched and photographed.
    location /slow/ { limit_rate 3m; }
    # A slow line for the benchmarks: each request at 10 MiB/s.
    location /rate10/ { limit_rate 10m; }
    # A CDN edge that serves each request at 2 MiB/s: ranges of many small
    # files take seconds, as on a player's line.
    location /rate2/ { limit_rate 2m; }
    # A CDN whose content index answers 503, and one whose index is never
    # answered: nginx waits on BUILD_DIR/nginx/silent.sock, where a test
    # listens and says nothing (without a listener nginx answers 502).
    location ~ ^/index503/.*\.index\$ { return 503; }
    location ~ ^/indexsilent/.*\.index\$ {
      proxy_pass http://unix:$dir/silent.sock;
      proxy_read_timeout 600s;
    }
    # A CDN that refuses its packages.
    location ~ ^/forbidden/.*\.tqpkg\$ { return 403; }
    # Packages below /drip/ come at one byte a second after their first 4 KiB:
    # a server that never stops and never gets anywhere.
    location ~ ^/drip/.*\.tqpkg\$ { limit_rate 1; limit_rate_after 4k; }
    # The same for a whole-update CDN's package in a folder named "drip".
    location ~ ^/update/[^/]+/drip/[^/]+\.tqpkg\$ { limit_rate 1; limit_rate_after 4k; }
  }
}
CONF
nginx -c "$dir/nginx.conf" -p "$dir" 2>>"$dir/logs/start.log"
echo "http://127.0.0.1:$port/" > "$dir/url"
cp "$dir/url" "$www/.base-url"
