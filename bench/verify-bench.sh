#!/usr/bin/env bash
# Repair-check benchmark: the launcher's file check (MD5 through CNG, 1 MiB
# sequential reads) under Wine against the native md5sum of the same files.
# FILES files of MIB_EACH MiB (defaults 64 and 8) below the prefix's C:\drel-bench\verify\;
# both read them from the page cache (each is run once before it is timed).
# Usage: bench/verify-bench.sh [BUILD_ROOT]   (default build-verify; the build is BUILD_ROOT/ARCH)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
FILES=${FILES:-64}
MIB_EACH=${MIB_EACH:-8}
source "$here/bench-setup.sh" verify_bench build-verify "${1:-}"
data="$WINEPREFIX/drive_c/drel-bench/verify"
mkdir -p "$data"
for i in $(seq 1 "$FILES"); do
  bench_random_file "$data/f$i.bin" $((MIB_EACH << 20))
done
run_launcher() {
  "$root/tests/wine/wine-run.sh" "$BUILD_DIR/bin/verify_bench.exe" 'C:\drel-bench\verify' | tr -d '\r' |
    sed -n 's/^VERIFY_SECONDS=//p'
}
run_launcher >/dev/null
seconds=$(run_launcher)
md5sum "$data"/*.bin >/dev/null
native=$(/usr/bin/python3 -c 'import glob, subprocess, sys, time
files = sorted(glob.glob(sys.argv[1] + "/*.bin"))
start = time.monotonic()
subprocess.run(["md5sum"] + files, check=True, stdout=subprocess.DEVNULL)
print(f"{time.monotonic() - start:.3f}")' "$data")
awk -v n="$FILES" -v each="$MIB_EACH" -v s="$seconds" -v m="$native" 'BEGIN {
  mib = n * each
  printf "files: %d x %d MiB (%d MiB)\n", n, each, mib
  printf "launcher check (Wine):  %.2f s, %.0f MiB/s\n", s, mib / s
  printf "md5sum (native):        %.2f s, %.0f MiB/s\n", m, mib / m
  printf "launcher / md5sum read speed: %.2f (goal at least 0.80)\n", m / s
}'
