#!/usr/bin/env bash
# Delta-update benchmark: a large file's next release, fetched in the chunks
# that changed against fetched whole. One line per figure with its goal. The
# launcher figures are the resource manager under Wine (update_bench.exe) on a
# root where release 1 is installed, updating to release 2 from nginx on
# 127.0.0.1 (segment pause 0):
#   bytes    what nginx served for the update, against the whole member and
#            against the packed size of the chunks that really differ
#   loopback the update's time with the content index (chunks) and without it
#            (the whole member), at loopback speed
#   slow     the same through an nginx location that sends each request at
#            10 MiB/s (the whole member is one request; chunks may use up to
#            the launcher's three)
#   packer   packing release 2 with chunks against --no-chunks
#   memory   the launcher's peak resident memory updating a HUGE_MIB MiB file
#            (HUGE_MIB=0 leaves it out: it packs and installs several GiB)
# Usage: bench/delta-bench.sh [BUILD_ROOT]   (default build-update; the build is BUILD_ROOT/ARCH)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
SIZE_MIB=${SIZE_MIB:-200}
HUGE_MIB=${HUGE_MIB:-2048}
source "$here/bench-setup.sh" "update_bench" build-update "${1:-}"
drive_c="$WINEPREFIX/drive_c"
sets="$drive_c/cdn-src/bench-delta"
cdn="$drive_c/cdn/bench-delta"
slow="$drive_c/cdn/rate10/bench-delta"
roots="$drive_c/drel-bench/delta"
logs="$BUILD_DIR/delta-bench-logs"
access_log="$BUILD_DIR/nginx/logs/access.log"
export PYTHONDONTWRITEBYTECODE=1
data() { /usr/bin/python3 "$here/delta_bench_data.py" "$@"; }
pack() { /usr/bin/python3 "$root/tools/packer/tqpack.py" --game "$1" --out "$2" "${@:3}" >/dev/null; }
quotient() { awk -v a="$1" -v b="$2" -v f="%.${3:-2}f" 'BEGIN { printf f, a / b }'; }
verdict() { awk -v v="$1" -v g="$2" 'BEGIN { print (v <= g) ? "met" : "missed" }'; }
mib() { quotient "$1" 1048576 1; }
mkdir -p "$logs" "$roots"

run() {
  local name=$1 status=0; shift
  /usr/bin/python3 "$here/update_bench_data.py" peak "$root/tests/wine/wine-run.sh" "$BUILD_DIR/bin/update_bench.exe" \
    "$@" > "$logs/$name.txt" 2>&1 || status=$?
  sed -i 's/\r$//' "$logs/$name.txt"
  if [ "$status" -ne 0 ]; then echo "update_bench.exe $* failed ($status): see $logs/$name.txt" >&2; exit 1; fi
}
value() { sed -n "s/^$2=//p" "$logs/$1.txt" | tail -n 1; }

# prepare SET MIB: both releases, packed once per size: SET-v1, SET-v2 (with
# its index), SET-v2-whole (the same without the index), and the slow copies.
prepare() {
  data release "$sets/$1" "$2"
  if [ "$(cat "$cdn/$1.packed" 2>/dev/null)" != "$2" ]; then
    rm -rf "${cdn:?}/$1"-v* "${slow:?}/$1"-v*
    pack "$sets/$1/v1/game" "$cdn/$1-v1"
    pack "$sets/$1/v2/game" "$cdn/$1-v2"
    cp -r "$cdn/$1-v2" "$cdn/$1-v2-whole" && rm "$cdn/$1-v2-whole/conf/list.txt.index"
    mkdir -p "$slow" && cp -r "$cdn/$1-v2" "$cdn/$1-v2-whole" "$slow/"
    echo "$2" > "$cdn/$1.packed"
  fi
}
# update LOG SET LIST_BASE CDN_CASE: release 1 installed afresh, then timed from
# Initialize on (the list, the comparison with its cutting and hashing, the batch):
# the update to CDN_CASE.
update() {
  rm -rf "${roots:?}/$2"
  run "$1-v1" install "${base}bench-delta/$2-v1/conf/list.txt" "C:\\drel-bench\\delta\\$2\\" 0
  cat "$cdn/$2-v2"/res*/tq_game.tqpkg > /dev/null  # from the page cache
  local mark
  mark=$(stat -c %s "$access_log")
  run "$1" update "$3/$4/conf/list.txt" "C:\\drel-bench\\delta\\$2\\" 0
  cmp -s "$sets/$2/v2/game/data/sea.pak" "$roots/$2/game/data/sea.pak" || { echo "$1: the update is not release 2" >&2; exit 1; }
  data served "$access_log" "$mark" >> "$logs/$1.txt"
}

