#!/usr/bin/env bash
# Resource-update benchmark: what players wait for, one line per figure with
# its goal. Every launcher figure is the resource manager under Wine
# (update_bench.exe, one process per scenario) fetching from nginx on
# 127.0.0.1, with the engine's segment pause at 0 unless a line says otherwise.
#   bytes    a first install of BYTES_FILES files, about BYTES_MIB MiB of
#            incompressible bytes in 4 packages, against the native baseline
#            (native_unpack: 3 threads, curl range requests of the same touching
#            ranges, zlib inflating into files as the bytes arrive); a second
#            line against the same baseline doing the checks the launcher must
#            do (native_unpack --md5-fsync: the MD5 of every file, fsync before
#            close), which the goal's baseline leaves out; a third with the
#            product's 100 ms segment pause
#   files    a first install of MANY_FILES small files (about MANY_MIB MiB)
#            against file_floor.exe writing the same files under the same Wine
#            prefix and making them durable as the launcher must before it
#            records a file: a writing thread hands each file to a flushing
#            thread (file_floor --flush-threads 1); two more lines against the
#            floor flushing on three threads, as the launcher does, and against
#            the floor that only writes, one file after another
#   memory   the launcher process's peak resident memory (Wine's own share
#            included, from wait4) for a SMALL_MIB and a LARGE_MIB MiB update of
#            BYTES_FILES files, for the MANY_FILES-file install and for a first
#            install of HUGE_FILES files (about HUGE_MIB MiB)
#   compare  reading both lists of COMPARE_ENTRIES entries from their bytes as
#            the resource manager does (the CDN list strictly), mapping and
#            comparing them; the time of each step beside the total
#   nothing to do  Initialize to ResourceUpdateFinished with the MANY_FILES and
#            the HUGE_FILES files installed, each against FEW_FILES files
#            installed; IDLE_RUNS rounds, the three launches of a round back to
#            back, the median difference and the spread of the rounds
#            printed, and where the last round's launches spent their time
# Every installed tree is checked against its source files. Data and packages
# are made once per size and kept in the build's Wine prefix; the trace of every
# run goes to BUILD_DIR/update-bench-logs/.
# Usage: bench/update-bench.sh [BUILD_ROOT]   (default build-update; the build is BUILD_ROOT/ARCH)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
BYTES_FILES=${BYTES_FILES:-200}
BYTES_MIB=${BYTES_MIB:-140}
SMALL_MIB=${SMALL_MIB:-20}
LARGE_MIB=${LARGE_MIB:-200}
MANY_FILES=${MANY_FILES:-20001}
MANY_MIB=${MANY_MIB:-113}
FEW_FILES=${FEW_FILES:-50}
HUGE_FILES=${HUGE_FILES:-100000}
HUGE_MIB=${HUGE_MIB:-100}
COMPARE_ENTRIES=${COMPARE_ENTRIES:-100000}
IDLE_RUNS=${IDLE_RUNS:-3}
source "$here/bench-setup.sh" "update_bench file_floor" build-update "${1:-}"
drive_c="$WINEPREFIX/drive_c"
sets="$drive_c/cdn-src/bench-update"  # source files: SET/game/...
cdn="$drive_c/cdn/bench-update"       # packed: SET/conf/list.txt, SET/resN/tq_game.tqpkg
roots="$drive_c/drel-bench/update"    # where the launcher and the floor write
logs="$BUILD_DIR/update-bench-logs"
native="$BUILD_DIR/bench-native"
export PYTHONDONTWRITEBYTECODE=1
data() { /usr/bin/python3 "$here/update_bench_data.py" "$@"; }

mkdir -p "$logs" "$native"
if [ ! -x "$native/native_unpack" ] || [ "$here/native_unpack.c" -nt "$native/native_unpack" ]; then
  gcc -O2 -Wall -pthread -o "$native/native_unpack" "$here/native_unpack.c" -lz -lnettle
fi

# prepare SET FILES KIB: the source files and their packages, made again only when the size changed.
prepare() {
  data content "$sets/$1" "$2" "$3"
  if [ "$(cat "$cdn/$1/.packed" 2>/dev/null)" != "$2 $3" ]; then
    rm -rf "${cdn:?}/$1"
    /usr/bin/python3 "$root/tools/packer/tqpack.py" --game "$sets/$1/game" --out "$cdn/$1" --folders 4 >/dev/null
    echo "$2 $3" > "$cdn/$1/.packed"
  fi
  cat "$cdn/$1"/res*/tq_game.tqpkg > /dev/null  # every run starts from the page cache
}
# quotient A B [DECIMALS]: A / B, printed with 2 (or DECIMALS) decimals.
quotient() { awk -v a="$1" -v b="$2" -v f="%.${3:-2}f" 'BEGIN { printf f, a / b }'; }
packed_mib() { quotient "$(cat "$cdn/$1"/res*/tq_game.tqpkg | wc -c)" 1048576 1; }
list_url() { echo "${base}bench-update/$1/conf/list.txt"; }

