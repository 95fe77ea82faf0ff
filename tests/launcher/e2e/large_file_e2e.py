#!/usr/bin/python3
"""End-to-end test of what only a 32-bit build can get wrong: a file larger than
4 GiB, in a package whose members lie beyond 4 GiB. Its size, its chunks'
offsets, the package's offsets and the figures of the check all pass what 32
bits hold; the file installs whole, updates by its changed chunks and is
repaired by its damaged chunk, byte for byte right."""
import hashlib
import os
import random
import re
import shutil
import unittest

import launcher_e2e as e2e
from launcher_e2e import ls

GiB = 1 << 30
MiB = 1 << 20
# Just over 4 GiB, at no round number.
SIZE = 4 * GiB + 3 * MiB + 4321
NAME = "data\\ocean.pak"
# The packages' members are moved this far up: every offset the launcher asks
# for is beyond 4 GiB, as in a real package holding more than 4 GiB of files.
HOLE = 4 * GiB + 12345
# Where the file has bytes of its own (random, so they stay in the package);
# the rest is zeros, a hole on disk where the file system allows.
ISLANDS = (0, 2 * GiB, 4 * GiB - MiB // 2, SIZE - MiB)


def write_release(path, seed, edits=()):
    """The large file of one release: random islands in zeros, then edits (offset, bytes)."""
    rnd = random.Random(seed)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.truncate(SIZE)
        for at in ISLANDS:
            f.seek(at)
            f.write(rnd.randbytes(MiB))
        for at, data in edits:
            f.seek(at)
            f.write(data)


def file_md5(path):
    digest = hashlib.md5()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(16 * MiB), b""):
            digest.update(block)
    return digest.hexdigest().upper()


def move_members_up(case):
    """Moves every member of the case's one package HOLE bytes up (a hole
    before them) and the list's offsets with them; the index then names the
    new list. Gives the list's rows."""
    cdn = os.path.join(ls.DRIVE_C, "cdn", case)
    package = os.path.join(cdn, "res1", "tq_game.tqpkg")
    with open(package, "rb") as source, open(package + ".moved", "wb") as moved:
        moved.seek(HOLE)
        shutil.copyfileobj(source, moved, 16 * MiB)
    os.replace(package + ".moved", package)
    list_path = os.path.join(cdn, "conf", "list.txt")
    rows = e2e.list_rows(case)
    for row in rows.values():
        row[3] = str(int(row[3]) + HOLE)
    list_bytes = "".join("=".join(row) + "\r\n" for row in rows.values()).encode("utf-8")
    with open(list_path, "wb") as f:
        f.write(list_bytes)
    with open(list_path + ".index", "rb") as f:
        index = f.read().split(b"\n")
    index[1] = b"list " + hashlib.sha256(list_bytes).hexdigest().encode("ascii")
    with open(list_path + ".index", "wb") as f:
        f.write(b"\n".join(index))
    return rows


def ranges_asked(launcher):
    """The byte ranges of the package requests that succeeded, from the trace."""
    return sorted((int(a), int(b)) for a, b in
                  re.findall(r"下载成功\t\S*tq_game\.tqpkg\tbytes=(\d+)-(\d+)", "\n".join(launcher.lines)))


def covered(ranges, first, last):
    """Whether the ranges (sorted) cover the bytes first to last."""
    for a, b in ranges:
        if a <= first <= b:
            first = b + 1
    return first > last


