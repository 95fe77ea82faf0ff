"""Tests of the content packer (tools/packer/tqpack.py), run on the build host."""

import gzip
import hashlib
import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "packer"))
import tqpack  # noqa: E402


def write(root, name, data):
    path = os.path.join(root, *name.split("\\"))
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def read_list(out, list_path="conf/list.txt"):
    with open(os.path.join(out, *list_path.split("/")), "rb") as f:
        raw = f.read()
    return raw, [line.split("=") for line in raw.decode("utf-8").split("\r\n") if line]


def entry_bytes(out, columns):
    with open(os.path.join(out, columns[2], tqpack.PACKAGE_NAME), "rb") as f:
        f.seek(int(columns[3]))
        return f.read(int(columns[4]))


class PackerTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.root = self.tmp.name
        self.game = os.path.join(self.root, "game")
        self.launcher = os.path.join(self.root, "launcher")
        self.out = os.path.join(self.root, "cdn")
        self.files = {
            "a.txt": b"hello\n",
            "B.txt": b"upper first",
            "sub\\dir\\data.bin": bytes(range(256)) * 40,
            "中文\\资源.txt": "内容".encode("utf-8"),
            "empty.dat": b"",
            "raw\\plain.txt": b"stored as it is",
            "raw\\looks-gzip.bin": b"\x1f\x8b not really",
        }
        for name, data in self.files.items():
            write(self.game, name, data)
        write(self.launcher, "talmodrel.exe", b"MZ launcher")
        self.warnings = []

    def tearDown(self):
        self.tmp.cleanup()

    def pack(self, out=None, **options):
        options.setdefault("warn", self.warnings.append)
        return tqpack.pack(self.game, self.launcher, out or self.out, **options)

    def test_every_entry_decompresses_to_its_file_with_its_md5(self):
        self.pack(folders=3, store=["raw/*"])
        _, rows = read_list(self.out)
        expected = dict(self.files, **{"talmodrel.exe": b"MZ launcher"})
        self.assertEqual(sorted(expected), sorted(r[0] for r in rows))
        for columns in rows:
            data = expected[columns[0]]
            self.assertEqual(hashlib.md5(data).hexdigest().upper(), columns[1])
            stored = entry_bytes(self.out, columns)
            self.assertEqual(int(columns[4]), len(stored))
            if columns[0] == "raw\\plain.txt":
                self.assertEqual(data, stored)  # --store: the bytes themselves
            else:
                self.assertEqual(b"\x1f\x8b", stored[:2], columns[0])
                self.assertEqual(data, gzip.decompress(stored), columns[0])
            self.assertEqual(6 if columns[0] == "talmodrel.exe" else 5, len(columns))
        self.assertEqual(["launcher"], [r[5] for r in rows if len(r) == 6])
        # Stored entries that the launcher could not tell apart from gzip, or empty ones, are gzipped.
        self.assertTrue(any("looks-gzip" in w for w in self.warnings))

    def test_entries_fill_each_package_back_to_back(self):
        self.pack(folders=3)
        _, rows = read_list(self.out)
        self.assertEqual({"res1", "res2", "res3"}, {r[2] for r in rows})
        for folder in ("res1", "res2", "res3"):
            ranges = sorted((int(r[3]), int(r[4])) for r in rows if r[2] == folder)
            at = 0
            for offset, size in ranges:
                self.assertEqual(at, offset)
                at += size
            self.assertEqual(at, os.path.getsize(os.path.join(self.out, folder, tqpack.PACKAGE_NAME)))

    def test_game_names_are_listed_in_utf16_ordinal_order_and_crlf_utf8(self):
        self.pack()
        raw, rows = read_list(self.out)
        self.assertFalse(raw.startswith(b"\xef\xbb\xbf"))
        self.assertTrue(raw.endswith(b"\r\n"))
        names = [r[0] for r in rows if len(r) == 5]
        self.assertEqual(sorted(names, key=lambda n: n.encode("utf-16-be")), names)
        self.assertEqual("B.txt", names[0])

    def test_same_input_gives_the_same_bytes(self):
        self.pack(out=os.path.join(self.root, "one"), folders=2)
        self.pack(out=os.path.join(self.root, "two"), folders=2)
        for part in ("conf/list.txt", "res1/" + tqpack.PACKAGE_NAME, "res2/" + tqpack.PACKAGE_NAME):
            with open(os.path.join(self.root, "one", part), "rb") as a, open(os.path.join(self.root, "two", part), "rb") as b:
                self.assertEqual(a.read(), b.read(), part)

    def test_refuses_names_and_options_the_launcher_cannot_use(self):
        bad_names = ["a=b.txt", "x:y", " lead.txt", "trail.", "CON.txt", "한국어.txt"]
        for name in bad_names:
            with self.subTest(name=name), tempfile.TemporaryDirectory() as game:
                write(game, name, b"x")
                with self.assertRaises(tqpack.PackError):
                    tqpack.pack(game, None, os.path.join(self.root, "bad"))
        with tempfile.TemporaryDirectory() as game:
            write(game, "Same.txt", b"1")
            write(game, "same.txt", b"2")
            with self.assertRaisesRegex(tqpack.PackError, "only in case"):
                tqpack.pack(game, None, os.path.join(self.root, "bad"))
        for options in ({"folders": 0}, {"list_path": "list.txt"}, {"list_path": "a/b/c.txt"},
                        {"list_path": "res1/list.txt"}):
            with self.subTest(options=options), self.assertRaises(tqpack.PackError):
                self.pack(**options)
        self.assertFalse(os.path.exists(os.path.join(self.root, "bad", "conf")))

    def test_command_line(self):
        code = tqpack.main(["--game", self.game, "--out", self.out, "--folders", "2", "--list", "v/files.txt",
                            "--store", "*.txt"])
        self.assertEqual(0, code)
        _, rows = read_list(self.out, "v/files.txt")
        self.assertEqual(b"hello\n", entry_bytes(self.out, next(r for r in rows if r[0] == "a.txt")))
        self.assertEqual(2, tqpack.main(["--game", os.path.join(self.root, "missing"), "--out", self.out]))


if __name__ == "__main__":
    unittest.main()