# run LOG PROGRAM ARG...: one Windows program under Wine and the peak probe; its output in LOG.
run() {
  local name=$1 program=$2 status=0; shift 2
  data peak "$root/tests/wine/wine-run.sh" "$BUILD_DIR/bin/$program.exe" "$@" > "$logs/$name.txt" 2>&1 || status=$?
  sed -i 's/\r$//' "$logs/$name.txt"
  if [ "$status" -ne 0 ]; then
    echo "$program.exe $* failed with exit code $status:" \
      "$(grep -a '_FAILED=' "$logs/$name.txt" || echo "see $logs/$name.txt")" >&2
    exit 1
  fi
}
value() { sed -n "s/^$2=//p" "$logs/$1.txt" | tail -n 1; }
peak_mib() { quotient "$(value "$1" PEAK_KIB)" 1024 1; }
same_files() { diff -r -q "$sets/$1/game" "$2" > /dev/null || { echo "$3 differ from the source ($1)" >&2; exit 1; }; }

# install LOG SET PAUSE_MS: a first install of SET into a fresh root, checked against the source.
install() {
  rm -rf "${roots:?}/$1"
  run "$1" update_bench install "$(list_url "$2")" "C:\\drel-bench\\update\\$1\\" "$3"
  same_files "$2" "$roots/$1/game" "launcher files ($1)"
}
# verdict VALUE GOAL [below]: whether VALUE is at most GOAL (below it, with "below").
verdict() { awk -v v="$1" -v g="$2" -v strict="${3:-}" 'BEGIN { print (v < g || (v == g && !strict)) ? "met" : "missed" }'; }

prepare bytes "$BYTES_FILES" $((BYTES_MIB * 1024))
prepare small "$BYTES_FILES" $((SMALL_MIB * 1024))
prepare large "$BYTES_FILES" $((LARGE_MIB * 1024))
prepare many "$MANY_FILES" $((MANY_MIB * 1024))
prepare few "$FEW_FILES" $((MANY_MIB * 1024 * FEW_FILES / MANY_FILES + 1))  # files as small as the many
prepare huge "$HUGE_FILES" $((HUGE_MIB * 1024))

# bytes
install bytes bytes 0
install bytes-pause bytes 100
data plan "$cdn/bytes/conf/list.txt" "${base}bench-update/bytes/" "$native/plan.txt"
rm -rf "$native/out"
native_seconds=$("$native/native_unpack" "$native/plan.txt" "$native/out")
same_files bytes "$native/out" "native files"
rm -rf "$native/out"
checked_seconds=$("$native/native_unpack" "$native/plan.txt" "$native/out" --md5-fsync)
same_files bytes "$native/out" "native files (with checks)"
rm -rf "$native/out" "${roots:?}/bytes" "$roots/bytes-pause"
launcher_seconds=$(value bytes UPDATE_SECONDS)
ratio=$(quotient "$launcher_seconds" "$native_seconds")
echo "bytes: $BYTES_FILES files, $(packed_mib bytes) MiB packed: launcher $launcher_seconds s," \
  "native (3 threads, curl ranges, zlib) $native_seconds s: ratio $ratio (goal <= 1.0, $(verdict "$ratio" 1.0))"
echo "bytes against native with the launcher's checks (MD5 of every file, fsync before close):" \
  "$checked_seconds s: ratio $(quotient "$launcher_seconds" "$checked_seconds")"
pause_seconds=$(value bytes-pause UPDATE_SECONDS)
echo "bytes with the product's 100 ms segment pause: launcher $pause_seconds s:" \
  "ratio $(quotient "$pause_seconds" "$native_seconds") against native"

# files
install many many 0
rm -rf "${roots:?}/floor"
run floor-flush file_floor 'C:\cdn\bench-update\many\conf\list.txt' 'C:\cdn-src\bench-update\many\game' \
  'C:\drel-bench\update\floor\game' --flush-threads 1
same_files many "$roots/floor/game" "floor files (flushed)"
rm -rf "${roots:?}/floor"
run floor-flush3 file_floor 'C:\cdn\bench-update\many\conf\list.txt' 'C:\cdn-src\bench-update\many\game' \
  'C:\drel-bench\update\floor\game' --flush-threads 3
same_files many "$roots/floor/game" "floor files (flushed on three threads)"
rm -rf "${roots:?}/floor"
run floor file_floor 'C:\cdn\bench-update\many\conf\list.txt' 'C:\cdn-src\bench-update\many\game' \
  'C:\drel-bench\update\floor\game'
