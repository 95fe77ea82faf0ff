#!/usr/bin/python3
"""Data and figures of the delta-update benchmark (bench/delta-bench.sh).

  delta_bench_data.py release FOLDER MIB
      FOLDER/v1/game/data/sea.pak: MIB MiB of game-like bytes (random blocks
      with runs of zeros: they pack to about 60 %), and FOLDER/v2/game/data/sea.pak:
      the next release, 40 scattered edits of a few bytes, 3 insertions and 1
      deletion (the same bytes every time; kept when already there)
  delta_bench_data.py chunks INDEX_V1 INDEX_V2
      MEMBER= the v2 member's size, DIFFERING= the packed bytes of the v2 chunks
      whose SHA-256 no v1 chunk has (the first chunk's with the gzip header), and
      CHUNKS= "<differing>/<all>"
  delta_bench_data.py served ACCESS_LOG FROM_BYTE
      SERVED= body bytes nginx sent for package requests after FROM_BYTE of its log
"""

import os
import random
import sys

NAME = "data\\sea.pak"


def game_like(rng, size):
    out = bytearray()
    while len(out) < size:
        out += rng.randbytes(2560) + bytes(1536)
    return out[:size]


def release(folder, mib):
    marker = os.path.join(folder, ".complete")
    if os.path.exists(marker) and open(marker).read() == str(mib):
        return
    rng = random.Random(2026)
    v1 = game_like(rng, mib * 1024 * 1024)
    v2 = bytearray(v1)
    for _ in range(40):
        at = rng.randrange(len(v2) - 8)
        v2[at:at + 4] = rng.randbytes(4)
    for _ in range(3):
        at = rng.randrange(len(v2))
        v2[at:at] = rng.randbytes(500)
    at = rng.randrange(len(v2) - 10000)
    del v2[at:at + 3000]
    for version, data in (("v1", v1), ("v2", v2)):
        path = os.path.join(folder, version, "game", *NAME.split("\\"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
    with open(marker, "w") as f:
        f.write(str(mib))


def read_chunks(index_path):
    with open(index_path, "rb") as f:
        lines = f.read().decode("utf-8").split("\n")
    chunks, mine = [], False
    for line in lines[2:]:
        fields = line.split(" ")
        if fields[0] == "file":
            mine = line.split(" ", 3)[3] == NAME
        elif fields[0] == "chunk" and mine:
            chunks.append((int(fields[3]), int(fields[4]), fields[5]))
    return chunks


def chunks(index_v1, index_v2):
    had = {sha for _, _, sha in read_chunks(index_v1)}
    new = read_chunks(index_v2)
    differing = [i for i, (_, _, sha) in enumerate(new) if sha not in had]
    cost = sum(new[i][1] + (new[i][0] if i == 0 else 0) for i in differing)
    print(f"MEMBER={new[-1][0] + new[-1][1]}\nDIFFERING={cost}\nCHUNKS={len(differing)}/{len(new)}")


def served(log, start):
    with open(log, "rb") as f:
        f.seek(start)
        text = f.read().decode()
    total = sum(int(line.split('"')[2].split()[1]) for line in text.splitlines() if "tq_game.tqpkg" in line)
    print(f"SERVED={total}")


if __name__ == "__main__":
    if sys.argv[1] == "release":
        release(sys.argv[2], int(sys.argv[3]))
    elif sys.argv[1] == "chunks":
        chunks(sys.argv[2], sys.argv[3])
    elif sys.argv[1] == "served":
        served(sys.argv[2], int(sys.argv[3]))
    else:
        sys.exit("unknown command")
