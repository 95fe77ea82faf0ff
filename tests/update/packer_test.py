"""Tests of the content packer (tools/packer/tqpack.py), run on the build host."""

import contextlib
import functools
import gzip
import hashlib
import http.server
import io
import os
import random
import re
import struct
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import zlib
from unittest import mock

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


INDEX_FILE_LINE = re.compile(r"file ([0-9a-f]{64}) (0|[1-9][0-9]*) (.+)")
INDEX_CHUNK_LINE = re.compile(r"chunk (0|[1-9][0-9]*) ([1-9][0-9]*) ([1-9][0-9]*) ([1-9][0-9]*) ([0-9a-f]{64})")


def read_index(out, list_path="conf/list.txt"):
    """The content index beside the list, read strictly: (the list line's digest,
    [(name, file digest, [(offset, length, member offset, member length, digest)])])."""
    with open(os.path.join(out, *list_path.split("/")) + ".index", "rb") as f:
        text = f.read().decode("utf-8")
    assert "\r" not in text and text.endswith("\n"), text[:200]
    lines = text[:-1].split("\n")
    assert lines[0] == "drel-content-index 1", lines[0]
    list_line = re.fullmatch(r"list ([0-9a-f]{64})", lines[1])
    assert list_line, lines[1]
    files, at = [], 2
    while at < len(lines):
        file_line = INDEX_FILE_LINE.fullmatch(lines[at])
        assert file_line, lines[at]
        count = int(file_line[2])
        chunk_lines = [INDEX_CHUNK_LINE.fullmatch(line) for line in lines[at + 1:at + 1 + count]]
        assert len(chunk_lines) == count and all(chunk_lines), lines[at:at + 1 + count]
        chunks = [tuple(int(m[k]) for k in range(1, 5)) + (m[5],) for m in chunk_lines]
        files.append((file_line[3], file_line[1], chunks))
        at += 1 + count
    return list_line[1], files


def compressible_bytes(seed, size):
    """Text-like bytes that compress about as game data does, the same for the same seed."""
    rng = random.Random(seed)
    words = [bytes(rng.choices(b"abcdefghijklmnopqrstuvwxyz", k=rng.randint(2, 9))) for _ in range(3000)]
    out = bytearray()
    while len(out) < size:
        out += b" ".join(rng.choices(words, k=200)) + b"%d\n" % rng.getrandbits(32)
    return bytes(out[:size])


def todays_member(data, level=9):
    """A gzip member as the packer has always made it: one deflate stream, no flushes."""
    compressor = zlib.compressobj(level, zlib.DEFLATED, 16 + zlib.MAX_WBITS)
    return compressor.compress(data) + compressor.flush()


SOURCE_ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
VECTOR = re.compile(r'\{"([^"]+)", "(zeros|splitmix64)", ([0-9]+), ([0-9]+), ([0-9]+), \{([0-9,\s]*)\}\},')
MASK64 = 2**64 - 1


def shared_vectors():
    """The chunker's vectors, which its C++ tests read too: (name, input, seed, period, length, ends)."""
    with open(os.path.join(SOURCE_ROOT, "tests", "util", "content_chunker_vectors.inc")) as f:
        text = re.sub(r"//[^\n]*", "", f.read())
    vectors = [(m[1], m[2], int(m[3]), int(m[4]), int(m[5]), [int(end) for end in m[6].replace(",", " ").split()])
               for m in VECTOR.finditer(text)]
    assert vectors and not VECTOR.sub("", text).strip(), "a vector this reader does not take"
    return vectors


def splitmix64(state):
    while True:
        state = (state + 0x9E3779B97F4A7C15) & MASK64
        z = state
        z = ((z ^ (z >> 30)) * 0xBF58476D1CE4E5B9) & MASK64
        z = ((z ^ (z >> 27)) * 0x94D049BB133111EB) & MASK64
        yield z ^ (z >> 31)


