#!/usr/bin/python3
"""Data and the curl baseline of the resource-update benchmark (bench/update-bench.sh).

  update_bench_data.py content SRC_FOLDER FILES MIB
      writes FILES files of incompressible bytes, about MIB MiB in all, below
      SRC_FOLDER (the same bytes every time; kept when already there)
  update_bench_data.py curl LIST_FILE BASE_URL OUT_FOLDER
      the same work as the launcher's batch with standard tools: the entries
      packed into touching ranges of at most about 10 MiB per package (the
      launcher's rule), fetched by curl with 3 range requests at a time, each
      entry piped through `gzip -d` into its file. Prints the seconds.
"""

import concurrent.futures
import os
import random
import subprocess
import sys
import time

SEGMENT_LIMIT = 10 * 1024 * 1024


def content(src, files, mib):
    marker = os.path.join(src, ".complete")
    wanted = f"{files} {mib}"
    if os.path.exists(marker) and open(marker).read() == wanted:
        return
    rng = random.Random(2024)
    total = mib * 1024 * 1024
    sizes = [rng.randint(1, 1000) for _ in range(files)]
    scale = total / sum(sizes)
    for i, weight in enumerate(sizes):
        path = os.path.join(src, f"dir{i % 40:02d}", f"file{i:05d}.bin")
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(rng.randbytes(max(1, int(weight * scale))))
    with open(marker, "w") as f:
        f.write(wanted)


def segments(list_file):
    rows = []
    with open(list_file, "rb") as f:
        for line in f.read().decode("utf-8").split("\r\n"):
            if line:
                name, _, folder, offset, size = line.split("=")[:5]
                rows.append((folder, int(offset), int(size), name))
    rows.sort()
    out = []
    for folder, offset, size, name in rows:
        last = out[-1] if out else None
        if last and last[0] == folder and last[2] < SEGMENT_LIMIT and last[1] + last[2] == offset:
            last[2] += size
            last[3].append((name, size))
        else:
            out.append([folder, offset, size, [(name, size)]])
    return out


def fetch(base_url, out_folder, segment):
    folder, offset, length, entries = segment
    url = f"{base_url}{folder}/tq_game.tqpkg"
    body = subprocess.run(["curl", "-s", "-f", "-r", f"{offset}-{offset + length - 1}", url],
                          check=True, stdout=subprocess.PIPE).stdout
    at = 0
    for name, size in entries:
        path = os.path.join(out_folder, *name.split("\\"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as target:
            subprocess.run(["gzip", "-d"], input=body[at:at + size], stdout=target, check=True)
        at += size


def curl(list_file, base_url, out_folder):
    work = segments(list_file)
    start = time.monotonic()
    with concurrent.futures.ThreadPoolExecutor(max_workers=3) as pool:
        for future in [pool.submit(fetch, base_url, out_folder, s) for s in work]:
            future.result()
    print(f"{time.monotonic() - start:.3f}")


if __name__ == "__main__":
    if sys.argv[1] == "content":
        content(sys.argv[2], int(sys.argv[3]), int(sys.argv[4]))
    elif sys.argv[1] == "curl":
        curl(sys.argv[2], sys.argv[3], sys.argv[4])
    else:
        sys.exit("unknown command")