class LargerThan4GiB(unittest.TestCase):
    # Emulated 32-bit code hashes 4 GiB several times per run: minutes, not seconds.
    RUN_TIMEOUT = 900

    @classmethod
    def setUpClass(cls):
        cls.root = ls.set_game_root("beyond-4gib")
        cls.game = ls.unix_path(cls.root + "game")
        cls.sources = os.path.join(e2e.CONTENT, "beyond-4gib")

    @classmethod
    def tearDownClass(cls):
        # Gigabytes: the other tests need the disk more than anyone needs these.
        for folder in (cls.game, cls.sources, os.path.join(ls.DRIVE_C, "cdn", "beyond-4gib")):
            shutil.rmtree(folder, ignore_errors=True)

    def release(self, number, edits=()):
        """Packs a release of the large file (with the stub game) and moves its members beyond 4 GiB."""
        game_dir = e2e.make_game(os.path.join("beyond-4gib", "v%d" % number), {})
        write_release(os.path.join(game_dir, *NAME.split("\\")), 41, edits)
        url = ls.pack("beyond-4gib", game_dir, extra=["--level", "1"])
        shutil.rmtree(game_dir)
        rows = move_members_up("beyond-4gib")
        ls.set_server("ok", url)
        return rows

    def run_launcher(self, record, args=()):
        return e2e.run_to_game(self, self.root + record, args, e2e.FAST, timeout=self.RUN_TIMEOUT)

    def test_installs_updates_and_repairs_beyond_4gib(self):
        rows = self.release(1)
        offset, size = int(rows[NAME][3]), int(rows[NAME][4])
        launcher = self.run_launcher("first.txt")
        self.assertEqual(rows[NAME][1], file_md5(os.path.join(self.game, *NAME.split("\\"))))
        self.assertEqual(SIZE, os.path.getsize(os.path.join(self.game, *NAME.split("\\"))))
        total = sum(int(row[4]) for row in rows.values())
        self.assertIsNotNone(launcher.wait_for("比对完成,需要下载\t2\t%d" % total, 1), launcher.lines)
        # The member was asked for where it lies, beyond 4 GiB in the package.
        self.assertTrue(covered(ranges_asked(launcher), offset, offset + size - 1), ranges_asked(launcher))

        # Release 2 changes a few bytes below 4 GiB, just beyond it and at the end.
        edits = [(1000, b"release two"), (4 * GiB + 100000, b"beyond four"), (SIZE - 100, b"at the end")]
        old_hashes = {c[4] for c in e2e.content_index("beyond-4gib")[NAME][1]}
        rows = self.release(2, edits)
        offset = int(rows[NAME][3])
        _, chunks = e2e.content_index("beyond-4gib")[NAME]
        missing = [i for i, c in enumerate(chunks) if c[4] not in old_hashes]
        self.assertTrue(any(chunks[i][0] > 4 * GiB for i in missing), "no changed chunk lies beyond 4 GiB")
        before = e2e.access_log_mark()
        launcher = self.run_launcher("second.txt")
        self.assertEqual(rows[NAME][1], file_md5(os.path.join(self.game, *NAME.split("\\"))))
        cost = e2e.chunk_task_bytes(chunks, missing)
        self.assertIsNotNone(launcher.wait_for("分块更新\t%s\t%d/%d\t%d\t%d" % (NAME, len(missing), len(chunks), SIZE, cost), 1),
                             launcher.lines)
        self.assertEqual(cost, e2e.package_bytes_served(before))
        asked = ranges_asked(launcher)
        for i in missing:
            start = offset + chunks[i][2]
            self.assertTrue(any(a <= start <= b for a, b in asked), (i, start, asked))
        self.assertEqual(set(rows), set(e2e.version_entries(self.root)))

        # One byte beyond 4 GiB damaged: the check reads every byte, and the
        # repair fetches that chunk alone.
        damaged_at = 4 * GiB + 200000
        with open(os.path.join(self.game, *NAME.split("\\")), "r+b") as f:
            f.seek(damaged_at)
            byte = f.read(1)
            f.seek(damaged_at)
            f.write(bytes([byte[0] ^ 0xFF]))
        k = next(i for i, c in enumerate(chunks) if c[0] <= damaged_at < c[0] + c[1])
        installed = sum(os.path.getsize(os.path.join(self.game, *name.split("\\"))) for name in rows)
        before = e2e.access_log_mark()
        launcher = self.run_launcher("repaired.txt", ["REPAIR=TRUE"])
        self.assertIsNotNone(launcher.wait_for("开始校验游戏文件\t2\t%d" % installed, 1), launcher.lines)
        self.assertIsNotNone(launcher.wait_for("游戏文件校验完毕\t1\t%d/%d" % (installed, installed), 1), launcher.lines)
        self.assertEqual(e2e.chunk_task_bytes(chunks, [k]), e2e.package_bytes_served(before))
        self.assertEqual(rows[NAME][1], file_md5(os.path.join(self.game, *NAME.split("\\"))))


if __name__ == "__main__":
    unittest.main(verbosity=2)
