"""Tests of the content packer (tools/packer/tqpack.py), run on the build host."""

import gzip
import hashlib
import os
import sys
import tempfile
import time
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
