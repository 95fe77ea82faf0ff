#!/usr/bin/env bash
# Resource-update benchmark: a game-resource batch of FILES (default 2000)
# files, about MIB (default 210) MiB of incompressible bytes packed by the
# content packer into 4 packages, downloaded from nginx on 127.0.0.1 by the
# resource manager under Wine (StartBatch to ResourceUpdateFinished), then the
# same work done by curl (3 range requests at a time) piped through gzip -d into
# files. Prints both times, MiB/s, the ratio, and the parse-and-compare time of
# a 100,000-entry list. Both results are checked against the source files.
# Usage: bench/update-bench.sh [BUILD_DIR]   (update_bench must be built there)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
FILES=${FILES:-2000}
MIB=${MIB:-210}
source "$here/bench-setup.sh" update_bench build-update "${1:-}"
drive_c="$WINEPREFIX/drive_c"
src="$drive_c/cdn-src/bench-update/game"
cdn="$drive_c/cdn/bench-update"
export PYTHONDONTWRITEBYTECODE=1

/usr/bin/python3 "$here/update_bench_data.py" content "$src" "$FILES" "$MIB"
/usr/bin/python3 "$root/tools/packer/tqpack.py" --game "$src" --out "$cdn" --folders 4 >/dev/null
packed=$(cat "$cdn"/res*/tq_game.tqpkg | wc -c)
cat "$cdn"/res*/tq_game.tqpkg > /dev/null  # both runs start from the page cache

rm -rf "$drive_c/drel-bench/update"
out=$("$root/tests/wine/wine-run.sh" "$BUILD_DIR/bin/update_bench.exe" "${base}bench-update/conf/list.txt" \
      'C:\drel-bench\update\' | tr -d '\r' | grep -E '^(UPDATE|COMPARE)_' || true)
value() { echo "$out" | sed -n "s/^$1=//p"; }
seconds=$(value UPDATE_SECONDS)
[ -n "$seconds" ] || { echo "update_bench.exe gave no result" >&2; exit 1; }
for run in game nopause/game; do
  diff -r -q "$src" "$drive_c/drel-bench/update/$run" >/dev/null || { echo "launcher files ($run) differ from the source" >&2; exit 1; }
done

curl_out="$BUILD_DIR/bench-update-curl"
rm -rf "$curl_out"
curl_seconds=$(/usr/bin/python3 "$here/update_bench_data.py" curl "$cdn/conf/list.txt" "${base}bench-update/" "$curl_out")
diff -r -q "$src" "$curl_out" >/dev/null || { echo "curl files differ from the source" >&2; exit 1; }
rm -rf "$curl_out"

mib=$(awk -v b="$packed" 'BEGIN { printf "%.1f", b / 1048576 }')
awk -v n="$FILES" -v mib="$mib" -v s="$seconds" -v np="$(value UPDATE_NOPAUSE_SECONDS)" -v c="$curl_seconds" 'BEGIN {
  printf "batch: %d files, %s MiB compressed\n", n, mib
  printf "launcher  (StartBatch to ResourceUpdateFinished): %.2f s, %.1f MiB/s\n", s, mib / s
  printf "launcher, 100 ms segment pause at 0:              %.2f s, %.1f MiB/s\n", np, mib / np
  printf "curl (3 range requests) | gzip -d into files:     %.2f s, %.1f MiB/s\n", c, mib / c
  printf "ratio launcher/curl (throughput): %.2f (product), %.2f (no pause)\n", c / s, c / np
}'
echo "parse and compare of a $(value COMPARE_ENTRIES)-entry list: $(value COMPARE_MS) ms ($(value COMPARE_DOWNLOADS) changes)"