def vector_input(kind, seed, period, length):
    if kind == "zeros":
        return bytes(length)
    block_size = period or length
    stream = splitmix64(seed)
    block = b"".join(struct.pack("<Q", next(stream)) for _ in range((block_size + 7) // 8))[:block_size]
    return (block * (length // block_size + 1))[:length] if length else b""


# The chunker's rules as util/ContentChunker.h states them, read again slowly:
# the vectors are checked against the statement, not only against the C++ code.
GEAR = [value for value, _ in zip(splitmix64(0x6472656C2D636463), range(256))]


def reference_chunk_ends(data, minimum=16 * 1024, average=64 * 1024, maximum=256 * 1024):
    ends, start = [], 0
    while start < len(data):
        end, h = len(data), 0
        for k in range(minimum, min(maximum, len(data) - start)):
            h = ((h << 1) + GEAR[data[start + k]]) & MASK64
            length = k + 1
            zero_top_bits = 18 if length <= average else 14
            if h >> (64 - zero_top_bits) == 0 or length == maximum:
                end = start + length
                break
        ends.append(end)
        start = end
    return ends


class ChunkToolTest(unittest.TestCase):
    def test_shared_vectors_through_the_host_tool_and_the_stated_rules(self):
        tool = tqpack.chunk_tool_path()
        vectors = shared_vectors()
        inputs = [vector_input(*vector[1:5]) for vector in vectors]
        with tempfile.TemporaryDirectory() as folder:
            paths = [os.path.join(folder, vector[0]) for vector in vectors]
            for path, data in zip(paths, inputs):
                with open(path, "wb") as f:
                    f.write(data)
            listed = subprocess.run([tool, *paths], capture_output=True, check=True).stdout.decode("ascii")
        self.assertEqual(len(vectors), listed.count("\n"))
        cutter = tqpack.ChunkCutter(tool)
        try:
            for (name, *_, ends), line, data in zip(vectors, listed.split("\n"), inputs):
                with self.subTest(vector=name):
                    self.assertEqual(ends, [int(end) for end in line.split()])
                    self.assertEqual(ends, cutter.ends(data))
                    self.assertEqual(ends, reference_chunk_ends(data))
        finally:
            cutter.close()

    def test_the_host_tool_fails_plainly_and_bad_answers_stop_the_packer(self):
        tool = tqpack.chunk_tool_path()
        missing = subprocess.run([tool, "/nonexistent/map.dat"], capture_output=True)
        self.assertEqual(1, missing.returncode)
        self.assertIn(b"/nonexistent/map.dat", missing.stderr)
        cut_short = subprocess.run([tool, "--stream"], input=struct.pack("<Q", 10) + b"12345", capture_output=True)
        self.assertEqual((1, b""), (cut_short.returncode, cut_short.stdout))
        self.assertEqual(2, subprocess.run([tool], capture_output=True).returncode)
        # Ends that do not rise to the length are never used.
        with tempfile.TemporaryDirectory() as folder:
            liar = os.path.join(folder, "liar")
            with open(liar, "w") as f:
                f.write("#!/bin/sh\necho '7 3'\n")
            os.chmod(liar, 0o755)
            cutter = tqpack.ChunkCutter(liar)
            try:
                with self.assertRaisesRegex(tqpack.PackError, "no usable chunk ends"):
                    cutter.ends(b"0123456789")
            finally:
                cutter.close()


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
            # At the chunking threshold and just below it; a large one matched by --store in some tests.
            "big\\map.dat": compressible_bytes(1, tqpack.CHUNK_THRESHOLD),
            "big\\just-below.dat": compressible_bytes(2, tqpack.CHUNK_THRESHOLD - 1),
            "raw\\large.bin": compressible_bytes(3, tqpack.CHUNK_THRESHOLD + 5),
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
            if columns[0] in ("raw\\plain.txt", "raw\\large.bin"):
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
        for part in ("conf/list.txt", "conf/list.txt.index", "res1/" + tqpack.PACKAGE_NAME,
                     "res2/" + tqpack.PACKAGE_NAME):
            with open(os.path.join(self.root, "one", part), "rb") as a, open(os.path.join(self.root, "two", part), "rb") as b:
                self.assertEqual(a.read(), b.read(), part)

    def test_large_files_are_one_gzip_member_whose_chunks_inflate_alone(self):
        self.pack(folders=2, store=["raw/*"])
        raw, rows = read_list(self.out)
        list_digest, files = read_index(self.out)
        self.assertEqual(hashlib.sha256(raw).hexdigest(), list_digest)
        self.assertEqual([r[0] for r in rows], [f[0] for f in files])
        expected = dict(self.files, **{"talmodrel.exe": b"MZ launcher"})
        for columns, (name, digest, chunks) in zip(rows, files):
            data, member = expected[name], entry_bytes(self.out, columns)
            self.assertEqual(hashlib.sha256(data).hexdigest(), digest, name)
            # Below 1 MiB, or stored: not cut, and packed as ever.
            self.assertEqual(name == "big\\map.dat", bool(chunks), name)
            if not chunks:
                stored = name in ("raw\\plain.txt", "raw\\large.bin")
                self.assertEqual(data if stored else todays_member(data), member, name)
                continue
            self.assertEqual(data, gzip.decompress(member))
            self.assertEqual(reference_chunk_ends(data), [offset + length for offset, length, *_ in chunks])
            file_at, member_at = 0, 10  # the first chunk starts right after the gzip header
            for offset, length, member_offset, member_length, chunk_digest in chunks:
                self.assertEqual((file_at, member_at), (offset, member_offset))
                piece = data[offset:offset + length]
                self.assertEqual(hashlib.sha256(piece).hexdigest(), chunk_digest)
                inflater = zlib.decompressobj(-zlib.MAX_WBITS)
                self.assertEqual(piece, inflater.decompress(member[member_offset:member_offset + member_length]))
                file_at, member_at = offset + length, member_offset + member_length
            self.assertEqual((len(data), len(member)), (file_at, member_at))
            # The last chunk runs to the member's end: the final block, then the 8-byte trailer.
            self.assertTrue(inflater.eof)
            self.assertEqual(member[-8:], inflater.unused_data)

    def test_without_chunks_members_are_made_as_before_and_the_index_names_none(self):
        self.pack(chunks=False)
        _, rows = read_list(self.out)
        expected = dict(self.files, **{"talmodrel.exe": b"MZ launcher"})
        for columns in rows:
            self.assertEqual(todays_member(expected[columns[0]]), entry_bytes(self.out, columns), columns[0])
        _, files = read_index(self.out)
        self.assertEqual(sorted(expected), sorted(f[0] for f in files))
        self.assertEqual([], [f[0] for f in files if f[2]])

    def test_chunking_needs_a_compiler_once_for_the_host_tool_it_keeps(self):
        cache = os.path.join(self.root, "cache")
        no_compiler = {"XDG_CACHE_HOME": cache, "PATH": os.path.join(self.root, "no-compiler")}
        with mock.patch.dict(os.environ, no_compiler):
            with self.assertRaisesRegex(tqpack.PackError, r"apt-get install g\+\+.*--no-chunks"):
                self.pack()
            self.assertFalse(os.path.exists(self.out))
            self.pack(chunks=False)
        with mock.patch.dict(os.environ, {"XDG_CACHE_HOME": cache}):
            tool = tqpack.chunk_tool_path()
        # Built under its own name only (no temporary left), and used from there without a compiler.
        self.assertEqual([os.path.basename(tool)], os.listdir(os.path.join(cache, "drel-launcher")))
        with mock.patch.dict(os.environ, no_compiler):
            self.pack(out=os.path.join(self.root, "with-kept-tool"))
        _, files = read_index(os.path.join(self.root, "with-kept-tool"))
        self.assertTrue(any(f[2] for f in files))

    def test_small_edits_between_versions_leave_most_chunks_shared(self):
        v1 = compressible_bytes(4, 6 << 20)
        # Bytes changed in place at 1 MiB, 3000 inserted at 3 MiB, 500 removed at 5 MiB.
        v2 = (v1[:1 << 20] + b"EDITED" + v1[(1 << 20) + 6:3 << 20] + compressible_bytes(5, 3000) +
              v1[3 << 20:5 << 20] + v1[(5 << 20) + 500:])
        chunk_digests = []
        for version, data in (("v1", v1), ("v2", v2)):
            write(os.path.join(self.root, version), "maps\\world.dat", data)
            tqpack.pack(os.path.join(self.root, version), None, os.path.join(self.root, version + "-cdn"), level=1)
            (_, _, chunks), = read_index(os.path.join(self.root, version + "-cdn"))[1]
            chunk_digests.append([chunk[4] for chunk in chunks])
        v1_digests = set(chunk_digests[0])
        new_chunks = [digest for digest in chunk_digests[1] if digest not in v1_digests]
        # Each edit changes the chunk it falls in and at most the next one.
        self.assertLessEqual(len(new_chunks), 6)
        self.assertGreater(len(chunk_digests[1]), 60)

    def test_refuses_names_and_options_the_launcher_cannot_use(self):
        bad_names = ["a=b.txt", "x:y", " lead.txt", "trail.", "CON.txt", "한국어.txt", "sub\\x.DrelPart"]
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
        self.assertEqual(0, tqpack.main(["--game", self.game, "--out", self.out, "--no-chunks"]))
        _, rows = read_list(self.out)
        big = next(r for r in rows if r[0] == "big\\map.dat")
        self.assertEqual(todays_member(self.files["big\\map.dat"]), entry_bytes(self.out, big))
        self.assertEqual(2, tqpack.main(["--game", os.path.join(self.root, "missing"), "--out", self.out]))


CHANNEL = "com.example.naval.pc"


def verify_with_public_key(public_text, statement, list_bytes):
    """Checks a statement the way the launcher does, with python3-cryptography
    alone: the key, the signature over the first five lines and the list's digest.
    Gives the statement's fields."""
    from cryptography.hazmat.primitives import hashes
    from cryptography.hazmat.primitives.asymmetric import ec, utils
    point = bytes.fromhex(public_text)
    key = ec.EllipticCurvePublicNumbers(int.from_bytes(point[:32], "big"), int.from_bytes(point[32:], "big"),
                                        ec.SECP256R1()).public_key()
    lines = statement.split(b"\n")
    assert lines[-1] == b"" and len(lines) == 7 and lines[0] == b"drel-list-statement 2", statement
    body = b"\n".join(lines[:5]) + b"\n"
    raw = bytes.fromhex(lines[5].decode("ascii").removeprefix("signature "))
    signature = utils.encode_dss_signature(int.from_bytes(raw[:32], "big"), int.from_bytes(raw[32:], "big"))
    key.verify(signature, body, ec.ECDSA(hashes.SHA256()))  # raises InvalidSignature
    fields = dict(line.decode("ascii").split(" ", 1) for line in lines[1:6])
    assert fields["sha256"] == hashlib.sha256(list_bytes).hexdigest()
    return fields


class SigningTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.root = self.tmp.name
        self.key_base = os.path.join(self.root, "keys", "operator")
        tqpack.keygen(self.key_base)
        with open(self.key_base + ".pub") as f:
            self.public = f.read().strip()
        self.key = tqpack.load_signing_key(self.key_base + ".pem")
        self.game = os.path.join(self.root, "game")
        write(self.game, "a.txt", b"hello\n")
        self.out = os.path.join(self.root, "cdn")
        self.list_path = os.path.join(self.out, "conf", "list.txt")

    def tearDown(self):
        self.tmp.cleanup()

    def read(self, path):
        with open(path, "rb") as f:
            return f.read()

    def test_packing_with_a_key_writes_a_statement_that_verifies(self):
        code = tqpack.main(["--game", self.game, "--out", self.out, "--sign-key", self.key_base + ".pem",
                            "--channel", CHANNEL, "--serial", "1234", "--expires-days", "2"])
        self.assertEqual(0, code)
        self.assertRegex(self.public, r"^[0-9a-f]{128}$")
        list_bytes = self.read(self.list_path)
        fields = verify_with_public_key(self.public, self.read(self.list_path + ".sig"), list_bytes)
        self.assertEqual("1234", fields["serial"])
        self.assertEqual(CHANNEL, fields["channel"])
        self.assertAlmostEqual(time.time() + 2 * 86400, int(fields["expires"]), delta=600)
        # Another key does not verify it.
        other = os.path.join(self.root, "other")
        tqpack.keygen(other)
        from cryptography.exceptions import InvalidSignature
        with open(other + ".pub") as f, self.assertRaises(InvalidSignature):
            verify_with_public_key(f.read().strip(), self.read(self.list_path + ".sig"), list_bytes)

    def test_the_index_has_a_statement_of_its_own_with_the_lists_channel_serial_and_expiry(self):
        self.assertEqual(0, tqpack.main(["--game", self.game, "--out", self.out, "--sign-key", self.key_base + ".pem",
                                         "--channel", CHANNEL, "--serial", "1234"]))
        index_path = self.list_path + ".index"
        list_fields = verify_with_public_key(self.public, self.read(self.list_path + ".sig"), self.read(self.list_path))
        index_fields = verify_with_public_key(self.public, self.read(index_path + ".sig"), self.read(index_path))
        self.assertEqual({k: list_fields[k] for k in ("channel", "serial", "expires")},
                         {k: index_fields[k] for k in ("channel", "serial", "expires")})
        self.assertEqual("1234", index_fields["serial"])
        # The index's statement counts for the serial floor of both; "sign" signs both.
        index_bytes = self.read(index_path)
        with open(index_path + ".sig", "wb") as f:
            f.write(tqpack.make_statement(index_bytes, self.key, CHANNEL, 9000, 1))
        with self.assertRaisesRegex(tqpack.PackError, r"below 9000, the serial of .*list\.txt\.index\.sig"):
            tqpack.sign_list(self.list_path, self.key, CHANNEL, serial=8999, now=100)
        self.assertEqual([index_path + ".sig", self.list_path + ".sig"],
                         tqpack.sign_list(self.list_path, self.key, CHANNEL, now=100))
        for path in (self.list_path, index_path):
            self.assertEqual("9000", verify_with_public_key(self.public, self.read(path + ".sig"), self.read(path))["serial"])
        # An index made for other list bytes is never signed, and nothing is written.
        statements = self.read(self.list_path + ".sig"), self.read(index_path + ".sig")
        with open(self.list_path, "ab") as f:
            f.write(b"b.txt=" + b"0" * 32 + b"=res1=0=1\r\n")
        self.assertEqual(2, tqpack.main(["sign", "--sign-key", self.key_base + ".pem", "--channel", CHANNEL,
                                         self.list_path]))
        self.assertEqual(statements, (self.read(self.list_path + ".sig"), self.read(index_path + ".sig")))
        # Without an index, only the list is signed.
        os.remove(index_path)
        self.assertEqual([self.list_path + ".sig"], tqpack.sign_list(self.list_path, self.key, CHANNEL))

    def test_statement_bytes_are_stable_for_the_same_list_serial_and_expiry(self):
        tqpack.pack(self.game, None, self.out)
        list_bytes = self.read(self.list_path)
        first = tqpack.make_statement(list_bytes, self.key, CHANNEL, 7, 1700000000)
        second = tqpack.make_statement(list_bytes, self.key, CHANNEL, 7, 1700000000)
        body = (b"drel-list-statement 2\nchannel " + CHANNEL.encode() + b"\nsha256 " +
                hashlib.sha256(list_bytes).hexdigest().encode() + b"\nserial 7\nexpires 1700000000\n")
        for statement in (first, second):
            self.assertEqual(body, statement[:len(body)])
            self.assertRegex(statement[len(body):], rb"^signature [0-9a-f]{128}\n$")
            verify_with_public_key(self.public, statement, list_bytes)
        # A byte-order mark is not part of what is hashed, as the launcher ignores it.
        self.assertEqual(body, tqpack.make_statement(b"\xef\xbb\xbf" + list_bytes, self.key, CHANNEL, 7,
                                                     1700000000)[:len(body)])

    def test_serial_never_goes_below_the_statement_already_there(self):
        tqpack.pack(self.game, None, self.out)
        tqpack.sign_list(self.list_path, self.key, CHANNEL, serial=5000, now=100)
        earlier = self.read(self.list_path + ".sig")
        with self.assertRaisesRegex(tqpack.PackError, "below 5000"):
            tqpack.sign_list(self.list_path, self.key, CHANNEL, serial=4999, now=100)
        self.assertEqual(earlier, self.read(self.list_path + ".sig"))
        # Without a serial: the current time, unless the statement there is newer.
        tqpack.sign_list(self.list_path, self.key, CHANNEL, now=100)
        self.assertIn(b"\nserial 5000\nexpires 2592100\n", self.read(self.list_path + ".sig"))
        tqpack.sign_list(self.list_path, self.key, CHANNEL, now=6000, expires_days=1)
        self.assertIn(b"\nserial 6000\nexpires 92400\n", self.read(self.list_path + ".sig"))
        # A statement of the form before channels still sets the floor when the list is signed again.
        with open(self.list_path + ".sig", "wb") as f:
            f.write(b"drel-list-statement 1\nsha256 " + b"0" * 64 + b"\nserial 9000\nexpires 1\nsignature " +
                    b"0" * 128 + b"\n")
        tqpack.sign_list(self.list_path, self.key, CHANNEL, now=6000)
        self.assertIn(b"\nserial 9000\n", self.read(self.list_path + ".sig"))

    def test_sign_command_keygen_and_bad_keys(self):
        tqpack.pack(self.game, None, self.out)
        self.assertEqual(0, tqpack.main(["sign", "--sign-key", self.key_base + ".pem", "--channel", CHANNEL,
                                         self.list_path]))
        verify_with_public_key(self.public, self.read(self.list_path + ".sig"), self.read(self.list_path))
        # A key pair is never overwritten.
        before = self.read(self.key_base + ".pem")
        self.assertEqual(2, tqpack.main(["keygen", "--out", self.key_base]))
        self.assertEqual(before, self.read(self.key_base + ".pem"))
        self.assertEqual(0o600, os.stat(self.key_base + ".pem").st_mode & 0o777)
        # Not a private key, or one of another kind: nothing is packed or signed.
        from cryptography.hazmat.primitives import serialization
        from cryptography.hazmat.primitives.asymmetric import ec
        p384 = os.path.join(self.root, "p384.pem")
        with open(p384, "wb") as f:
            f.write(ec.generate_private_key(ec.SECP384R1()).private_bytes(
                serialization.Encoding.PEM, serialization.PrivateFormat.PKCS8, serialization.NoEncryption()))
        fresh = os.path.join(self.root, "fresh")
        for bad in (self.key_base + ".pub", p384, os.path.join(self.root, "missing.pem")):
            with self.subTest(key=bad):
                self.assertEqual(2, tqpack.main(["--game", self.game, "--out", fresh, "--sign-key", bad,
                                                 "--channel", CHANNEL]))
                self.assertFalse(os.path.exists(fresh))

    def test_a_statement_needs_a_channel_the_launcher_can_name(self):
        tqpack.pack(self.game, None, self.out)
        fresh = os.path.join(self.root, "fresh")
        key = ["--sign-key", self.key_base + ".pem"]
        too_long = "c" * (tqpack.MAX_CHANNEL_LENGTH + 1)
        # Missing, empty, with a blank, a control character, beyond ASCII, too long; or without a key to sign.
        for channel_args, sign_args in ([[], key], [["--channel", ""], key], [["--channel", "com.a b"], key],
                                        [["--channel", "com.a\tb"], key], [["--channel", "com.\u00e4"], key],
                                        [["--channel", too_long], key], [["--channel", CHANNEL], []]):
            with self.subTest(channel=channel_args, key=bool(sign_args)):
                if sign_args:  # "sign" cannot be told to run without a key
                    self.assertEqual(2, tqpack.main(["sign"] + sign_args + channel_args + [self.list_path]))
                    self.assertFalse(os.path.exists(self.list_path + ".sig"))
                self.assertEqual(2, tqpack.main(["--game", self.game, "--out", fresh] + sign_args + channel_args))
                self.assertFalse(os.path.exists(fresh))
        # The longest channel, with every printable character but the blank, is taken as it is.
        widest = "".join(chr(c) for c in range(0x21, 0x7F))
        longest = (widest * 2)[:tqpack.MAX_CHANNEL_LENGTH]
        self.assertEqual(0, tqpack.main(["sign"] + key + ["--channel", longest, self.list_path]))
        fields = verify_with_public_key(self.public, self.read(self.list_path + ".sig"), self.read(self.list_path))
        self.assertEqual(longest, fields["channel"])


if __name__ == "__main__":
    unittest.main()


class MirrorCheckTest(unittest.TestCase):
    """check-mirrors: two CDN hosts hold the same release, or it says what differs."""

    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.root = self.tmp.name
        game = os.path.join(self.root, "game")
        write(game, "a.txt", b"first file")
        write(game, "big\\map.dat", compressible_bytes(4, tqpack.CHUNK_THRESHOLD + 100))
        self.primary = os.path.join(self.root, "primary")
        tqpack.pack(game, None, self.primary, folders=2)
        self.mirror = os.path.join(self.root, "mirror")
        shutil.copytree(self.primary, self.mirror)
        self.mirror_list = os.path.join(self.mirror, "conf", "list.txt")

    def tearDown(self):
        self.tmp.cleanup()

    def check(self, *lists):
        out = io.StringIO()
        with contextlib.redirect_stdout(out), contextlib.redirect_stderr(out):
            code = tqpack.main(["check-mirrors", *lists])
        return code, out.getvalue()

    def test_the_same_release_passes_and_each_difference_is_named(self):
        code, said = self.check(self.primary, self.mirror_list)
        self.assertEqual(0, code, said)
        self.assertIn("the 2 hosts hold the same release", said)

        def append(path, data):
            with open(path, "ab") as f:
                f.write(data)

        def truncate(path, size):
            with open(path, "r+b") as f:
                f.truncate(size)
        package = os.path.join(self.mirror, "res2", tqpack.PACKAGE_NAME)
        cases = [
            ("another list", lambda: append(self.mirror_list, b"c.txt=" + b"0" * 32 + b"=res1=0=1\r\n"),
             "the list differs"),
            ("no index", lambda: os.remove(self.mirror_list + ".index"), "the content index differs"),
            ("a statement on one host only", lambda: write(self.mirror, "conf\\list.txt.sig", b"x"),
             "the list's statement differs"),
            ("a package cut short", lambda: truncate(package, 10), "res2/tq_game.tqpkg has 10 bytes, the list names"),
            ("a package of another size", lambda: append(package, b"more"), "res2/tq_game.tqpkg has"),
            ("a package missing", lambda: os.remove(package), "no package res2/tq_game.tqpkg"),
        ]
        for name, spoil, expected in cases:
            with self.subTest(name):
                shutil.rmtree(self.mirror)
                shutil.copytree(self.primary, self.mirror)
                spoil()
                code, said = self.check(self.primary, self.mirror_list)
                self.assertEqual(1, code, said)
                self.assertIn(expected, said)

    def test_hosts_named_by_url(self):
        served = []

        class Quiet(http.server.SimpleHTTPRequestHandler):
            def log_message(self, *args):
                served.append(self.path)
        server = http.server.ThreadingHTTPServer(
            ("127.0.0.1", 0), functools.partial(Quiet, directory=self.root))
        threading.Thread(target=server.serve_forever, daemon=True).start()
        try:
            base = "http://127.0.0.1:%d/" % server.server_address[1]
            code, said = self.check(base + "primary/conf/list.txt", base + "mirror/conf/list.txt")
            self.assertEqual(0, code, said)
            self.assertIn("/mirror/res2/tq_game.tqpkg", served)
            os.remove(os.path.join(self.mirror, "res1", tqpack.PACKAGE_NAME))
            code, said = self.check(base + "primary/conf/list.txt", base + "mirror/conf/list.txt")
            self.assertEqual(1, code, said)
            self.assertIn("no package res1/tq_game.tqpkg", said)
            # A host that does not answer at all cannot be judged: exit code 2.
            code, said = self.check(base + "primary/conf/list.txt", base + "gone/conf/list.txt")
            self.assertEqual(2, code, said)
            self.assertIn("HTTP 404", said)
        finally:
            server.shutdown()
            server.server_close()
