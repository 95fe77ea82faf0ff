#!/usr/bin/env bash
# Speed-limit benchmark: nginx on 127.0.0.1 serves one package of SIZE_MIB
# (default 60) MiB; engine_bench.exe fetches it under Wine on 3 workers sharing
# one limit of LIMIT_MIBS (default 2) MiB/s, as touching 1 MiB files in 10 MiB
# ranges. Prints the rate nginx saw (the bytes of the package requests in its
# log over the time from the first request's start to the last one's end),
# the rate the program saw, and the share of the limit.
# Usage: bench/limit-bench.sh [BUILD_ROOT]   (default build-engine; the build is BUILD_ROOT/ARCH)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
SIZE_MIB=${SIZE_MIB:-60}
LIMIT_MIBS=${LIMIT_MIBS:-2}
source "$here/bench-setup.sh" engine_bench build-engine "${1:-}"
pkg="$WINEPREFIX/drive_c/cdn/bench/limited.tqpkg"
size=$((SIZE_MIB * 1024 * 1024))
bench_random_file "$pkg" "$size"
url="${base}bench/limited.tqpkg"
log="$BUILD_DIR/nginx/logs/ranges.log"
mark=$(stat -c %s "$log" 2>/dev/null || echo 0)

out=$("$root/tests/wine/wine-run.sh" "$BUILD_DIR/bin/engine_bench.exe" "$url" "$size" 1048576 \
      $((LIMIT_MIBS * 1024 * 1024)) | tr -d '\r')
echo "$out" | grep -a "^engine" || true
seen=$(echo "$out" | sed -n 's/^LIMITED_MIBS=//p')
# ranges.log: msec request_time status bytes "range" uri; a request began at msec - request_time.
tail -c +$((mark + 1)) "$log" | awk -v limit="$LIMIT_MIBS" -v seen="$seen" -v size="$size" '
  $6 ~ /limited\.tqpkg$/ {
    bytes += $4; start = $1 - $2
    if (first == "" || start < first) first = start
    if ($1 > last) last = $1
    n++
  }
  END {
    if (n == 0) { print "nginx logged no request of the package"; exit 1 }
    rate = bytes / (last - first) / 1048576
    printf "nginx: %d requests, %.1f MiB in %.2f s: %.3f MiB/s (limit %d MiB/s, %.1f%% of it)\n",
           n, bytes / 1048576, last - first, rate, limit, 100 * rate / limit
    printf "engine_bench saw %.3f MiB/s\n", seen
    if (bytes != size) printf "note: nginx sent %d bytes for a package of %d\n", bytes, size
  }'
