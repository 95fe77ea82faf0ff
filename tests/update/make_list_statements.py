#!/usr/bin/python3
"""Makes the lists, keys and statements of the launcher's list-signature tests
with the content packer, into C:\\list-statements\\ of the test prefix:

  key-a.pub, key-b.pub     two public keys (the private halves stay in the folder)
  list.txt                 a packed list
  good.sig                 key a, serial 500, expires 1000 (the tests' clock says 900)
  other-key.sig            the same, signed by key b
  expired.sig              key a, serial 500, expires 800
  serial-400.sig, serial-600.sig
                           key a, expires 1000
  fresh.sig                key a, serial 500, expiring in 30 days from now

Usage: make_list_statements.py (in the build's Wine environment: tests/wine/in-wine-env.sh)
"""

import os
import shutil
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "packer"))
import tqpack  # noqa: E402


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

    keys = {}
    for name in ("key-a", "key-b"):
        tqpack.keygen(os.path.join(out, name))
        keys[name] = tqpack.load_signing_key(os.path.join(out, name + ".pem"))
    statements = {
        "good": ("key-a", 500, 1000),
        "other-key": ("key-b", 500, 1000),
        "expired": ("key-a", 500, 800),
        "serial-400": ("key-a", 400, 1000),
        "serial-600": ("key-a", 600, 1000),
        "fresh": ("key-a", 500, int(time.time()) + 30 * 86400),
    }
    for name, (key, serial, expires) in statements.items():
        with open(os.path.join(out, name + ".sig"), "wb") as f:
            f.write(tqpack.make_statement(list_bytes, keys[key], serial, expires))


if __name__ == "__main__":
    main()