prepare delta "$SIZE_MIB"
data chunks "$cdn/delta-v1/conf/list.txt.index" "$cdn/delta-v2/conf/list.txt.index" > "$logs/chunks.txt"
member=$(sed -n 's/^MEMBER=//p' "$logs/chunks.txt")
differing=$(sed -n 's/^DIFFERING=//p' "$logs/chunks.txt")
update chunked delta "${base}bench-delta" delta-v2
update whole delta "${base}bench-delta" delta-v2-whole
update chunked-slow delta "${base}rate10/bench-delta" delta-v2
update whole-slow delta "${base}rate10/bench-delta" delta-v2-whole
rm -rf "${roots:?}/delta"

served=$(value chunked SERVED)
share=$(quotient "$served" "$member" 3)
over=$(quotient "$served" "$differing" 3)
echo "bytes: $SIZE_MIB MiB file, 40 edits, 3 insertions, 1 deletion; member $(mib "$member") MiB," \
  "$(sed -n 's/^CHUNKS=//p' "$logs/chunks.txt") chunks differ ($(mib "$differing") MiB packed):" \
  "served $(mib "$served") MiB = $share of the member (goal <= 0.35, $(verdict "$share" 0.35))," \
  "$over of the differing chunks (goal <= 1.1, $(verdict "$over" 1.1)); whole: $(mib "$(value whole SERVED)") MiB"
for speed in loopback slow; do
  suffix=${speed#loopback} label="loopback"
  [ "$speed" = slow ] && suffix=-slow label="slow (10 MiB/s per request)"
  chunked=$(value "chunked$suffix" UPDATE_SECONDS) whole=$(value "whole$suffix" UPDATE_SECONDS)
  ratio=$(quotient "$chunked" "$whole")
  echo "$label: chunks $chunked s, whole member $whole s: ratio $ratio (goal <= 1.0, $(verdict "$ratio" 1.0))"
done

# packer
start=$(date +%s.%N); pack "$sets/delta/v2/game" "$logs/pack-chunked"; chunked=$(awk -v s="$start" -v e="$(date +%s.%N)" 'BEGIN { print e - s }')
start=$(date +%s.%N); pack "$sets/delta/v2/game" "$logs/pack-plain" --no-chunks; plain=$(awk -v s="$start" -v e="$(date +%s.%N)" 'BEGIN { print e - s }')
rm -rf "$logs/pack-chunked" "$logs/pack-plain"
speed=$(quotient "$plain" "$chunked")
echo "packer: $SIZE_MIB MiB with chunks $(quotient "$chunked" 1 2) s, without $(quotient "$plain" 1 2) s:" \
  "speed $speed of unchunked (goal >= 0.8, $(awk -v v="$speed" 'BEGIN { print (v >= 0.8) ? "met" : "missed" }'))"

# memory
if [ "$HUGE_MIB" -gt 0 ]; then
  prepare huge "$HUGE_MIB"
  update huge huge "${base}bench-delta" huge-v2
  rm -rf "${roots:?}/huge"
  peak=$(quotient "$(value huge PEAK_KIB)" 1024 1)
  echo "memory: updating a $HUGE_MIB MiB chunked file ($(sed -n 's/^SERVED=//p' "$logs/huge.txt" | awk '{ printf "%.1f", $1 / 1048576 }') MiB served):" \
    "peak $peak MiB (goal < 100, $(verdict "$peak" 99.9)), first install $(quotient "$(value huge-v1 PEAK_KIB)" 1024 1) MiB"
fi
