#!/usr/bin/python3
"""Makes the lists, keys and statements of the launcher's list-signature tests
with the content packer, into C:\\list-statements\\ of the test prefix:

  key-a.pub, key-b.pub     two public keys (the private halves stay in the folder)
  channel.txt              the channel the statements name (unless said otherwise)
  list.txt                 a packed list
  good.sig                 key a, serial 500, expires 1000 (the tests' clock says 900)
  other-key.sig            the same, signed by key b
  other-channel.sig        the same for another channel
  version-1.sig            key a, serial 500, expires 1000, in the form before channels
  expired.sig              key a, serial 500, expires 800
  serial-400.sig, serial-600.sig
                           key a, expires 1000
  other-key-700.sig        key b, serial 700, expires 1000
  fresh.sig, fresh-400.sig key a, serial 500 and 400, expiring in 30 days from now

Usage: make_list_statements.py (in the build's Wine environment: tests/wine/in-wine-env.sh)
"""

import os
import shutil
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "packer"))
import tqpack  # noqa: E402

CHANNEL = "com.example.naval.pc"


def version_one_statement(list_bytes, key, serial, expires):
    """A statement as packers wrote them before channels: no channel line."""
    from cryptography.hazmat.primitives import hashes
    from cryptography.hazmat.primitives.asymmetric import ec, utils
    body = (f"drel-list-statement 1\nsha256 {tqpack.list_digest(list_bytes)}\nserial {serial}\n"
            f"expires {expires}\n").encode("ascii")
    r, s = utils.decode_dss_signature(key.sign(body, ec.ECDSA(hashes.SHA256())))
    return body + b"signature " + (r.to_bytes(32, "big") + s.to_bytes(32, "big")).hex().encode("ascii") + b"\n"


def main():
    out = os.path.join(os.environ["WINEPREFIX"], "drive_c", "list-statements")
    shutil.rmtree(out, ignore_errors=True)
    game = os.path.join(out, "src", "game")
    os.makedirs(os.path.join(game, "data"))
    for name, data in (("a.txt", b"first"), ("data/b.bin", bytes(range(200)))):
        with open(os.path.join(game, name), "wb") as f:
            f.write(data)
    tqpack.pack(game, None, os.path.join(out, "cdn"), warn=lambda m: None)
    shutil.copy(os.path.join(out, "cdn", "conf", "list.txt"), os.path.join(out, "list.txt"))
    with open(os.path.join(out, "list.txt"), "rb") as f:
        list_bytes = f.read()
    with open(os.path.join(out, "channel.txt"), "w") as f:
        f.write(CHANNEL)

    keys = {}
    for name in ("key-a", "key-b"):
        tqpack.keygen(os.path.join(out, name))
        keys[name] = tqpack.load_signing_key(os.path.join(out, name + ".pem"))
    in_30_days = int(time.time()) + 30 * 86400
    statements = {
        "good": ("key-a", CHANNEL, 500, 1000),
        "other-key": ("key-b", CHANNEL, 500, 1000),
        "other-channel": ("key-a", "com.example.naval.mobile", 500, 1000),
        "expired": ("key-a", CHANNEL, 500, 800),
        "serial-400": ("key-a", CHANNEL, 400, 1000),
        "serial-600": ("key-a", CHANNEL, 600, 1000),
        "other-key-700": ("key-b", CHANNEL, 700, 1000),
        "fresh": ("key-a", CHANNEL, 500, in_30_days),
        "fresh-400": ("key-a", CHANNEL, 400, in_30_days),
    }
    for name, (key, channel, serial, expires) in statements.items():
        with open(os.path.join(out, name + ".sig"), "wb") as f:
            f.write(tqpack.make_statement(list_bytes, keys[key], channel, serial, expires))
    with open(os.path.join(out, "version-1.sig"), "wb") as f:
        f.write(version_one_statement(list_bytes, keys["key-a"], 500, 1000))


if __name__ == "__main__":
    main()
