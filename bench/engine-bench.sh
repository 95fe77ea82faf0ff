#!/usr/bin/env bash
# Download-engine benchmark: nginx on 127.0.0.1 serves one package of
# SIZE_MIB (default 300) MiB; engine_bench.exe fetches it under Wine as touching
# 1 MiB files packed into 10 MiB ranges on 3 workers, then curl fetches the same
# bytes with 3 parallel range requests. Prints MiB/s for both and the ratio.
# Usage: bench/engine-bench.sh [BUILD_ROOT]   (default build-engine; the build is BUILD_ROOT/ARCH)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
SIZE_MIB=${SIZE_MIB:-300}
source "$here/bench-setup.sh" engine_bench build-engine "${1:-}"
pkg="$WINEPREFIX/drive_c/cdn/bench/package.tqpkg"
size=$((SIZE_MIB * 1024 * 1024))
bench_random_file "$pkg" "$size"
url="${base}bench/package.tqpkg"
cat "$pkg" > /dev/null  # both runs start from the page cache

out=$("$root/tests/wine/wine-run.sh" "$BUILD_DIR/bin/engine_bench.exe" "$url" "$size" | tr -d '\r')
echo "$out" | grep -a "^engine" || true
engine=$(echo "$out" | sed -n 's/^ENGINE_MIBS=//p')
nopause=$(echo "$out" | sed -n 's/^ENGINE_NOPAUSE_MIBS=//p')

third=$((size / 3))
start=$(date +%s%N)
curl -s -o /dev/null -r "0-$((third - 1))" "$url" &
curl -s -o /dev/null -r "$third-$((2 * third - 1))" "$url" &
curl -s -o /dev/null -r "$((2 * third))-$((size - 1))" "$url" &
wait
end=$(date +%s%N)
curl_mibs=$(awk -v mib="$SIZE_MIB" -v ns=$((end - start)) 'BEGIN { printf "%.1f", mib / (ns / 1e9) }')
echo "curl   ${SIZE_MIB} MiB, 3 parallel range requests: ${curl_mibs} MiB/s"
awk -v e="$engine" -v n="$nopause" -v c="$curl_mibs" \
  'BEGIN { printf "ratio engine/curl: %.2f (product pauses), %.2f (no pause)\n", e / c, n / c }'
