#!/usr/bin/python3
"""Data, the segment plan and the peak-memory probe of the resource-update
benchmark (bench/update-bench.sh).

  update_bench_data.py content SET_FOLDER FILES KIB
      writes FILES files of incompressible bytes, about KIB KiB in all, below
      SET_FOLDER/game (the same bytes every time; kept when already there)
  update_bench_data.py plan LIST_FILE BASE_URL PLAN_FILE
      the launcher's work as the native baseline (native_unpack) reads it: the
      list's entries packed into touching ranges of at most about 10 MiB per
      package (the launcher's rule), one line "URL START LENGTH COUNT" per
      range followed by COUNT lines "SIZE NAME" (the entry's packed size and
      its name with "/")
  update_bench_data.py peak COMMAND [ARG...]
      runs the command, then prints PEAK_KIB=, the most resident memory it (or
      any process it waited for) ever held, as the kernel reports it to wait4;
      exits with the command's code
"""

import os
import random
import shutil
import subprocess
import sys

SEGMENT_LIMIT = 10 * 1024 * 1024


def content(set_folder, files, kib):
    marker = os.path.join(set_folder, ".complete")
    wanted = f"{files} {kib}"
    if os.path.exists(marker) and open(marker).read() == wanted:
        return
    rng = random.Random(2024)
    total = kib * 1024
    sizes = [rng.randint(1, 1000) for _ in range(files)]
    scale = total / sum(sizes)
    game = os.path.join(set_folder, "game")
    shutil.rmtree(game, ignore_errors=True)  # no file of another size may stay
    for i, weight in enumerate(sizes):
        path = os.path.join(game, f"dir{i % 40:02d}", f"file{i:05d}.bin")
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
            last[3].append((size, name))
        else:
            out.append([folder, offset, size, [(size, name)]])
    return out


def plan(list_file, base_url, plan_file):
    with open(plan_file, "w") as f:
        for folder, offset, length, entries in segments(list_file):
            f.write(f"{base_url}{folder}/tq_game.tqpkg {offset} {length} {len(entries)}\n")
            for size, name in entries:
                f.write(f"{size} {name.replace(chr(92), '/')}\n")


def peak(command):
    child = subprocess.Popen(command)
    _, status, usage = os.wait4(child.pid, 0)
    child.returncode = os.waitstatus_to_exitcode(status)
    print(f"PEAK_KIB={usage.ru_maxrss}", flush=True)
    return child.returncode if child.returncode >= 0 else 1


if __name__ == "__main__":
    if sys.argv[1] == "content":
        content(sys.argv[2], int(sys.argv[3]), int(sys.argv[4]))
    elif sys.argv[1] == "plan":
        plan(sys.argv[2], sys.argv[3], sys.argv[4])
    elif sys.argv[1] == "peak":
        sys.exit(peak(sys.argv[2:]))
    else:
        sys.exit("unknown command")