same_files many "$roots/floor/game" "floor files"
rm -rf "${roots:?}/floor"
launcher_seconds=$(value many UPDATE_SECONDS)
flushed_seconds=$(value floor-flush FLOOR_SECONDS)
ratio=$(quotient "$launcher_seconds" "$flushed_seconds")
echo "files: $(value floor FLOOR_FILES) files, $(quotient "$(value floor FLOOR_BYTES)" 1048576 1) MiB:" \
  "launcher $launcher_seconds s, Win32 floor writing them and flushing them on a second thread" \
  "$flushed_seconds s: ratio $ratio (goal <= 1.0, $(verdict "$ratio" 1.0))"
flushed3_seconds=$(value floor-flush3 FLOOR_SECONDS)
echo "files against the floor flushing on three threads, as the launcher does: $flushed3_seconds s:" \
  "ratio $(quotient "$launcher_seconds" "$flushed3_seconds")"
floor_seconds=$(value floor FLOOR_SECONDS)
echo "files against the floor that only writes them, one after another: $floor_seconds s:" \
  "ratio $(quotient "$launcher_seconds" "$floor_seconds")"

# peak memory
install small small 0
install large large 0
install huge huge 0
rm -rf "${roots:?}/small" "$roots/large"
small=$(peak_mib small) large=$(peak_mib large) many=$(peak_mib many) huge=$(peak_mib huge)
growth=$(awk -v s="$small" -v l="$large" 'BEGIN { printf "%.1f", l - s }')
echo "peak memory: $small MiB for $(packed_mib small) MiB, $large MiB for $(packed_mib large) MiB:" \
  "growth $growth MiB (goal <= 10, $(verdict "$growth" 10));" \
  "$many MiB for $MANY_FILES files (goal < 100, $(verdict "$many" 100 below))"
echo "peak memory of a first install of $HUGE_FILES files ($(packed_mib huge) MiB packed," \
  "$(value huge UPDATE_SECONDS) s): $huge MiB (goal < 160, $(verdict "$huge" 160 below))"

# parse and compare
run compare update_bench compare "$COMPARE_ENTRIES"
compare_ms=$(value compare COMPARE_MS)
echo "parse and compare: $(value compare COMPARE_ENTRIES)-entry list, $(value compare COMPARE_DOWNLOADS) changes:" \
  "$compare_ms ms (goal <= 150 ms, $(verdict "$compare_ms" 150))"
echo "parse and compare, step by step: $(value compare COMPARE_STEPS)"

# nothing to do: each round launches with the few, the many and the huge
# installation back to back, so every difference is taken within one round.
install few few 0
idle() { run "idle-$1-$2" update_bench idle "$(list_url "$1")" "C:\\drel-bench\\update\\$1\\" 0; value "idle-$1-$2" IDLE_SECONDS; }
many_differences=() huge_differences=()
for round in $(seq "$IDLE_RUNS"); do
  few_seconds=$(idle few "$round")
  many_seconds=$(idle many "$round")
  huge_seconds=$(idle huge "$round")
  many_differences+=("$(awk -v m="$many_seconds" -v f="$few_seconds" 'BEGIN { printf "%.3f", m - f }')")
  huge_differences+=("$(awk -v m="$huge_seconds" -v f="$few_seconds" 'BEGIN { printf "%.3f", m - f }')")
  echo "nothing to do, round $round: $few_seconds s with $FEW_FILES installed files," \
    "$many_seconds s with $MANY_FILES, $huge_seconds s with $HUGE_FILES"
done
rm -rf "${roots:?}/many" "$roots/few" "$roots/huge"
# median DIFFERENCE...: the middle value (the lower middle of an even count).
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
spread() { printf '%s\n' "$@" | sort -g | awk 'NR == 1 { lo = $1 } { hi = $1 } END { print lo "-" hi }'; }
many_difference=$(median "${many_differences[@]}")
huge_difference=$(median "${huge_differences[@]}")
echo "nothing to do: $MANY_FILES installed files against $FEW_FILES: difference $many_difference s" \
  "(median of $IDLE_RUNS rounds, $(spread "${many_differences[@]}") s; goal <= 0.2 s, $(verdict "$many_difference" 0.2))"
echo "nothing to do: $HUGE_FILES installed files against $FEW_FILES: difference $huge_difference s" \
  "(median of $IDLE_RUNS rounds, $(spread "${huge_differences[@]}") s; goal <= 1.0 s, $(verdict "$huge_difference" 1.0))"
# Where a launch's time goes: ms from Initialize to each state the manager
# reported (2 version.txt read and mapped, 4 the launcher's manifest, 6 the CDN
# list fetched, read and mapped, 7 the game folder scanned and the lists
# compared, 17 the end).
echo "nothing to do, step by step (state@ms, last round): $FEW_FILES files $(value "idle-few-$IDLE_RUNS" IDLE_STEPS);" \
  "$HUGE_FILES files $(value "idle-huge-$IDLE_RUNS" IDLE_STEPS)"
